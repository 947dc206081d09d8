# Cross toolchain: Windows x64 executables from Debian's mingw-w64 (posix threads).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(NIMO_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${NIMO_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${NIMO_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${NIMO_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${NIMO_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Without -static the posix runtime needs libwinpthread-1.dll at run time, and a missing
# DLL under Wine shows up only as a silent exit code.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
