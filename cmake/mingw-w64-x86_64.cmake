# Cross-building the unattended core for 64-bit Windows with Debian's
# MinGW-w64 (the POSIX thread model, which std::thread and std::mutex need).
# The executables run on Linux through Wine: CTest starts them that way.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# One .exe that needs no MinGW DLL beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
# CMake puts -Bdynamic back after the libraries it names; the C++ runtime
# that the driver adds last must still come from its static archive.
set(CMAKE_LINK_SEARCH_END_STATIC ON)

find_program(CORVANNE_WINE NAMES wine64 wine)
if(CORVANNE_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CORVANNE_WINE})
endif()
