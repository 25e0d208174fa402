# What `cmake --install` lays out.
#
# Plain tree (default): the programs at the top of the prefix with 7zip/, doctotext/ and
# resources/ beside them, as the programs expect, plus the desktop files under share/.
# Debian package (VANTREL_PACKAGE): the same tree under usr/lib/vantrel (a program's private
# tree; Debian keeps /opt for the local administrator), a launcher in usr/bin and the desktop
# integration under usr/share; `cpack` (scripts/package) turns it into a .deb.
#
# Only what the build made is installed (OPTIONAL): a tree built for one purpose, e.g. by
# scripts/run, installs without the targets it never built.

# The package version is the program's own, so the package manager and the version check
# agree on what is installed.
file(STRINGS ${CMAKE_SOURCE_DIR}/net/Endpoints.h vantrel_version_line REGEX "PROGRAM_VERSION\\[\\] = ")
string(REGEX MATCH "\"([0-9.]+)\"" _ "${vantrel_version_line}")
set(VANTREL_VERSION ${CMAKE_MATCH_1})
if(NOT VANTREL_VERSION MATCHES "^${PROJECT_VERSION}(\\.|$)")
    message(FATAL_ERROR "The program's version '${VANTREL_VERSION}' does not continue the project's ${PROJECT_VERSION}")
endif()

if(VANTREL_PACKAGE)
    set(VANTREL_INSTALL_APPDIR usr/lib/vantrel)
    set(VANTREL_INSTALL_DATADIR usr/share)
    set(VANTREL_INSTALL_BINDIR usr/bin)
    set(vantrel_launcher_target ../lib/vantrel/Vantrel)
else()
    set(VANTREL_INSTALL_APPDIR .)
    set(VANTREL_INSTALL_DATADIR share)
    set(VANTREL_INSTALL_BINDIR bin)
    set(vantrel_launcher_target ../Vantrel)
endif()

install(TARGETS Vantrel velwick RUNTIME DESTINATION ${VANTREL_INSTALL_APPDIR} OPTIONAL)
install(TARGETS Rar sevenzip_front RUNTIME DESTINATION ${VANTREL_INSTALL_APPDIR}/7zip OPTIONAL)
install(TARGETS doctotext RUNTIME DESTINATION ${VANTREL_INSTALL_APPDIR}/doctotext OPTIONAL)
install(FILES resources/vtup.json resources/rule.json DESTINATION ${VANTREL_INSTALL_APPDIR}/resources)

# The launcher on the PATH: a link to the program, which finds its folder through the link.
set(vantrel_launcher ${CMAKE_BINARY_DIR}/launcher/vantrel)
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/launcher)
file(CREATE_LINK ${vantrel_launcher_target} ${vantrel_launcher} SYMBOLIC)
install(FILES ${vantrel_launcher} DESTINATION ${VANTREL_INSTALL_BINDIR})

# Desktop integration: menu entry, AppStream description, icons, manual page.
set(VANTREL_APP_ID cn.zenweb.vantrel)
install(FILES resources/vantrel.desktop DESTINATION ${VANTREL_INSTALL_DATADIR}/applications
        RENAME ${VANTREL_APP_ID}.desktop)
string(TIMESTAMP VANTREL_RELEASE_DATE "%Y-%m-%d" UTC)
configure_file(resources/vantrel.metainfo.xml.in ${CMAKE_BINARY_DIR}/docs/${VANTREL_APP_ID}.metainfo.xml @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/docs/${VANTREL_APP_ID}.metainfo.xml DESTINATION ${VANTREL_INSTALL_DATADIR}/metainfo)
set(vantrel_icon_svg ${CMAKE_SOURCE_DIR}/resources/images/src/svg/favicon_256.svg)
install(FILES ${vantrel_icon_svg} DESTINATION ${VANTREL_INSTALL_DATADIR}/icons/hicolor/scalable/apps
        RENAME vantrel.svg)

