# What every shipped Windows program gets in the cross build: a version
# resource made from the project's one version, a stripped and reproducible
# link, and, when a signing key is given, an Authenticode signature.
#
# Reproducible: the time of a build is nowhere in its output. The one date the
# product shows (the copyright year, the manual's PDF dates) is the commit's
# (SOURCE_DATE_EPOCH, taken from git unless the caller sets it).

if(NOT DEFINED ENV{SOURCE_DATE_EPOCH} OR "$ENV{SOURCE_DATE_EPOCH}" STREQUAL "")
    find_package(Git QUIET)
    if(GIT_FOUND)
        execute_process(COMMAND ${GIT_EXECUTABLE} -C ${KELVO_ROOT} log -1 --format=%ct
            OUTPUT_VARIABLE _kelvo_epoch OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET RESULT_VARIABLE _kelvo_git)
    endif()
    if(NOT _kelvo_git EQUAL 0 OR NOT _kelvo_epoch MATCHES "^[0-9]+$")
        # Not a git checkout: a fixed date rather than the clock's.
        set(_kelvo_epoch 1767225600)
    endif()
    set(ENV{SOURCE_DATE_EPOCH} ${_kelvo_epoch})
endif()
set(KELVO_SOURCE_DATE_EPOCH $ENV{SOURCE_DATE_EPOCH})

set(KELVO_COMPANY "Zendrix")
string(TIMESTAMP _kelvo_year "%Y" UTC)
set(KELVO_COPYRIGHT "Copyright (C) ${_kelvo_year} ${KELVO_COMPANY}")

# Signing key: a PEM certificate with its PEM key, or one PKCS#12 file (with
# KELVO_SIGN_KEY empty). The password, if any, is read from the environment
# variable KELVO_SIGN_PASSWORD when the build signs, never stored in the cache.
# The environment variables of the same names, when set at configure time,
# win over the cache: scripts/build run with them signs, run without them
# does not.
set(KELVO_SIGN_CERT "" CACHE FILEPATH "Authenticode certificate (PEM or PKCS#12); empty: nothing is signed")
set(KELVO_SIGN_KEY "" CACHE FILEPATH "private key (PEM) of KELVO_SIGN_CERT; empty with a PKCS#12 certificate")
if(DEFINED ENV{KELVO_SIGN_CERT})
    set(KELVO_SIGN_CERT "$ENV{KELVO_SIGN_CERT}")
    set(KELVO_SIGN_KEY "$ENV{KELVO_SIGN_KEY}")
endif()
if(KELVO_SIGN_CERT)
    find_program(KELVO_OSSLSIGNCODE osslsigncode REQUIRED)
    set(KELVO_SIGN_COMMAND ${KELVO_ROOT}/scripts/lib/sign-pe --cert ${KELVO_SIGN_CERT})
    if(KELVO_SIGN_KEY)
        list(APPEND KELVO_SIGN_COMMAND --key ${KELVO_SIGN_KEY})
    endif()
else()
    set(KELVO_SIGN_COMMAND)
endif()

if(NOT KELVO_WIN)
    return()
endif()
# What the images were signed with, as a file the links depend on.
set(KELVO_SIGN_STATE ${CMAKE_BINARY_DIR}/signed/key.txt)
file(CONFIGURE OUTPUT ${KELVO_SIGN_STATE} CONTENT "${KELVO_SIGN_CERT} ${KELVO_SIGN_KEY}\n")

# 1.2.3 -> 1,2,3,0
set(KELVO_VERSION_COMMAS)
foreach(_part MAJOR MINOR PATCH TWEAK)
    set(_n "${PROJECT_VERSION_${_part}}")
    if(_n STREQUAL "")
        set(_n 0)
    endif()
    list(APPEND KELVO_VERSION_COMMAS ${_n})
endforeach()
string(REPLACE ";" "," KELVO_VERSION_COMMAS "${KELVO_VERSION_COMMAS}")

