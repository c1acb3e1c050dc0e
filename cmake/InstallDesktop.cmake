# Runs at install time, when the prefix is known: the link in bin/ and the menu entry, whose
# Exec= and Path= name the installed program's folder.
set(dir "${CMAKE_INSTALL_PREFIX}/lib/pellora")
file(MAKE_DIRECTORY "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/bin" "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/share/applications")
file(CREATE_LINK ../lib/pellora/pellora "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/bin/pellora" SYMBOLIC)
set(PELLORA_INSTALL_DIR "${dir}")
configure_file("${PELLORA_SOURCE_DIR}/data/desktop/pellora.desktop.in"
               "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/share/applications/pellora.desktop" @ONLY)
message(STATUS "Installing: $ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/bin/pellora -> ../lib/pellora/pellora")
message(STATUS "Installing: $ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/share/applications/pellora.desktop")
