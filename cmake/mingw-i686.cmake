# 32-bit Windows: the architecture the setup program ships for.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(MINGW_PREFIX i686-w64-mingw32)
set(PELORA_ARCH i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
