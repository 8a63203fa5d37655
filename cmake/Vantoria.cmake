# Common compile settings for every target of the project.
function(vantoria_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic $<$<CXX_COMPILER_ID:GNU>:-Wshadow=local>
    $<$<BOOL:${VANTORIA_WERROR}>:-Werror>)
endfunction()

# Links `target` to each vantoria_* library in ARGN that exists once the project is configured
# (a subsystem's ui library appears only when its ui/ folder holds sources).
function(vantoria_link_optional target)
  foreach(dep ${ARGN})
    if(dep MATCHES "^vantoria_")
      target_link_libraries(${target} PUBLIC $<TARGET_NAME_IF_EXISTS:${dep}>)
    else()
      target_link_libraries(${target} PUBLIC ${dep})
    endif()
  endforeach()
endfunction()

# One static library per subsystem folder: the logic from src/<name>/*.cpp (QtCore/QtGui only)
# and, when src/<name>/ui/ holds sources, a second library vantoria_<name>_ui with the widgets.
# DEPS are further vantoria_* libraries the logic needs, UI_DEPS those of the widgets.
function(vantoria_subsystem name)
  cmake_parse_arguments(ARG "" "" "DEPS;UI_DEPS;LIBS" ${ARGN})
  file(GLOB logic_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  if(NOT logic_sources)
    set(empty ${CMAKE_CURRENT_BINARY_DIR}/empty_${name}.cpp)
    file(WRITE ${empty} "// subsystem without sources yet\n")
    set(logic_sources ${empty})
  endif()
  add_library(vantoria_${name} STATIC ${logic_sources})
  vantoria_warnings(vantoria_${name})
  target_include_directories(vantoria_${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(vantoria_${name} PUBLIC ${ARG_LIBS} Qt6::Core Qt6::Gui)
  vantoria_link_optional(vantoria_${name} ${ARG_DEPS})
  file(GLOB ui_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/ui/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/ui/*.h
       ${CMAKE_CURRENT_SOURCE_DIR}/ui/*.ui ${CMAKE_CURRENT_SOURCE_DIR}/ui/*.qrc)
  if(ui_sources)
    add_library(vantoria_${name}_ui STATIC ${ui_sources})
    vantoria_warnings(vantoria_${name}_ui)
    target_link_libraries(vantoria_${name}_ui PUBLIC vantoria_${name} Qt6::Widgets)
    vantoria_link_optional(vantoria_${name}_ui ${ARG_UI_DEPS})
    set_property(GLOBAL APPEND PROPERTY VANTORIA_LIBS vantoria_${name}_ui)
  endif()
  set_property(GLOBAL APPEND PROPERTY VANTORIA_LIBS vantoria_${name})
endfunction()
