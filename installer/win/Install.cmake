# The Windows side of the installer (included from installer/CMakeLists.txt in
# the cross build): the wizard as a library (the Windows-side tests link it)
# and KelvoInstall.exe, written beside the installation folder, never into it;
# the installation folder's own pieces: devcon for both architectures, the
# driver INF and the two driver batch files.

add_library(kelvo_installer STATIC
    win/InstallLog.cpp win/SilentInstall.cpp win/Extractor.cpp win/Folder.cpp win/Integration.cpp win/RunningPrograms.cpp win/Jpeg.cpp win/GradientProgress.cpp
    win/BmpButton.cpp win/SkinEdit.cpp win/WizardPages.cpp win/CopyPage.cpp win/InstallDlg.cpp)
target_include_directories(kelvo_installer PUBLIC ${KELVO_ROOT})
# The install core and the package, the version file's rule, the controls and
# the framework, the platform layer (processes, shortcuts, folder security);
# not the main window's pages.
target_link_libraries(kelvo_installer PUBLIC kelvo_package kelvo_install_core kelvo_ui_core kelvo_app_core
    kelvo_controls kelvo_framework kelvo_platform shell32 ole32 oleaut32 uuid advapi32 comctl32 gdi32 user32 kernel32)

# The package: whatever the installation folder holds when everything else is built.
set(KELVO_PACKAGE_ZIP ${CMAKE_BINARY_DIR}/installer/Kelvo.zip)
add_custom_target(kelvo_package_zip ALL
    COMMAND ${KELVO_HOST_TOOLS}/kelvo-zippack ${KELVO_DIST} ${KELVO_PACKAGE_ZIP}
    BYPRODUCTS ${KELVO_PACKAGE_ZIP}
    COMMENT "Packing ${KELVO_DIST}"
    VERBATIM)

# Artwork of the wizard (drawn at build time).
set(KELVO_INSTALL_ART_DIR ${CMAKE_BINARY_DIR}/installer/art)
set(_install_art)
foreach(f install_way install_finish install_set)
    list(APPEND _install_art ${KELVO_INSTALL_ART_DIR}/${f}.jpg)
endforeach()
foreach(i RANGE 0 12)
    if(i LESS 10)
        set(i 0${i})
    endif()
    list(APPEND _install_art ${KELVO_INSTALL_ART_DIR}/install_copy_${i}.jpg)
endforeach()
add_custom_command(OUTPUT ${_install_art}
    COMMAND ${KELVO_SYSTEM_PYTHON} ${CMAKE_CURRENT_SOURCE_DIR}/art/make_install_art.py ${KELVO_INSTALL_ART_DIR}
    DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/art/make_install_art.py
    COMMENT "Drawing the installer's artwork")
add_custom_target(kelvo_install_art ALL DEPENDS ${_install_art})

get_filename_component(_dist_parent ${KELVO_DIST} DIRECTORY)
add_executable(KelvoInstall WIN32 win/InstallApp.cpp KelvoInstall.rc)
# GDI+ draws the wizard's PNG images (ui/controls/Drawing.h): started here.
target_link_libraries(KelvoInstall PRIVATE kelvo_framework_main kelvo_installer kelvo_install_core kelvo_controls kelvo_framework
    kelvo_app_core kelvo_platform kelvo_delay_gdiplus ole32 comctl32 user32 kernel32)
target_compile_definitions(KelvoInstall PRIVATE KELVO_VERSION_TEXT="${PROJECT_VERSION}")
target_link_options(KelvoInstall PRIVATE -municode)
target_include_directories(KelvoInstall PRIVATE
    $<$<COMPILE_LANGUAGE:RC>:${CMAKE_CURRENT_SOURCE_DIR}>
    $<$<COMPILE_LANGUAGE:RC>:${CMAKE_BINARY_DIR}/installer>
    $<$<COMPILE_LANGUAGE:RC>:${KELVO_INSTALL_ART_DIR}>
    $<$<COMPILE_LANGUAGE:RC>:${KELVO_ART_DIR}>)
set_source_files_properties(KelvoInstall.rc PROPERTIES OBJECT_DEPENDS
    "${KELVO_PACKAGE_ZIP};${CMAKE_CURRENT_SOURCE_DIR}/KelvoInstall.manifest;${CMAKE_CURRENT_SOURCE_DIR}/resource.h;${_install_art};${KELVO_ART_OUTPUTS}")
