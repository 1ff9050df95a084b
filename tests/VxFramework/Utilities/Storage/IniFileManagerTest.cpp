#include "VxFramework/Utilities/Storage/IniFileManager.h"

#include "tests/support/CaptureStderr.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace
{
using String = Vx::IIniFileManager::String;

std::string ReadFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteFile(const std::filesystem::path& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

// A manager and a temporary directory for its files.
class Settings : public ::testing::Test
{
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/vx-settings-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        mDir = pattern;
        mManager = Vx::MakeRCPtr<Vx::LIniFileManager>();
    }
    void TearDown() override
    {
        mManager = nullptr;
        std::filesystem::remove_all(mDir);
    }

    String PathOf(const char* name) const { return String((mDir / name).c_str()); }

    Vx::IniFileHandle Open(const char* name, std::int32_t expected = 0)
    {
        Vx::IniFileHandle handle = nullptr;
        EXPECT_EQ(mManager->Open(PathOf(name), String("1.0.0"), String("Test & <App>"), handle), expected);
        EXPECT_NE(handle, nullptr);
        return handle;
    }

    // Closes without saving and opens the file again from disk.
    Vx::IniFileHandle Reopen(Vx::IniFileHandle handle, const char* name)
    {
        EXPECT_EQ(mManager->Close(handle, false), 0);
        return Open(name);
    }

    std::int32_t Int(Vx::IniFileHandle handle, const char* key, std::int32_t fallback = -77)
    {
        std::int32_t value = 0;
        EXPECT_EQ(mManager->GetInt(handle, String(key), fallback, value), 0);
        return value;
    }

    std::string Text(Vx::IniFileHandle handle, const char* key)
    {
        String value;
        EXPECT_EQ(mManager->GetString(handle, String(key), String("<default>"), value), 0);
        return value.GetCString();
    }

    std::filesystem::path mDir;
    Vx::RCPtr<Vx::LIniFileManager> mManager;
};
} // namespace

TEST_F(Settings, MissingFileOpensAsTheTemplateAndSavesWithTheHeader)
{
    Vx::IniFileHandle handle = Open("UserSettings.ini");
    Vx::IniFileHandle again = nullptr;
    EXPECT_EQ(mManager->Open(PathOf("UserSettings.ini"), String("x"), String("y"), again), 1);
    EXPECT_EQ(again, handle);

    // Nothing is written until there is something to write.
    EXPECT_EQ(mManager->Save(handle), 0);
    EXPECT_FALSE(std::filesystem::exists(mDir / "UserSettings.ini"));

    EXPECT_EQ(mManager->SetInt(handle, String("CurrentSkinIndex"), 2), 0);
    EXPECT_EQ(mManager->Save(handle), 0);
    EXPECT_EQ(ReadFile(mDir / "UserSettings.ini"),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
              "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
              "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
              "<plist version=\"1.0\">\n"
              "<dict>\n"
              "\t<key>Application</key><string>Test &amp; &lt;App&gt;</string>\n"
              "\t<key>1_0_0</key><dict>\n"
              "\t\t<key>CurrentSkinIndex</key><integer>2</integer>\n"
              "\t</dict>\n"
              "</dict>\n"
              "</plist>\n");
}

TEST_F(Settings, KeysIgnoreCaseAndConvertBetweenKinds)
{
    Vx::IniFileHandle handle = Open("AppSettings.ini");
    EXPECT_EQ(mManager->SetInt(handle, String("a.b"), 5), 0);
    EXPECT_TRUE(mManager->KeyExists(handle, String("A.B")));
    EXPECT_EQ(Int(handle, "A.B"), 5);
    EXPECT_EQ(Int(handle, "missing"), -77);
    EXPECT_EQ(Text(handle, "missing"), "<default>");
    EXPECT_EQ(Text(handle, "a.b"), "") << "an integer has no text";
    EXPECT_EQ(Int(handle, "a"), 0) << "a dict reads as 0";

    EXPECT_EQ(mManager->SetString(handle, String("s"), String("12")), 0);
    EXPECT_EQ(Int(handle, "s"), 0);

    WriteFile(mDir / "Kinds.ini", "<dict><key>1_0_0</key><dict>"
                                  "<key>r</key><real>2.9</real><key>n</key><real>-2.9</real>"
                                  "<key>t</key><true/><key>big</key><real>1e20</real></dict></dict>");
    Vx::IniFileHandle kinds = Open("Kinds.ini");
    EXPECT_EQ(Int(kinds, "r"), 2);
    EXPECT_EQ(Int(kinds, "n"), -2);
    EXPECT_EQ(Int(kinds, "t"), 1);
    EXPECT_EQ(Int(kinds, "big"), 2147483647);

    std::int32_t count = -1;
    EXPECT_EQ(mManager->GetChildCount(kinds, String(""), count), 0);
    EXPECT_EQ(count, 4);
    String name;
    EXPECT_EQ(mManager->GetListString(kinds, String(""), 2, name), 0);
    EXPECT_STREQ(name.GetCString(), "t");
    EXPECT_EQ(mManager->GetListString(kinds, String(""), 4, name), -1);
    EXPECT_EQ(mManager->GetListString(kinds, String("r"), 0, name), -1);
    EXPECT_EQ(mManager->GetChildCount(kinds, String("nothing"), count), -1);
}

