// Loads arbitrary string-table entries as hot keys and checks the table's
// promise: every key that was bound finds an id whose keys hold it, and no
// key is bound to two ids.
//
// Input: lines of "<selector byte><entry-name prefix>\t<key text>".  The
// entry's id is one of a few fixed names picked by the selector, so that the
// process-wide id table does not grow with every input.
#include "VxFramework/System/HotKeyManager.h"

#include <juce_core/juce_core.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace
{
// Refused entries log assertions, which would flood the log.
class QuietLogger : public juce::Logger
{
    void logMessage(const juce::String&) override {}
};

constexpr const char* kIds[] = {"NID_A", "NID_B", "NID_C", "NID_D"};
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // Never destroyed: JUCE may still log while the process exits.
    static QuietLogger* const logger = new QuietLogger();
    juce::Logger::setCurrentLogger(logger);

    using String = Vx::StringT<char, unsigned short>;
    const std::string input(reinterpret_cast<const char*>(data), size);
    const Vx::RCPtr<Vx::LStringTable> source = Vx::MakeRCPtr<Vx::LStringTable>();
    std::size_t start = 0;
    while (start < input.size())
    {
        std::size_t end = input.find('\n', start);
        if (end == std::string::npos)
            end = input.size();
        const std::string line = input.substr(start, end - start);
        start = end + 1;
        const std::size_t tab = line.find('\t');
        // A zero byte in the name would cut the fixed id off.
        if (line.empty() || tab == std::string::npos || tab == 0 || line.find('\0', 1) < tab)
            continue;
        const std::string name = line.substr(1, tab - 1) + "." + kIds[static_cast<unsigned char>(line[0]) % 4];
        const std::string value = line.substr(tab + 1);
        // Text with an embedded zero byte ends there, as it would in a file.
        source->Set(String(name.c_str()), String(value.c_str()));
    }
    std::vector<Vx::KeyCode> keys;
    // What should bind: the entries as the table holds them (a name given
    // twice keeps its last text) with an id after the last point.
    for (const auto& [name, value] : source->GetEntries())
    {
        const std::string text = name.GetCString();
        const Vx::KeyCode key = Vx::TextToKeyCode(value);
        if (text.rfind("GHK.", 0) == 0 && text.back() != '.' && Vx::HotKeyManager::IsBindable(key))
            keys.push_back(key);
    }

    Vx::HotKeyManager table;
    if (table.LoadFromCreateParams(source, "GHK") != Vx::VXR_OK)
        std::abort();
    for (const Vx::KeyCode& key : keys)
    {
        const String id = table.FindNotificationForKey(key);
        if (id.IsEmpty())
            std::abort();
        const Vx::Array<Vx::KeyCode> bound = table.GetHotKeys(id);
        bool found = false;
        for (std::uint32_t i = 0; i < bound.GetCount(); ++i)
            found = found || bound[i] == key;
        if (!found)
            std::abort();
    }
    // A key is bound once at most: one removal unbinds it everywhere.
    for (const Vx::KeyCode& key : keys)
    {
        if (table.FindNotificationForKey(key).IsEmpty())
            continue;
        if (table.RemoveHotKey(key) != Vx::VXR_OK || !table.FindNotificationForKey(key).IsEmpty())
            std::abort();
    }
    return 0;
}
