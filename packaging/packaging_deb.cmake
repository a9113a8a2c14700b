# CPack settings for the Debian package, included by packaging/CMakeLists.txt.
# Depends come from dpkg-shlibdeps, so they name the exact Debian libraries
# (Qt 6, libstdc++, libc) the two programs were linked against.
set(CPACK_GENERATOR DEB) # the default; cpack_generators.cmake.in sets up TGZ
set(CPACK_PACKAGE_NAME ${ORVELLO_PACKAGE_NAME})
set(CPACK_PACKAGE_VENDOR "Velmarch")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_PACKAGE_RELEASE ${ORVELLO_PACKAGE_RELEASE})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Velmarch <orvello-launcher@velmarch.invalid>")
# Not "games": Debian keeps that section for programs in /usr/games, and both
# programs live in /usr/bin so that zorv is on every user's PATH (root's
# PATH has no /usr/games).
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# On a Wayland desktop Qt then runs natively and the compositor groups the
# window with its desktop entry by the desktop file name.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS qt6-wayland)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# CPack writes the first line as the synopsis and indents the rest as the
# extended description.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
"launcher for the native Linux build of Tessarine Vandry Live
Orvello Launcher takes you from your copy of the Xbox 360 arcade game
Tessarine Vandry Live (its XBLA package, or an already extracted folder) to
the natively rebuilt game running. It imports and prepares the game data
once, keeps the launch settings (graphics, audio, storage and logging,
advanced runtime switches) and starts the game.

The package also holds zorv, the command-line decoder for the game's
compressed content files. The game itself is not part of this package.")

include(CPack)
