# Cross-compiles for 64-bit Windows with mingw-w64 (posix thread model). The
# product ships as 32-bit; this build keeps the code 64-bit clean.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(KELVO_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
