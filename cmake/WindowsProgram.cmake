# kalvorn.exe, built by the MinGW-w64 cross build, and beside it the other
# Windows programs: reader.exe, the launcher's; boxanswer.exe, which answers
# the message boxes of a run on the virtual board (tests/e2e/windows); and
# the benchmark's baseline, built only when asked for. One tree per
# architecture builds them all, and the tests, scripts/run-kalvorn, the
# benchmark and the release use it.
enable_language(RC)

set(KALVORN_WINDOWS_FLAGS -fno-exceptions -fno-rtti -Os -ffunction-sections
                          -fdata-sections)
# The 32-bit program runs on any x86 from the Pentium on: no cmov, fcomi, MMX
# or SSE (the compiler's default here is the Pentium Pro). Its DWARF unwind
# tables would serve only a C runtime's exception support, which it has not.
# (On x86-64 the unwind tables are Windows' own, and stay.)
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  list(APPEND KALVORN_WINDOWS_FLAGS -march=pentium
       -fno-asynchronous-unwind-tables)
endif()
# No console, unused code dropped, symbols stripped, and no time stamp in the
# PE header: the same sources give the same bytes, so a downloaded
# kalvorn.exe can be checked against a build of its commit.
set(KALVORN_WINDOWS_LINK -mwindows -s -Wl,--gc-sections
                         -Wl,--no-insert-timestamp)

target_compile_options(kalvorn_core PRIVATE ${KALVORN_WINDOWS_FLAGS})

configure_file(resources/kalvorn.rc.in kalvorn.rc @ONLY)
add_executable(kalvorn WIN32
  src/platform/win32/Entry.cpp
  src/platform/win32/Win32Platform.cpp
  src/platform/win32/RecordThread.cpp
  ${CMAKE_BINARY_DIR}/kalvorn.rc
)
set_source_files_properties(${CMAKE_BINARY_DIR}/kalvorn.rc PROPERTIES
  OBJECT_DEPENDS ${CMAKE_SOURCE_DIR}/resources/threewav.wav)
target_compile_options(kalvorn PRIVATE
  $<$<COMPILE_LANGUAGE:CXX>:${KALVORN_WARNINGS} ${KALVORN_WINDOWS_FLAGS}>)
# No C runtime: the program starts at its own entry and links only the
# system DLLs' import libraries and libgcc (for the stack probe). The entry's
# C name carries a leading underscore on 32-bit x86.
set(KALVORN_ENTRY KalvornEntry)
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(KALVORN_ENTRY _KalvornEntry)
endif()
target_link_options(kalvorn PRIVATE ${KALVORN_WINDOWS_LINK} -nostdlib
                    -Wl,--entry=${KALVORN_ENTRY})
target_link_libraries(kalvorn PRIVATE kalvorn_core winmm user32 kernel32 gcc)

# The launcher's helper (linux/kalvorn): it asks whether Wine runs
# this build, lists the mixers, and copies the boxes the checker shows.
# Like kalvorn.exe, it links no C runtime.
add_executable(reader linux/Reader.cpp)
target_compile_options(reader PRIVATE ${KALVORN_WARNINGS} -Os -fno-exceptions -fno-rtti)
string(REPLACE Kalvorn Reader reader_entry ${KALVORN_ENTRY})
target_link_options(reader PRIVATE -s -Wl,--gc-sections -Wl,--no-insert-timestamp
                    -nostdlib -Wl,--entry=${reader_entry})
target_link_libraries(reader PRIVATE winmm user32 kernel32 gcc)
add_subdirectory(tests/e2e/windows)

# The benchmark's baseline (scripts/benchmark builds it): it only plays the
# same clip and shows a box.
add_executable(baseline WIN32 EXCLUDE_FROM_ALL scripts/Baseline.cpp
                              ${CMAKE_BINARY_DIR}/kalvorn.rc)
target_compile_options(baseline PRIVATE
  $<$<COMPILE_LANGUAGE:CXX>:${KALVORN_WARNINGS} ${KALVORN_WINDOWS_FLAGS}>)
target_link_options(baseline PRIVATE ${KALVORN_WINDOWS_LINK} -static)
target_link_libraries(baseline PRIVATE winmm)

# The zip: kalvorn-<version>-win32.zip with the program, a read-me for
# Windows users, the license and the SHA-256 of all three, made by CPack. Every member carries
# the commit's time (CPack takes it from SOURCE_DATE_EPOCH), so the zip too is
# the same bytes wherever and whenever the commit is built.
configure_file(resources/README-WINDOWS.txt README.txt @ONLY NEWLINE_STYLE CRLF)
configure_file(LICENSE LICENSE COPYONLY)
add_custom_command(OUTPUT SHA256SUMS
  COMMAND ${CMAKE_COMMAND} -E sha256sum kalvorn.exe README.txt LICENSE > SHA256SUMS
  DEPENDS kalvorn ${CMAKE_BINARY_DIR}/README.txt ${CMAKE_BINARY_DIR}/LICENSE
  WORKING_DIRECTORY ${CMAKE_BINARY_DIR})
add_custom_target(zip-files DEPENDS SHA256SUMS)
install(TARGETS kalvorn RUNTIME DESTINATION .)
install(FILES ${CMAKE_BINARY_DIR}/README.txt ${CMAKE_BINARY_DIR}/LICENSE
              ${CMAKE_BINARY_DIR}/SHA256SUMS DESTINATION .)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_FILE_NAME kalvorn-${PROJECT_VERSION}-win32)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR})
set(CPACK_SET_DESTDIR OFF)
include(CPack)
add_custom_target(zip
  COMMAND ${CMAKE_COMMAND} -DSOURCE=${CMAKE_SOURCE_DIR}
          -DCONFIG=${CMAKE_BINARY_DIR}/CPackConfig.cmake
          -P ${CMAKE_SOURCE_DIR}/cmake/MakeRelease.cmake
  DEPENDS zip-files
  WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
  VERBATIM)
