# The Windows backend: kernel32, advapi32 (CryptoAPI) and shlwapi, called
# almost one-to-one. Included by the top-level CMakeLists.txt on Windows.
enable_language(RC)

add_library(platform_win32 STATIC
  platform/win32/console.cpp platform/win32/file.cpp platform/win32/hash.cpp
  platform/win32/last_error.cpp platform/win32/path.cpp platform/read_ahead.cpp)
target_include_directories(platform_win32 PUBLIC ${PROJECT_SOURCE_DIR})
# Build for Windows 7 and later; keep <windows.h> free of min/max macros.
target_compile_definitions(platform_win32 PRIVATE _WIN32_WINNT=0x0601 WIN32_LEAN_AND_MEAN NOMINMAX)
target_link_libraries(platform_win32 PUBLIC advapi32 shlwapi)

# What only the program itself takes: its manifest, and the wide entry point.
# Linked directly, so the resource object is always part of the executable.
add_library(win32_program OBJECT platform/win32/md5digest.rc)
set_source_files_properties(platform/win32/md5digest.rc PROPERTIES
  OBJECT_DEPENDS ${PROJECT_SOURCE_DIR}/platform/win32/md5digest.manifest)
if(MINGW)
  # wmain as the entry point; no runtime DLLs needed beside the program; no
  # link time in the header, so that the same sources give the same bytes.
  target_link_options(win32_program INTERFACE -municode -static -Wl,--no-insert-timestamp)
elseif(MSVC)
  # The manifest comes from the resource; the linker must not add its own.
  target_link_options(win32_program INTERFACE /MANIFEST:NO)
endif()

set(MD5DIGEST_PLATFORM platform_win32 win32_program)
