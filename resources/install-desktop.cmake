# Runs at install time: the desktop entry names the installed program by its full path, which
# is only known once the prefix is (cmake --install --prefix, or the package's /opt/velmora).
set(_root "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")
set(VELMORA_INSTALL_BIN "${CMAKE_INSTALL_PREFIX}/bin")
set(VELMORA_INSTALL_ICON "${CMAKE_INSTALL_PREFIX}/share/icons/hicolor/64x64/apps/velmora.png")
configure_file("${VELMORA_DESKTOP_TEMPLATE}" "${_root}/share/applications/velmora.desktop" @ONLY)
message(STATUS "Installing: ${_root}/share/applications/velmora.desktop")

# A package is staged under DESTDIR; only then does it also reach into /usr, so the programs are
# on PATH and the desktop finds the entry. A plain "cmake --install" never writes outside its prefix.
if(NOT "$ENV{DESTDIR}" STREQUAL "" AND NOT CMAKE_INSTALL_PREFIX STREQUAL "/usr")
  file(MAKE_DIRECTORY "$ENV{DESTDIR}/usr/bin" "$ENV{DESTDIR}/usr/share/applications")
  foreach(_exe velmora velmora-cli velmora-devsim)
    # The symbolic link resolves to the real executable, so its directory, and every file
    # beside it, is still the one under the prefix.
    file(CREATE_LINK "${CMAKE_INSTALL_PREFIX}/bin/${_exe}" "$ENV{DESTDIR}/usr/bin/${_exe}" SYMBOLIC)
  endforeach()
  file(CREATE_LINK "${CMAKE_INSTALL_PREFIX}/share/applications/velmora.desktop"
    "$ENV{DESTDIR}/usr/share/applications/velmora.desktop" SYMBOLIC)
endif()
