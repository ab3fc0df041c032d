# `cmake --install build --prefix DIR` lays out the program folder DIR as build/bin
# is laid out: Kovrin finds libqel_usb.so, the library finds QelUsb.so, and every
# binary finds libkovrin_platform.so, all beside itself. Other hosts of the library
# find its header in DIR/include and its pkg-config file in DIR/lib/pkgconfig, the
# desktop finds the menu entry and the icon in DIR/share. The emulators are no part
# of the program: only `--component emulators` installs them.
if(CMAKE_INSTALL_PREFIX_INITIALIZED_TO_DEFAULT)
  set(CMAKE_INSTALL_PREFIX /opt/kovrin CACHE PATH "The program folder that cmake --install fills" FORCE)
endif()

# The deliverables and the layer they load; a target that is not built (yet) is left out.
foreach(target Kovrin qel_usb QelUsb kovrin_platform)
  if(TARGET ${target})
    set_target_properties(${target} PROPERTIES INSTALL_RPATH "$ORIGIN")
    install(TARGETS ${target} RUNTIME DESTINATION . COMPONENT program LIBRARY DESTINATION . COMPONENT program)
  endif()
endforeach()
install(FILES ${KOVRIN_BIN_DIR}/70-kovrin-usb.rules DESTINATION . COMPONENT program)

# The menu entry names the program by the folder it is installed into.
if(TARGET program-icon-files)
  install(CODE "
    set(KOVRIN_PROGRAM \"\${CMAKE_INSTALL_PREFIX}/Kovrin\")
    configure_file(\"${PROJECT_SOURCE_DIR}/app/desktop/kovrin.desktop.in\"
                   \"${PROJECT_BINARY_DIR}/install/kovrin.desktop\" @ONLY)
    file(INSTALL \"${PROJECT_BINARY_DIR}/install/kovrin.desktop\"
         DESTINATION \"\${CMAKE_INSTALL_PREFIX}/share/applications\")
  " COMPONENT program)
  install(DIRECTORY ${KOVRIN_ICON_DIR}/ DESTINATION share/icons/hicolor COMPONENT program)
endif()

# The acceptor emulator, and the emulated USB bus with its devices, which the
# platform loads from beside the driver for QELUSB_BUS=emulated.
foreach(target acceptor-emulator usb_emulators)
  if(TARGET ${target})
    set_target_properties(${target} PROPERTIES INSTALL_RPATH "$ORIGIN")
    install(TARGETS ${target} RUNTIME DESTINATION . COMPONENT emulators EXCLUDE_FROM_ALL
                              LIBRARY DESTINATION . COMPONENT emulators EXCLUDE_FROM_ALL)
  endif()
endforeach()
