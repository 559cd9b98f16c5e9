# Runs PROGRAM, a test program of the ThreadSanitizer tree with a race
# planted on the global VARIABLE; passes only when the sanitizer reported one
# data race, on that variable, and the program failed with the exit code the
# test main gives a race report (66).
#   cmake -DPROGRAM=... -DVARIABLE=... -P expectrace.cmake
execute_process(COMMAND ${PROGRAM} RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE errors
                TIMEOUT 120)
set(failures "")
foreach(expected "WARNING: ThreadSanitizer: data race" "Location is global '${VARIABLE}'"
                 "ThreadSanitizer: reported 1 warnings")
    string(FIND "${errors}" "${expected}" at)
    if(at EQUAL -1)
        string(APPEND failures "\n  no \"${expected}\"")
    endif()
endforeach()
if(NOT result STREQUAL "66")
    string(APPEND failures "\n  exit: ${result}, not 66")
endif()
if(failures)
    message(FATAL_ERROR "${PROGRAM}: the planted race was not reported as expected:${failures}\n"
                        "--- output\n${output}\n--- errors\n${errors}")
endif()
