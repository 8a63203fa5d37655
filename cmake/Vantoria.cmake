# Common compile settings for every target of the project.
function(vantoria_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic $<$<CXX_COMPILER_ID:GNU>:-Wshadow=local>
    $<$<BOOL:${VANTORIA_WERROR}>:-Werror>)
endfunction()

# One static library per subsystem folder: the logic from src/<name>/*.cpp (QtCore/QtGui only)
# and, when src/<name>/ui/ holds sources, a second library vantoria_<name>_ui with the widgets.
# DEPS are the further libraries the logic needs, UI_DEPS those of the widgets, LIBS outside
# libraries of the logic. Every name must be a target once the project is configured (checked by
# vantoria_check_link_names), so a misspelt or missing library stops the configure step.
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
  target_link_libraries(vantoria_${name} PUBLIC ${ARG_DEPS} ${ARG_LIBS} Qt6::Core Qt6::Gui)
  file(GLOB ui_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/ui/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/ui/*.h
       ${CMAKE_CURRENT_SOURCE_DIR}/ui/*.ui ${CMAKE_CURRENT_SOURCE_DIR}/ui/*.qrc)
  if(ui_sources)
    add_library(vantoria_${name}_ui STATIC ${ui_sources})
    vantoria_warnings(vantoria_${name}_ui)
    target_link_libraries(vantoria_${name}_ui PUBLIC vantoria_${name} ${ARG_UI_DEPS} Qt6::Widgets)
    set_property(GLOBAL APPEND PROPERTY VANTORIA_LIBS vantoria_${name}_ui)
  endif()
  set_property(GLOBAL APPEND PROPERTY VANTORIA_LIBS vantoria_${name})
endfunction()

# Every target of `dir` and of the folders below it.
function(vantoria_collect_targets dir out)
  get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(sub ${subdirs})
    vantoria_collect_targets(${sub} below)
    list(APPEND targets ${below})
  endforeach()
  set(${out} ${targets} PARENT_SCOPE)
endfunction()

# A name in a link list that is not a target would reach the linker as "-l<name>" and fail late
# or, worse, pick up some other library. Every plain name (no path, flag or generator expression)
# that a target of this project links must be a target. Names with "::" are left to CMake, which
# refuses them at generation when they are not targets (imported targets of a package found in a
# subfolder are not visible from here).
function(vantoria_check_link_names)
  vantoria_collect_targets(${PROJECT_SOURCE_DIR} targets)
  set(problems "")
  foreach(target ${targets})
    get_target_property(type ${target} TYPE)
    if(type STREQUAL "INTERFACE_LIBRARY")
      get_target_property(links ${target} INTERFACE_LINK_LIBRARIES)
    else()
      get_target_property(links ${target} LINK_LIBRARIES)
    endif()
    if(NOT links)
      continue()
    endif()
    foreach(item ${links})
      if(item MATCHES "TARGET_NAME_IF_EXISTS")
        string(APPEND problems "\n  ${target}: ${item} (name the library itself)")
      elseif(item MATCHES "^[A-Za-z0-9_.+][A-Za-z0-9_.+-]*$" AND NOT TARGET ${item})
        string(APPEND problems "\n  ${target}: ${item}")
      endif()
    endforeach()
  endforeach()
  if(problems)
    message(FATAL_ERROR "Libraries named in link lists that are not targets of this configuration:${problems}")
  endif()
endfunction()

# Checked once everything is added, whichever folder a target lives in.
cmake_language(DEFER DIRECTORY ${PROJECT_SOURCE_DIR} CALL vantoria_check_link_names)
