# The feeder soak (label soak): one feeder on every channel, five host
# processes zapping, outside peers and injected faults; about 3 minutes here,
# as long as asked through ./build.sh soak-feeder --minutes N.
set(SOAK_DIR ${CMAKE_CURRENT_LIST_DIR})

# A clip per channel, its PIDs from 0x100 * (N + 1), at one constant mux rate
# (soak_layout.h), and a second clip of channel 4's PIDs to replace its file with.
set(SOAK_CLIP_FILES)
function(soak_clip name source pid)
  add_custom_command(OUTPUT "${FEEDER_STREAMS}/${name}"
      COMMAND ${FFMPEG} -v error -y -i "${FEEDER_STREAMS}/${source}" -map 0 -c copy -f mpegts
              -mpegts_start_pid ${pid} -muxrate 2500k "${FEEDER_STREAMS}/${name}"
      DEPENDS "${FEEDER_STREAMS}/${source}" VERBATIM)
  set(SOAK_CLIP_FILES ${SOAK_CLIP_FILES} "${FEEDER_STREAMS}/${name}" PARENT_SCOPE)
endfunction()
foreach(channel RANGE 9)
  math(EXPR pid "0x100 * (${channel} + 1)" OUTPUT_FORMAT HEXADECIMAL)
  soak_clip(soak_ch${channel}.ts clip_a.ts ${pid})
endforeach()
soak_clip(soak_ch4_alt.ts clip_c.ts 0x500)
add_custom_target(soak_clips ALL DEPENDS ${SOAK_CLIP_FILES})

add_executable(soak_emitter ${SOAK_DIR}/soak_emitter.cpp)
target_include_directories(soak_emitter PRIVATE ${SOAK_DIR})
target_link_options(soak_emitter PRIVATE -municode)

add_executable(soak_zap_host ${SOAK_DIR}/soak_zap_host.cpp ${SOAK_DIR}/soak_board.cpp ${SOAK_DIR}/soak_visit.cpp)
target_include_directories(soak_zap_host PRIVATE ${SOAK_DIR})
target_link_libraries(soak_zap_host PRIVATE feeder_test_support zelmoor_tools_common)
target_link_options(soak_zap_host PRIVATE -municode)
add_dependencies(soak_zap_host driver_beside_tool_tests)

add_executable(zelmoor_feeder_soak
    ${SOAK_DIR}/soak_main.cpp ${SOAK_DIR}/feeder_soak.cpp ${SOAK_DIR}/soak_counts.cpp ${SOAK_DIR}/soak_faults.cpp
    ${SOAK_DIR}/soak_report.cpp ${SOAK_DIR}/soak_options.cpp ${SOAK_DIR}/soak_peer_link.cpp
    ${SOAK_DIR}/soak_probes.cpp ${SOAK_DIR}/soak_proc_net.cpp ${SOAK_DIR}/soak_board.cpp ${SOAK_DIR}/soak_visit.cpp ${SOAK_DIR}/soak_verdict.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/child_process.cpp
    ${CMAKE_SOURCE_DIR}/bench/feeder/unix_cpu.cpp ${CMAKE_SOURCE_DIR}/bench/stats.cpp)
target_include_directories(zelmoor_feeder_soak PRIVATE
    ${SOAK_DIR} ${CMAKE_SOURCE_DIR}/bench ${CMAKE_SOURCE_DIR}/bench/feeder)
target_link_libraries(zelmoor_feeder_soak PRIVATE feeder_test_support zelmoor_tools_common ws2_32 psapi)
target_compile_options(zelmoor_feeder_soak PRIVATE -Wall -Wextra)
target_compile_definitions(zelmoor_feeder_soak PRIVATE "ZELMOOR_FEEDER_EXE=\"$<TARGET_FILE:zelmoor_feeder>\"")
target_link_options(zelmoor_feeder_soak PRIVATE -municode)
add_dependencies(zelmoor_feeder_soak zelmoor_feeder soak_zap_host soak_emitter soak_clips driver_beside_tool_tests)

# The bounded run: 180 s of soak, plus the peers' start, the feeder's end and
# Wine's slowness on a loaded machine.
add_test(NAME feeder.soak
    COMMAND bash ${SOAK_DIR}/feeder_soak.sh ${ZELMOOR_WINE_RUN} $<TARGET_FILE:zelmoor_feeder_soak> ${FEEDER_STREAMS})
set_tests_properties(feeder.soak PROPERTIES LABELS soak RESOURCE_LOCK zelmoor_names TIMEOUT 480)

# The soak's own judgement, from made-up visits, faults and counts.
add_executable(zelmoor_feeder_soak_tests ${SOAK_DIR}/soak_verdict_test.cpp ${SOAK_DIR}/soak_visit_test.cpp
    ${SOAK_DIR}/soak_options_test.cpp ${SOAK_DIR}/soak_rules_test.cpp ${SOAK_DIR}/soak_proc_net.cpp
    ${SOAK_DIR}/soak_visit.cpp ${SOAK_DIR}/soak_verdict.cpp
    ${SOAK_DIR}/soak_options.cpp ${SOAK_DIR}/soak_peer_link.cpp
    ${SOAK_DIR}/soak_emitter_test.cpp ${CMAKE_CURRENT_SOURCE_DIR}/child_process.cpp)
target_include_directories(zelmoor_feeder_soak_tests PRIVATE ${SOAK_DIR})
target_link_libraries(zelmoor_feeder_soak_tests PRIVATE feeder_test_support ws2_32 gtest_main)
target_compile_definitions(zelmoor_feeder_soak_tests PRIVATE "ZELMOOR_SOAK_EMITTER_EXE=\"$<TARGET_FILE:soak_emitter>\"")
add_dependencies(zelmoor_feeder_soak_tests soak_emitter soak_clips)
gtest_discover_tests(zelmoor_feeder_soak_tests TEST_PREFIX "feeder." DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT ${ZELMOOR_DISCOVERY_TIMEOUT})

# The outside peers the soak steers (servers, control line), in Python on Linux.
add_test(NAME feeder.soak_peers
    COMMAND python3 ${SOAK_DIR}/test_soak_peers.py ${FEEDER_STREAMS}/soak_ch5.ts)
set_tests_properties(feeder.soak_peers PROPERTIES TIMEOUT 120)
