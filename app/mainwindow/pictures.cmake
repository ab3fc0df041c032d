# The program's pictures, drawn with QPainter. Included by the main window's
# build and by the picture tests, so it guards against a second inclusion.
include_guard(GLOBAL)
add_library(kovrin_pictures STATIC ${CMAKE_CURRENT_LIST_DIR}/pictures.cpp)
target_include_directories(kovrin_pictures PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(kovrin_pictures PUBLIC Qt6::Gui Qt6::Widgets)
