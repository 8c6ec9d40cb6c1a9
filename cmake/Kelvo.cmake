# Shared settings of both builds.
#
# Native build: portable core, its unit tests (with AddressSanitizer and UBSan),
# the build-time tools, and the CTest registry of every test layer.
# Cross build (KELVO_WIN): Kelvo.exe, the Windows-side tests, dist/Kelvo/.

set(KELVO_ROOT ${CMAKE_CURRENT_LIST_DIR}/..)
get_filename_component(KELVO_ROOT ${KELVO_ROOT} ABSOLUTE)
set(KELVO_DIST ${KELVO_ROOT}/dist/Kelvo CACHE PATH "installation folder laid out by the Windows build")
# Debian's scantool data, which the trouble-code file is made from at build time.
set(KELVO_DTC_SOURCE /usr/share/scantool/codes.dat CACHE FILEPATH "code datafile dtc/en_OBDII.txt is made from")

# The password every program of ours passes with its skins: the skin compiler
# seals the installed skins with it, Kelvo opens them with it (as the compile
# definition KELVO_SKIN_PASSWORD, a narrow string literal).
set(KELVO_SKIN_PASSWORD "Vox")

# zlib (the installer's package): linked in, so that no program needs a DLL of it.
set(ZLIB_USE_STATIC_LIBS ON)
find_package(ZLIB REQUIRED)

if(KELVO_WIN)
    include(${CMAKE_CURRENT_LIST_DIR}/DelayImports.cmake)
    add_compile_definitions(UNICODE _UNICODE NOMINMAX _WIN32_WINNT=0x0601 WINVER=0x0601)
    add_compile_options(-Wall -Wextra -Wno-unused-parameter -Wno-cast-function-type -Wno-missing-field-initializers)
    # Static runtime: the programs need no MinGW DLLs next to them.
    set(CMAKE_EXE_LINKER_FLAGS "${CMAKE_EXE_LINKER_FLAGS} -static -static-libgcc -static-libstdc++")
    # Folder of the native build's tools (text-table compiler, package builder, ...).
    set(KELVO_HOST_TOOLS "" CACHE PATH "bin folder of the native build")
else()
    add_compile_options(-Wall -Wextra -Wno-unused-parameter)
    option(KELVO_SANITIZE "native build with AddressSanitizer and UBSan" ON)
    if(KELVO_SANITIZE)
        add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
        add_link_options(-fsanitize=address,undefined)
    endif()
    # Where the cross build puts its test programs; the native CTest runs them under Wine.
    set(KELVO_WIN_BUILD "${KELVO_ROOT}/build/win32" CACHE PATH "binary folder of the cross build")
    # The Windows layers are tested with one architecture (scripts/lib/wine-arch):
    # win32, the product itself, or win64, an x86_64 build of the same sources
    # with its own test copy of the installation folder.
    set(KELVO_WINE_ARCH "win32" CACHE STRING "architecture the Windows layers are tested with (win32 or win64)")
    set(KELVO_TEST_DIST "${KELVO_DIST}" CACHE PATH "installation folder the end-to-end tests run")
endif()

# A GoogleTest program of the portable core, run natively:
# kelvo_native_test(name sources... [LIBS libraries...]). LIBS names what the
# test uses (the core libraries of the rooms it tests first); the POSIX back
# end comes last on its link line, after every library that calls it.
function(kelvo_native_test name)
    if(KELVO_WIN)
        return()
    endif()
    cmake_parse_arguments(T "" "" "LIBS" ${ARGN})
    add_executable(${name} ${T_UNPARSED_ARGUMENTS})
    target_link_libraries(${name} PRIVATE GTest::gtest_main GTest::gmock kelvo_testsupport ${T_LIBS} kelvo_platform)
    gtest_discover_tests(${name} TEST_PREFIX "native.${name}." DISCOVERY_TIMEOUT 60
        PROPERTIES ENVIRONMENT "KELVO_SOURCE=${KELVO_ROOT};KELVO_BIN=${CMAKE_BINARY_DIR}")
endfunction()

