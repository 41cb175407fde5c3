# Runs the real-image generator against folders that are wrong in one way each, and one that is right.
cmake_minimum_required(VERSION 3.25)
# cmake -DSOURCE_DIR=<repo> -DWORK_DIR=<scratch> -P firmware_dir_check.cmake
set(generator "${SOURCE_DIR}/firmware/images/generate_real_images.cmake")
set(sizes "KTS210_FW.bin=50688" "KTS260_V234_01_00_01.bin=67072" "KTS260_ROM_MFG.bin=65536")

# `resize` is "<file>:<bytes added>" (negative: taken away) for the one file of the wrong size.
function(make_folder folder skip_file resize)
  string(REPLACE ":" ";" resize "${resize}")
  list(APPEND resize "" "")
  list(GET resize 0 resized_file)
  list(GET resize 1 delta)
  file(REMOVE_RECURSE "${folder}")
  file(MAKE_DIRECTORY "${folder}")
  foreach(entry IN LISTS sizes)
    string(REPLACE "=" ";" pair "${entry}")
    list(GET pair 0 name)
    list(GET pair 1 size)
    if(name STREQUAL skip_file)
      continue()
    endif()
    if(name STREQUAL resized_file)
      math(EXPR size "${size} + (${delta})")
    endif()
    string(REPEAT "A" ${size} content)
    file(WRITE "${folder}/${name}" "${content}")
  endforeach()
endfunction()

# case name | file left out | file:size change | expected text in the output ("" = success)
set(cases
    "complete|||"
    "missing|KTS260_ROM_MFG.bin||KTS260_ROM_MFG.bin is missing"
    "short||KTS210_FW.bin:-1|KTS210_FW.bin has 50687 bytes"
    "long||KTS260_ROM_MFG.bin:1|KTS260_ROM_MFG.bin has 65537 bytes"
    "empty||KTS260_V234_01_00_01.bin:-67072|KTS260_V234_01_00_01.bin has 0 bytes"
    "nofolder|||is not a folder")

foreach(case IN LISTS cases)
  string(REPLACE "|" ";" fields "${case}")
  list(GET fields 0 name)
  list(GET fields 1 skip)
  list(GET fields 2 short)
  list(GET fields 3 expected)
  set(folder "${WORK_DIR}/${name}")
  set(output "${WORK_DIR}/${name}.cpp")
  file(REMOVE "${output}")
  if(NOT name STREQUAL "nofolder")
    make_folder("${folder}" "${skip}" "${short}")
  endif()
  execute_process(COMMAND ${CMAKE_COMMAND} -DFIRMWARE_DIR=${folder} -DOUTPUT=${output}
                          -P ${generator}
                  RESULT_VARIABLE result ERROR_VARIABLE error OUTPUT_QUIET)
  if(expected STREQUAL "")
    file(READ "${output}" generated)
    string(FIND "${generated}" "bool CarriesPlaceholderImages() { return false; }" at_flag)
    string(FIND "${generated}" "kImage2[65536] = {\n    0x41,0x41," at_array)
    if(NOT result EQUAL 0 OR at_flag EQUAL -1 OR at_array EQUAL -1)
      message(FATAL_ERROR "${name}: expected a generated source, got ${result}: ${error}")
    endif()
  else()
    string(FIND "${error}" "${expected}" at)
    if(result EQUAL 0 OR at EQUAL -1 OR EXISTS "${output}")
      message(FATAL_ERROR "${name}: expected failure with '${expected}', got ${result}: ${error}")
    endif()
  endif()
endforeach()
message(STATUS "firmware_dir_check: all cases as expected")
