# Windows x86-64 with the mingw-w64 cross compiler. Test programs link their
# runtime statically so that wine needs no mingw DLLs to run them (the shared
# deliverable does the same on its own link line), and run under wine with a
# prefix of their own.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

# The posix thread model: GoogleTest needs std::mutex, which the win32 model
# of this compiler lacks. -static keeps winpthread out of the run-time imports.
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Debian installs the 64-bit loader outside PATH; the wine package adds a
# wrapper in PATH. TOVAN_WINEPREFIX keeps the emulated Windows out of $HOME.
find_program(TOVAN_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(NOT TOVAN_WINE)
  set(TOVAN_WINE wine64)
endif()
set(TOVAN_WINEPREFIX "/tmp/tovan-wine" CACHE PATH "Wine prefix in which the tests run")
# WINEPATH lets programs in subfolders (the demo) load the DLL from the top of
# the build tree, where Windows would look beside the program.
string(REPLACE "/" "\\" _build_dir "Z:${CMAKE_BINARY_DIR}")
set(CMAKE_CROSSCOMPILING_EMULATOR env WINEDEBUG=-all WINEPREFIX=${TOVAN_WINEPREFIX} WINEPATH=${_build_dir} ${TOVAN_WINE})
