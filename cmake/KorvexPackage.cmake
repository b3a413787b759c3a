# The Debian package, built by CPack from whatever `cmake --install` installs
# (scripts/package; the test suite builds one from its own build tree).
set(CPACK_GENERATOR DEB)
# Two packages from the one build: korvex-cli (no Qt: a server or CI machine gets the tool without
# the GUI stack) and korvex (the window). They share no file, so neither depends on the other.
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL gui cli)
set(CPACK_DEBIAN_GUI_PACKAGE_NAME korvex)
set(CPACK_DEBIAN_CLI_PACKAGE_NAME korvex-cli)
set(CPACK_PACKAGE_NAME korvex)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Korvex developers")
set(CPACK_PACKAGE_CONTACT "Korvex developers <korvex@example.com>")
# Each description's first line is its package's synopsis (CPACK_PACKAGE_DESCRIPTION_SUMMARY
# stays unset: CPack would put that one line above both).
set(CPACK_DEBIAN_GUI_DESCRIPTION
    "inspect and patch the headers of Windows PE executables
Korvex shows every field of the DOS header, COFF file header, optional header,
data directories and section headers of a PE32 or PE32+ file in edit boxes,
in hexadecimal or decimal, with the characteristics as check boxes, the time
stamp as a date and the file's checksum. Save writes the values back into the
same file, in place, touching no other byte. A read-only hex viewer shows a
section's bytes or the bytes at the entry point.")
set(CPACK_DEBIAN_CLI_DESCRIPTION
    "read and patch the headers of Windows PE executables from scripts
korvex-cli shows the header fields of PE32 and PE32+ files as text or JSON
Lines, prints single fields, patches them in place all or nothing, checks
and fixes the PE checksum, dumps sections as hexdump -C does and finds text
(also UTF-16) or bytes, with the same rules as the Korvex window. It needs no
display and no GUI libraries.")
set(CPACK_DEBIAN_GUI_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_CLI_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://github.com/korvex/korvex")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# Dependencies come from the binaries' shared libraries (dpkg-shlibdeps), never by hand.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
# Manual pages and the changelog are compressed in the package as Debian wants them.
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/KorvexCompressDocs.cmake)
include(CPack)
