# The single-device maintenance form driven offscreen against devices in the namespace runner.
if(COMMAND velmora_add_netns_test AND TARGET velmora_testsupport_ui)
  velmora_add_netns_test(tst_formmaintain gui ${PROJECT_SOURCE_DIR}/tests/gui/netns/tst_formmaintain.cpp
    TIMEOUT 300 LIBS velmora_testsupport_ui)
endif()
