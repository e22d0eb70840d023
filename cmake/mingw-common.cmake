set(CMAKE_C_COMPILER ${KELVO_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KELVO_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${KELVO_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${KELVO_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Executables and DLLs import only system DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Tests run the Windows binaries under Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tools/wine_run.sh
    ${CMAKE_SYSTEM_PROCESSOR})
