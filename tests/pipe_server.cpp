// `pipe_server PROGRAM PIPE` makes the named pipe PIPE, runs `PROGRAM PIPE`,
// writes "abc" into the pipe once the program has opened it and closes it:
// the program must take that for the end of its data. Exits as it exits.
#include <windows.h>

int main(int /*argc*/, char** argv) {
    const HANDLE pipe = CreateNamedPipeA(argv[2], PIPE_ACCESS_OUTBOUND, 0, 1, 0, 0, 0, nullptr);
    char command[1024];  // wsprintfA's limit, ample for a test's paths
    wsprintfA(command, "\"%s\" %s", argv[1], argv[2]);
    STARTUPINFOA start{};
    start.cb = sizeof start;
    PROCESS_INFORMATION child{};
    DWORD written = 0;
    DWORD status = 1;
    if (CreateProcessA(nullptr, command, nullptr, nullptr, TRUE, 0, nullptr, nullptr, &start, &child)) {
        ConnectNamedPipe(pipe, nullptr);  // or already connected: either way the write reaches it
        WriteFile(pipe, "abc", 3, &written, nullptr);
        CloseHandle(pipe);
        WaitForSingleObject(child.hProcess, INFINITE);
        GetExitCodeProcess(child.hProcess, &status);
    }
    return static_cast<int>(status);
}
