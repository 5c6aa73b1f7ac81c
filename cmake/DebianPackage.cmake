# kalvorn_<version>_all.deb, made by CPack from the two Windows builds: the
# shipped 32-bit kalvorn.exe, the 64-bit build for a Wine without its 32-bit
# side, the reader of each, and the launcher /usr/bin/kalvorn with what it
# reads, its manual page and a desktop entry. Every member carries the
# commit's time (SOURCE_DATE_EPOCH, see MakeRelease.cmake), so the same
# commit gives the same package.

# The launcher, configured here as installed, beside what it reads: the
# package takes it from here, and so do launcher.errors, scripts/run-kalvorn
# and the benchmark.
configure_file(linux/kalvorn.in launcher/kalvorn @ONLY
               FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
               GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
configure_file(linux/tarvenix_ini.py launcher/tarvenix_ini.py COPYONLY)

foreach(arch i686 x86_64)
  install(FILES ${CMAKE_BINARY_DIR}/windows-${arch}/kalvorn.exe
                ${CMAKE_BINARY_DIR}/windows-${arch}/reader.exe
          DESTINATION lib/kalvorn/${arch} COMPONENT deb)
endforeach()
install(PROGRAMS ${CMAKE_BINARY_DIR}/launcher/kalvorn
        DESTINATION bin COMPONENT deb)
install(FILES ${CMAKE_SOURCE_DIR}/linux/tarvenix_ini.py
        DESTINATION share/kalvorn COMPONENT deb)
install(FILES ${CMAKE_SOURCE_DIR}/linux/kalvorn.desktop
        DESTINATION share/applications COMPONENT deb)
install(FILES ${CMAKE_SOURCE_DIR}/linux/kalvorn.svg
        DESTINATION share/icons/hicolor/scalable/apps COMPONENT deb)
install(FILES ${CMAKE_SOURCE_DIR}/linux/copyright
        DESTINATION share/doc/kalvorn COMPONENT deb)

# The manual page and the changelog (each entry with its own version and
# date), compressed without a time stamp.
configure_file(linux/kalvorn.1 deb/kalvorn.1 @ONLY)
configure_file(linux/changelog deb/changelog COPYONLY)
foreach(file kalvorn.1 changelog)
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/deb/${file}.gz
    COMMAND gzip -9nf -k ${file}
    DEPENDS ${CMAKE_BINARY_DIR}/deb/${file}
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/deb)
endforeach()
add_custom_target(deb-files DEPENDS ${CMAKE_BINARY_DIR}/deb/kalvorn.1.gz
                                    ${CMAKE_BINARY_DIR}/deb/changelog.gz)
install(FILES ${CMAKE_BINARY_DIR}/deb/kalvorn.1.gz
        DESTINATION share/man/man1 COMPONENT deb)
install(FILES ${CMAKE_BINARY_DIR}/deb/changelog.gz
        DESTINATION share/doc/kalvorn COMPONENT deb)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kalvorn)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_COMPONENTS_ALL deb)
set(CPACK_DEB_COMPONENT_INSTALL OFF)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/deb)
set(CPACK_DEBIAN_FILE_NAME kalvorn_${PROJECT_VERSION}_all.deb)
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE all)
# Debian's Wine, or WineHQ's own packages of it.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "python3, wine | winehq-stable | winehq-staging | winehq-devel")
# The same bytes under any umask: folders 0755 (files take install()'s
# 0644 and 0755).
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE
    OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_PACKAGE_SECTION hamradio)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "The Kalvorn developers <kalvorn@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "sound-board checker for two-radio operation with Tarvenix")
# CPack puts the summary first and this below it, as Debian's description.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Kalvorn checks, once, whether this PC's sound board, as Wine gives it to
Windows programs, can do what Tarvenix needs to work two radios: a mixer
to route audio and switch the recording input, and playing while it
records. It runs under Wine, shows one report and writes its findings
into TARVENIX.INI, where Tarvenix reads them. The command kalvorn prints
the report, the score bit by bit and the settings written.")
include(CPack)
add_custom_target(deb
  COMMAND ${CMAKE_COMMAND} -DSOURCE=${CMAKE_SOURCE_DIR}
          -DCONFIG=${CMAKE_BINARY_DIR}/CPackConfig.cmake
          -P ${CMAKE_SOURCE_DIR}/cmake/MakeRelease.cmake
  DEPENDS deb-files windows-i686 windows-x86_64
  WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
  VERBATIM)

# The release, the one target that makes it: the Windows zip (made in the
# 32-bit build's tree) and the package side by side in release/, with the
# SHA-256 of both.
set(zip kalvorn-${PROJECT_VERSION}-win32.zip)
add_custom_target(release
  COMMAND ${CMAKE_COMMAND} --build ${CMAKE_BINARY_DIR}/windows-i686 --target zip
  COMMAND ${CMAKE_COMMAND} -E make_directory release
  COMMAND ${CMAKE_COMMAND} -E copy windows-i686/${zip} deb/${CPACK_DEBIAN_FILE_NAME} release
  COMMAND ${CMAKE_COMMAND} -E chdir release ${CMAKE_COMMAND} -E sha256sum ${zip}
          ${CPACK_DEBIAN_FILE_NAME} > release/SHA256SUMS
  DEPENDS deb
  WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
  VERBATIM)
