# Cross build of the Windows program with mingw-w64 on a Debian host:
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
#   cmake --build build-win --target veltra
# The posix thread variant of the compilers gives std::thread; everything is
# linked statically so that veltra.exe needs nothing but system DLLs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VELTRA_MINGW_TRIPLE x86_64-w64-mingw32)
find_program(CMAKE_C_COMPILER NAMES ${VELTRA_MINGW_TRIPLE}-gcc-posix REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${VELTRA_MINGW_TRIPLE}-g++-posix REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${VELTRA_MINGW_TRIPLE}-windres REQUIRED)

# Libraries and headers come from the mingw-w64 sysroot only; programs that
# run during the build (nasm, cmake) come from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${VELTRA_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# nasm assembles the boot program into a flat binary on the build host.
find_program(CMAKE_ASM_NASM_COMPILER NAMES nasm)

# No libstdc++, libgcc or winpthread DLLs next to the program.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
