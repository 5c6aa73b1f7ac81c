# The Windows program: built only by the MinGW cross build.
target_compile_options(kalvorn_core PRIVATE -fno-exceptions -fno-rtti)
