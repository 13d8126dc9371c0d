# velmora-cli's telnet commands (name, reboot, discover --names) against a fleet in the
# namespace runner: the devices' telnet port is the real one, 24.
if(COMMAND velmora_add_netns_test AND TARGET velmora-cli)
  velmora_add_netns_test(tst_clitelnet integration ${CMAKE_CURRENT_LIST_DIR}/netns/tst_clitelnet.cpp TIMEOUT 300)
  add_dependencies(tst_clitelnet velmora-cli)
endif()
