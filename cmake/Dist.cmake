# Lays out the installation folder (KELVO_DIST) as a user's machine holds it.
# Files other subsystems make (language tables, manuals, companion programs)
# are written there by their own targets.
if(NOT KELVO_WIN)
    return()
endif()

set(KELVO_DIST_FOLDERS language dtc manual skin update)
set(_dist_outputs ${KELVO_DIST}/Kelvo.cfg ${KELVO_DIST}/version.txt)
add_custom_command(
    OUTPUT ${_dist_outputs}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${KELVO_DIST}
    COMMAND ${CMAKE_COMMAND} -E copy ${KELVO_ROOT}/resources/dist/Kelvo.cfg ${KELVO_DIST}/Kelvo.cfg
    COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_BINARY_DIR}/version.txt ${KELVO_DIST}/version.txt
    DEPENDS ${KELVO_ROOT}/resources/dist/Kelvo.cfg ${CMAKE_BINARY_DIR}/version.txt
    COMMENT "Laying out ${KELVO_DIST}")
# CR LF, as the program's other text files.
file(WRITE ${CMAKE_BINARY_DIR}/version.txt.in "V${PROJECT_VERSION}\r\n")
configure_file(${CMAKE_BINARY_DIR}/version.txt.in ${CMAKE_BINARY_DIR}/version.txt COPYONLY)
add_custom_target(kelvo_dist ALL DEPENDS ${_dist_outputs})
foreach(f ${KELVO_DIST_FOLDERS})
    add_custom_command(TARGET kelvo_dist POST_BUILD COMMAND ${CMAKE_COMMAND} -E make_directory ${KELVO_DIST}/${f})
endforeach()
add_dependencies(Kelvo kelvo_dist)

# dist/SHA256SUMS: the installer and every file of the installation folder,
# once the installer (signed, when it is) is written.
get_filename_component(_dist_parent ${KELVO_DIST} DIRECTORY)
get_filename_component(_dist_name ${KELVO_DIST} NAME)
add_custom_target(kelvo_sha256sums ALL
    COMMAND ${CMAKE_COMMAND} -DDIST=${_dist_parent} -DFOLDER=${_dist_name} -DINSTALLER=KelvoInstall.exe
        -P ${KELVO_ROOT}/cmake/Sha256Sums.cmake
    COMMENT "Writing ${_dist_parent}/SHA256SUMS"
    VERBATIM)
add_dependencies(kelvo_sha256sums KelvoInstall kelvo_driver_files)
if(TARGET kelvo_sign_KelvoInstall)
    add_dependencies(kelvo_sha256sums kelvo_sign_KelvoInstall)
endif()

# dist/winget/: the Windows Package Manager's manifest of the installer (its
# hash included), once the installer (signed, when it is) is written. The
# address it is published at is KELVO_DOWNLOAD_URL.
set(KELVO_DOWNLOAD_URL "https://www.zendrix-tools.com/download/Kelvo/${PROJECT_VERSION}/KelvoInstall.exe"
    CACHE STRING "address KelvoInstall.exe is published at (the winget manifest's InstallerUrl)")
add_custom_target(kelvo_winget ALL
    COMMAND ${KELVO_SYSTEM_PYTHON} ${KELVO_ROOT}/scripts/lib/make-winget ${_dist_parent}/KelvoInstall.exe
        ${PROJECT_VERSION} V${PROJECT_VERSION} ${KELVO_DOWNLOAD_URL} ${_dist_parent}/winget
    COMMENT "Writing ${_dist_parent}/winget"
    VERBATIM)
add_dependencies(kelvo_winget KelvoInstall)
if(TARGET kelvo_sign_KelvoInstall)
    add_dependencies(kelvo_winget kelvo_sign_KelvoInstall)
endif()
