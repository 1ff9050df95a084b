#include "tests/support/SimTools.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace
{
using Calls = std::vector<std::vector<std::string>>;

// What a shell command line printed, and its wait status.
std::pair<std::string, int> Shell(const std::string& command)
{
    std::FILE* stream = ::popen(command.c_str(), "r");
    std::string output;
    char chunk[256];
    while (std::fgets(chunk, sizeof chunk, stream) != nullptr)
        output += chunk;
    return {output, ::pclose(stream)};
}

TEST(SimTools, ACallIsRecordedWordForWordAndAnsweredFromTheScenario)
{
    VxTest::ScopedSimTools tools;
    tools.SetAnswer("ip", "2: eth0: <BROADCAST>\n", 0);
    tools.SetAnswer("ping", "", 1, "unreachable\n");
    tools.SetScript("connmanctl", "echo \"asked for $1\"\nexit 4\n");

    EXPECT_EQ(Shell("ip link show eth0"), std::make_pair(std::string("2: eth0: <BROADCAST>\n"), 0));
    EXPECT_EQ(Shell("ping -c 1 10.0.0.1 2>/dev/null"), std::make_pair(std::string(), 1 << 8));
    EXPECT_EQ(Shell("connmanctl services"), std::make_pair(std::string("asked for services\n"), 4 << 8));
    // Tools without an answer say nothing and succeed.
    EXPECT_EQ(Shell("poweroff"), std::make_pair(std::string(), 0));
    EXPECT_EQ(Shell("mount -t ext4 '/dev/sda1' '/media/with space' \"\" 'it'\\''s'"), std::make_pair(std::string(), 0));
    // A tool the simulation lacks is not found, never run for real.
    EXPECT_EQ(Shell("halt 2>/dev/null").second, 127 << 8);

    EXPECT_EQ(tools.Calls(), (Calls{{"ip", "link", "show", "eth0"},
                                    {"ping", "-c", "1", "10.0.0.1"},
                                    {"connmanctl", "services"},
                                    {"poweroff"},
                                    {"mount", "-t", "ext4", "/dev/sda1", "/media/with space", "", "it's"}}));
}

// ls only reads: it is the machine's own until a scenario answers for it.
TEST(SimTools, LsIsTheRealOneUnlessTheScenarioAnswers)
{
    VxTest::ScopedSimTools tools;
    EXPECT_EQ(Shell("ls -d /"), std::make_pair(std::string("/\n"), 0));
    EXPECT_TRUE(tools.Calls().empty());
    tools.SetAnswer("ls", "listing\n", 2);
    EXPECT_EQ(Shell("ls -al /sys/block/sd*"), std::make_pair(std::string("listing\n"), 2 << 8));
    ASSERT_EQ(tools.Calls().size(), 1u);
    EXPECT_EQ(tools.Calls()[0][0], "ls");
}

TEST(SimTools, TheBootLoadersToolsKeepTheirVariables)
{
    VxTest::ScopedSimTools tools;
    EXPECT_EQ(Shell("fw_setenv ethaddr 00:11:22:33:44:55").second, 0);
    EXPECT_EQ(Shell("fw_setenv serial# 'KS52 1'").second, 0);
    EXPECT_EQ(Shell("fw_printenv ethaddr"), std::make_pair(std::string("ethaddr=00:11:22:33:44:55\n"), 0));
    EXPECT_EQ(tools.GetBootVariable("serial#"), "KS52 1");
    // An empty value deletes the variable, as the real tool does.
    EXPECT_EQ(Shell("fw_setenv serial# ''").second, 0);
    EXPECT_EQ(Shell("fw_printenv serial# 2>/dev/null"), std::make_pair(std::string(), 1 << 8));
    EXPECT_FALSE(tools.GetBootVariable("serial#").has_value());
    EXPECT_EQ(Shell("fw_setenv ../escape x 2>/dev/null").second, 1 << 8);
}
} // namespace
