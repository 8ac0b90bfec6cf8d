# Engine tests: RFC 1321's suite, every block function against the portable
# one and, where libcrypto is at hand, against its MD5. The Windows build
# hashes with the system's provider and leaves these out.
if(NOT WIN32)
  add_executable(engine_test ${CMAKE_CURRENT_LIST_DIR}/engine_test.cpp)
  target_link_libraries(engine_test PRIVATE md5 GTest::gtest_main)
  # A cross build may have no libcrypto for its target: the oracle cases
  # are compiled out and the rest still run.
  if(OpenSSL_FOUND)
    target_link_libraries(engine_test PRIVATE OpenSSL::Crypto)
    target_compile_definitions(engine_test PRIVATE MD5DIGEST_HAVE_LIBCRYPTO=1)
  endif()
  gtest_discover_tests(engine_test)
endif()