TEST_F(Settings, ArraysGrowShrinkAndLoseRemovedItemsOnSave)
{
    Vx::IniFileHandle handle = Open("AppSettings.ini");
    EXPECT_EQ(mManager->SetArrayString(handle, String("list"), 3, String("four")), 0);
    std::int32_t count = 0;
    EXPECT_EQ(mManager->GetArrayCount(handle, String("list"), count), 0);
    EXPECT_EQ(count, 4);
    String item("x");
    EXPECT_EQ(mManager->GetArrayString(handle, String("list"), 0, item), 0);
    EXPECT_STREQ(item.GetCString(), "");
    EXPECT_EQ(mManager->GetArrayString(handle, String("list"), 4, item), -1);
    EXPECT_EQ(mManager->GetArrayString(handle, String("list"), -1, item), -1);

    EXPECT_EQ(mManager->SetArrayString(handle, String("list"), 1, String("two")), 0);
    EXPECT_EQ(mManager->RemoveArrayItem(handle, String("list"), 0), 0);
    EXPECT_EQ(mManager->RemoveArrayItem(handle, String("list"), 3), -1);
    EXPECT_EQ(mManager->Save(handle), 0);
    EXPECT_EQ(ReadFile(mDir / "AppSettings.ini").find("<string></string>\n\t\t\t<string></string>"), std::string::npos);

    handle = Reopen(handle, "AppSettings.ini");
    EXPECT_EQ(mManager->GetArrayCount(handle, String("list"), count), 0);
    EXPECT_EQ(count, 3);
    EXPECT_EQ(mManager->GetArrayString(handle, String("list"), 0, item), 0);
    EXPECT_STREQ(item.GetCString(), "two");
    EXPECT_EQ(mManager->GetArrayString(handle, String("list"), 2, item), 0);
    EXPECT_STREQ(item.GetCString(), "four");

    EXPECT_EQ(mManager->SetArrayCount(handle, String("list"), 1), 0);
    EXPECT_EQ(mManager->GetArrayCount(handle, String("list"), count), 0);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(mManager->SetArrayCount(handle, String("fresh"), 2), 0);
    EXPECT_EQ(mManager->GetArrayCount(handle, String("fresh"), count), 0);
    EXPECT_EQ(count, 2);
    // Another kind becomes an array and loses its value.
    EXPECT_EQ(mManager->SetInt(handle, String("n"), 4), 0);
    EXPECT_EQ(mManager->SetArrayCount(handle, String("n"), 0), 0);
    EXPECT_EQ(mManager->GetArrayCount(handle, String("n"), count), 0);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(mManager->GetArrayCount(handle, String("missing"), count), -1);

    // Counts and indices a file could not hold are refused.
    EXPECT_EQ(mManager->SetArrayCount(handle, String("list"), -1), -1);
    EXPECT_EQ(mManager->SetArrayString(handle, String("list"), -2, String("x")), -1);
    EXPECT_EQ(mManager->SetArrayString(handle, String("list"), 2000000000, String("x")), -1);
}

TEST_F(Settings, TextRoundTripsWhateverItHolds)
{
    Vx::IniFileHandle handle = Open("UserSettings.ini");
    const std::string escaped = "<a href=\"x\">Tom & Jerry's</a>\r\n\ttab";
    std::string large(20000, 'v');
    large += "&end";
    const std::string unicode = "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x8E\xB5";
    EXPECT_EQ(mManager->SetString(handle, String("escaped"), String(escaped.c_str())), 0);
    EXPECT_EQ(mManager->SetString(handle, String("large"), String(large.c_str())), 0);
    EXPECT_EQ(mManager->SetString(handle, String("unicode"), String(unicode.c_str())), 0);
    EXPECT_EQ(mManager->SetString(handle, String("Key & <more>"), String("v")), 0);

    // Text no file can hold is refused and changes nothing.
    EXPECT_EQ(mManager->SetString(handle, String("escaped"), String("bad \x01 control")), -1);
    EXPECT_EQ(mManager->SetString(handle, String("broken"), String("bad \xC3 utf-8")), -1);
    EXPECT_FALSE(mManager->KeyExists(handle, String("broken")));
    EXPECT_EQ(mManager->SetInt(handle, String("bad\x02key"), 1), -1);

    EXPECT_EQ(mManager->Close(handle, true), 0);
    handle = Open("UserSettings.ini");
    EXPECT_EQ(Text(handle, "escaped"), escaped);
    EXPECT_EQ(Text(handle, "large"), large);
    EXPECT_EQ(Text(handle, "unicode"), unicode);
    EXPECT_EQ(Text(handle, "key & <MORE>"), "v");
}

