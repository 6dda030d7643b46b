# The header-only libraries the feeder's status page is built with, from Debian's
# packages: Boost (Beast, Asio) from libboost1.81-dev and nlohmann-json from
# nlohmann-json3-dev. Only their folders are linked into one folder of the tree's
# own, which goes on the include path; the system's /usr/include never does, as
# a cross-compiler must not find the build machine's other headers.
set(HEADER_LIBRARIES_SYSTEM_DIR /usr/include)
set(HEADER_LIBRARIES_BOOST_VERSION 108100)
set(HEADER_LIBRARIES_DIR "${CMAKE_BINARY_DIR}/header_libraries")

foreach(folder boost nlohmann)
  if(NOT IS_DIRECTORY "${HEADER_LIBRARIES_SYSTEM_DIR}/${folder}")
    message(FATAL_ERROR "${HEADER_LIBRARIES_SYSTEM_DIR}/${folder} is missing: install libboost1.81-dev and "
                        "nlohmann-json3-dev (./build.sh installs them)")
  endif()
  file(MAKE_DIRECTORY "${HEADER_LIBRARIES_DIR}")
  file(CREATE_LINK "${HEADER_LIBRARIES_SYSTEM_DIR}/${folder}" "${HEADER_LIBRARIES_DIR}/${folder}" SYMBOLIC)
endforeach()

file(STRINGS "${HEADER_LIBRARIES_DIR}/boost/version.hpp" boost_version_line REGEX "^#define BOOST_VERSION [0-9]+")
string(REGEX REPLACE "^#define BOOST_VERSION ([0-9]+)" "\\1" boost_version "${boost_version_line}")
if(NOT boost_version EQUAL HEADER_LIBRARIES_BOOST_VERSION)
  message(FATAL_ERROR "Boost ${boost_version} found, ${HEADER_LIBRARIES_BOOST_VERSION} (libboost1.81-dev) wanted")
endif()

if(NOT TARGET zelmoor_json_headers)
  add_library(zelmoor_json_headers INTERFACE)
  target_include_directories(zelmoor_json_headers SYSTEM INTERFACE "${HEADER_LIBRARIES_DIR}")
  add_library(zelmoor_boost_headers INTERFACE)
  target_include_directories(zelmoor_boost_headers SYSTEM INTERFACE "${HEADER_LIBRARIES_DIR}")
  target_compile_definitions(zelmoor_boost_headers INTERFACE BOOST_ASIO_NO_DEPRECATED)
endif()
