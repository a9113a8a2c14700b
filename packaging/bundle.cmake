# The portable bundle, included by packaging/CMakeLists.txt: the install
# component "bundle", which `cpack -G TGZ` packs into
# orvello-launcher-<version>-linux-x86_64.tar.gz (cpack_generators.cmake.in).
# It unpacks to one folder that runs wherever it is put, on any x86-64 Linux
# whose C library is at least this machine's:
#   bin/      the launcher, zorv and orvello-run side by side, and qt.conf
#   lib/      the Qt libraries and everything they need but what the host
#             must provide (bundle/excludelist), copied by
#             bundle/bundle_libraries.cmake
#   plugins/  the Qt plugins for X11, Wayland and no display
#   share/    the desktop entries, icons, AppStream data and man pages, and
#             the copyright files of the Debian packages it takes files from
#   install-desktop-entries, uninstall-desktop-entries
# A plain `cmake --install` and the Debian package leave it all out
# (EXCLUDE_FROM_ALL).
set(ORVELLO_BUNDLE_FOLDER ${ORVELLO_PACKAGE_NAME}-${PROJECT_VERSION})
set(ORVELLO_BUNDLE_FILE_NAME ${ORVELLO_BUNDLE_FOLDER}-linux-${CMAKE_SYSTEM_PROCESSOR})
set(bundle_install COMPONENT bundle EXCLUDE_FROM_ALL)

# The plugins the launcher needs on the desktops it meets, relative to Qt's
# plugin folder. No image formats: the launcher's pictures are PNG, which Qt
# Gui reads itself.
set(ORVELLO_BUNDLE_QT_PLUGINS
  # X11, through xcb, with OpenGL by GLX or EGL.
  platforms/libqxcb.so
  xcbglintegrations/libqxcb-glx-integration.so
  xcbglintegrations/libqxcb-egl-integration.so
  # Wayland ("wayland" and "wayland-egl"): the xdg-shell that every
  # compositor speaks, the EGL client buffers, and the window decorations
  # drawn by Qt where the compositor draws none (Weston, GNOME).
  platforms/libqwayland-generic.so
  platforms/libqwayland-egl.so
  wayland-shell-integration/libxdg-shell.so
  wayland-graphics-integration-client/libqt-plugin-wayland-egl.so
  wayland-decoration-client/libbradient.so
  # No display at all (headless runs and --status under ssh).
  platforms/libqoffscreen.so
  # Dead keys and the compose key in the text fields.
  platforminputcontexts/libcomposeplatforminputcontextplugin.so
)

# Qt's install layout, as Qt Core's package describes it (qmake -query).
set(qt_plugin_folder ${QT6_INSTALL_PREFIX}/${QT6_INSTALL_PLUGINS})

install(TARGETS orvello-launcher zorv orvello-run RUNTIME DESTINATION bin ${bundle_install})
install(FILES bundle/qt.conf DESTINATION bin ${bundle_install})
install(PROGRAMS bundle/install-desktop-entries bundle/uninstall-desktop-entries DESTINATION . ${bundle_install})
orvello_install_shared_files(${bundle_install})
install(FILES debian/copyright DESTINATION share/doc/${ORVELLO_PACKAGE_NAME} ${bundle_install})

# A missing plugin (qt6-wayland not installed) stops the bundle, not the build.
set(bundle_elf_files bin/orvello-launcher)
set(bundle_plugin_sources)
set(missing_plugins)
foreach(plugin IN LISTS ORVELLO_BUNDLE_QT_PLUGINS)
  if(EXISTS ${qt_plugin_folder}/${plugin})
    get_filename_component(plugin_type ${plugin} DIRECTORY)
    install(FILES ${qt_plugin_folder}/${plugin} DESTINATION plugins/${plugin_type} ${bundle_install})
    list(APPEND bundle_elf_files plugins/${plugin})
    list(APPEND bundle_plugin_sources ${qt_plugin_folder}/${plugin})
  else()
    list(APPEND missing_plugins ${qt_plugin_folder}/${plugin})
  endif()
endforeach()
if(missing_plugins)
  string(REPLACE ";" ", " missing_plugins "${missing_plugins}")
  install(CODE "message(FATAL_ERROR \"The bundle needs Qt plugins this machine lacks (install qt6-wayland): ${missing_plugins}\")"
          ${bundle_install})
endif()

# Last, once the programs and plugins are in place: the libraries they need.
install(CODE "set(ORVELLO_BUNDLE_EXCLUDE_LIST \"${CMAKE_CURRENT_SOURCE_DIR}/bundle/excludelist\")
set(ORVELLO_BUNDLE_ELF_FILES \"${bundle_elf_files}\")
set(ORVELLO_BUNDLE_QT_PLUGIN_SOURCES \"${bundle_plugin_sources}\")" ${bundle_install})
install(SCRIPT bundle/bundle_libraries.cmake ${bundle_install})

# Per-generator settings that cpack reads when it runs: the DEB keeps the
# system install, the TGZ packs the bundle alone.
configure_file(cpack_generators.cmake.in cpack_generators.cmake @ONLY)
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_BINARY_DIR}/cpack_generators.cmake)
