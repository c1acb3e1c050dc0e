# cpack -G DEB in a build folder: a Debian package of what cmake --install installs, under /usr.
# Its dependencies are the runtime libraries the program links, as dpkg-shlibdeps finds them
# (libqt5core5a ..., never a -dev package), and a font for the window's text.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME pellora)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Quenby Sensors")
set(CPACK_PACKAGE_CONTACT "Quenby Sensors <support@quenby.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Configures liquid level sensors and position sensors on serial ports")
set(CPACK_PACKAGE_DESCRIPTION "Finds the sensors on every serial port, reads a sensor completely, shows its live level and output, writes its settings and keeps them as files, one sensor in the window or a whole bench at once, also from the command line.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-dejavu-core")
include(CPack)
