# The acceptor family's USB ids, set in one place: they feed the driver's public
# header (through a generated header), the bus's hotplug filter and the udev rule.
# A site whose devices carry other ids sets these when it configures.
set(KOVRIN_USB_VENDOR_ID 0x7B5A CACHE STRING "USB vendor id of the acceptor family (0xHHHH)")
set(KOVRIN_USB_PRODUCT_ACCEPTOR 0x0100 CACHE STRING "USB product id of the USB acceptor, Knurl (0xHHHH)")
set(KOVRIN_USB_PRODUCT_MODULE 0x0200 CACHE STRING "USB product id of the programming module KDU (0xHHHH)")
set(KOVRIN_USB_PRODUCT_SECOND_MODULE 0x0300 CACHE STRING "USB product id of the programming module RDU (0xHHHH)")

# Four hex digits after 0x; udev wants them bare and in lower case.
foreach(id VENDOR_ID PRODUCT_ACCEPTOR PRODUCT_MODULE PRODUCT_SECOND_MODULE)
  set(value "${KOVRIN_USB_${id}}")
  if(NOT value MATCHES "^0[xX][0-9A-Fa-f][0-9A-Fa-f][0-9A-Fa-f][0-9A-Fa-f]$")
    message(FATAL_ERROR "KOVRIN_USB_${id} is \"${value}\": write a USB id as 0x and four hex digits, e.g. 0x7B5A")
  endif()
  string(SUBSTRING "${value}" 2 4 digits)
  string(TOLOWER "${digits}" KOVRIN_UDEV_${id})
endforeach()

# Included as "driver/qelusb_ids.h"; the driver's headers offer it (driver/CMakeLists.txt).
configure_file(${PROJECT_SOURCE_DIR}/driver/qelusb_ids.h.in ${PROJECT_BINARY_DIR}/generated/usb_ids/driver/qelusb_ids.h @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/udev/70-kovrin-usb.rules.in ${KOVRIN_BIN_DIR}/70-kovrin-usb.rules @ONLY)
