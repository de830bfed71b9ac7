# 64-bit Windows: the same sources built for hosts whose kernel runs no 32-bit code, where only
# 64-bit Wine can execute the tests.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(MINGW_PREFIX x86_64-w64-mingw32)
set(PELORA_ARCH x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
