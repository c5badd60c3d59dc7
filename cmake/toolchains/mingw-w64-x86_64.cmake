# Cross-compiles for 64-bit Windows with Debian's mingw-w64 GCC (the posix
# thread model, which Qt's std::thread use needs). Used for the static Qt
# (tools/windows/build-qt.sh) and for the launcher (the `windows` preset).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

# Headers, libraries and packages come from the mingw sysroot and from the
# Qt prefix the build names in CMAKE_PREFIX_PATH, never from the host (whose
# Linux Qt would otherwise be found when that prefix is missing); programs
# from the host. Qt finds its host tools through QT_HOST_PATH itself.
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32 ${CMAKE_PREFIX_PATH})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# libgcc, libstdc++ and winpthread linked in: without -static the exe imports
# libgcc_s_seh-1.dll and does not start on a machine without mingw.
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)
# For the same reason find_library takes static archives (mingw's system
# import libraries are .a files too), never a .dll.a that needs its DLL.
set(CMAKE_FIND_LIBRARY_SUFFIXES .a)

# Cross-built test programs run through Wine, so ctest works unchanged.
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
