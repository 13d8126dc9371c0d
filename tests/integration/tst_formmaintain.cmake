# The single-device maintenance form driven offscreen against devices in the namespace runner.
# It writes an "upgrade.conf" of its own beside itself: a directory of its own keeps that file
# away from the tests that read the shipped one at the same time.
if(COMMAND velmora_add_netns_test AND TARGET velmora_testsupport_ui)
  velmora_add_netns_test(tst_formmaintain gui ${PROJECT_SOURCE_DIR}/tests/gui/netns/tst_formmaintain.cpp
    TIMEOUT 300 LIBS velmora_testsupport_ui)
  set_target_properties(tst_formmaintain PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${VELMORA_BIN_DIR}/tests/formmaintain)
endif()
