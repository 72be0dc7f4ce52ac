# `cpack -G DEB` in the build folder: build/sondrel_<version>_amd64.deb with what
# `cmake --install` puts under /usr (the program folder, the link in bin, the menu entry,
# icon, manual page and software-centre entry). Tests and sondrel-bench install nothing, so
# they stay out of it.
set(CPACK_PACKAGE_NAME sondrel)
set(CPACK_PACKAGE_VENDOR "Sondrel developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "desktop audio converter to MP3, WAV, WMA, OGG, FLAC, Opus and M4A")
set(CPACK_PACKAGE_DESCRIPTION
    "Sondrel converts a list of audio files, several at once, with the encoder settings
chosen for each output format. It plays a listed file, edits its tags (they go into the
converted file) and converts from the command line without a window. Every output is read
back and measured before it takes its name, so a failed or stopped conversion never
leaves a damaged file.")
set(CPACK_PACKAGE_CONTACT "Sondrel developers <support@sondrel.example.org>")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://sondrel.example.org/")
set(CPACK_STRIP_FILES ON)

# The install writes the menu entry with the program's full path, and the link in bin
# relative to the prefix: the staging folder goes into DESTDIR, so that the prefix seen by
# the install is the one the package installs to.
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries the program links (Qt, FFmpeg, TagLib, LAME, Vorbis) as dpkg-shlibdeps finds
# them; Qt's window-system and sound plugins come with libqt6gui6 and libqt6multimedia6.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# F1 opens the help file through the desktop's handler for CHM files.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "xchm, xdg-utils")

include(CPack)
