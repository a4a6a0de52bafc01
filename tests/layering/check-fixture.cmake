# Runs the include checker on the fixture tree: it must fail, name every wrong include, and leave the
# correct files alone.
execute_process(COMMAND ${CMAKE_COMMAND} -DROOT=${FIXTURE} "-DLAYERS=${LAYERS}" "-DOUTSIDE_ALLOWED=${OUTSIDE_ALLOWED}"
    -P ${CHECKER} RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
set(all "${out}${err}")
message("${all}")
if(result EQUAL 0)
    message(FATAL_ERROR "the checker accepted the fixture's wrong includes")
endif()
foreach(expected
        "src/lang/Upward.cpp: includes server/Config.h"
        "src/platform/Climb.cpp: includes server/Config.h"
        "outside/shell/Private.cpp: includes entry/Controller.h"
        "3 include\\(s\\) against the layer order")
    if(NOT all MATCHES "${expected}")
        message(FATAL_ERROR "missing from the report: ${expected}")
    endif()
endforeach()
foreach(clean "src/lang/Good.cpp:" "outside/shell/Shell.cpp:" "src/server/Config.h:" "src/entry/Controller.h:")
    if(all MATCHES "${clean}")
        message(FATAL_ERROR "a correct file was reported: ${clean}")
    endif()
endforeach()
