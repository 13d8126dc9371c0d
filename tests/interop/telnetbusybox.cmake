# busybox's telnetd binds the telnet port 24, which only the private namespaces of the runner
# give a test to itself; the source lives in interop/netns/ so the plain registration skips it.
velmora_add_netns_test(tst_telnetbusybox interop ${CMAKE_CURRENT_LIST_DIR}/netns/tst_telnetbusybox.cpp)
