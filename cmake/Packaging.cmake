# Debian package: `cpack -G DEB` in the build folder writes
# kestrune-zyl-player_<version>_<arch>.deb from the install() rules, with
# prefix /usr (program and side files in /usr/lib/kestrune-zyl-player/, the
# command in /usr/bin/, the menu entry and icons in /usr/share/).
set(KZP_PACKAGE_MAINTAINER "Kestrune Zyl Player maintainers <maintainers@kestrune-zyl-player.invalid>"
    CACHE STRING "Maintainer field of the Debian package")

set(CPACK_PACKAGE_NAME kestrune-zyl-player)
set(CPACK_PACKAGE_VENDOR "Kestrune Zyl Player maintainers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${KZP_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "video player for video files, DVD folders and Blu-ray folders")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
       "A desktop video player for video files, DVD folders and unencrypted\n"
       "Blu-ray folders. It drives mplayer for playback and ffmpeg for file\n"
       "lengths, and reads Blu-ray playlists itself to offer the disc's titles,\n"
       "chapters, audio and subtitle streams.")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# Installed binaries lose their debug information; the build keeps it.
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${KZP_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)

# The engine and the probe are programs the player starts, and the fonts are
# looked up by name: no linker sees them, so they are named here.
set(KZP_RUNTIME_DEPENDS "mplayer, ffmpeg, fonts-crosextra-carlito, fonts-noto-cjk")
find_program(KZP_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(KZP_DPKG_SHLIBDEPS)
  # Libraries with the versions dpkg knows they need, from every installed binary.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "${KZP_RUNTIME_DEPENDS}")
else()
  # Debian 12's names for what the binaries link (the xcb platform and image
  # format plugins ship in libqt6gui6).
  set(CPACK_DEBIAN_PACKAGE_DEPENDS
      "${KZP_RUNTIME_DEPENDS}, libqt6core6, libqt6gui6, libqt6widgets6, libqt6dbus6, libbluray2, libfontconfig1, libstdc++6, libgcc-s1, libc6")
endif()

set(CPACK_SOURCE_GENERATOR TXZ)
set(CPACK_SOURCE_IGNORE_FILES "/\\\\.git/" "/build[^/]*/" "/\\\\.cache/")

include(CPack)
