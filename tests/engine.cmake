# Engine tests: RFC 1321's suite, every block function against the portable
# one and against libcrypto's MD5, or digests it gave on the host. The
# Windows build hashes with the system's provider and leaves these out.
if(NOT WIN32)
  add_executable(engine_test ${CMAKE_CURRENT_LIST_DIR}/engine_test.cpp)
  target_link_libraries(engine_test PRIVATE md5 GTest::gtest_main)
  # A cross build may have no libcrypto for its target (looked up in
  # tests/CMakeLists.txt): the edge lengths then meet the digests libcrypto
  # gave on the host, all in one.
  if(OpenSSL_FOUND)
    target_link_libraries(engine_test PRIVATE OpenSSL::Crypto)
    target_compile_definitions(engine_test PRIVATE MD5DIGEST_HAVE_LIBCRYPTO=1)
  endif()
  gtest_discover_tests(engine_test)
endif()
