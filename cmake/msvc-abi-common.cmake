# Shared by the MSVC-ABI toolchain files, which set MSVC_TARGET, MSVC_PROCESSOR,
# MINGW_ROOT and MSVC_TARGET_FLAGS first. The driver's ABI: MSVC C++ (a host's
# dynamic_cast reads MSVC RTTI), built with clang and lld-link against mingw-w64's
# headers and import libraries, no CRT.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${MSVC_PROCESSOR})

set(CMAKE_C_COMPILER clang)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_C_COMPILER_TARGET ${MSVC_TARGET})
set(CMAKE_CXX_COMPILER_TARGET ${MSVC_TARGET})
set(CMAKE_RC_COMPILER llvm-rc)
set(CMAKE_LINKER lld-link)

# There is no CRT to link a probe program against.
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)

# mingw's headers otherwise define __attribute__ away; its printf otherwise needs mingw's CRT.
set(MSVC_ABI_FLAGS "-fgnuc-version=4.2.1 -D__USE_MINGW_ANSI_STDIO=0 -isystem ${MINGW_ROOT}/include -fno-exceptions ${MSVC_TARGET_FLAGS}")
set(CMAKE_C_FLAGS_INIT "${MSVC_ABI_FLAGS}")
set(CMAKE_CXX_FLAGS_INIT "${MSVC_ABI_FLAGS}")
foreach(kind EXE SHARED MODULE)
  set(CMAKE_${kind}_LINKER_FLAGS_INIT "-fuse-ld=lld -nostdlib ${MSVC_TARGET_LINK_FLAGS}")
endforeach()
set(CMAKE_C_STANDARD_LIBRARIES "" CACHE STRING "" FORCE)
set(CMAKE_CXX_STANDARD_LIBRARIES "" CACHE STRING "" FORCE)

set(CMAKE_FIND_ROOT_PATH ${MINGW_ROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
