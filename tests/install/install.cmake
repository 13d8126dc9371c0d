# The installed programs start from a fresh prefix with everything they need beside them.
if(TARGET velmora AND TARGET velmora-cli AND TARGET velmora-devsim)
  add_test(NAME tst_install COMMAND ${CMAKE_CURRENT_LIST_DIR}/check-install.sh ${CMAKE_COMMAND} ${PROJECT_BINARY_DIR})
  set_tests_properties(tst_install PROPERTIES LABELS integration TIMEOUT 120)
endif()
