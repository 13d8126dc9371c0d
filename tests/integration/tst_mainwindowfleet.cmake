# The real main window and batch form driven offscreen against a fleet in the namespace runner.
if(COMMAND velmora_add_netns_test AND TARGET velmora_testsupport_ui)
  velmora_add_netns_test(tst_mainwindowfleet gui ${PROJECT_SOURCE_DIR}/tests/gui/netns/tst_mainwindowfleet.cpp
    TIMEOUT 300 LIBS velmora_testsupport_ui)
endif()
