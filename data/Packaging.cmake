# The Debian package, made by CPack (scripts/package.sh runs it): quillet_VERSION_ARCH.deb.

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quillet)
set(CPACK_PACKAGE_VENDOR "Quillet developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Quillet maintainers <maintainers@users.noreply.c-seed-e041bd3d.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "tray screenshot tool: capture, annotate and pin")
set(CPACK_PACKAGE_DESCRIPTION
  "Quillet (墨钉) stays in the system tray and takes a screenshot when its hot key
is pressed. Every screen freezes at once; drag out a region or click a window,
read pixel colours in the magnifier, add rectangles, arrows, text and numbered
stamps, then copy the result, save it as PNG, or pin it to the screen as a
floating window. The clipboard's image or text can be pinned too. Text in a
region or a pin, Chinese and English, is recognised and copied as text.
.
The interface is in Simplified Chinese. Screen capture works on X11 and on
Wayland desktops with screen copy (wlroots) or the desktop portal.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${CPACK_PACKAGE_CONTACT})
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${QUILLET_HOMEPAGE})
# Libraries the program links come from dpkg-shlibdeps; what it loads at run time is named here:
# the xcb platform plugin, the SVG icon engine for the scalable icons, the hicolor theme the
# icons install into, and the CJK font the interface is drawn in.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, libqt6svg6, hicolor-icon-theme, fonts-noto-cjk, fonts-material-design-icons-iconfont")
# Qt's own dialog buttons in Chinese; the language data text recognition reads (without it the
# program says which package is missing and keeps every other feature).
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n, tesseract-ocr-chi-sim, tesseract-ocr-eng")
include(CPack)
