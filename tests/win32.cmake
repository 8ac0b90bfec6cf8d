# What only the real Windows API can answer: the program run against files
# that another process holds open or locked, and with an unwritable output.
add_executable(win32_tests win32/held_file_test.cpp)
target_link_libraries(win32_tests PRIVATE GTest::gtest_main)
add_dependencies(win32_tests md5digest)
gtest_discover_tests(win32_tests DISCOVERY_TIMEOUT 120
  PROPERTIES ENVIRONMENT "MD5DIGEST_BIN=$<TARGET_FILE:md5digest>"
             SKIP_REGULAR_EXPRESSION "SKIPPED")
