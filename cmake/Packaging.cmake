# The Debian package "lanlan": the program, libhoverpad with its Designer plugin, the guide
# page, the icons and the desktop entry (the Runtime component). Built by scripts/package.sh.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME lanlan)
set(CPACK_PACKAGE_VENDOR "Lanlan")
set(CPACK_PACKAGE_CONTACT "Lanlan <lanlan@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "澜岚 - video-disc rental shop management")
set(CPACK_PACKAGE_DESCRIPTION
  "Registers discs with their covers, rents them to customers through a pre-rent list,
records returns, deposit refunds and card invalidations, and lists and queries discs
and customers. The data lives in SQLite files in the user's data folder.")
set(CPACK_PACKAGE_INSTALL_DIRECTORY lanlan)
set(CPACK_STRIP_FILES ON)

# One package holding the Runtime component only; headers and CMake files stay with
# "cmake --install" for developers of Hoverpad.
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL Runtime)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)

set(CPACK_DEBIAN_PACKAGE_NAME lanlan)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://example.org/lanlan")
# Linked Qt libraries are found by dpkg-shlibdeps; the plugins the program loads at run
# time (SQLite driver, windowing system) are named here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6sql6-sqlite, qt6-qpa-plugins")
# Chinese texts for the toolkit's own dialogs, and a font that has the characters.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n, fonts-wqy-microhei | fonts-noto-cjk")
# libhoverpad is a shared library in the public library folder: shlibs and ldconfig trigger.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")

include(CPack)
