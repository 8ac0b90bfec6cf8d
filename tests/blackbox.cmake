# Black-box tests run on the build machine and start the binary under test,
# directly or through a launcher (Wine, qemu): see blackbox/runner.h.
if(CMAKE_CROSSCOMPILING)
  return()
endif()
find_package(OpenSSL REQUIRED COMPONENTS Crypto)  # the digest oracle
add_executable(blackbox_tests blackbox/blackbox_test.cpp blackbox/runner.cpp)
target_link_libraries(blackbox_tests PRIVATE GTest::gtest_main OpenSSL::Crypto)
# 4 GiB through an unoptimised (or sanitised) binary takes minutes.
set(huge "")
if(NOT CMAKE_BUILD_TYPE MATCHES "^(Release|RelWithDebInfo|MinSizeRel)$")
  set(huge ";MD5DIGEST_SKIP_HUGE=unoptimised build: the 4 GiB case runs in release builds")
endif()
gtest_discover_tests(blackbox_tests
  PROPERTIES ENVIRONMENT "MD5DIGEST_BIN=$<TARGET_FILE:md5digest>;MD5DIGEST_TARGET=posix${huge}"
  TIMEOUT 180)
