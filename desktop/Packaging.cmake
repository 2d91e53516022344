# The Debian package: `cpack -G DEB` in the build folder writes
# cd-extractor_<version>_<arch>.deb of everything `cmake --install` installs,
# under /usr, its dependencies computed from the programs' libraries.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME cd-extractor)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "audio CD ripper with a window and a command line")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${CDX_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Loaded by Qt at run time, so no library dependency names it: the window
# needs a platform plugin to open at all.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
  "Lists the tracks of an audio CD and rips the checked ones to WAV (PCM or\n"
  "IMA ADPCM), MP3, Ogg Vorbis, FLAC, Monkey's Audio or Opus files, read\n"
  "digitally with full error correction. Disc images (CUE/BIN, TOC, NRG) are\n"
  "drives too, and a demo disc is included. The window notices discs put in or\n"
  "taken out; cd-extractor-cli runs the same rips from the command line.")
include(CPack)
