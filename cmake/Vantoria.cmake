# Common compile settings for every target of the project.
function(vantoria_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow=local
    $<$<BOOL:${VANTORIA_WERROR}>:-Werror>)
endfunction()

# One static library per subsystem folder: the logic from src/<name>/*.cpp (QtCore/QtGui only)
# and, when src/<name>/ui/ holds sources, a second library vantoria_<name>_ui with the widgets.
# DEPS are further vantoria_* libraries the logic needs.
function(vantoria_subsystem name)
  cmake_parse_arguments(ARG "" "" "DEPS;UI_DEPS;LIBS" ${ARGN})
  file(GLOB logic_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  add_library(vantoria_${name} STATIC ${logic_sources})
  vantoria_warnings(vantoria_${name})
  target_include_directories(vantoria_${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(vantoria_${name} PUBLIC ${ARG_DEPS} ${ARG_LIBS} Qt6::Core Qt6::Gui)
  file(GLOB ui_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/ui/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/ui/*.h
       ${CMAKE_CURRENT_SOURCE_DIR}/ui/*.ui)
  if(ui_sources)
    add_library(vantoria_${name}_ui STATIC ${ui_sources})
    vantoria_warnings(vantoria_${name}_ui)
    target_link_libraries(vantoria_${name}_ui PUBLIC vantoria_${name} ${ARG_UI_DEPS} Qt6::Widgets)
    set_property(GLOBAL APPEND PROPERTY VANTORIA_LIBS vantoria_${name}_ui)
  endif()
  set_property(GLOBAL APPEND PROPERTY VANTORIA_LIBS vantoria_${name})
endfunction()