# A GoogleTest program built with MinGW and run under Wine. The cross build
# makes the .exe; the native build registers one CTest entry per test case
# (<layer>.<program>.<Suite>.<Case>), each with the program's time-out, found
# in the sources' TEST/TEST_F lines; <layer>.<program>.cases_registered checks
# that list against the program's own --gtest_list_tests under Wine, so a case
# the sources hide from the scan cannot go unrun. Extra arguments after
# SOURCES are the sources, LIBS the libraries, ENVIRONMENT more NAME=value,
# STORIES the suites whose cases are the steps of one story, in order, in one
# process (install, look, reinstall, uninstall): such a suite is one entry,
# <layer>.<program>.<Suite>, that passes when all its cases ran and passed.
# Options: GUI (needs the X display, runs alone), SERIAL (runs with no other
# test at all), TIMEOUT seconds for each entry.
function(kelvo_wine_test name)
    cmake_parse_arguments(W "GUI;SERIAL" "TIMEOUT" "SOURCES;LIBS;ENVIRONMENT;STORIES" ${ARGN})
    if(NOT W_TIMEOUT)
        set(W_TIMEOUT 300)
    endif()
    if(KELVO_WIN)
        add_executable(${name} ${W_SOURCES})
        target_link_libraries(${name} PRIVATE kelvo_gtest_win ${W_LIBS})
        set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests/bin)
        return()
    endif()
    file(RELATIVE_PATH subdir ${KELVO_ROOT}/tests ${CMAKE_CURRENT_SOURCE_DIR})
    string(REPLACE "/" "." layer "${subdir}")
    set(exe ${KELVO_WIN_BUILD}/tests/bin/${name}.exe)
    set(cases)
    foreach(src ${W_SOURCES})
        if(NOT src MATCHES "\\.cpp$")
            continue()
        endif()
        get_filename_component(src ${src} ABSOLUTE BASE_DIR ${CMAKE_CURRENT_SOURCE_DIR})
        set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${src})
        file(STRINGS ${src} lines REGEX "^[ \t]*TEST(_F)?[ \t]*\\(")
        foreach(line ${lines})
            if(line MATCHES "^[ \t]*TEST(_F)?[ \t]*\\([ \t]*([A-Za-z0-9_]+)[ \t]*,[ \t]*([A-Za-z0-9_]+)[ \t]*\\)")
                list(APPEND cases "${CMAKE_MATCH_2}.${CMAKE_MATCH_3}")
            else()
                message(FATAL_ERROR "${src}: a test whose suite and name are not on its first line: ${line}")
            endif()
        endforeach()
    endforeach()
    list(SORT cases)
    set(listing ${CMAKE_CURRENT_BINARY_DIR}/${name}.cases)
    string(REPLACE ";" "\n" text "${cases}")
    file(WRITE ${listing} "${text}\n")

    set(env "KELVO_SOURCE=${KELVO_ROOT};KELVO_BIN=${CMAKE_BINARY_DIR};KELVO_WIN_BUILD=${KELVO_WIN_BUILD};KELVO_DIST=${KELVO_TEST_DIST};KELVO_WINE_ARCH=${KELVO_WINE_ARCH};KELVO_ENV_FILE=${CMAKE_BINARY_DIR}/wine/env" ${W_ENVIRONMENT})
    set(tests ${layer}.${name}.cases_registered)
    add_test(NAME ${layer}.${name}.cases_registered
        COMMAND ${KELVO_ROOT}/scripts/lib/wine-gtest list ${exe} ${listing})
    set(singles)
    foreach(c ${cases})
        string(REGEX REPLACE "\\..*" "" suite "${c}")
        if(NOT suite IN_LIST W_STORIES)
            add_test(NAME ${layer}.${name}.${c} COMMAND ${KELVO_ROOT}/scripts/lib/wine-gtest run ${exe} ${c})
            list(APPEND singles ${layer}.${name}.${c})
        endif()
    endforeach()
    foreach(suite ${W_STORIES})
        set(story ${cases})
        list(FILTER story INCLUDE REGEX "^${suite}\\.")
        list(LENGTH story steps)
        if(steps EQUAL 0)
            message(FATAL_ERROR "${name}: the story ${suite} has no cases")
        endif()
        add_test(NAME ${layer}.${name}.${suite} COMMAND ${KELVO_ROOT}/scripts/lib/wine-gtest run ${exe} "${suite}.*" ${steps})
        list(APPEND tests ${layer}.${name}.${suite})
    endforeach()
    list(APPEND tests ${singles})
    set_tests_properties(${tests} PROPERTIES FIXTURES_REQUIRED wine TIMEOUT ${W_TIMEOUT} ENVIRONMENT "${env}")
    if(singles)
        set_tests_properties(${singles} PROPERTIES SKIP_REGULAR_EXPRESSION "\\[  SKIPPED \\] 1 test")
    endif()
    if(W_GUI)
        set_tests_properties(${tests} PROPERTIES RESOURCE_LOCK desktop)
    endif()
    if(W_SERIAL)
        set_tests_properties(${tests} PROPERTIES RUN_SERIAL TRUE)
    endif()
endfunction()

if(NOT KELVO_WIN)
    # Build-time tools land here; the cross build finds them as KELVO_HOST_TOOLS.
    set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
endif()

# Version resources, release link, signing (cross build); the build's date.
include(${CMAKE_CURRENT_LIST_DIR}/Release.cmake)
