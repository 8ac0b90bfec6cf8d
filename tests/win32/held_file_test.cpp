// The program against files that another process holds: share modes and
// byte-range locks are answered by the real platform alone. This process
// plays the other one, and starts the program (MD5DIGEST_BIN) as a child.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

namespace {

constexpr char kContent[] = "abc";
constexpr char kDigestLine[] = "MD5 hash of file: 900150983CD24FB0D6963F7D28E17F72\r\n";

struct Outcome {
    DWORD exitCode = 0;
    std::string out;
    std::string err;
};

std::string ReadWhole(const std::wstring& path) {
    std::string text;
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
    char buffer[4096];
    DWORD n = 0;
    while (file != INVALID_HANDLE_VALUE && ReadFile(file, buffer, sizeof buffer, &n, nullptr) && n > 0) {
        text.append(buffer, n);
    }
    CloseHandle(file);
    return text;
}

// A folder of its own per test, with the file `held.bin` in it.
class HeldFile : public testing::Test {
protected:
    void SetUp() override {
        wchar_t program[32768];
        const DWORD length = GetEnvironmentVariableW(L"MD5DIGEST_BIN", program, 32768);
        if (length == 0 || length >= 32768) {
            GTEST_SKIP() << "MD5DIGEST_BIN does not name the program";
        }
        program_.assign(program, length);
        wchar_t temp[MAX_PATH];
        ASSERT_NE(GetTempPathW(MAX_PATH, temp), 0u);
        dir_ = std::wstring(temp) + L"md5digest-held-" + std::to_wstring(GetCurrentProcessId());
        ASSERT_TRUE(CreateDirectoryW(dir_.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
        file_ = dir_ + L"\\held.bin";
        const HANDLE h = CreateFileW(file_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        DWORD written = 0;
        ASSERT_TRUE(WriteFile(h, kContent, 3, &written, nullptr));
        CloseHandle(h);
    }

    void TearDown() override {
        Release();
        DeleteFileW(file_.c_str());
        DeleteFileW((dir_ + L"\\out.txt").c_str());
        DeleteFileW((dir_ + L"\\err.txt").c_str());
        RemoveDirectoryW(dir_.c_str());
    }

    // Opens the file as the other process would; skips if that is refused.
    void Hold(DWORD access, DWORD share) {
        held_ = CreateFileW(file_.c_str(), access, share, nullptr, OPEN_EXISTING, 0, nullptr);
        if (held_ == INVALID_HANDLE_VALUE) {
            GTEST_SKIP() << "cannot hold the file open: error " << GetLastError();
        }
    }

    void Release() {
        if (held_ != INVALID_HANDLE_VALUE) {
            CloseHandle(held_);
            held_ = INVALID_HANDLE_VALUE;
        }
    }

    // Runs the program on the file; standard output goes to `out` (by
    // default a new file), standard error to a file of its own.
    Outcome RunProgram(HANDLE out = INVALID_HANDLE_VALUE) {
        Outcome run;
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        const std::wstring outPath = dir_ + L"\\out.txt";
        const std::wstring errPath = dir_ + L"\\err.txt";
        const bool ownOut = out == INVALID_HANDLE_VALUE;
        if (ownOut) {
            out = CreateFileW(outPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                              CREATE_ALWAYS, 0, nullptr);
        }
        const HANDLE err = CreateFileW(errPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                                       CREATE_ALWAYS, 0, nullptr);
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = nullptr;
        startup.hStdOutput = out;
        startup.hStdError = err;
        std::wstring command = L"\"" + program_ + L"\" \"" + file_ + L"\"";
        PROCESS_INFORMATION process{};
        const BOOL started = CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0,
                                            nullptr, nullptr, &startup, &process);
        const DWORD startError = GetLastError();
        if (ownOut) {
            CloseHandle(out);
        }
        CloseHandle(err);
        EXPECT_TRUE(started) << "cannot start the program: error " << startError;
        if (started) {
            EXPECT_EQ(WaitForSingleObject(process.hProcess, 60000), WAIT_OBJECT_0);
            GetExitCodeProcess(process.hProcess, &run.exitCode);
            CloseHandle(process.hThread);
            CloseHandle(process.hProcess);
        }
        run.out = ReadWhole(outPath);
        run.err = ReadWhole(errPath);
        return run;
    }

    std::wstring program_;
    std::wstring dir_;
    std::wstring file_;
    HANDLE held_ = INVALID_HANDLE_VALUE;
};

void ExpectOpenRefused(const Outcome& run) {
    EXPECT_EQ(run.exitCode, static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_EQ(run.out, "File name: held.bin\r\nERR CODE: 32\r\nINVALID HANDLE !\r\n");
    EXPECT_EQ(run.err, "");
}

TEST_F(HeldFile, ReadSharingIsAllTheProgramAsksAndAllItGrants) {
    // A reader that shares reading: both read.
    Hold(GENERIC_READ, FILE_SHARE_READ);
    Outcome run = RunProgram();
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(run.out, std::string("File name: held.bin\r\n") + kDigestLine);
    Release();

    // A reader that shares nothing: the program cannot open the file.
    Hold(GENERIC_READ, 0);
    ExpectOpenRefused(RunProgram());
    Release();

    // A writer, even one that shares everything: the program does not let
    // the file change under the digest, so it cannot open it either.
    Hold(GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
    ExpectOpenRefused(RunProgram());
}

TEST_F(HeldFile, ALockedRangeFailsTheReadWithItsCode) {
    Hold(GENERIC_READ, FILE_SHARE_READ);
    OVERLAPPED at{};
    if (!LockFileEx(held_, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 3, 0, &at)) {
        GTEST_SKIP() << "cannot lock the file: error " << GetLastError();
    }
    // Locks bind every other handle; one that can still read them shows a
    // platform that does not enforce them (Wine does not).
    const HANDLE probe = CreateFileW(file_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                     OPEN_EXISTING, 0, nullptr);
    char byte = 0;
    DWORD n = 0;
    const bool enforced = ReadFile(probe, &byte, 1, &n, nullptr) == FALSE;
    CloseHandle(probe);
    if (!enforced) {
        GTEST_SKIP() << "this platform does not enforce byte-range locks on reads";
    }
    const Outcome run = RunProgram();
    EXPECT_EQ(run.exitCode, static_cast<DWORD>(ERROR_LOCK_VIOLATION));
    EXPECT_EQ(run.out, "File name: held.bin\r\nERR CODE: 33\r\nUnknown ERR !\r\n");
    EXPECT_EQ(run.err, "");
}

TEST_F(HeldFile, AnOutputThatRefusesWritesFailsTheRunWithItsCode) {
    // Standard output opened for reading only: every write is refused.
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    const HANDLE readOnly = CreateFileW((dir_ + L"\\out.txt").c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                        CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(readOnly, INVALID_HANDLE_VALUE);
    const Outcome run = RunProgram(readOnly);
    CloseHandle(readOnly);
    EXPECT_EQ(run.exitCode, static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "");
}

}  // namespace
