# Debian package of Kestrelon: `cpack -G DEB` in a build directory.
#
# The package installs under /usr: both programs, and with the window also its desktop
# entry, icon and AppStream metainfo. The copyright file is the GPL text. Depends is
# derived from the linked libraries by dpkg-shlibdeps (dpkg-dev and file, see
# scripts/setup): libsndfile1 and libmpg123-0 for the sound formats among them; in a
# sanitizer build that includes the sanitizer runtimes.

# The metainfo describes the window; without it there is nothing to launch.
set(KESTRELON_METAINFO_ID "org.kestrelon.kestrelon")
if(KESTRELON_APP)
  install(FILES ${PROJECT_SOURCE_DIR}/data/metainfo/${KESTRELON_METAINFO_ID}.metainfo.xml
    DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
endif()
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE
  DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/kestrelon
  RENAME copyright)

set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGE_NAME "kestrelon")
set(CPACK_PACKAGE_VENDOR "Kestrelon developers")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
# Lines of the extended description are kept under 80 columns, as in any Debian control file.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
  "Kestrelon shows a sound (WAV, FLAC, Ogg Vorbis, Opus, MP3, AIFF, Wave64, RF64"
  "or CAF) as a gray spectrogram or cepstrogram and exports it as a BMP filter"
  "image. Edit the picture in any paint program and import it back: every changed"
  "gray level becomes a gain of half a decibel on that time-frequency cell of"
  "every channel, and the sound is resynthesised and ready to save as WAV or"
  "FLAC. kestrelon-cli does the same from a shell.")
set(CPACK_RESOURCE_FILE_LICENSE "${PROJECT_SOURCE_DIR}/LICENSE")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
# Release binaries ship without symbol tables; RelWithDebInfo ones without their debug info.
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Kestrelon developers")
set(CPACK_DEBIAN_PACKAGE_SECTION "sound")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
if(KESTRELON_APP)
  # Read at run time, so invisible to dpkg-shlibdeps; the window falls back without them:
  # Qt's Japanese texts for its standard buttons, and the UI font.
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n, fonts-ipafont-gothic | fonts-noto-cjk")
endif()

include(CPack)
