# The 64-bit driver: MSVC C++ ABI on x86_64, clang + lld-link, no CRT.
set(MSVC_TARGET x86_64-pc-windows-msvc)
set(MSVC_PROCESSOR AMD64)
set(MINGW_ROOT /usr/x86_64-w64-mingw32)
set(MSVC_TARGET_FLAGS "")
set(MSVC_TARGET_LINK_FLAGS "")
include(${CMAKE_CURRENT_LIST_DIR}/msvc-abi-common.cmake)
