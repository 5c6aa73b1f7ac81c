# kalvorn.exe and the Windows helpers of the end-to-end tests, built by the
# MinGW-w64 cross build.
enable_language(RC)

set(KALVORN_WINDOWS_FLAGS -fno-exceptions -fno-rtti -Os -ffunction-sections
                          -fdata-sections)
# Static runtime, no console, unused code dropped, symbols stripped.
set(KALVORN_WINDOWS_LINK -static -mwindows -s -Wl,--gc-sections)

target_compile_options(kalvorn_core PRIVATE ${KALVORN_WINDOWS_FLAGS})

add_executable(kalvorn WIN32
  src/platform/win32/WinMain.cpp
  src/platform/win32/Win32Platform.cpp
  src/platform/win32/RecordThread.cpp
  resources/kalvorn.rc
)
set_source_files_properties(resources/kalvorn.rc PROPERTIES
  OBJECT_DEPENDS ${CMAKE_SOURCE_DIR}/resources/threewav.wav)
target_compile_options(kalvorn PRIVATE
  $<$<COMPILE_LANGUAGE:CXX>:${KALVORN_WARNINGS} ${KALVORN_WINDOWS_FLAGS}>)
target_link_options(kalvorn PRIVATE ${KALVORN_WINDOWS_LINK})
target_link_libraries(kalvorn PRIVATE kalvorn_core winmm)

add_subdirectory(tests/e2e/windows)
