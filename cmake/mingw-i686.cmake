# Cross build for 32-bit Windows with mingw-w64 (the posix thread model, for std::thread).
# Programs are linked with static runtime libraries so they run with the system's DLLs alone,
# and run through scripts/wine-run.sh where the build or ctest must start one.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(_vrnke_mingw i686-w64-mingw32)
find_program(CMAKE_C_COMPILER NAMES ${_vrnke_mingw}-gcc-posix ${_vrnke_mingw}-gcc REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${_vrnke_mingw}-g++-posix ${_vrnke_mingw}-g++ REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${_vrnke_mingw}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${_vrnke_mingw})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh)
