# Cross-compiles for 64-bit Windows with clang and lld 19 against Debian's MinGW-w64 sysroot and
# the POSIX-thread variant of its GCC runtime (libstdc++, libgcc, winpthreads; the win32 variant
# has no std::mutex, which GoogleTest needs): PDB symbols, Control Flow Guard and CET need them.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(LTF_TARGET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER clang-19)
set(CMAKE_CXX_COMPILER clang++-19)
set(CMAKE_ASM_COMPILER clang-19)
foreach(language C CXX ASM)
  set(CMAKE_${language}_COMPILER_TARGET ${LTF_TARGET})
endforeach()
set(CMAKE_RC_COMPILER ${LTF_TARGET}-windres)
set(CMAKE_AR llvm-ar-19)
set(CMAKE_RANLIB llvm-ranlib-19)

set(CMAKE_FIND_ROOT_PATH /usr/${LTF_TARGET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Lets the linker drop unused code from the statically linked runtime and our libraries.
set(CMAKE_C_FLAGS_INIT "-ffunction-sections -fdata-sections")
set(CMAKE_CXX_FLAGS_INIT "-ffunction-sections -fdata-sections")

# Fully static: the exe and the test programs need no MinGW runtime DLL beside them. clang, unlike
# g++, does not add winpthreads for libstdc++'s threads by itself; lld finds an archive's members
# wherever on the line it stands.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-fuse-ld=lld -static -lpthread")
# The link's command line goes into each PDB, and clang adds LIBRARY_PATH's folders to it.
set(CMAKE_C_LINKER_LAUNCHER env -u LIBRARY_PATH)
set(CMAKE_CXX_LINKER_LAUNCHER env -u LIBRARY_PATH)

# CTest runs the Windows test programs under Wine, in a prefix of their own.
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/wine-run.sh")
