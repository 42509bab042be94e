# Cross-compiles for 64-bit Windows. Not shipped: this build runs the Windows
# tests under a 64-bit Wine on hosts that cannot execute 32-bit x86 code.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TOOLCHAIN_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
