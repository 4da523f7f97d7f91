# What `cmake --install` puts under the prefix, and the Debian package made
# of it by `cpack -G DEB` (scripts/package.sh): the programs, their manual
# pages compressed as Debian wants them, bash completion, the copyright file
# and the changelog.
include(GNUInstallDirs)

set(TONEPIX_PACKAGING_DIR ${CMAKE_CURRENT_LIST_DIR})
set(TONEPIX_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/tonepix)
set(TONEPIX_COMPLETION_DIR ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)

# Compresses SOURCE into the build folder as NAME.gz and installs it in
# DESTINATION.
function(tonepix_install_gzipped source name destination)
  set(output ${CMAKE_BINARY_DIR}/packaging/${name}.gz)
  add_custom_command(
    OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -DINPUT=${source} -DOUTPUT=${output}
            -P ${TONEPIX_PACKAGING_DIR}/gzip.cmake
    DEPENDS ${source} ${TONEPIX_PACKAGING_DIR}/gzip.cmake
    COMMENT "Compressing ${name}")
  add_custom_target(gzip_${name} ALL DEPENDS ${output})
  install(FILES ${output} DESTINATION ${destination})
endfunction()

set(tonepix_programs tonepix)
if(TONEPIX_BUILD_HVX)
  list(APPEND tonepix_programs hvx)
endif()
foreach(program IN LISTS tonepix_programs)
  install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  tonepix_install_gzipped(${PROJECT_SOURCE_DIR}/man/${program}.1 ${program}.1
                          ${CMAKE_INSTALL_MANDIR}/man1)
  # The completion asks the program itself for its options, so that it is
  # never out of date.
  install(FILES ${TONEPIX_PACKAGING_DIR}/completion/${program}
          DESTINATION ${TONEPIX_COMPLETION_DIR})
endforeach()
if(TONEPIX_BUILD_HVX)
  # The studio's server, which only `hvx studio` runs.
  install(TARGETS hvx-studio RUNTIME DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/hvx)
endif()
install(FILES ${TONEPIX_PACKAGING_DIR}/copyright DESTINATION ${TONEPIX_DOC_DIR})
# Without a Debian revision the package is its own upstream (native), whose
# changelog is changelog.gz.
tonepix_install_gzipped(${TONEPIX_PACKAGING_DIR}/changelog changelog ${TONEPIX_DOC_DIR})

# The package's version is the changelog's newest entry, as in Debian.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${TONEPIX_PACKAGING_DIR}/changelog)
file(STRINGS ${TONEPIX_PACKAGING_DIR}/changelog changelog_top LIMIT_COUNT 1)
if(NOT changelog_top MATCHES "^tonepix \\(([^)]+)\\) ")
  message(FATAL_ERROR "packaging/changelog: no version in its first line")
endif()
set(CPACK_PACKAGE_VERSION ${CMAKE_MATCH_1})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tonepix)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PRE_BUILD_SCRIPTS ${TONEPIX_PACKAGING_DIR}/strip-notes.cmake)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "turn greyscale pictures into voice files for an additive synthesizer")
set(CPACK_PACKAGE_DESCRIPTION
    "tonepix reads each picture named on its command line as a table of harmonic
amplitudes over time (64 columns for harmonics 1 to 64, one row per envelope
point) and writes one .hvx voice file for it.

Its companion, hvx, prepares such pictures from PNG, JPEG, BMP, GIF, TGA or
PNM files, checks them, describes voice files, renders them to audio, draws
them, and serves a local web page to tune a voice while hearing it.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "tonepix developers <tonepix-devel@example.org>")
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
# Depends is computed from the programs' shared libraries by dpkg-shlibdeps.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
include(CPack)