# Every object: source and build folders as relative names (file names in
# assertions and debug data), each function and datum in its own section so
# that the link can drop what nothing uses. Every image: no link time stamp.
set(KELVO_PREFIX_MAPS -ffile-prefix-map=${KELVO_ROOT}/=./ -ffile-prefix-map=${CMAKE_BINARY_DIR}/=./build/)
add_compile_options("$<$<COMPILE_LANGUAGE:C,CXX>:${KELVO_PREFIX_MAPS};-ffunction-sections;-fdata-sections>")
add_link_options(-Wl,--no-insert-timestamp)
# Shipped images only: no symbols, no debug sections, no unused code.
set(KELVO_RELEASE_LINK_OPTIONS -s -Wl,--gc-sections)

# kelvo_release_program(TARGET DESCRIPTION "text" [FILENAME name.exe])
# The version resource, the release link and the signature of one shipped
# program or DLL built by a target of this build.
function(kelvo_release_program target)
    cmake_parse_arguments(R "" "DESCRIPTION;FILENAME" "" ${ARGN})
    get_target_property(_type ${target} TYPE)
    if(_type STREQUAL "SHARED_LIBRARY")
        set(KELVO_RC_FILETYPE VFT_DLL)
        set(_suffix .dll)
        # ld would derive the DLL's preferred base from the path it writes to.
        target_link_options(${target} PRIVATE -Wl,--disable-auto-image-base)
    else()
        set(KELVO_RC_FILETYPE VFT_APP)
        set(_suffix .exe)
    endif()
    if(NOT R_FILENAME)
        get_target_property(_name ${target} OUTPUT_NAME)
        if(NOT _name)
            set(_name ${target})
        endif()
        set(R_FILENAME ${_name}${_suffix})
    endif()
    kelvo_version_resource(${target} "${R_FILENAME}" "${R_DESCRIPTION}" ${KELVO_RC_FILETYPE} _rc)
    target_sources(${target} PRIVATE ${_rc})
    target_link_options(${target} PRIVATE ${KELVO_RELEASE_LINK_OPTIONS})
    # A change of key (or none any more) links the image afresh.
    set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${KELVO_SIGN_STATE})
    if(KELVO_SIGN_COMMAND)
        # Signed in place once linked; the stamp says when it last was.
        set(_stamp ${CMAKE_BINARY_DIR}/signed/${target}.stamp)
        add_custom_command(OUTPUT ${_stamp}
            COMMAND ${KELVO_SIGN_COMMAND} --name Kelvo $<TARGET_FILE:${target}>
            COMMAND ${CMAKE_COMMAND} -E touch ${_stamp}
            DEPENDS ${target}
            COMMENT "Signing ${R_FILENAME}"
            VERBATIM)
        add_custom_target(kelvo_sign_${target} ALL DEPENDS ${_stamp})
    endif()
endfunction()

# Writes the version resource of FILENAME into the build tree; OUT names it.
function(kelvo_version_resource id filename description filetype out)
    set(KELVO_RC_FILENAME ${filename})
    set(KELVO_RC_DESCRIPTION ${description})
    set(KELVO_RC_FILETYPE ${filetype})
    string(REGEX REPLACE "\\.[^.]*$" "" KELVO_RC_INTERNAL ${filename})
    set(_rc ${CMAKE_BINARY_DIR}/version/${id}.rc)
    configure_file(${KELVO_ROOT}/cmake/version.rc.in ${_rc} @ONLY)
    set(${out} ${_rc} PARENT_SCOPE)
endfunction()

# The shipped programs, called once every target exists (end of the top
# directory). devcon for the other architecture is the same target of a
# sub-build (installer/win/Install.cmake), whose own call of this gives it the same.
function(kelvo_release_programs)
    kelvo_release_program(Kelvo DESCRIPTION "Kelvo, companion of the QB345 scan tool")
    kelvo_release_program(KelvoInstall DESCRIPTION "Kelvo Setup")
    kelvo_release_program(Uninstall DESCRIPTION "Kelvo Uninstall")
    kelvo_release_program(Dozaz DESCRIPTION "Kelvo tray and update check")
    kelvo_release_program(AidletStart DESCRIPTION "Kelvo restarter")
    kelvo_release_program(SkinHu DESCRIPTION "Kelvo skin library")
    kelvo_release_program(KelvoReader DESCRIPTION "Kelvo manual reader")
    kelvo_release_program(devcon DESCRIPTION "QB345 driver installer")
endfunction()
