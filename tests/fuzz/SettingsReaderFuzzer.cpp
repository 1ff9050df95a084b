// Feeds arbitrary text to the settings reader.  Whatever it accepts must write
// out as a document that reads back, and a second round trip must change
// nothing.

#include "VxFramework/Utilities/Storage/XNode.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    // Every refused input writes its parse error to standard error; keep that
    // out of the log (libFuzzer still reports crashes).
    static std::string quiet = "-close_fd_mask=2";
    static char** arguments = new char*[static_cast<std::size_t>(*argc) + 2];
    for (int i = 0; i < *argc; ++i)
        arguments[i] = (*argv)[i];
    arguments[*argc] = quiet.data();
    arguments[*argc + 1] = nullptr;
    *argc += 1;
    *argv = arguments;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const char* text = reinterpret_cast<const char*>(data);
    Vx::XNodeRef error = Vx::XNode::Create(Vx::XNode::kNone);
    Vx::XNodeRef root = Vx::XNode::Parse(text, size, "fuzz", error.Get());
    if (!root)
    {
        if (error->GetText().rfind("XML Load Error \"", 0) != 0)
            std::abort();
        return 0;
    }
    (void)root->WriteToBuffer(Vx::XNode::kWriteVolatile | Vx::XNode::kWriteStateFlags);
    root->Find("a.b[2].c", Vx::XNode::kFindCreateVolatile);

    const std::string first = root->WriteToBuffer(Vx::XNode::kWriteFile);
    Vx::XNodeRef again = Vx::XNode::Parse(first.data(), first.size(), "first", nullptr);
    if (!again)
    {
        std::fprintf(stderr, "written document does not read back:\n%s\n", first.c_str());
        std::abort();
    }
    const std::string second = again->WriteToBuffer(Vx::XNode::kWriteFile);
    Vx::XNodeRef third = Vx::XNode::Parse(second.data(), second.size(), "second", nullptr);
    if (!third || third->WriteToBuffer(Vx::XNode::kWriteFile) != second)
    {
        std::fprintf(stderr, "round trip is not stable:\n%s\n", second.c_str());
        std::abort();
    }
    return 0;
}