add_dependencies(KelvoInstall kelvo_package_zip kelvo_install_art kelvo_art)
set_target_properties(KelvoInstall PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${_dist_parent})

# devcon: the driver installer the driver batch files run, one per Windows
# architecture (x86\devcon.exe, x64\devcon.exe). This tree builds the one of
# its own architecture as the target devcon; the other is the same target of a
# sub-build of this source tree with the other architecture's toolchain
# (cmake/mingw64.cmake or cmake/mingw32.cmake), which builds devcon alone and
# is copied here (and signed with the programs, when a key is given).
# It checks the INF with the install core's rule (text helpers of the app
# core, no call of a back end) and loads newdev.dll from the system folder.
add_executable(devcon devcon/devcon.cpp)
target_link_libraries(devcon PRIVATE kelvo_install_core kelvo_app_core kelvo_system_dll setupapi)
target_link_options(devcon PRIVATE -municode)
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(_devcon_arch x86)
    set(_devcon_other x64)
    set(_devcon_other_toolchain mingw64.cmake)
else()
    set(_devcon_arch x64)
    set(_devcon_other x86)
    set(_devcon_other_toolchain mingw32.cmake)
endif()
set_target_properties(devcon PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${KELVO_DIST}/${_devcon_arch})
option(KELVO_DEVCON_OTHER_ARCH "build devcon for the other architecture too, in a sub-build" ON)
if(KELVO_DEVCON_OTHER_ARCH)
    include(ExternalProject)
    set(_devcon_sub ${CMAKE_BINARY_DIR}/devcon_${_devcon_other})
    set(_devcon_sub_exe ${_devcon_sub}/dist/${_devcon_other}/devcon.exe)
    ExternalProject_Add(kelvo_devcon_${_devcon_other}
        SOURCE_DIR ${KELVO_ROOT}
        BINARY_DIR ${_devcon_sub}
        # The same flags as this tree's, but -O2: at -O3 the x86_64 devcon
        # grows by 2 KiB for a program that runs once per installation.
        CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${KELVO_ROOT}/cmake/${_devcon_other_toolchain}
            -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE} "-DCMAKE_CXX_FLAGS_RELEASE=-O2 -DNDEBUG"
            "-DCMAKE_C_FLAGS_RELEASE=-O2 -DNDEBUG" -DKELVO_DEVCON_OTHER_ARCH=OFF
            -DKELVO_DIST=${_devcon_sub}/dist -DKELVO_HOST_TOOLS=${KELVO_HOST_TOOLS}
        BUILD_COMMAND ${CMAKE_COMMAND} --build ${_devcon_sub} --target devcon
        BUILD_BYPRODUCTS ${_devcon_sub_exe}
        # Its own build decides what is out of date.
        BUILD_ALWAYS ON
        INSTALL_COMMAND ""
        EXCLUDE_FROM_ALL ON)
    set(_devcon_other_sign)
    if(KELVO_SIGN_COMMAND)
        set(_devcon_other_sign COMMAND ${KELVO_SIGN_COMMAND} --name Kelvo ${KELVO_DIST}/${_devcon_other}/devcon.exe)
    endif()
    add_custom_command(OUTPUT ${KELVO_DIST}/${_devcon_other}/devcon.exe
        COMMAND ${CMAKE_COMMAND} -E make_directory ${KELVO_DIST}/${_devcon_other}
        COMMAND ${CMAKE_COMMAND} -E copy ${_devcon_sub_exe} ${KELVO_DIST}/${_devcon_other}/devcon.exe
        ${_devcon_other_sign}
        DEPENDS ${_devcon_sub_exe} kelvo_devcon_${_devcon_other} ${KELVO_SIGN_STATE}
        COMMENT "devcon for ${_devcon_other}"
        VERBATIM)
    add_custom_target(kelvo_devcon_${_devcon_other}_copy ALL DEPENDS ${KELVO_DIST}/${_devcon_other}/devcon.exe)
endif()

