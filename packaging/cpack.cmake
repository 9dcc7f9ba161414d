# The Debian package: `cpack -G DEB` in the build folder (or `cmake --build
# build --target package`) makes vesper-import_<version>_<arch>.deb of what
# `cmake --install` installs, under /usr, with the libraries' packages as
# its dependencies (dpkg-shlibdeps).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vesper-import)
set(CPACK_PACKAGE_VENDOR "Pennant")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Bring name and address lists into the Pennant contact database")
set(CPACK_PACKAGE_DESCRIPTION
    "Reads delimited and line-per-field text, dBASE and Paradox tables, vCard files,\n.xlsx workbooks and .ods spreadsheets, and stores each record as a contact of\nthe Pennant contact database: through an import wizard, or the batch command\nvesper-import.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Pennant Vesper Import developers <vesper-import@pennant.invalid>")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS OFF)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
include(CPack)
