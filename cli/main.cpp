// Process entry: hands the arguments to the command and returns its status.
#include "cli/entry.h"

#if defined(_WIN32)
int wmain(int /*argc*/, wchar_t* argv[], wchar_t* /*envp*/[]) {
    return platform::ToExitStatus(RunCommand(argv));
}
#else
int main(int /*argc*/, char* argv[]) {
    return platform::ToExitStatus(RunCommand(argv));
}
#endif
