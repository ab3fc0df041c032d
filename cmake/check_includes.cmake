# Refuses an include whose path is looked up outside the header folders that
# keep each part to the parts below it (headers.cmake): one that climbs with
# "../" ("../link/serial_frame.h" from app/core builds, found beside the
# including file), one that reaches down from the including file's folder
# ("screen/configuration_frame.h" from app/config), and an absolute one.
# Every include names its file from the project root instead.
#   cmake -DROOT=<project root> -DSTAMP=<file written when all is well>
#         -DFOLDERS=<folders under ROOT, ;-separated> -P check_includes.cmake
if(NOT ROOT)
  message(FATAL_ERROR "check_includes.cmake: set ROOT")
endif()
if(NOT FOLDERS)
  # The build names them once, in headers.cmake.
  message(FATAL_ERROR "check_includes.cmake: set FOLDERS")
endif()

set(patterns)
foreach(folder ${FOLDERS})
  foreach(extension c cc cpp h hpp in)
    list(APPEND patterns ${ROOT}/${folder}/*.${extension})
  endforeach()
endforeach()
file(GLOB_RECURSE sources ${patterns})

set(include_line "^[ \t]*#[ \t]*include[ \t]*([<\"])([^>\"]*)[>\"]")
set(refused)
foreach(source ${sources})
  file(STRINGS ${source} lines REGEX "^[ \t]*#[ \t]*include")
  if(NOT lines)
    continue()
  endif()
  get_filename_component(folder ${source} DIRECTORY)
  file(RELATIVE_PATH shown ${ROOT} ${source})
  foreach(line IN LISTS lines)
    if(NOT line MATCHES "${include_line}")
      continue()
    endif()
    set(quote "${CMAKE_MATCH_1}")
    set(path "${CMAKE_MATCH_2}")
    if(quote STREQUAL "<")
      set(written "<${path}>")
    else()
      set(written "\"${path}\"")
    endif()
    if(path MATCHES "(^|/)\\.\\.(/|$)")
      list(APPEND refused "${shown}: #include ${written} climbs out of its folder")
    elseif(path MATCHES "^/")
      list(APPEND refused "${shown}: #include ${written} is an absolute path")
    elseif(quote STREQUAL "\"" AND path MATCHES "/" AND EXISTS ${folder}/${path})
      list(APPEND refused "${shown}: #include ${written} is found below the including file's folder")
    endif()
  endforeach()
endforeach()

if(refused)
  list(JOIN refused "\n  " text)
  message(FATAL_ERROR "Includes that pass the header folders; name the file from the project root "
                      "(\"app/link/serial_frame.h\"):\n  ${text}")
endif()
if(STAMP)
  file(TOUCH ${STAMP})
endif()
