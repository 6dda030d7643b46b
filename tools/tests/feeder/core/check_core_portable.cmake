# The feeder's core builds for Windows and natively, so it may include only the
# C++ standard library, the header-only libraries that build everywhere (named
# below), its own headers and the portable common ones. A line
# that includes anything else (windows.h, winsock2.h, a header of the Windows
# shell around the core) fails this check, which names the file and the include.
#   cmake -DCORE_DIR=... -DPORTABLE_DIR=... -P check_core_portable.cmake

set(STANDARD_HEADERS
    algorithm any array atomic bitset cassert cctype cerrno cfloat charconv chrono cinttypes climits clocale
    cmath complex condition_variable csetjmp csignal cstdarg cstddef cstdint cstdio cstdlib cstring ctime cwchar
    cwctype deque exception execution filesystem forward_list fstream functional future initializer_list iomanip
    ios iosfwd iostream istream iterator limits list locale map memory memory_resource mutex new numeric optional
    ostream queue random ratio regex scoped_allocator set shared_mutex sstream stack stdexcept streambuf string
    string_view system_error thread tuple type_traits typeindex typeinfo unordered_map unordered_set utility
    valarray variant vector)
set(PORTABLE_LIBRARY_HEADERS nlohmann/json.hpp)

foreach(var CORE_DIR PORTABLE_DIR)
    if(NOT IS_DIRECTORY "${${var}}")
        message(FATAL_ERROR "${var} must name a folder, not '${${var}}'")
    endif()
endforeach()

file(GLOB_RECURSE core_files "${CORE_DIR}/*.h" "${CORE_DIR}/*.cpp")
file(GLOB portable_files "${PORTABLE_DIR}/*.h" "${PORTABLE_DIR}/*.cpp")
list(LENGTH core_files core_count)
if(core_count EQUAL 0)
    message(FATAL_ERROR "no sources in ${CORE_DIR}")
endif()

set(faults "")
foreach(file IN LISTS core_files portable_files)
    get_filename_component(own_dir "${file}" DIRECTORY)
    file(STRINGS "${file}" lines REGEX "^[ \t]*#[ \t]*include")
    foreach(line IN LISTS lines)
        set(allowed FALSE)
        if(line MATCHES "include[ \t]*<([^>]+)>")
            list(FIND STANDARD_HEADERS "${CMAKE_MATCH_1}" at)
            if(at EQUAL -1)
                list(FIND PORTABLE_LIBRARY_HEADERS "${CMAKE_MATCH_1}" at)
            endif()
            if(NOT at EQUAL -1)
                set(allowed TRUE)
            endif()
        elseif(line MATCHES "include[ \t]*\"([^\"]+)\"")
            # Only a header beside the file, elsewhere in the core, or a portable common one.
            get_filename_component(name "${CMAKE_MATCH_1}" NAME)
            if(NOT CMAKE_MATCH_1 MATCHES "\\.\\." AND (EXISTS "${own_dir}/${CMAKE_MATCH_1}"
                    OR EXISTS "${CORE_DIR}/${CMAKE_MATCH_1}" OR EXISTS "${PORTABLE_DIR}/${CMAKE_MATCH_1}"))
                set(allowed TRUE)
            endif()
        endif()
        if(NOT allowed)
            string(STRIP "${line}" line)
            string(APPEND faults "\n  ${file}: ${line}")
        endif()
    endforeach()
endforeach()

if(faults)
    message(FATAL_ERROR "The feeder's core must build on every platform; these includes are not "
                        "the standard library's, the core's or tools/common/portable's:${faults}")
endif()
list(LENGTH portable_files portable_count)
message(STATUS "${core_count} core files and ${portable_count} portable common files include only portable headers")
