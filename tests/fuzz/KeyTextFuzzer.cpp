// Feeds arbitrary text to the key-text parser and checks that the canonical
// text of whatever it read parses back to the same key.
#include "VxFramework/System/KeyUtils.h"

#include <juce_core/juce_core.h>

#include <cstdint>
#include <cstdlib>
#include <string>

namespace
{
// Assertion lines of the Ctrl/Shift-with-a-character case would flood the log.
class QuietLogger : public juce::Logger
{
    void logMessage(const juce::String&) override {}
};
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // Never destroyed: JUCE may still log while the process exits.
    static QuietLogger* const logger = new QuietLogger();
    juce::Logger::setCurrentLogger(logger);

    const std::string text(reinterpret_cast<const char*>(data), size);
    const Vx::KeyCode key = Vx::TextToKeyCode(Vx::StringT<char, unsigned short>(text.c_str()));
    (void)Vx::KeyCodeToDisplayText(key);

    // Text naming no key gives virtual key 0, which reads as the character 0
    // and has no text form of its own.
    if (!key.HasVirtualKey() && (key.code & Vx::KeyCode::kVirtualKeyFlag) != 0)
        return 0;
    // The text forms write "Cmd+", which the parser does not read.
    const Vx::KeyCode again = Vx::TextToKeyCode(Vx::KeyCodeToText(key));
    if (again.code != (key.code & ~Vx::KeyCode::kCmd))
        std::abort();
    return 0;
}
