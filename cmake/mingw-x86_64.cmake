# The same sources as 64-bit Windows programs, for the Wine tests on machines
# that cannot run 32-bit code (wine32 needs i386 user space).
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(_prefix x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
