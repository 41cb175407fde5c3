# The Windows program's resources: the seven pictures, the icon, the version record and the
# manifest, compiled with windres. Included from app/win32/CMakeLists.txt; defines the object
# libraries corvane_win32_pictures (pictures, icon, version record; also linked into the tests)
# and corvane_win32_manifest (only the program asks for administrator rights).

# The pictures are rendered from resources/art by the Qt tool of a host build (the cross build
# cannot run it): cmake --preset default && ninja -C build/default corvane_pictures
set(CORVANE_HOST_PICTURE_DIR "${PROJECT_SOURCE_DIR}/build/default/app/qt/pictures" CACHE PATH
    "Folder of the seven BMPs a host build rendered (build/<dir>/app/qt/pictures)")
set(CORVANE_HOST_ICON_PNG "${CORVANE_HOST_PICTURE_DIR}/../icons/256/corvane-update-tool.png" CACHE FILEPATH
    "The 256 x 256 icon PNG a host build rendered (build/<dir>/app/qt/icons/256/corvane-update-tool.png)")
set(corvane_win32_bitmaps BACKGROUND LOADING1 LOADING2 LOADING3 GOOD UPDATE CROSS)
set(corvane_win32_bitmap_files)
foreach(name IN LISTS corvane_win32_bitmaps)
  if(NOT EXISTS "${CORVANE_HOST_PICTURE_DIR}/${name}.bmp")
    message(FATAL_ERROR
      "The Windows build takes its pictures from a host build, but ${CORVANE_HOST_PICTURE_DIR}/${name}.bmp "
      "does not exist. Render them first (cmake --preset default && ninja -C build/default corvane_pictures) "
      "or set CORVANE_HOST_PICTURE_DIR to the folder that holds them.")
  endif()
  list(APPEND corvane_win32_bitmap_files "${CORVANE_HOST_PICTURE_DIR}/${name}.bmp")
endforeach()
if(NOT EXISTS "${CORVANE_HOST_ICON_PNG}")
  message(FATAL_ERROR
    "The Windows icon is made from the host build's icon PNG, but ${CORVANE_HOST_ICON_PNG} does not exist. "
    "Render it with ninja -C build/default corvane_pictures or set CORVANE_HOST_ICON_PNG.")
endif()

# ImageMagick packs the icon. Its versioned name comes first: a "convert" earlier on the PATH may
# be a wrapper that flattens transparency.
find_program(CORVANE_IMAGEMAGICK NAMES magick convert-im6.q16 convert-im6 convert REQUIRED)
set(CORVANE_ICON_FILE "${CMAKE_CURRENT_BINARY_DIR}/corvane-update-tool.ico")
# Square images at 32 bits per pixel: 16 and 24 (title bar, small icons), 32 and 48 (taskbar,
# Explorer), 256 (large views, stored as PNG by ImageMagick).
add_custom_command(
  OUTPUT "${CORVANE_ICON_FILE}"
  COMMAND "${CORVANE_IMAGEMAGICK}" "${CORVANE_HOST_ICON_PNG}" -background none
          -define icon:auto-resize=256,48,32,24,16 "${CORVANE_ICON_FILE}"
  DEPENDS "${CORVANE_HOST_ICON_PNG}"
  COMMENT "Packing the Windows icon"
  VERBATIM)
add_custom_target(corvane_win32_icon DEPENDS "${CORVANE_ICON_FILE}")

set(CORVANE_WINDOWS_RESOURCE_DIR "${PROJECT_SOURCE_DIR}/resources/windows")
configure_file("${CORVANE_WINDOWS_RESOURCE_DIR}/pictures.rc.in" "${CMAKE_CURRENT_BINARY_DIR}/pictures.rc" @ONLY)
set_source_files_properties("${CMAKE_CURRENT_BINARY_DIR}/pictures.rc" PROPERTIES
  OBJECT_DEPENDS "${corvane_win32_bitmap_files};${CORVANE_ICON_FILE}")
add_library(corvane_win32_pictures OBJECT "${CMAKE_CURRENT_BINARY_DIR}/pictures.rc")
add_dependencies(corvane_win32_pictures corvane_win32_icon)

# The manifest names the processor the program was built for.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(CORVANE_MANIFEST_ARCH amd64)
else()
  set(CORVANE_MANIFEST_ARCH x86)
endif()
set(CORVANE_MANIFEST_FILE "${CMAKE_CURRENT_BINARY_DIR}/corvane-update-tool.manifest")
configure_file("${CORVANE_WINDOWS_RESOURCE_DIR}/corvane-update-tool.manifest.in" "${CORVANE_MANIFEST_FILE}" @ONLY)
configure_file("${CORVANE_WINDOWS_RESOURCE_DIR}/manifest.rc.in" "${CMAKE_CURRENT_BINARY_DIR}/manifest.rc" @ONLY)
set_source_files_properties("${CMAKE_CURRENT_BINARY_DIR}/manifest.rc" PROPERTIES OBJECT_DEPENDS "${CORVANE_MANIFEST_FILE}")
add_library(corvane_win32_manifest OBJECT "${CMAKE_CURRENT_BINARY_DIR}/manifest.rc")
