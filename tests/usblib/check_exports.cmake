# Compares the dynamic symbols that LIBRARY defines with the functions that
# HEADER declares as exports (QEL_USB_API).
file(READ ${HEADER} header)
string(REGEX MATCHALL "\nQEL_USB_API[^;(]*[ *]([A-Za-z_][A-Za-z_0-9]*)\\(" declarations "${header}")
set(declared)
foreach(declaration ${declarations})
  string(REGEX REPLACE ".*[ *]([A-Za-z_][A-Za-z_0-9]*)\\($" "\\1" name "${declaration}")
  list(APPEND declared ${name})
endforeach()

execute_process(COMMAND nm -D --defined-only --format=posix ${LIBRARY}
                OUTPUT_VARIABLE symbols RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "nm failed on ${LIBRARY}")
endif()
string(REGEX MATCHALL "(^|\n)[^ \n]+ [TtWwDdBbRrVviu] " lines "${symbols}")
set(exported)
foreach(line ${lines})
  string(REGEX REPLACE "^\n?([^ ]+) .*" "\\1" name "${line}")
  list(APPEND exported ${name})
endforeach()

list(SORT declared)
list(SORT exported)
if(NOT declared STREQUAL exported)
  message(FATAL_ERROR "exports differ from the header\n  declared: ${declared}\n  exported: ${exported}")
endif()
list(LENGTH exported count)
message(STATUS "${count} exports, as declared")
