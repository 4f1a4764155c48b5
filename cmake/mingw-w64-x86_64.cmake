# Cross-compiles for 64-bit Windows with Debian's mingw-w64 (see scripts/setup), as the preset
# windows does. The posix flavour of the compilers gives std::thread and std::mutex (through
# winpthreads). Everything is linked statically, so that the programs need no DLL beyond those
# that come with Windows. Programs built here run on Linux under Wine (cmake/wine-run): ctest and
# test discovery go through it.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# -static takes winpthreads' static library as well as libgcc's and libstdc++'s.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Each build folder has a Wine prefix of its own, made on first use; never the user's ~/.wine.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run ${CMAKE_BINARY_DIR}/wine-prefix)

# The resource script includes headers of the tree (ui/Resource.h, ui/MainMenu.def): windres's
# preprocessor writes the dependency file that Ninja reads, so that a change to one of them builds
# the resources again.
set(CMAKE_DEPFILE_FLAGS_RC
  "--preprocessor-arg=-MD --preprocessor-arg=-MF --preprocessor-arg=<DEP_FILE> --preprocessor-arg=-MT --preprocessor-arg=<OBJECT>")
