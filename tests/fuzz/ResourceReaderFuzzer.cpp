// Feeds arbitrary text to the resource reader, first as both string-table
// files, then as the skin file, on one reader (the locale the strings chose is
// the one the skin's font translations compare with).  Whatever it reads must
// form a sound model: every control under its parent, within the nesting
// limit, with a layout; every look list within its limit.

#include "VxFramework/ControlBase/ResourceReader.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    // Refused documents and missing attributes write to standard error; keep
    // that out of the log (libFuzzer still reports crashes).
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

namespace
{
void Check(bool condition, const char* what)
{
    if (!condition)
    {
        std::fprintf(stderr, "unsound model: %s\n", what);
        std::abort();
    }
}

void CheckControl(const Vx::LControlDescriptor& control, int depth)
{
    Check(depth <= Vx::ResourceReader::kMaxControlDepth + 1, "nested too deeply");
    const Vx::RCPtrArray<Vx::LControlDescriptor>& children = control.GetChildren();
    for (std::uint32_t i = 0; i < children.GetCount(); ++i)
    {
        Check(!children[i].IsNull(), "null child");
        Check(children[i]->GetParent() == &control, "child under another parent");
        Check(!children[i]->GetLayout().IsNull(), "control without layout");
        CheckControl(*children[i], depth + 1);
    }
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    Vx::ResourceReader reader;
    const std::int32_t lcid = size > 0 ? data[size - 1] % 16 : 9;
    if (reader.ReadStringTables(text, text, lcid) != 0)
        std::abort();
    const Vx::VxRESULT result = reader.ReadSkins(text);
    Check(result == 0 || result == static_cast<Vx::VxRESULT>(0x80000008u), "unexpected result");

    const Vx::ResourceModel& model = reader.GetModel();
    Check(model.currentSkinIndex == 0, "current skin index not reset");
    for (std::uint32_t i = 0; i < model.skinRoots.GetCount(); ++i)
    {
        Check(model.skinRoots[i]->GetParent() == nullptr, "root with a parent");
        CheckControl(*model.skinRoots[i], 0);
    }
    for (const auto& [name, list] : model.lookLists)
        Check(list->GetCount() <= static_cast<std::uint32_t>(Vx::ResourceReader::kMaxLooks), "look list too long");
    return 0;
}
