# The audit window, the About box and the access-code dialogs with their logic.
# Included by the main window's build and by the dialog tests.
include_guard(GLOBAL)
include(${CMAKE_CURRENT_LIST_DIR}/pictures.cmake)
add_library(kovrin_dialogs STATIC
  ${CMAKE_CURRENT_LIST_DIR}/access_codes.cpp
  ${CMAKE_CURRENT_LIST_DIR}/system_info_tool.cpp
  ${CMAKE_CURRENT_LIST_DIR}/form_audit.cpp
  ${CMAKE_CURRENT_LIST_DIR}/form_about.cpp
  ${CMAKE_CURRENT_LIST_DIR}/form_super_user.cpp
)
target_include_directories(kovrin_dialogs PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(kovrin_dialogs PUBLIC kovrin_seam kovrin_config kovrin_link kovrin_pictures Qt6::Widgets)
target_compile_definitions(kovrin_dialogs PRIVATE
  KOVRIN_VERSION_MAJOR=${CMAKE_PROJECT_VERSION_MAJOR}
  KOVRIN_VERSION_MINOR=${CMAKE_PROJECT_VERSION_MINOR}
  KOVRIN_VERSION_PATCH=${CMAKE_PROJECT_VERSION_PATCH})
set_target_properties(kovrin_dialogs PROPERTIES AUTOMOC ON)
