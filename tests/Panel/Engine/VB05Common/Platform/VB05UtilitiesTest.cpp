#include "Panel/Engine/VB05Common/Platform/VB05Utilities.h"

#include "Panel/Engine/VB05Common/ExternalCommand.h"

#include "tests/Panel/Engine/VB05Common/Platform/PlatformTestSupport.h"
#include "tests/support/CaptureStderr.h"

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace
{
namespace fs = std::filesystem;
using String = Vx::StringT<char, unsigned short>;
using namespace std::string_literals;

class PlatformFilesTest : public VxTest::PlatformTest
{
};

TEST_F(PlatformFilesTest, ReadFirstTokenGivesTheFirstWordUpToANul)
{
    struct Case
    {
        const char* name;
        std::optional<std::string> content; // none: no file
        bool result;
        const char* token;
    };
    const Case cases[] = {
        {"a device-tree list", "korvatek,ks52\0korvatek,vb05\0"s, true, "korvatek,ks52"},
        {"leading blanks, more words", " \n\tword rest\n"s, true, "word"},
        {"empty file", ""s, true, ""},
        {"blanks only", "  \n"s, true, ""},
        {"no file", std::nullopt, false, "untouched"},
    };
    for (const Case& test : cases)
    {
        SCOPED_TRACE(test.name);
        const std::string path = "/sys/test/token";
        fs::remove(TreePath(path));
        if (test.content.has_value())
            WriteSystemFile(path, *test.content);
        String token("untouched");
        EXPECT_EQ(Vx::VB05::ReadFirstToken(String(path.c_str()), token), test.result);
        EXPECT_STREQ(token.GetCString(), test.token);
    }
    // A directory opens but cannot be read.
    MakeSystemDirectory("/sys/test/folder");
    String token;
    EXPECT_FALSE(Vx::VB05::ReadFirstToken(String("/sys/test/folder"), token));
}

TEST_F(PlatformFilesTest, WriteFileReplacesTheContentsAndReportsEveryFailure)
{
    WriteSystemFile("/sys/test/state", "internal and more");
    EXPECT_TRUE(Vx::VB05::WriteFile(String("/sys/test/state"), String("external")));
    EXPECT_EQ(ReadSystemFile("/sys/test/state"), "external");

    EXPECT_FALSE(Vx::VB05::WriteFile(String("/sys/missing/state"), String("x")));
    // A device that refuses the text only when it reaches it, as sysfs
    // attributes do when the file is closed.
    fs::create_symlink("/dev/full", TreePath("/sys/test/refusing"));
    EXPECT_FALSE(Vx::VB05::WriteFile(String("/sys/test/refusing"), String("4-0041")));
}

TEST_F(PlatformFilesTest, FileExistsOnlyForAFileThatOpensForReadingAndWriting)
{
    WriteSystemFile("/sys/test/state", "x");
    MakeSystemDirectory("/sys/test/folder");
    EXPECT_TRUE(Vx::VB05::FileExists(String("/sys/test/state")));
    EXPECT_FALSE(Vx::VB05::FileExists(String("/sys/test/folder")));
    EXPECT_FALSE(Vx::VB05::FileExists(String("/sys/test/missing")));
    EXPECT_FALSE(fs::exists(TreePath("/sys/test/missing")));
}

TEST_F(PlatformFilesTest, ListDirectoryFiltersByKindAndPrefixAndGivesSystemPaths)
{
    MakeSystemDirectory("/sys/class/rfkill/rfkill0");
    MakeSystemDirectory("/sys/devices/radio1");
    fs::create_symlink("../../devices/radio1", TreePath("/sys/class/rfkill/rfkill1"));
    fs::create_symlink("../../devices/gone", TreePath("/sys/class/rfkill/rfkill2"));
    WriteSystemFile("/sys/class/rfkill/rfkill-notes", "x");
    MakeSystemDirectory("/sys/class/rfkill/other");

    struct Case
    {
        bool files, directories;
        const char* prefix;
        std::vector<std::string> names;
    };
    const Case cases[] = {
        {false, true, "rfkill", {"rfkill0", "rfkill1"}},
        {true, false, "", {"rfkill-notes"}},
        {true, true, "", {"other", "rfkill-notes", "rfkill0", "rfkill1"}},
        {true, true, "none", {}},
    };
    for (const Case& test : cases)
    {
        SCOPED_TRACE(test.prefix);
        Vx::StringArrayT<char, unsigned short> list;
        ASSERT_TRUE(Vx::VB05::ListDirectory(String("/sys/class/rfkill"), test.files, test.directories,
                                            String(test.prefix), list));
        std::vector<std::string> paths;
        for (const String& path : list)
            paths.emplace_back(path.GetCString());
        std::sort(paths.begin(), paths.end());
        std::vector<std::string> expected;
        for (const std::string& name : test.names)
            expected.push_back("/sys/class/rfkill/" + name);
        EXPECT_EQ(paths, expected);
    }

    Vx::StringArrayT<char, unsigned short> list;
    list.Add(String("stale"));
    EXPECT_FALSE(Vx::VB05::ListDirectory(String("/sys/class/none"), true, true, String(""), list));
    EXPECT_TRUE(list.IsEmpty());
}

TEST_F(PlatformFilesTest, AQuotedArgumentReachesTheShellAsOneLiteralWord)
{
    EXPECT_STREQ(Vx::VB05::QuoteShellArgument(String("plain")).GetCString(), "'plain'");
    EXPECT_STREQ(Vx::VB05::QuoteShellArgument(String("it's")).GetCString(), "'it'\\''s'");
    EXPECT_STREQ(Vx::VB05::QuoteShellArgument(String("")).GetCString(), "''");

    const std::string marker = mTools.GetScratchDirectory() + "/ran";
    for (const std::string& value : {"a'; touch " + marker + "; '"s, "$(touch " + marker + ")"s,
                                     "`touch " + marker + "`"s, " \"two\"\\ words\t"s, "'"s, "\\'"s})
    {
        SCOPED_TRACE(value);
        Vx::ExternalCommand command(String("printf '%s' ") + Vx::VB05::QuoteShellArgument(String(value.c_str())),
                                    false);
        ASSERT_TRUE(command.Execute());
        EXPECT_EQ(command.GetOutput().GetCString(), value);
        EXPECT_FALSE(fs::exists(marker));
    }
}

//==============================================================================
class ScriptTest : public VxTest::PlatformTest
{
protected:
    // The temporary files the scripts left behind.
    int CountTemporaryFiles() const
    {
        int count = 0;
        for ([[maybe_unused]] const auto& entry : fs::directory_iterator(TreePath("/tmp")))
            ++count;
        return count;
    }
};

TEST_F(ScriptTest, AnIndentedScriptStartsWithItsInterpreterLineAndIsRemoved)
{
    const std::string seen = mTools.GetScratchDirectory() + "/seen";
    const std::string script = "\n\t\t#!/bin/sh\n\t\tcat \"$0\" > " + seen +
                               "\n\t\tif [ -x \"$0\" ]; then echo executable >> " + seen + "; fi\n\t\texit 3\n\t\t";
    VxTest::CaptureStderr capture;
    EXPECT_EQ(Vx::VB05::detail::ExecuteScript(String(script.c_str())), 0x300);
    const std::string trace = capture.Finish();

    std::ifstream stream(seen);
    const std::string written((std::istreambuf_iterator<char>(stream)), std::istreambuf_iterator<char>());
    EXPECT_EQ(written, script.substr(3) + "executable\n");
    EXPECT_EQ(CountTemporaryFiles(), 0);
    // The script's lines as the shell read them, between the two marks.
    const std::size_t start = trace.find(">>> script start <<<\n");
    const std::size_t end = trace.find(">>> script end <<<\n");
    ASSERT_NE(start, std::string::npos) << trace;
    ASSERT_NE(end, std::string::npos) << trace;
    EXPECT_NE(trace.substr(start, end - start).find("exit 3"), std::string::npos) << trace;
}

TEST_F(ScriptTest, BlanksOnlyAreWrittenAsTheyAre)
{
    EXPECT_EQ(Vx::VB05::detail::ExecuteScript(String(" \n\t")), 0);
    EXPECT_EQ(CountTemporaryFiles(), 0);
}

TEST_F(ScriptTest, NoPlaceForTheFileIsAFailure)
{
    fs::remove_all(TreePath("/tmp"));
    VxTest::CaptureStderr capture;
    EXPECT_EQ(Vx::VB05::detail::ExecuteScript(String("#!/bin/sh\necho never\n")), -1);
    const std::string trace = capture.Finish();
    EXPECT_NE(trace.find("VB05::detail::ExecuteScript: mkstemp failed\n"), std::string::npos) << trace;
    EXPECT_EQ(trace.find(">>> script start <<<"), std::string::npos) << trace;
}
} // namespace
