# Fails when a source under the given folders is not laid out as .clang-format
# says. Run by the CodeLayout test: cmake -DCLANG_FORMAT=... -DROOT=... -P CheckLayout.cmake
set(folders bench brellfin framework platform quillet skerrow tarnwick testing)
set(sources)
foreach(folder IN LISTS folders)
    file(GLOB_RECURSE found "${ROOT}/${folder}/*.cpp" "${ROOT}/${folder}/*.h")
    list(APPEND sources ${found})
endforeach()
list(LENGTH sources count)
if(count EQUAL 0)
    message(FATAL_ERROR "no sources found under ${ROOT}")
endif()
execute_process(COMMAND "${CLANG_FORMAT}" --style=file --dry-run -Werror ${sources}
                WORKING_DIRECTORY "${ROOT}" RESULT_VARIABLE result ERROR_VARIABLE report)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "${report}\nLay the files above out with: clang-format -i <file>")
endif()
message(STATUS "${count} sources laid out as .clang-format says")
