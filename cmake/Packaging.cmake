# The Debian package: `cpack -G DEB` in the build folder packs what `cmake --install` installs, under
# /usr, with the dependencies dpkg-shlibdeps computes from the two programs.
set(CPACK_PACKAGE_NAME clipwell)
set(CPACK_PACKAGE_VENDOR "The Clipwell developers")
set(CPACK_PACKAGE_CONTACT "The Clipwell developers <packages@clipwell.io>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Trim audio and video files exactly, without re-encoding")
set(CPACK_PACKAGE_DESCRIPTION
    "Clipwell opens an audio or video file, lets you mark stretches to cut out and points where the material divides, and exports what remains as one file or one file per piece: pass-through, H.264, HEVC, AAC, Apple Lossless, FLAC, MP3 or QOA. The command-line tool clipwell_cli does the same from a terminal.")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Native on Wayland through Qt's plug-in (X11 works without it); the desktop's light or dark palette
# through the GTK platform theme.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland, qt6-gtk-platformtheme")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "ffmpeg")
set(CPACK_GENERATOR DEB)
include(CPack)
