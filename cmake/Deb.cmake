# kelvo as a Debian package: `cpack -G DEB` in a Release tree without
# sanitizers (scripts/build-deb) makes kelvo_<version>_<arch>.deb with
#   /usr/bin/kelvo, /usr/share/kelvo/dtc/ (the trouble codes it reads beside
#   its bin folder), /usr/share/man/man1/kelvo.1.gz,
#   /usr/lib/udev/rules.d/60-kelvo-qb345.rules,
#   /usr/share/doc/kelvo/{copyright,changelog.gz}.
# Included from cli/ (native build) once the kelvo target exists.

set(KELVO_DEB_MAINTAINER "Zendrix <kelvo@zendrix-tools.com>")
string(TIMESTAMP KELVO_DEB_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
string(TIMESTAMP KELVO_COPYRIGHT_YEAR "%Y" UTC)
set(_deb ${CMAKE_BINARY_DIR}/deb)
configure_file(${KELVO_ROOT}/cli/debian/copyright.in ${_deb}/copyright @ONLY)
configure_file(${KELVO_ROOT}/cli/debian/changelog.in ${_deb}/changelog @ONLY)

# Compressed as Debian wants them: gzip -9, no name or time in the header.
find_program(KELVO_GZIP gzip REQUIRED)
add_custom_command(OUTPUT ${_deb}/kelvo.1.gz ${_deb}/changelog.gz
    COMMAND ${KELVO_GZIP} -9nc ${CMAKE_BINARY_DIR}/man/kelvo.1 > ${_deb}/kelvo.1.gz
    COMMAND ${KELVO_GZIP} -9nc ${_deb}/changelog > ${_deb}/changelog.gz
    DEPENDS ${CMAKE_BINARY_DIR}/man/kelvo.1 ${_deb}/changelog
    COMMENT "Manual page and changelog for the Debian package")
add_custom_target(kelvo_deb_docs ALL DEPENDS ${_deb}/kelvo.1.gz ${_deb}/changelog.gz)
add_dependencies(kelvo kelvo_deb_docs)
# ATTRIBUTION.txt names GPL-2.txt beside it: there, Debian's own copy.
file(CREATE_LINK ../../common-licenses/GPL-2 ${_deb}/GPL-2.txt SYMBOLIC)

include(GNUInstallDirs)
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
install(TARGETS kelvo RUNTIME DESTINATION bin COMPONENT kelvo)
install(FILES ${CMAKE_BINARY_DIR}/share/kelvo/dtc/en_OBDII.txt ${KELVO_ROOT}/dtc/data/ATTRIBUTION.txt
    ${KELVO_ROOT}/dtc/data/abbreviations.txt
    ${_deb}/GPL-2.txt DESTINATION share/kelvo/dtc COMPONENT kelvo)
install(FILES ${_deb}/kelvo.1.gz DESTINATION share/man/man1 COMPONENT kelvo)
install(FILES ${_deb}/copyright ${_deb}/changelog.gz DESTINATION share/doc/kelvo COMPONENT kelvo)
# The package's prefix is /usr: the rule lands in /usr/lib/udev/rules.d.
install(FILES ${KELVO_ROOT}/tools/udev/60-kelvo-qb345.rules DESTINATION lib/udev/rules.d COMPONENT kelvo)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kelvo)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR ${KELVO_COMPANY})
set(CPACK_PACKAGE_CONTACT ${KELVO_DEB_MAINTAINER})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_COMPONENTS_ALL kelvo)
set(CPACK_DEB_COMPONENT_INSTALL OFF)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "command line for the QB345 OBD-II scan tool")
# The synopsis is the summary above; CPack indents these lines and marks the
# empty one as a paragraph break.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "kelvo finds the QB345 handheld OBD-II scan tool by its USB ids, writes its
firmware, lists and fetches firmware updates, looks up generic OBD-II
trouble codes and captures the reports the tool sends.

The udev rule lets the users of the seat and the group plugdev use the
tool without root.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS OFF)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
include(CPack)
