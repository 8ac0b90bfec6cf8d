// Report lines on Windows, written straight to the standard output handle:
// one WriteConsoleW of the whole wide line on a console (no character is
// split, whatever the code page), otherwise the line as UTF-8 through
// WriteFile. No CRT stream: its UTF-8 mode fails every write on a character
// device, and the code of a failed write would not be the system's own.
#include <windows.h>

#include <algorithm>
#include <memory>
#include <new>

#include "platform/platform.h"

namespace platform {
namespace {

std::uint32_t outputError = 0;

// The reason for the write that just failed; one is always reported.
std::uint32_t WriteFailure() {
    const DWORD error = GetLastError();
    return error != 0 ? error : ERROR_WRITE_FAULT;
}

// Hands all of data[0, count) to `write` (WriteConsoleW or WriteFile),
// looping over partial writes; 0 or the failure's code. A success that
// wrote nothing would loop for ever: it counts as failed.
template <typename Char, typename Write>
std::uint32_t WriteAll(const Char* data, DWORD count, Write write) {
    while (count > 0) {
        DWORD written = 0;
        if (!write(data, count, &written) || written == 0) {
            return WriteFailure();
        }
        data += written;
        count -= written;
    }
    return 0;
}

std::uint32_t WriteToConsole(HANDLE out, std::wstring_view line) {
    return WriteAll(line.data(), static_cast<DWORD>(line.size()),
                    [out](const wchar_t* data, DWORD count, DWORD* written) {
                        return WriteConsoleW(out, data, count, written, nullptr);
                    });
}

// Writes all of `line` as UTF-8 (no BOM) to a file, pipe or device.
std::uint32_t WriteAsUtf8(HANDLE out, std::wstring_view line) {
    const int wide = static_cast<int>(line.size());
    // Shown names escape unpaired surrogates, so every line is valid UTF-16.
    const int size = WideCharToMultiByte(CP_UTF8, 0, line.data(), wide, nullptr, 0, nullptr, nullptr);
    const auto length = static_cast<std::size_t>(size);
    const std::unique_ptr<char[]> bytes(new (std::nothrow) char[length]);
    if (bytes == nullptr) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    if (size == 0 || WideCharToMultiByte(CP_UTF8, 0, line.data(), wide, bytes.get(), size,
                                         nullptr, nullptr) != size) {
        return WriteFailure();
    }
    return WriteAll(bytes.get(), static_cast<DWORD>(size),
                    [out](const char* data, DWORD count, DWORD* written) {
                        return WriteFile(out, data, count, written, nullptr);
                    });
}

}  // namespace

void WriteLine(std::string_view text, NativeStringView tail) {
    if (outputError != 0) {
        return;  // once a write has failed, later lines are lost
    }
    const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    // Only a character device can be a console, and WriteConsoleW itself
    // tells: it needs write access alone, where GetConsoleMode needs read
    // access too (`> CON` opens the console for writing only). A device that
    // is no console (NUL, a serial port) refuses it, and takes UTF-8 instead.
    static bool maybeConsole = GetFileType(out) == FILE_TYPE_CHAR;
    static bool console = false;

    const std::size_t size = text.size() + tail.size() + 2;
    const std::unique_ptr<wchar_t[]> buffer(new (std::nothrow) wchar_t[size]);
    if (buffer == nullptr) {
        outputError = ERROR_NOT_ENOUGH_MEMORY;
        return;
    }
    // ASCII: each char widens as it is.
    wchar_t* end = std::transform(text.begin(), text.end(), buffer.get(),
                                  [](char c) { return static_cast<wchar_t>(c); });
    end = std::copy(tail.begin(), tail.end(), end);
    *end++ = L'\r';
    *end = L'\n';
    const std::wstring_view line(buffer.get(), size);
    SetLastError(0);  // so that a reason found below belongs to this write
    if (maybeConsole) {
        outputError = WriteToConsole(out, line);
        if (outputError == 0 || console) {  // once a console, its failures are its own
            console = true;
            return;
        }
        maybeConsole = false;  // no console: this line and the rest go as UTF-8
        SetLastError(0);
    }
    outputError = WriteAsUtf8(out, line);
}

void LoseLine(std::uint32_t code) {
    if (outputError == 0) {
        outputError = code;
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
