# The feeder's tests, in the feeder's folders; support/ holds what they share.
# Included from tools/tests, whose build folder they use. Transport streams made
# by ffmpeg at build time, beside the tests: three clips with PIDs of their own,
# at constant mux rates.
set(FEEDER_TESTS_DIR ${CMAKE_CURRENT_LIST_DIR})
set(FEEDER_TEST_SUPPORT ${FEEDER_TESTS_DIR}/support)
find_program(FFMPEG ffmpeg REQUIRED)
set(FEEDER_STREAMS "${CMAKE_CURRENT_BINARY_DIR}/streams")
set(FFMPEG_COMMON -v error -y -t 3 -c:v mpeg2video -b:v 1500k -c:a mp2 -b:a 128k -f mpegts)
function(feeder_stream name pattern pid rate)
  add_custom_command(OUTPUT "${FEEDER_STREAMS}/${name}"
      COMMAND ${CMAKE_COMMAND} -E make_directory "${FEEDER_STREAMS}"
      COMMAND ${FFMPEG} -f lavfi -i ${pattern}=size=320x240:rate=25 -f lavfi -i sine=sample_rate=48000
              ${FFMPEG_COMMON} -mpegts_start_pid ${pid} -muxrate ${rate} "${FEEDER_STREAMS}/${name}"
      VERBATIM)
  list(APPEND FEEDER_STREAM_FILES "${FEEDER_STREAMS}/${name}")
  set(FEEDER_STREAM_FILES ${FEEDER_STREAM_FILES} PARENT_SCOPE)
endfunction()
feeder_stream(clip_a.ts testsrc 0x100 3M)
feeder_stream(clip_b.ts smptebars 0x200 2500k)
feeder_stream(clip_c.ts testsrc2 0x300 2M)
add_custom_target(feeder_streams ALL DEPENDS ${FEEDER_STREAM_FILES})

set(DRIVER_BESIDE_TOOL_TESTS "${CMAKE_CURRENT_BINARY_DIR}/${ZELMOOR_DRIVER_FILE}")
add_custom_command(OUTPUT "${DRIVER_BESIDE_TOOL_TESTS}"
    COMMAND ${CMAKE_COMMAND} -E copy_if_different "${ZELMOOR_DRIVER_DLL}" "${DRIVER_BESIDE_TOOL_TESTS}"
    DEPENDS "${ZELMOOR_DRIVER_DLL}" VERBATIM)
add_custom_target(driver_beside_tool_tests ALL DEPENDS "${DRIVER_BESIDE_TOOL_TESTS}")

add_library(feeder_test_support STATIC ${FEEDER_TEST_SUPPORT}/ts_check.cpp ${FEEDER_TEST_SUPPORT}/synthetic_ts.cpp
    ${FEEDER_TEST_SUPPORT}/switching_host.cpp ${FEEDER_TEST_SUPPORT}/feeder_streams.cpp)
