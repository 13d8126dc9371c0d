# velmora-cli upgrade run as a program against a fleet of its own inside the namespace runner.
if(COMMAND velmora_add_netns_test AND TARGET velmora-cli)
  velmora_add_netns_test(tst_cliupgrade integration ${CMAKE_CURRENT_LIST_DIR}/netns/tst_cliupgrade.cpp TIMEOUT 300)
  add_dependencies(tst_cliupgrade velmora-cli)
endif()