TEST_F(Settings, BrokenFileOpensAsTheTemplate)
{
    WriteFile(mDir / "AppSettings.ini", "<dict><key>1_0_0</key><dict><key>a</key><integer>1</integer></dict>");
    VxTest::CaptureStderr capture;
    Vx::IniFileHandle handle = Open("AppSettings.ini");
    const std::string logged = capture.Finish();
    EXPECT_EQ(logged, (mDir / "AppSettings.ini").string() + ":1: no element found\n");
    EXPECT_FALSE(mManager->KeyExists(handle, String("a")));
    EXPECT_EQ(mManager->SetInt(handle, String("a"), 2), 0);
    EXPECT_EQ(mManager->CloseAll(), 0);
    handle = Open("AppSettings.ini");
    EXPECT_EQ(Int(handle, "a"), 2);
}

TEST_F(Settings, FailedSavesAreReportedAndKeepTheChanges)
{
    Vx::IniFileHandle handle = nullptr;
    const String path((mDir / "no-such-dir" / "AppSettings.ini").c_str());
    ASSERT_EQ(mManager->Open(path, String("1_0_0"), String("App"), handle), 0);
    EXPECT_EQ(mManager->SetInt(handle, String("v"), 1), 0);
    EXPECT_EQ(mManager->Save(handle), -1);
    EXPECT_EQ(mManager->Save(handle), -1) << "the file stays modified";
    std::filesystem::create_directory(mDir / "no-such-dir");
    EXPECT_EQ(mManager->Save(handle), 0);

    EXPECT_EQ(mManager->SetInt(handle, String("v"), 2), 0);
    std::filesystem::remove_all(mDir / "no-such-dir");
    EXPECT_EQ(mManager->Close(handle, true), -1);
    EXPECT_EQ(mManager->Save(handle), -3) << "closed even though the save failed";
}

TEST_F(Settings, HandlesThatAreNotOpenAreRefused)
{
    Vx::IniFileHandle open = Open("AppSettings.ini");
    int stranger = 0;
    for (Vx::IniFileHandle handle : {static_cast<Vx::IniFileHandle>(nullptr), static_cast<Vx::IniFileHandle>(&stranger)})
    {
        std::int32_t number = 9;
        String text("keep");
        EXPECT_EQ(mManager->Save(handle), -3);
        EXPECT_FALSE(mManager->KeyExists(handle, String("")));
        EXPECT_EQ(mManager->GetInt(handle, String("a"), 4, number), -3);
        EXPECT_EQ(number, 4);
        EXPECT_EQ(mManager->SetInt(handle, String("a"), 1), -3);
        EXPECT_EQ(mManager->GetString(handle, String("a"), String("d"), text), -3);
        EXPECT_STREQ(text.GetCString(), "d");
        EXPECT_EQ(mManager->SetString(handle, String("a"), String("x")), -3);
        EXPECT_EQ(mManager->GetChildCount(handle, String(""), number), -3);
        EXPECT_EQ(mManager->GetListString(handle, String(""), 0, text), -3);
        EXPECT_EQ(mManager->GetArrayCount(handle, String(""), number), -3);
        EXPECT_EQ(mManager->SetArrayCount(handle, String("a"), 1), -3);
        EXPECT_EQ(mManager->GetArrayString(handle, String("a"), 0, text), -3);
        EXPECT_EQ(mManager->SetArrayString(handle, String("a"), 0, String("x")), -3);
        EXPECT_EQ(mManager->RemoveArrayItem(handle, String("a"), 0), -3);
        EXPECT_EQ(mManager->Close(handle, true), -3);
    }
    EXPECT_EQ(mManager->Initialize(), 0);
    EXPECT_EQ(mManager->Close(open, false), 0);
    EXPECT_EQ(mManager->Close(open, false), -3);
}

TEST_F(Settings, CloseAllSavesEveryFile)
{
    Vx::IniFileHandle app = Open("AppSettings.ini");
    Vx::IniFileHandle user = Open("UserSettings.ini");
    EXPECT_EQ(mManager->SetInt(app, String("x"), 1), 0);
    EXPECT_EQ(mManager->SetInt(user, String("y"), 2), 0);
    EXPECT_EQ(mManager->CloseAll(), 0);
    EXPECT_EQ(mManager->Save(app), -3);

    Vx::LIniFileManager other;
    Vx::IniFileHandle handle = nullptr;
    ASSERT_EQ(other.Open(PathOf("UserSettings.ini"), String("1.0.0"), String(""), handle), 0);
    std::int32_t value = 0;
    EXPECT_EQ(other.GetInt(handle, String("y"), 0, value), 0);
    EXPECT_EQ(value, 2);
}
