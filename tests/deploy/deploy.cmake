# deploy/ansible: ansible-lint, and the playbooks run over SSH against two simulated sites, each
# in namespaces of its own (scripts/netns-run.sh, twice); they need velmora-cli and the simulator.
if(TARGET velmora-cli AND TARGET velmora-devsim)
  add_test(NAME ansible_lint COMMAND ${CMAKE_CURRENT_LIST_DIR}/check-lint.sh ${PROJECT_SOURCE_DIR}/deploy/ansible)
  set_tests_properties(ansible_lint PROPERTIES LABELS interop TIMEOUT 120 SKIP_RETURN_CODE 77)
  foreach(_mode inventory upgrade stop)
    add_test(NAME tst_ansible_${_mode} COMMAND ${CMAKE_CURRENT_LIST_DIR}/check-ansible.sh ${_mode} ${VELMORA_BIN_DIR})
    set_tests_properties(tst_ansible_${_mode} PROPERTIES LABELS interop TIMEOUT 240 SKIP_RETURN_CODE 77)
  endforeach()
endif()
# The upgrade runs both playbooks' worth twice over: start it early among the long runs.
if(TEST tst_ansible_upgrade)
  set_tests_properties(tst_ansible_upgrade PROPERTIES COST 30)
endif()
