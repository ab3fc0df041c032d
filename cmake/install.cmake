# `cmake --install build --prefix DIR` lays out the program folder DIR as build/bin
# is laid out: Kovrin finds libqel_usb.so, the library finds QelUsb.so, and every
# binary finds libkovrin_platform.so, all beside itself.
if(CMAKE_INSTALL_PREFIX_INITIALIZED_TO_DEFAULT)
  set(CMAKE_INSTALL_PREFIX /opt/kovrin CACHE PATH "The program folder that cmake --install fills" FORCE)
endif()

# The deliverables, the layer they load, and the emulators; a target that is not
# built (yet) is left out.
set(kovrin_installed Kovrin qel_usb QelUsb kovrin_platform acceptor-emulator)

foreach(target ${kovrin_installed})
  if(TARGET ${target})
    set_target_properties(${target} PROPERTIES INSTALL_RPATH "$ORIGIN")
    install(TARGETS ${target} RUNTIME DESTINATION . LIBRARY DESTINATION .)
  endif()
endforeach()
install(FILES ${KOVRIN_BIN_DIR}/70-kovrin-usb.rules DESTINATION .)
