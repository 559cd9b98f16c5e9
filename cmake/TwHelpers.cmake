# Build helpers shared by every module.

# Every sub-folder of the current folder that has a CMakeLists.txt is added
# (platform/ and testing/ hold one small module per folder).
function(tw_add_subfolders)
    file(GLOB children LIST_DIRECTORIES true RELATIVE ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/*)
    list(SORT children)
    foreach(child IN LISTS children)
        if(IS_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}/${child}
           AND EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${child}/CMakeLists.txt)
            add_subdirectory(${child})
        endif()
    endforeach()
endfunction()

# One set of sources, two forms: NAME (shared) and NAME_static (static).
#   tw_dual_library(NAME SOURCES ... [DUAL_DEPENDS lib ...] [PUBLIC_LIBS ...] [PRIVATE_LIBS ...])
# DUAL_DEPENDS names other dual libraries: the shared form links their shared
# form, the static form their static form (the file-transfer tool links the
# whole framework in statically).
function(tw_dual_library name)
    cmake_parse_arguments(ARG "" "" "SOURCES;DUAL_DEPENDS;PUBLIC_LIBS;PRIVATE_LIBS" ${ARGN})
    add_library(${name}_objects OBJECT ${ARG_SOURCES})
    set_target_properties(${name}_objects PROPERTIES POSITION_INDEPENDENT_CODE ON)
    target_link_libraries(${name}_objects PUBLIC ${ARG_DUAL_DEPENDS} ${ARG_PUBLIC_LIBS} PRIVATE ${ARG_PRIVATE_LIBS})

    add_library(${name} SHARED $<TARGET_OBJECTS:${name}_objects>)
    target_link_libraries(${name} PUBLIC ${ARG_DUAL_DEPENDS} ${ARG_PUBLIC_LIBS} PRIVATE ${ARG_PRIVATE_LIBS})

    set(static_depends)
    foreach(dep IN LISTS ARG_DUAL_DEPENDS)
        list(APPEND static_depends ${dep}_static)
    endforeach()
    add_library(${name}_static STATIC $<TARGET_OBJECTS:${name}_objects>)
    target_link_libraries(${name}_static PUBLIC ${static_depends} ${ARG_PUBLIC_LIBS} PRIVATE ${ARG_PRIVATE_LIBS})
endfunction()

# True when the tests of the current folder run in this tree: every folder's in
# the main tree, only those of TW_TSAN_FOLDERS in the ThreadSanitizer tree
# (where the others' programs are still defined, so their folders configure,
# but neither built nor registered).
function(tw_tests_wanted out)
    set(${out} TRUE PARENT_SCOPE)
    if(NOT TW_SANITIZE STREQUAL "thread")
        return()
    endif()
    file(RELATIVE_PATH folder ${CMAKE_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
    foreach(wanted IN LISTS TW_TSAN_FOLDERS)
        if(folder STREQUAL wanted OR folder MATCHES "^${wanted}/")
            return()
        endif()
    endforeach()
    set(${out} FALSE PARENT_SCOPE)
endfunction()

# A test program on one of the test mains, built as tw_add_gtest builds its
# programs but not registered with CTest, for a test that runs it its own way.
#   tw_test_program(NAME SOURCES ... LIBS ... [MAIN plain|core|gui])
# MAIN picks the test main from testing/main: plain (default, no Qt application),
# core (a QCoreApplication exists) or gui (a QApplication exists, offscreen
# unless DISPLAY or QT_QPA_PLATFORM says otherwise).
function(tw_test_program name)
    cmake_parse_arguments(ARG "" "MAIN" "SOURCES;LIBS" ${ARGN})
    if(NOT ARG_MAIN)
        set(ARG_MAIN plain)
    endif()
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE tw_test_main_${ARG_MAIN} ${ARG_LIBS} GTest::gtest GTest::gmock)
    # In the sanitizer trees a test program's own sources compile unoptimised:
    # the code under test (the libraries) keeps -O1, and the tests' sources,
    # which mostly set up, wait and compare, compile in about 40 % less time.
    if(TW_SANITIZE)
        target_compile_options(${name} PRIVATE "$<$<CONFIG:RelWithDebInfo>:-O0>")
    endif()
    # The description of Qt's locks for ThreadSanitizer (testing/main).
    if(TW_SANITIZE STREQUAL "thread")
        target_link_libraries(${name} PRIVATE tw_tsan_qt_locks)
    endif()
endfunction()

# A GoogleTest program registered test by test with CTest.
#   tw_add_gtest(NAME SOURCES ... LIBS ... [MAIN plain|core|gui] [LABELS label]
#                [RESOURCE_LOCK name] [TIMEOUT s] [COST n] [MAIN_TREE_ONLY])
# COST: the program's tests run early, before cheaper ones (ctest orders by
# cost; a fresh tree has no cost data of its own), for the few long tests
# that would otherwise set the tail of a parallel run. MAIN: as for
# tw_test_program. MAIN_TREE_ONLY: a program of a folder in TW_TSAN_FOLDERS
# whose threads hand something over through Qt's event loop, which the
# ThreadSanitizer tree cannot see (or, without a thread of its own, one that
# needs a program that tree does not build), so that the folder's other
# programs still run there.
function(tw_add_gtest name)
    if(NOT TW_TESTS)
        return()
    endif()
    cmake_parse_arguments(ARG "MAIN_TREE_ONLY" "MAIN;TIMEOUT;COST" "SOURCES;LIBS;LABELS;RESOURCE_LOCK" ${ARGN})
    if(NOT ARG_TIMEOUT)
        set(ARG_TIMEOUT 300)
    endif()
    tw_test_program(${name} SOURCES ${ARG_SOURCES} LIBS ${ARG_LIBS} MAIN ${ARG_MAIN})
    tw_tests_wanted(wanted)
    if(NOT wanted OR (ARG_MAIN_TREE_ONLY AND TW_SANITIZE STREQUAL "thread"))
        return()
    endif()
    add_dependencies(tw_tests ${name})
    set(props TIMEOUT ${ARG_TIMEOUT})
    # One value each: a list would not survive the discovery script.
    if(ARG_LABELS)
        list(APPEND props LABELS ${ARG_LABELS})
    endif()
    if(ARG_RESOURCE_LOCK)
        list(APPEND props RESOURCE_LOCK ${ARG_RESOURCE_LOCK})
    endif()
    if(ARG_COST)
        list(APPEND props COST ${ARG_COST})
    endif()
    # The test list is read from the program right after it links, beside the
    # rest of the build: read when ctest starts, one program after another, it
    # held the start of every run up by 25 s or more. The ThreadSanitizer tree
    # reads it when ctest starts: its programs run only under `setarch -R`.
    if(TW_SANITIZE STREQUAL "thread")
        set(discovery PRE_TEST)
    else()
        set(discovery POST_BUILD)
    endif()
    gtest_discover_tests(${name}
        DISCOVERY_MODE ${discovery}
        DISCOVERY_TIMEOUT 120
        PROPERTIES ${props})
endfunction()


# Writes what the layer check (cmake/checklayers.py) reads: one line per
# target of the build, its fields separated by tabs: name, type, source
# folder, sources, link libraries, interface link libraries (lists as CMake
# writes them, ";" between items; aliases resolved to their targets).
#   tw_write_target_table(FILE)   call it last, when every target exists
function(tw_write_target_table file)
    set(table "")
    tw_all_targets(targets)
    foreach(target IN LISTS targets)
        get_target_property(type ${target} TYPE)
        get_target_property(sourceDir ${target} SOURCE_DIR)
        set(fields "${target}\t${type}\t${sourceDir}")
        foreach(property SOURCES LINK_LIBRARIES INTERFACE_LINK_LIBRARIES)
            get_target_property(items ${target} ${property})
            if(NOT items)
                set(items "")
            endif()
            set(resolved "")
            foreach(item IN LISTS items)
                # A static library's private links come as $<LINK_ONLY:name>.
                string(REGEX REPLACE "^\\$<LINK_ONLY:(.*)>$" "\\1" name "${item}")
                if(TARGET "${name}")
                    get_target_property(aliased "${name}" ALIASED_TARGET)
                    if(aliased AND item STREQUAL name)
                        set(item ${aliased})
                    elseif(aliased)
                        set(item "$<LINK_ONLY:${aliased}>")
                    endif()
                endif()
                list(APPEND resolved "${item}")
            endforeach()
            string(APPEND fields "\t${resolved}")
        endforeach()
        string(APPEND table "${fields}\n")
    endforeach()
    file(WRITE ${file} "${table}")
endfunction()

# Every target of the build, folder by folder (call it last, when every target exists).
function(tw_all_targets out)
    set(all "")
    set(folders ${CMAKE_SOURCE_DIR})
    while(folders)
        list(POP_FRONT folders folder)
        get_property(subfolders DIRECTORY ${folder} PROPERTY SUBDIRECTORIES)
        list(APPEND folders ${subfolders})
        get_property(targets DIRECTORY ${folder} PROPERTY BUILDSYSTEM_TARGETS)
        list(APPEND all ${targets})
    endwhile()
    set(${out} ${all} PARENT_SCOPE)
endfunction()

# Qt's meta-object compiler runs only for the targets that have something for
# it: a source, or a header beside a source, that declares a Q_OBJECT class,
# a gadget or a meta-object namespace. These are the files AUTOMOC itself
# reads. Without it every target (most test programs, the shared and static
# forms of a library whose objects are compiled elsewhere) pays for a scan,
# the compiler's macro dump and an empty generated source to compile.
#   tw_automoc_where_needed()   call it last, when every target exists
function(tw_automoc_where_needed)
    tw_all_targets(targets)
    foreach(target IN LISTS targets)
        get_target_property(automoc ${target} AUTOMOC)
        if(NOT automoc)
            continue()
        endif()
        get_target_property(sourceDir ${target} SOURCE_DIR)
        get_target_property(sources ${target} SOURCES)
        set(needed FALSE)
        foreach(source IN LISTS sources)
            if(source MATCHES "^\\$<")
                continue()
            endif()
            get_filename_component(path "${source}" ABSOLUTE BASE_DIR ${sourceDir})
            get_filename_component(folder "${path}" DIRECTORY)
            get_filename_component(stem "${path}" NAME_WLE)
            foreach(file IN ITEMS "${path}" "${folder}/${stem}.h" "${folder}/${stem}_p.h")
                if(EXISTS "${file}" AND NOT IS_DIRECTORY "${file}")
                    file(STRINGS "${file}" declarations LIMIT_COUNT 1
                         REGEX "Q_OBJECT|Q_GADGET|Q_NAMESPACE|Q_PLUGIN_METADATA")
                    if(declarations)
                        set(needed TRUE)
                        break()
                    endif()
                endif()
            endforeach()
            if(needed)
                break()
            endif()
        endforeach()
        if(NOT needed)
            set_target_properties(${target} PROPERTIES AUTOMOC OFF)
        endif()
    endforeach()
endfunction()
