# Each library offers the headers of its own folders, and sees those of the
# libraries it links and nothing else, so a part that includes a part above
# it does not compile. The headers keep their root-relative names
# ("app/link/serial_frame.h"): each target gets a folder of its own in the
# build tree holding links to just the headers it offers.
#   kovrin_headers(TARGET FOLDER_OR_HEADER...)
# A folder offers its own headers, not those of its sub-folders.
function(kovrin_headers target)
  set(root ${PROJECT_BINARY_DIR}/headers/${target})
  file(REMOVE_RECURSE ${root})
  foreach(entry ${ARGN})
    if(entry MATCHES "\\.h$")
      set(headers ${PROJECT_SOURCE_DIR}/${entry})
      get_filename_component(folder ${entry} DIRECTORY)
    else()
      file(GLOB headers CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${entry}/*.h)
      set(folder ${entry})
    endif()
    file(MAKE_DIRECTORY ${root}/${folder})
    foreach(header ${headers})
      get_filename_component(name ${header} NAME)
      file(CREATE_LINK ${header} ${root}/${folder}/${name} SYMBOLIC)
    endforeach()
  endforeach()
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    target_include_directories(${target} INTERFACE ${root})
  elseif(type STREQUAL "EXECUTABLE" OR type STREQUAL "MODULE_LIBRARY")
    target_include_directories(${target} PRIVATE ${root})
  else()
    target_include_directories(${target} PUBLIC ${root})
  endif()
endfunction()

# A relative include is looked up beside the including file before any header
# folder, so it would let a part reach any other; every build refuses one
# (check_includes.cmake) before it compiles anything.
set(kovrin_include_folders app platform usblib driver emulators bench tests)
set(kovrin_include_globs)
foreach(folder ${kovrin_include_folders})
  foreach(extension c cc cpp h hpp in)
    list(APPEND kovrin_include_globs ${PROJECT_SOURCE_DIR}/${folder}/*.${extension})
  endforeach()
endforeach()
file(GLOB_RECURSE kovrin_include_sources CONFIGURE_DEPENDS ${kovrin_include_globs})
add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/include_check.stamp
  COMMAND ${CMAKE_COMMAND} -DROOT=${PROJECT_SOURCE_DIR} "-DFOLDERS=${kovrin_include_folders}"
          -DSTAMP=${PROJECT_BINARY_DIR}/include_check.stamp -P ${CMAKE_CURRENT_LIST_DIR}/check_includes.cmake
  DEPENDS ${kovrin_include_sources} ${CMAKE_CURRENT_LIST_DIR}/check_includes.cmake
  COMMENT "Checking that every include names its file from the project root"
  VERBATIM)
add_custom_target(include_check ALL DEPENDS ${PROJECT_BINARY_DIR}/include_check.stamp)

# Has every target that compiles wait for the check, so that building any one
# of them (scripts/run builds a few) refuses a relative include too.
function(kovrin_check_includes_first)
  set(folders ${PROJECT_SOURCE_DIR})
  while(folders)
    list(POP_FRONT folders folder)
    get_property(targets DIRECTORY ${folder} PROPERTY BUILDSYSTEM_TARGETS)
    foreach(target ${targets})
      get_target_property(type ${target} TYPE)
      if(type MATCHES "^(EXECUTABLE|STATIC_LIBRARY|SHARED_LIBRARY|MODULE_LIBRARY|OBJECT_LIBRARY)$")
        add_dependencies(${target} include_check)
      endif()
    endforeach()
    get_property(subfolders DIRECTORY ${folder} PROPERTY SUBDIRECTORIES)
    list(APPEND folders ${subfolders})
  endwhile()
endfunction()
