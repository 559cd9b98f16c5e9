# Runs PROGRAM, a test program of the ThreadSanitizer tree with a fault
# planted for the sanitizer, only the tests that FILTER names (GoogleTest's
# filter; all when empty); passes only when the sanitizer reported one
# warning, of the kind REPORT ("data race" when empty), whose text holds MARK
# (for a race on a global, "Location is global 'VARIABLE'" when VARIABLE is
# given), and the program failed with the exit code the test main gives a
# report (66).
#   cmake -DPROGRAM=... [-DFILTER=...] [-DREPORT=...] (-DVARIABLE=... | -DMARK=...) -P expectrace.cmake
if(NOT REPORT)
    set(REPORT "data race")
endif()
if(VARIABLE)
    set(MARK "Location is global '${VARIABLE}'")
endif()
set(arguments "")
if(FILTER)
    set(arguments "--gtest_filter=${FILTER}")
endif()
execute_process(COMMAND ${PROGRAM} ${arguments} RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE errors
                TIMEOUT 120)
set(failures "")
foreach(expected "WARNING: ThreadSanitizer: ${REPORT}" "${MARK}" "ThreadSanitizer: reported 1 warnings")
    string(FIND "${errors}" "${expected}" at)
    if(at EQUAL -1)
        string(APPEND failures "\n  no \"${expected}\"")
    endif()
endforeach()
if(NOT result STREQUAL "66")
    string(APPEND failures "\n  exit: ${result}, not 66")
endif()
if(failures)
    message(FATAL_ERROR "${PROGRAM} ${arguments}: the planted fault was not reported as expected:${failures}\n"
                        "--- output\n${output}\n--- errors\n${errors}")
endif()
