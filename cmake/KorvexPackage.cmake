# The Debian package, built by CPack from whatever `cmake --install` installs
# (scripts/package; the test suite builds one from its own build tree).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME korvex)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Korvex developers")
set(CPACK_PACKAGE_CONTACT "Korvex developers <korvex@example.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "inspect and patch the headers of Windows PE executables")
# The summary is the synopsis line; this is the extended description below it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Korvex shows every field of the DOS header, COFF file header, optional header,
data directories and section headers of a PE32 or PE32+ file in edit boxes,
in hexadecimal or decimal, with the characteristics as check boxes, the time
stamp as a date and the file's checksum. Save writes the values back into the
same file, in place, touching no other byte. A read-only hex viewer shows a
section's bytes or the bytes at the entry point.")
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
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