find_program(RSVG_CONVERT_PROGRAM rsvg-convert)
if(RSVG_CONVERT_PROGRAM)
    set(vantrel_icon_pngs)
    foreach(size 16 22 24 32 48 64 128 256)
        set(png ${CMAKE_BINARY_DIR}/icons/${size}x${size}/vantrel.png)
        add_custom_command(OUTPUT ${png}
                           COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/icons/${size}x${size}
                           COMMAND ${RSVG_CONVERT_PROGRAM} -w ${size} -h ${size} -o ${png} ${vantrel_icon_svg}
                           DEPENDS ${vantrel_icon_svg} VERBATIM)
        list(APPEND vantrel_icon_pngs ${png})
        install(FILES ${png} DESTINATION ${VANTREL_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
    endforeach()
    add_custom_target(vantrel_icons ALL DEPENDS ${vantrel_icon_pngs})
elseif(VANTREL_PACKAGE)
    message(FATAL_ERROR "rsvg-convert (librsvg2-bin) is needed to draw the package's icons")
else()
    message(STATUS "rsvg-convert not found: only the scalable icon is installed")
endif()

# Manual page and the package's own documents, compressed as Debian expects (gzip -9n: no
# name, no time stamp, the same bytes on every build).
find_program(GZIP_PROGRAM gzip REQUIRED)
string(TIMESTAMP VANTREL_BUILD_DATE "%a, %d %b %Y 00:00:00 +0000" UTC)
configure_file(resources/packaging/vantrel.1.in ${CMAKE_BINARY_DIR}/docs/vantrel.1 @ONLY)
set(vantrel_docs ${CMAKE_BINARY_DIR}/docs/vantrel.1.gz)
if(VANTREL_PACKAGE)
    configure_file(resources/packaging/changelog.in ${CMAKE_BINARY_DIR}/docs/changelog @ONLY)
    list(APPEND vantrel_docs ${CMAKE_BINARY_DIR}/docs/changelog.gz)
endif()
foreach(gz ${vantrel_docs})
    string(REGEX REPLACE "\\.gz$" "" plain ${gz})
    add_custom_command(OUTPUT ${gz} COMMAND ${GZIP_PROGRAM} -9nkf ${plain} DEPENDS ${plain} VERBATIM)
endforeach()
add_custom_target(vantrel_docs ALL DEPENDS ${vantrel_docs})
install(FILES ${CMAKE_BINARY_DIR}/docs/vantrel.1.gz DESTINATION ${VANTREL_INSTALL_DATADIR}/man/man1)

if(NOT VANTREL_PACKAGE)
    return()
endif()

install(FILES resources/packaging/copyright ${CMAKE_BINARY_DIR}/docs/changelog.gz
        DESTINATION ${VANTREL_INSTALL_DATADIR}/doc/vantrel)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vantrel)
set(CPACK_PACKAGE_VERSION ${VANTREL_VERSION})
set(CPACK_PACKAGE_VENDOR zenweb)
set(CPACK_PACKAGE_CONTACT "Vantrel developers <vantrel@zenweb.cn>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "upload teaching material to an education-resource website")
# The paths above are complete; nothing goes below a further prefix.
set(CPACK_PACKAGING_INSTALL_PREFIX /)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION education)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://www.zenweb.cn/)
# Libraries come from the binaries; the rest is what the program runs or loads at run time:
# 7-Zip behind our front, CJK fonts for the Chinese interface, Qt's SQLite driver (a plugin,
# invisible to shlibdeps) and the toolkit's Chinese texts (compiled in from that package).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "7zip, fonts-noto-cjk, libqt5sql5-sqlite, qttranslations5-l10n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
file(READ ${CMAKE_SOURCE_DIR}/resources/packaging/description.txt vantrel_description)
string(STRIP "${vantrel_description}" vantrel_description)
# CPack puts the summary line in front and marks the empty line as Debian wants.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "${vantrel_description}")
include(CPack)
