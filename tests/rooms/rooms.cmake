# The include graph's rule: a room includes only itself and the rooms below
# it, and a logic room includes no Qt Widgets or Qt Gui header.
#   cmake -DSOURCE_DIR=<checkout> -DQT_CORE_DIR=<QtCore headers> -P rooms.cmake
cmake_minimum_required(VERSION 3.25)
# Rooms by folder, the longest match first; a file outside them is not checked.
set(_rooms
  core/gui=core_gui core=core update/cue=update_cue
  reference/pages=reference_pages reference=reference
  writers/pages=writers_pages writers=writers
  update/pages=update_pages update=update
  shell=shell hushbank=hushbank
  standins=standins platform=platform)
# The stand-ins sit on platform alone; core and what only needs core never reach them.
set(may_platform platform)
set(may_standins platform standins)
set(_below platform)
set(_logic platform standins core update_cue reference writers update)
set(may_core ${_below} core)
set(may_core_gui ${may_core} core_gui)
set(may_update_cue ${may_core} update_cue)
set(may_reference ${may_core} standins reference)
set(may_writers ${may_reference} writers)
set(may_update ${may_writers} update_cue update)
set(may_reference_pages ${may_reference} core_gui reference_pages)
set(may_writers_pages ${may_writers} core_gui writers_pages)
set(may_update_pages ${may_update} core_gui update_pages)
set(may_shell ${may_update} core_gui reference_pages writers_pages update_pages shell)
set(may_hushbank ${may_core} core_gui update_cue hushbank)

function(room_of path out)
  set(_found "")
  foreach(_entry IN LISTS _rooms)
    string(REPLACE "=" ";" _pair "${_entry}")
    list(GET _pair 0 _folder)
    list(GET _pair 1 _room)
    string(LENGTH "${_folder}/" _n)
    string(SUBSTRING "${path}" 0 ${_n} _head)
    if(_head STREQUAL "${_folder}/")
      set(_found ${_room})
      break()
    endif()
  endforeach()
  set(${out} "${_found}" PARENT_SCOPE)
endfunction()

set(_faults "")
set(_files "")
foreach(_top platform standins core reference writers update shell hushbank)
  file(GLOB_RECURSE _in RELATIVE ${SOURCE_DIR} ${SOURCE_DIR}/${_top}/*.h ${SOURCE_DIR}/${_top}/*.cpp)
  list(APPEND _files ${_in})
endforeach()
foreach(_file IN LISTS _files)
  room_of("${_file}" _room)
  if(NOT _room)
    continue()
  endif()
  file(STRINGS ${SOURCE_DIR}/${_file} _lines REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"]")
  foreach(_line IN LISTS _lines)
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*[<\"]([^>\"]*)[>\"].*" "\\1" _inc "${_line}")
    if(_line MATCHES "include[ \t]*\"")
      room_of("${_inc}" _to)
      if(_to AND NOT _to IN_LIST may_${_room})
        list(APPEND _faults "${_file} (${_room}) includes ${_inc} (${_to})")
      endif()
    elseif(_room IN_LIST _logic AND _inc MATCHES "^Q")
      # Qt Core alone: a name its header folder holds.
      if(_inc MATCHES "/" OR NOT EXISTS "${QT_CORE_DIR}/${_inc}")
        list(APPEND _faults "${_file} (${_room}, logic) includes <${_inc}>, not a Qt Core header")
      endif()
    endif()
  endforeach()
endforeach()

if(_faults)
  list(JOIN _faults "\n  " _text)
  message(FATAL_ERROR "Includes across the rooms' rule:\n  ${_text}")
endif()
list(LENGTH _files _count)
message(STATUS "${_count} files keep to the rooms' rule")
