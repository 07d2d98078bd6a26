# A logic library refuses a widget: the probe that includes <QWidget> compiles
# with its pages library's include path and fails with the logic library's own.
#   cmake -DCOMPILER=... -DPROBE=... -DLOGIC_INCLUDES=a|b -DPAGES_INCLUDES=a|b -P widget_refusal.cmake
function(compile_probe includes result output)
  string(REPLACE "|" ";" _dirs "${includes}")
  set(_flags "")
  foreach(_d IN LISTS _dirs)
    list(APPEND _flags "-I${_d}")
  endforeach()
  execute_process(COMMAND ${COMPILER} -std=c++20 -fPIC -fsyntax-only ${_flags} ${PROBE}
                  RESULT_VARIABLE _rc ERROR_VARIABLE _err OUTPUT_QUIET)
  set(${result} ${_rc} PARENT_SCOPE)
  set(${output} "${_err}" PARENT_SCOPE)
endfunction()

compile_probe("${PAGES_INCLUDES}" _rc _err)
if(NOT _rc EQUAL 0)
  message(FATAL_ERROR "The probe does not build even with the pages' include path:\n${_err}")
endif()
compile_probe("${LOGIC_INCLUDES}" _rc _err)
if(_rc EQUAL 0)
  message(FATAL_ERROR "A widget include builds in the logic library")
endif()
if(NOT _err MATCHES "QWidget: No such file")
  message(FATAL_ERROR "The probe failed, but not for want of the widget header:\n${_err}")
endif()
message(STATUS "The logic library refuses <QWidget>")
