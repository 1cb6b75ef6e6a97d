# What the package holds beside the programs (man pages, bash completion, Debian's copyright
# and changelog), and the DEB package itself:  cpack -G DEB  in the build folder.

find_program(SCDOC scdoc)
find_program(KELVRAY_GZIP gzip REQUIRED)
set(kelvray_pages)
if(SCDOC)
    foreach(page kelvray kelvray-cli)
        set(out ${PROJECT_BINARY_DIR}/man/${page}.1.gz)
        add_custom_command(OUTPUT ${out}
            COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/man
            COMMAND sh -c "\"$1\" < \"$2\" > \"$4.roff\" && \"$3\" -9n < \"$4.roff\" > \"$4\" && rm \"$4.roff\"" sh ${SCDOC}
                    ${PROJECT_SOURCE_DIR}/doc/${page}.1.scd ${KELVRAY_GZIP} ${out}
            DEPENDS ${PROJECT_SOURCE_DIR}/doc/${page}.1.scd
            COMMENT "Writing the man page ${page}(1)" VERBATIM)
        list(APPEND kelvray_pages ${out})
    endforeach()
    add_custom_target(manpages ALL DEPENDS ${kelvray_pages})
    install(FILES ${kelvray_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
else()
    message(STATUS "scdoc not found: no man pages")
endif()

install(FILES ${PROJECT_SOURCE_DIR}/src/cli/kelvray-cli.bash
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME kelvray-cli)

set(changelog ${PROJECT_BINARY_DIR}/packaging/changelog.gz)
add_custom_command(OUTPUT ${changelog}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/packaging
    COMMAND sh -c "\"$1\" -9n < \"$2\" > \"$3\"" sh ${KELVRAY_GZIP} ${PROJECT_SOURCE_DIR}/packaging/changelog ${changelog}
    DEPENDS ${PROJECT_SOURCE_DIR}/packaging/changelog VERBATIM)
add_custom_target(package_changelog ALL DEPENDS ${changelog})
install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright ${changelog}
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/kelvray COMPONENT Unspecified)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kelvray)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Kelvray developers <kelvray@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "resident task scheduler and desktop automation")
set(CPACK_PACKAGE_DESCRIPTION
    "Kelvray runs programs, shows messages and plays scripts of keystrokes and\n window actions on a schedule. It stays in the notification area, keeps its\n schedule in an enciphered data file and can be driven from a shell\n (kelvray-cli) and over D-Bus.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "xdg-utils")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
include(CPack)