# The driver batch files, CR LF, run in the program folder by the installer
# with no window (or by hand, as administrator). Their exit code is devcon's:
# 0 done, 1 failed, 2 bad arguments, 3 the INF was refused, 4 done but
# Windows must restart. A batch that worked removes both; one whose devcon
# failed says why in one line and stays to be run again. Nothing waits for a
# key: the installer reports the outcome on its finish page. Written only when
# they change, so that the package is not rebuilt for nothing.
foreach(_pair "x64;x86" "x86;x64")
    list(GET _pair 0 _arch)
    list(GET _pair 1 _other)
    set(_bat "@echo off
\"${_arch}\\devcon.exe\" install \"stm32_sys\\stmcdc.inf\" \"USB\\VID_0483&PID_5740\"
set kelvo_driver=%errorlevel%
if %kelvo_driver% equ 0 goto done
if %kelvo_driver% equ 4 goto restart
if %kelvo_driver% equ 3 goto refused
echo The scan tool's driver could not be installed. To try again, run ${_arch}.bat in the Kelvo folder as administrator.
exit /b %kelvo_driver%
:refused
echo Windows refused the scan tool's driver, so it is not installed. To try again, run ${_arch}.bat in the Kelvo folder as administrator.
exit /b 3
:restart
echo The scan tool's driver is installed. Restart Windows to complete it.
:done
del ${_other}.bat
del %0 & exit /b %kelvo_driver%
")
    file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/installer/${_arch}.bat.in CONTENT "${_bat}" @ONLY NEWLINE_STYLE CRLF)
endforeach()
add_custom_command(OUTPUT ${KELVO_DIST}/x64.bat ${KELVO_DIST}/x86.bat ${KELVO_DIST}/stm32_sys/stmcdc.inf
    COMMAND ${CMAKE_COMMAND} -E make_directory ${KELVO_DIST}/stm32_sys
    COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_BINARY_DIR}/installer/x64.bat.in ${KELVO_DIST}/x64.bat
    COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_BINARY_DIR}/installer/x86.bat.in ${KELVO_DIST}/x86.bat
    COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_CURRENT_SOURCE_DIR}/driver/stmcdc.inf ${KELVO_DIST}/stm32_sys/stmcdc.inf
    DEPENDS ${CMAKE_BINARY_DIR}/installer/x64.bat.in ${CMAKE_BINARY_DIR}/installer/x86.bat.in
        ${CMAKE_CURRENT_SOURCE_DIR}/driver/stmcdc.inf
    COMMENT "Driver files into ${KELVO_DIST}")
add_custom_target(kelvo_driver_files ALL DEPENDS ${KELVO_DIST}/x64.bat ${KELVO_DIST}/x86.bat
    ${KELVO_DIST}/stm32_sys/stmcdc.inf)
add_dependencies(kelvo_driver_files devcon)
if(KELVO_DEVCON_OTHER_ARCH)
    add_dependencies(kelvo_driver_files kelvo_devcon_${_devcon_other}_copy)
endif()

# The package waits for every target of the build that may write into the
# installation folder (those of later subsystems included), not for the tests.
function(kelvo_package_waits_for dir)
    get_property(_targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
    foreach(t ${_targets})
        get_target_property(_type ${t} TYPE)
        if(NOT t MATCHES "^(kelvo_package_zip|KelvoInstall|kelvo_installer|kelvo_sha256sums|kelvo_winget|kelvo_sign_KelvoInstall)$" AND
           NOT _type STREQUAL "INTERFACE_LIBRARY")
            add_dependencies(kelvo_package_zip ${t})
        endif()
    endforeach()
    get_property(_subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
    foreach(d ${_subdirs})
        if(NOT d MATCHES "/tests(/|$)")
            kelvo_package_waits_for(${d})
        endif()
    endforeach()
endfunction()
cmake_language(DEFER DIRECTORY ${KELVO_ROOT} CALL kelvo_package_waits_for ${KELVO_ROOT})

# The unpacking's speed beside unzip (scripts/bench-install); not a test.
add_executable(bench_install_extract bench/bench_extract.cpp)
target_link_libraries(bench_install_extract PRIVATE kelvo_installer)
target_link_options(bench_install_extract PRIVATE -municode)
set_target_properties(bench_install_extract PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests/bin)
