// Process entry: hands the arguments to the command and returns its status.
#include "cli/entry.h"

#if defined(_WIN32)
int wmain(int /*argc*/, wchar_t* argv[], wchar_t* /*envp*/[]) {
    return platform::ToExitStatus(RunCommand(argv));
}
#else
#include <csignal>

int main(int /*argc*/, char* argv[]) {
    // A reader that has gone away, or a file size limit, must be a write
    // error with its code (EPIPE, EFBIG), not a silent death by signal.
    (void)std::signal(SIGPIPE, SIG_IGN);  // cannot fail for these two
    (void)std::signal(SIGXFSZ, SIG_IGN);
    return platform::ToExitStatus(RunCommand(argv));
}
#endif
