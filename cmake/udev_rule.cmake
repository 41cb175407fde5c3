# Makes the udev rule from the list of Corvane products in device/usb_products.h, so the rule and
# the tool cannot name different products. Each entry there stands on a line of its own in the
# form {0xVVVV, 0xPPPP, "what"}.
set(_corvane_products_header ${PROJECT_SOURCE_DIR}/device/usb_products.h)
set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${_corvane_products_header} ${PROJECT_SOURCE_DIR}/resources/70-corvane-update.rules.in)
file(STRINGS ${_corvane_products_header} _corvane_product_lines
     REGEX "^ *\\{0x[0-9A-Fa-f][0-9A-Fa-f][0-9A-Fa-f][0-9A-Fa-f], 0x[0-9A-Fa-f][0-9A-Fa-f][0-9A-Fa-f][0-9A-Fa-f], \".*\"\\},$")
set(CORVANE_UDEV_MATCHES "")
foreach(_line IN LISTS _corvane_product_lines)
  string(REGEX MATCH "\\{0x([0-9A-Fa-f]+), 0x([0-9A-Fa-f]+), \"(.*)\"\\}" _ "${_line}")
  # sysfs shows the ids in lower-case hex, and udev compares them as text.
  string(TOLOWER "${CMAKE_MATCH_1}" _vendor)
  string(TOLOWER "${CMAKE_MATCH_2}" _product)
  string(APPEND CORVANE_UDEV_MATCHES
         "# ${CMAKE_MATCH_3}\n"
         "SUBSYSTEMS==\"usb\", ATTRS{idVendor}==\"${_vendor}\", ATTRS{idProduct}==\"${_product}\", "
         "ATTRS{bDeviceClass}!=\"09\", TAG+=\"uaccess\"\n")
endforeach()
if(CORVANE_UDEV_MATCHES STREQUAL "")
  message(FATAL_ERROR "No product found in ${_corvane_products_header} for the udev rule")
endif()
string(STRIP "${CORVANE_UDEV_MATCHES}" CORVANE_UDEV_MATCHES)
set(CORVANE_UDEV_RULE ${PROJECT_BINARY_DIR}/udev/70-corvane-update.rules)
configure_file(${PROJECT_SOURCE_DIR}/resources/70-corvane-update.rules.in ${CORVANE_UDEV_RULE} @ONLY)
