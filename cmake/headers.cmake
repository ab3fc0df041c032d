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
