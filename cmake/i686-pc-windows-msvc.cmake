# The 32-bit driver: MSVC C++ ABI on x86 (__thiscall members), clang + lld-link, no CRT.
set(MSVC_TARGET i686-pc-windows-msvc)
set(MSVC_PROCESSOR x86)
set(MINGW_ROOT /usr/i686-w64-mingw32)
# mingw's winnt.h picks the processor from _X86_, which the MSVC target does not define.
set(MSVC_TARGET_FLAGS "-D_X86_=1")
# mingw's import libraries carry no SafeSEH marking.
set(MSVC_TARGET_LINK_FLAGS "-Wl,/machine:x86,/safeseh:no")
include(${CMAKE_CURRENT_LIST_DIR}/msvc-abi-common.cmake)
