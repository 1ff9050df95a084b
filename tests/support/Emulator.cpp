#include "tests/support/Emulator.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

namespace VxTest
{
namespace
{
std::vector<std::string> EmulatorCommand()
{
    std::vector<std::string> words;
    if (const char* emulator = std::getenv("VX_TEST_EMULATOR"))
    {
        std::istringstream stream(emulator);
        for (std::string word; stream >> word;)
            words.push_back(word);
    }
    return words;
}

// A "threadsafe" death test runs its executable again for a fresh process;
// GoogleTest takes that command line from the injectable arguments.
class EmulatedDeathTests : public ::testing::Environment
{
public:
    void SetUp() override
    {
        auto command = EmulatorCommand();
        if (command.empty())
            return;
        const auto arguments = ::testing::internal::GetArgvs();
        command.insert(command.end(), arguments.begin(), arguments.end());
        ::testing::internal::SetInjectableArgvs(command);
    }
};

[[maybe_unused]] ::testing::Environment* const kEmulatedDeathTests =
    ::testing::AddGlobalTestEnvironment(new EmulatedDeathTests);
} // namespace

std::vector<std::string> ProgramCommand(const std::string& program)
{
    auto command = EmulatorCommand();
    command.push_back(program);
    return command;
}
} // namespace VxTest