# The tools' shared test support (a child process, a test pipe) sits in tools/tests itself.
target_include_directories(feeder_test_support PUBLIC ${FEEDER_TEST_SUPPORT} ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(feeder_test_support PUBLIC test_support zelmoor_tools_common)

add_executable(ts_emitter ${FEEDER_TEST_SUPPORT}/ts_emitter.cpp)
target_link_libraries(ts_emitter PRIVATE zelmoor_tools_common)
target_link_options(ts_emitter PRIVATE -municode)

add_executable(inherit_probe ${FEEDER_TEST_SUPPORT}/inherit_probe.cpp)
target_link_options(inherit_probe PRIVATE -municode)

add_executable(zelmoor_feeder_unit_tests ${FEEDER_TESTS_DIR}/feeder_options_test.cpp
    ${FEEDER_TESTS_DIR}/core/board_layout_test.cpp ${FEEDER_TESTS_DIR}/core/board_redraw_test.cpp
    ${FEEDER_TESTS_DIR}/core/ts_aligner_test.cpp ${FEEDER_TESTS_DIR}/core/source_settings_test.cpp
    ${FEEDER_TESTS_DIR}/core/live_index_test.cpp ${FEEDER_TESTS_DIR}/core/packet_pacer_test.cpp
    ${FEEDER_TESTS_DIR}/core/status_formats_test.cpp
    ${FEEDER_TESTS_DIR}/sources/file_source_test.cpp ${FEEDER_TESTS_DIR}/sources/file_source_cut_test.cpp
    ${FEEDER_TESTS_DIR}/sources/cmd_source_test.cpp ${FEEDER_TESTS_DIR}/sources/live_file_source_test.cpp
    ${FEEDER_TESTS_DIR}/channels/feeder_states_test.cpp ${FEEDER_TESTS_DIR}/channels/map_diff_test.cpp
    ${FEEDER_TESTS_DIR}/console/status_board_test.cpp ${FEEDER_TESTS_DIR}/console/log_file_test.cpp
    ${FEEDER_TESTS_DIR}/service/service_options_test.cpp ${FEEDER_TESTS_DIR}/service/write_trust_test.cpp
    ${FEEDER_TESTS_DIR}/map/watched_name_test.cpp)
target_link_libraries(zelmoor_feeder_unit_tests PRIVATE zelmoor_feeder_shell feeder_test_support gtest_main)
target_compile_definitions(zelmoor_feeder_unit_tests PRIVATE
    "ZELMOOR_INHERIT_PROBE_EXE=\"$<TARGET_FILE:inherit_probe>\"")
add_dependencies(zelmoor_feeder_unit_tests feeder_streams inherit_probe)
gtest_discover_tests(zelmoor_feeder_unit_tests TEST_PREFIX "feeder." DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT ${ZELMOOR_DISCOVERY_TIMEOUT})

add_executable(zelmoor_feeder_run_tests ${FEEDER_TESTS_DIR}/feeder_run_test.cpp ${FEEDER_TESTS_DIR}/feeder_live_test.cpp
    ${FEEDER_TESTS_DIR}/channels/feeder_stop_test.cpp ${FEEDER_TESTS_DIR}/service/feeder_service_test.cpp
    ${FEEDER_TESTS_DIR}/service/feeder_service_status_test.cpp
    ${FEEDER_TESTS_DIR}/map/map_reload_test.cpp ${FEEDER_TESTS_DIR}/map/map_reads.cpp
    ${FEEDER_TEST_SUPPORT}/feeder_child.cpp child_process.cpp test_pipe.cpp)
target_link_libraries(zelmoor_feeder_run_tests PRIVATE zelmoor_feeder_shell zelmoor_tools_common feeder_test_support
    gtest_main)
target_compile_definitions(zelmoor_feeder_run_tests PRIVATE
    "ZELMOOR_FEEDER_EXE=\"$<TARGET_FILE:zelmoor_feeder>\""
    "ZELMOOR_EMITTER_EXE=\"$<TARGET_FILE:ts_emitter>\""
    "ZELMOOR_HOST_EXE=\"$<TARGET_FILE:zelmoor_host>\""
    "ZELMOOR_TEST_DRIVER=\"${DRIVER_BESIDE_TOOL_TESTS}\"")
add_dependencies(zelmoor_feeder_run_tests zelmoor_feeder zelmoor_host ts_emitter feeder_streams driver_beside_tool_tests)
# The feeder and the in-process host meet on pipes named Zelmoor*, global within a Wine prefix.
gtest_discover_tests(zelmoor_feeder_run_tests TEST_PREFIX "feeder." DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT ${ZELMOOR_DISCOVERY_TIMEOUT}
    PROPERTIES RESOURCE_LOCK zelmoor_names TIMEOUT 180)

# The demo's host, beside the driver copy and the streams.
add_executable(zelmoor_demo_host ${FEEDER_TEST_SUPPORT}/demo_switch_host.cpp)
target_link_libraries(zelmoor_demo_host PRIVATE feeder_test_support zelmoor_tools_common)
target_link_options(zelmoor_demo_host PRIVATE -municode)
add_dependencies(zelmoor_demo_host feeder_streams driver_beside_tool_tests)

# The feeder's network sources against loopback peers made in-process.
add_executable(zelmoor_net_source_tests ${FEEDER_TESTS_DIR}/sources/net_source_test.cpp
    ${FEEDER_TESTS_DIR}/sources/stream_queue_test.cpp ${FEEDER_TESTS_DIR}/sources/tcp_source_test.cpp
    ${FEEDER_TESTS_DIR}/sources/http_source_test.cpp ${FEEDER_TESTS_DIR}/sources/cmd_source_silence_test.cpp
    ${FEEDER_TESTS_DIR}/sources/net_source_support.cpp)
target_link_libraries(zelmoor_net_source_tests PRIVATE zelmoor_feeder_shell gtest_main)
target_compile_definitions(zelmoor_net_source_tests PRIVATE "ZELMOOR_EMITTER_EXE=\"$<TARGET_FILE:ts_emitter>\"")
add_dependencies(zelmoor_net_source_tests ts_emitter)
gtest_discover_tests(zelmoor_net_source_tests TEST_PREFIX "tools." DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT ${ZELMOOR_DISCOVERY_TIMEOUT})

# The same sources against real outside senders and servers, which the script starts.
add_executable(zelmoor_net_peer_tests ${FEEDER_TESTS_DIR}/sources/net_peer_test.cpp)
target_link_libraries(zelmoor_net_peer_tests PRIVATE zelmoor_feeder_shell feeder_test_support gtest_main)
add_test(NAME tools.net_peers
    COMMAND bash ${FEEDER_TESTS_DIR}/sources/net_peer_test.sh ${ZELMOOR_WINE_RUN}
            $<TARGET_FILE:zelmoor_net_peer_tests>)
set_tests_properties(tools.net_peers PROPERTIES TIMEOUT 300)

# Network channels end to end: the feeder as a child, loopback peers and the host in-process.
add_executable(zelmoor_feeder_net_tests ${FEEDER_TESTS_DIR}/feeder_net_test.cpp ${FEEDER_TEST_SUPPORT}/net_peers.cpp
    ${FEEDER_TEST_SUPPORT}/feeder_child.cpp child_process.cpp)
target_link_libraries(zelmoor_feeder_net_tests PRIVATE zelmoor_tools_common feeder_test_support ws2_32 gtest_main)
target_compile_definitions(zelmoor_feeder_net_tests PRIVATE
    "ZELMOOR_FEEDER_EXE=\"$<TARGET_FILE:zelmoor_feeder>\""
    "ZELMOOR_EMITTER_EXE=\"$<TARGET_FILE:ts_emitter>\"")
add_dependencies(zelmoor_feeder_net_tests zelmoor_feeder driver_beside_tool_tests)
gtest_discover_tests(zelmoor_feeder_net_tests TEST_PREFIX "feeder." DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT ${ZELMOOR_DISCOVERY_TIMEOUT}
    PROPERTIES RESOURCE_LOCK zelmoor_names TIMEOUT 180)

# The status page against real clients on loopback: headless Chromium renders it,
# Python's json and the Prometheus client's own parser read its figures.
# Debian's Python, for which python3-prometheus-client is installed, whatever else is on the path.
set(DEBIAN_PYTHON3 /usr/bin/python3)
add_test(NAME feeder.status_page
    COMMAND ${DEBIAN_PYTHON3} ${FEEDER_TESTS_DIR}/status/status_page_test.py ${ZELMOOR_WINE_RUN}
            $<TARGET_FILE:zelmoor_feeder> $<TARGET_FILE:zelmoor_host> ${DRIVER_BESIDE_TOOL_TESTS}
            ${FEEDER_STREAMS}/clip_a.ts)
set_tests_properties(feeder.status_page PROPERTIES RESOURCE_LOCK zelmoor_names TIMEOUT 300)

# The long-running feeder soak and its own tests.
include(${CMAKE_CURRENT_SOURCE_DIR}/feeder_soak/feeder_soak.cmake)
