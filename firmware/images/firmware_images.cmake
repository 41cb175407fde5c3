# Turns a folder of the chip maker's images into a C++ source of byte arrays.
#
# corvane_generate_real_images(<folder> <output.cpp>) checks that the folder holds exactly the
# files the tool carries, each of its exact size, and fails the configuration with a message that
# names the file otherwise. Usable from a project and in script mode (-P generate_real_images.cmake).

set(CORVANE_IMAGE_TEMPLATE "${CMAKE_CURRENT_LIST_DIR}/real_images.cpp.in")

# file name;type;resource name;size in bytes
set(CORVANE_REAL_IMAGES
    "KTS210_FW.bin|FW|KTS210_FW|50688"
    "KTS260_V234_01_00_01.bin|FW|KTS260_V234_01_00_01|67072"
    "KTS260_ROM_MFG.bin|MFG|KTS260_ROM_MFG|65536")

function(corvane_generate_real_images folder output)
  if(NOT IS_DIRECTORY "${folder}")
    message(FATAL_ERROR "CORVANE_FIRMWARE_DIR='${folder}' is not a folder. Point it at the folder "
                        "holding KTS210_FW.bin, KTS260_V234_01_00_01.bin and KTS260_ROM_MFG.bin, "
                        "or leave it empty to build with placeholder images.")
  endif()
  set(arrays "")
  set(rows "")
  set(index 0)
  set(inputs "")
  foreach(entry IN LISTS CORVANE_REAL_IMAGES)
    string(REPLACE "|" ";" fields "${entry}")
    list(GET fields 0 file_name)
    list(GET fields 1 type)
    list(GET fields 2 name)
    list(GET fields 3 expected)
    set(path "${folder}/${file_name}")
    if(NOT EXISTS "${path}")
      message(FATAL_ERROR "CORVANE_FIRMWARE_DIR: ${file_name} is missing in '${folder}'.")
    endif()
    file(SIZE "${path}" size)
    if(NOT size EQUAL expected)
      message(FATAL_ERROR "CORVANE_FIRMWARE_DIR: ${file_name} has ${size} bytes; "
                          "the tool carries it with exactly ${expected} bytes.")
    endif()
    file(READ "${path}" hex HEX)
    string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," hex "${hex}")
    # Break the one long line every 16 bytes so compilers and editors stay comfortable.
    string(REPEAT "0x[0-9a-f][0-9a-f]," 16 sixteen)
    string(REGEX REPLACE "(${sixteen})" "\\1\n    " hex "${hex}")
    string(APPEND arrays "constexpr std::uint8_t kImage${index}[${expected}] = {\n    ${hex}\n};\n\n")
    string(APPEND rows "    {\"${type}\", \"${name}\", kImage${index}},\n")
    list(APPEND inputs "${path}")
    math(EXPR index "${index} + 1")
  endforeach()
  set(CORVANE_IMAGE_ARRAYS "${arrays}")
  set(CORVANE_IMAGE_ROWS "${rows}")
  set(CORVANE_IMAGE_COUNT "${index}")
  configure_file("${CORVANE_IMAGE_TEMPLATE}" "${output}" @ONLY)
  set(CORVANE_REAL_IMAGE_INPUTS "${inputs}" PARENT_SCOPE)
endfunction()
