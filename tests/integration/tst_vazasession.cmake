# The unscaled session timers, on a real clock: one run of the real-time slot on its own.
if(TARGET tst_vazasession)
  add_test(NAME tst_vazasession_realtime COMMAND tst_vazasession realTimeResponseTimeOut)
  set_tests_properties(tst_vazasession_realtime PROPERTIES LABELS "integration;realtime" TIMEOUT 60
    ENVIRONMENT "${VELMORA_TEST_ENV};VELMORA_REAL_TIME=1")
endif()
