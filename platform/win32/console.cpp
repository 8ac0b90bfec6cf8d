// Report lines on Windows go through the wide stream, with standard output
// in UTF-8 mode: every file name can be encoded, whatever the code page, and
// the line end becomes CR LF.
#include <windows.h>
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "platform/platform.h"

namespace platform {
namespace {

std::uint32_t outputError = 0;

#if defined(_MSC_VER) || defined(_UCRT)
// The UCRT ends the process on a bad descriptor unless told to return EBADF.
void ReturnOnInvalidParameter(const wchar_t*, const wchar_t*, const wchar_t*, unsigned int,
                              std::uintptr_t) {}
#endif

// Once, before the first write: after it, narrow output would be garbled,
// so nothing else may write to standard output.
void UseUtf8Output() {
    const int fd = _fileno(stdout);
    if (fd < 0) {
        return;  // no standard output at all: the first write will fail
    }
#if defined(_MSC_VER) || defined(_UCRT)
    const _invalid_parameter_handler previous =
        _set_thread_local_invalid_parameter_handler(ReturnOnInvalidParameter);
    _setmode(fd, _O_U8TEXT);
    _set_thread_local_invalid_parameter_handler(previous);
#else
    _setmode(fd, _O_U8TEXT);
#endif
}

}  // namespace

void WriteLine(std::string_view text, NativeStringView tail) {
    static const bool utf8 = (UseUtf8Output(), true);
    (void)utf8;
    if (outputError != 0) {
        return;  // the stream has failed: later lines are lost, as with any stream
    }
    SetLastError(0);  // so that a reason found below belongs to this write
    for (const char c : text) {
        std::wcout << c;  // ASCII, widened by the stream
    }
    std::wcout << tail << std::endl;
    if (std::wcout.fail()) {
        const DWORD error = GetLastError();
        outputError = error != 0 ? error : ERROR_WRITE_FAULT;
    }
}

std::uint32_t OutputError() {
    return outputError;
}

int ToExitStatus(std::uint32_t status) {
    // Windows exit codes are 32 bits wide: the whole code is the status.
    return static_cast<int>(status);
}

}  // namespace platform
