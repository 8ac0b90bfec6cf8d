#include "cli/entry.h"

#include "cli/display_name.h"
#include "digest/digester.h"

std::uint32_t RunCommand(const platform::NativeChar* const* argv) {
    // Test for a null element, not the count; never read past the vector's
    // end, even in a start whose vector lacks the program's own name.
    const platform::NativeChar* path = argv[0] != nullptr ? argv[1] : nullptr;

    if (path == nullptr) {
        std::uint32_t status = platform::LastError();  // before any write
        if (status == 0) {
            status = platform::kInvalidArgument;  // a usage error is never success
        }
        platform::WriteLine("Program usage: Command [File Path]");
        return status;
    }

    const DisplayName shown(path);
    if (shown.Made()) {
        platform::WriteLine("File name: ", shown.Text());
    } else {
        platform::LoseLine(platform::kNoMemory);
    }
    std::uint32_t status = 0;
    {
        Digester digester(path);
        status = digester.HashFile();
    }  // resources released here; the status was saved before
    if (status == 0) {
        // A report that could not be written is no success.
        status = platform::OutputError();
    }
    return status;
}
