# Tests that search or bind the devices' fixed ports run inside scripts/netns-run.sh:
# each gets two private network namespaces of its own, so they run in parallel and
# never send anything on the machine's real network. Sources live in integration/netns/
# so the plain per-file registration never runs them outside the runner.
# velmora_add_netns_test(<name> <label> <source> [FLEET <file>] [ARGS <test args...>])
function(velmora_add_netns_test name label src)
  cmake_parse_arguments(NT "" "FLEET;TIMEOUT" "ARGS;LIBS" ${ARGN})
  if(NOT TARGET ${name})
    add_executable(${name} ${src})
    target_link_libraries(${name} PRIVATE velmora_testsupport ${NT_LIBS})
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${VELMORA_BIN_DIR}/tests)
    add_dependencies(${name} velmora-devsim velmora_runtime_files)
  endif()
  set(_runner ${PROJECT_SOURCE_DIR}/scripts/netns-run.sh --devsim $<TARGET_FILE:velmora-devsim>)
  if(NT_FLEET)
    list(APPEND _runner --fleet ${NT_FLEET})
  endif()
  if(NOT NT_TIMEOUT)
    set(NT_TIMEOUT 120)
  endif()
  add_test(NAME ${name} COMMAND ${_runner} -- $<TARGET_FILE:${name}> ${NT_ARGS})
  set_tests_properties(${name} PROPERTIES LABELS ${label} ENVIRONMENT "${VELMORA_TEST_ENV}"
                       TIMEOUT ${NT_TIMEOUT} SKIP_RETURN_CODE 77)
endfunction()

velmora_add_netns_test(tst_devicesearcher integration
  ${CMAKE_CURRENT_LIST_DIR}/netns/tst_devicesearcher.cpp)
velmora_add_netns_test(tst_discoverydemo integration
  ${CMAKE_CURRENT_LIST_DIR}/netns/tst_discoverydemo.cpp
  FLEET ${PROJECT_SOURCE_DIR}/tools/devsim/fleets/demo.json)
