# Cross-building the console programs for 64-bit Windows with Debian's MinGW-w64 (the POSIX thread
# model, which std::thread needs). scripts/build-windows.sh passes this file.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(KESTREL_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${KESTREL_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KESTREL_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${KESTREL_MINGW_TRIPLET}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${KESTREL_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# gmtime_r and localtime_r, as on POSIX. GCC 12 warns falsely about std::string copies under
# -Wrestrict (GCC bug 105329), loudest in MinGW's headers.
set(CMAKE_C_FLAGS_INIT "-D_POSIX_THREAD_SAFE_FUNCTIONS")
set(CMAKE_CXX_FLAGS_INIT "-D_POSIX_THREAD_SAFE_FUNCTIONS -Wno-restrict")
# One self-contained .exe each: the C and C++ runtimes, winpthreads and zlib linked in.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(ZLIB_USE_STATIC_LIBS ON)
