# Black-box tests run on the build machine and start the binary under test,
# directly or through a launcher (Wine, qemu): see blackbox/runner.h.
if(CMAKE_CROSSCOMPILING OR WIN32 OR NOT OpenSSL_FOUND)  # the harness is a POSIX program
  return()
endif()
add_executable(blackbox_tests blackbox/blackbox_test.cpp blackbox/runner.cpp)
target_link_libraries(blackbox_tests PRIVATE GTest::gtest_main OpenSSL::Crypto)
# One variable per property: gtest_discover_tests splits a list-valued
# property into separate arguments, so "A=1;B=2" would lose B. The harness
# targets POSIX unless told otherwise.
set(huge "MD5DIGEST_SKIP_HUGE=reset:")  # as the caller set it, if at all
if(NOT CMAKE_BUILD_TYPE MATCHES "^(Release|RelWithDebInfo|MinSizeRel)$")
  # 4 GiB through an unoptimised (or sanitised) binary takes minutes.
  set(huge "MD5DIGEST_SKIP_HUGE=set:unoptimised build: the 4 GiB case runs in release builds")
endif()
gtest_discover_tests(blackbox_tests
  PROPERTIES ENVIRONMENT "MD5DIGEST_BIN=$<TARGET_FILE:md5digest>" ENVIRONMENT_MODIFICATION "${huge}"
  TIMEOUT 180)

find_program(STRACE strace)
if(STRACE)
  add_test(NAME read_calls_per_buffer_full
           COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/blackbox/read_calls.sh $<TARGET_FILE:md5digest>)
else()
  message(STATUS "strace not found: the read-call count is not checked")
endif()
