// The control factory's loading half: the resource paths it builds and
// refuses, unreadable and empty files, the skin font and the string tables it
// answers with, applying a descriptor again after a skin switch, and the
// project's own resources as the application finds them next to its
// executable.

#include "VxFramework/ControlBase/ControlFactory.h"

#include "VxFramework/ObjectBase/Exception.h"
#include "tests/VxFramework/ControlBase/ControlDoubles.h"
#include "tests/support/CaptureStderr.h"
#include "tests/support/ResourceDump.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <fstream>
#include <functional>
#include <stdexcept>
#include <string>
#include <unistd.h>

namespace
{
using Vx::LControlFactory;
using Vx::RCPtr;
using Text = Vx::StringT<char, unsigned short>;

constexpr Vx::VxRESULT kFail = static_cast<Vx::VxRESULT>(0x80000008u);

int CountAssertions(const std::string& log)
{
    int count = 0;
    for (std::size_t at = log.find("JUCE Assertion failure in "); at != std::string::npos;
         at = log.find("JUCE Assertion failure in ", at + 1))
        ++count;
    return count;
}

RCPtr<LControlFactory> NewFactory()
{
    return RCPtr<LControlFactory>(new LControlFactory(""));
}

// A directory of resource files written by the test.
class ResourceDirectory : public testing::Test
{
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/vx-skins-XXXXXX";
        ASSERT_NE(nullptr, ::mkdtemp(pattern));
        mDirectory = pattern;
    }
    void TearDown() override
    {
        for (const char* name : {"StringTables.xml", "FrameworkStrings.xml", "Skins.xml"})
            ::unlink((mDirectory + "/" + name).c_str());
        ::rmdir(mDirectory.c_str());
    }
    void Write(const char* name, const std::string& text)
    {
        std::ofstream(mDirectory + "/" + name, std::ios::binary) << text;
    }
    std::string Path(const char* name) const { return mDirectory + "/" + name; }

    std::string mDirectory;
};

void ExpectBadResourcePath(const std::function<void()>& load)
{
    try
    {
        load();
        ADD_FAILURE() << "no exception";
    }
    catch (const std::runtime_error& e)
    {
        EXPECT_EQ(0u,
                  std::string(e.what()).rfind(
                      "Runtime Error : Bad Resource Path :  : VxFramework/ControlBase/ResourceReader.cpp : Line ", 0))
            << e.what();
    }
}

TEST_F(ResourceDirectory, BuiltInResourcePathsAreRefused)
{
    ExpectBadResourcePath([] { NewFactory()->LoadResources("::", 9); });
    ExpectBadResourcePath([] { NewFactory()->LoadSkins("::APP_SKINS"); });
    ExpectBadResourcePath([] { NewFactory()->LoadStringTables("::APP_STRINGS", "/none", 9); });
    // The application file is read before the framework path is looked at.
    Write("StringTables.xml", "<r><StringTable ID=\"T\"><String ID=\"S\"><Locale LCID=\"9\">kept</Locale>"
                              "</String></StringTable></r>");
    const RCPtr<LControlFactory> factory = NewFactory();
    ExpectBadResourcePath([&] { factory->LoadStringTables(Path("StringTables.xml").c_str(), "::FRAMEWORK", 9); });
    EXPECT_EQ(1u, factory->GetResources().stringTables.count("T"));
}

TEST_F(ResourceDirectory, TheDirectoryNamesTheFilesAndTheImageBase)
{
    Write("StringTables.xml", "<r><Application Name=\"App\"/></r>");
    Write("FrameworkStrings.xml", "<r/>");
    Write("Skins.xml", "<r><Colorizers><Colorizer Name=\"C\" ColorType=\"Solid\" Color=\"FF\"/></Colorizers>"
                       "<Parts><Part Name=\"P\" Width=\"1\" Height=\"1\" ResizeType=\"Stretch\" "
                       "ImageFile=\"Dir/Image.PNG\" ImageLocX=\"0\" ImageLocY=\"0\"/></Parts></r>");
    const RCPtr<LControlFactory> factory = NewFactory();
    VxTest::CaptureStderr capture;
    EXPECT_EQ(0, factory->LoadResources(mDirectory.c_str(), 9));
    capture.Finish();
    EXPECT_EQ(mDirectory + "/", factory->GetResourceBase().GetCString());
    EXPECT_STREQ("App", factory->GetApplicationName().GetCString());
    EXPECT_EQ(mDirectory + "/dir/image.png", factory->GetResources().visualParts.at("P")->GetImage().file.GetCString());
}

TEST_F(ResourceDirectory, UnreadableFilesCountAsEmptyStringsAndFailTheSkins)
{
    const RCPtr<LControlFactory> factory = NewFactory();
    VxTest::CaptureStderr capture;
    EXPECT_EQ(kFail, factory->LoadResources(Path("missing").c_str(), 9));
    // Each unreadable string file asserts, and so does each finding no text.
    EXPECT_EQ(4, CountAssertions(capture.Finish()));
    EXPECT_TRUE(factory->GetResources().stringTables.empty());
    EXPECT_EQ(9, factory->GetSelectedLocale());
    EXPECT_EQ(0u, factory->GetSkinRoots().GetCount());
}

TEST_F(ResourceDirectory, FailingSkinsFailTheLoadAfterTheStrings)
{
    Write("StringTables.xml", "<r><StringTable ID=\"|\"><String ID=\"S\"><Locale LCID=\"9\">text</Locale>"
                              "</String></StringTable></r>");
    Write("FrameworkStrings.xml", "<r><StringTable ID=\"Framework\"><String ID=\"OK\"><Locale LCID=\"9\">OK"
                                  "</Locale></String></StringTable></r>");
    Write("Skins.xml", "<r><Skins>");
    const RCPtr<LControlFactory> factory = NewFactory();
    VxTest::CaptureStderr capture;
    EXPECT_EQ(kFail, factory->LoadResources(mDirectory.c_str(), 9));
    EXPECT_NE(std::string::npos, capture.Finish().find("Skins.xml: no element found"));
    EXPECT_EQ(0, factory->GetCurrentSkinIndex());
    Text text;
    ASSERT_FALSE(factory->GetApplicationStringTable().IsNull());
    EXPECT_TRUE(factory->GetApplicationStringTable()->Lookup("S", text));
    EXPECT_STREQ("text", text.GetCString());
}

const char* const kTwoSkins = R"(<r>
  <Skins>
    <Skin Name="NoFont"/>
    <Skin Name="StyleOnly" FontStyle="2"/>
    <Skin Name="SmallSize" FontSize="0.5"/>
    <Skin Name="All" FontName="Sans" FontSize="1" FontStyle="0"/>
  </Skins>
</r>)";

TEST(ControlFactoryResources, TheSkinFontIsWhatTheCurrentSkinGives)
{
    const RCPtr<LControlFactory> factory = NewFactory();
    EXPECT_EQ(0u, factory->GetSkinRoots().GetCount());
    Text name = "unchanged";
    float size = -1.0f;
    std::int32_t style = -5;
    EXPECT_EQ(1, factory->GetSkinFont(name, size, style)); // no skin at all

    ASSERT_EQ(kFail, factory->LoadSkins("/nonexistent/Skins.xml"));
    ASSERT_EQ(0, factory->ParseResource(kTwoSkins, 0));
    ASSERT_EQ(4u, factory->GetSkinRoots().GetCount());
    const struct
    {
        std::int32_t index;
        Vx::VxRESULT result;
        const char* name;
        float size;
        std::int32_t style;
    } cases[] = {
        {0, 1, "unchanged", -1.0f, -5},
        {1, 0, "unchanged", -1.0f, 2},
        {2, 1, "unchanged", -1.0f, -5},
        {3, 0, "Sans", 1.0f, 0},
    };
    for (const auto& c : cases)
    {
        factory->SetCurrentSkinIndex(c.index);
        name = "unchanged";
        size = -1.0f;
        style = -5;
        EXPECT_EQ(c.result, factory->GetSkinFont(name, size, style)) << c.index;
        EXPECT_STREQ(c.name, name.GetCString()) << c.index;
        EXPECT_EQ(c.size, size) << c.index;
        EXPECT_EQ(c.style, style) << c.index;
    }
}

TEST(ControlFactoryResources, StringTablesAreCopiesOfTheLoadedTables)
{
    const RCPtr<LControlFactory> factory = NewFactory();
    EXPECT_TRUE(factory->GetFrameworkStringTable().IsNull());
    EXPECT_TRUE(factory->GetApplicationStringTable().IsNull());
    const std::string strings = R"(<r>
      <StringTable ID="Framework"><String ID="OK"><Locale LCID="9">OK</Locale></String></StringTable>
      <StringTable ID="|"><String ID="A"><Locale LCID="9">unnamed</Locale></String></StringTable>
      <StringTable ID="|Named"><String ID="A"><Locale LCID="9">named</Locale></String></StringTable>
    </r>)";
    const std::string named = "<r><Application Name=\"Named\"/></r>";
    VxTest::CaptureStderr capture;
    ASSERT_EQ(0, factory->LoadStringTables("/nonexistent/a", "/nonexistent/b", 9));
    capture.Finish();
    // The mode is the string tables' now: parse further texts into them.
    ASSERT_EQ(0, factory->ParseResource(strings.c_str(), strings.size()));

    Text text;
    const RCPtr<Vx::LStringTable> framework = factory->GetFrameworkStringTable();
    ASSERT_FALSE(framework.IsNull());
    EXPECT_TRUE(framework->Lookup("OK", text));
    framework->Set("OK", "changed");
    EXPECT_TRUE(factory->GetFrameworkStringTable()->Lookup("OK", text));
    EXPECT_STREQ("OK", text.GetCString());
    EXPECT_NE(framework.Get(), factory->GetFrameworkStringTable().Get());

    EXPECT_TRUE(factory->GetApplicationStringTable()->Lookup("A", text));
    EXPECT_STREQ("unnamed", text.GetCString());
    ASSERT_EQ(0, factory->ParseResource(named.c_str(), named.size()));
    EXPECT_TRUE(factory->GetApplicationStringTable()->Lookup("A", text));
    EXPECT_STREQ("named", text.GetCString());
}

TEST(ControlFactoryResources, ReapplyDescriptorFindsTheCurrentSkinsTopLevelDescriptor)
{
    const char* const skins = R"(<r><Skins>
      <Skin Name="One"><SubControl Class="C" Name="top"/><SubControl Class="D" Name="top"/></Skin>
      <Skin Name="Two"><SubControl Class="C" Name="other"/></Skin>
    </Skins></r>)";
    const RCPtr<LControlFactory> factory = NewFactory();
    VxTest::CaptureStderr capture;
    ASSERT_EQ(kFail, factory->LoadSkins("/nonexistent/Skins.xml"));
    ASSERT_EQ(0, factory->ParseResource(skins, 0));
    factory->SetCurrentSkinIndex(0);
    const RCPtr<VxTest::TestControl> top = VxTest::TestControl::Create(nullptr, "top");
    const RCPtr<VxTest::TestControl> other = VxTest::TestControl::Create(nullptr, "other");

    EXPECT_EQ(kFail, factory->ReapplyDescriptor(nullptr));
    EXPECT_EQ(kFail, factory->ReapplyDescriptor(other));
    // The later of two equal names is the one found; a skin without looks
    // cannot be applied, which the control refuses.
    EXPECT_STREQ("D", factory->FindControlDescriptor("top")->GetClassName().GetCString());
    EXPECT_EQ(kFail, factory->ReapplyDescriptor(top));
    EXPECT_TRUE(top->GetDescriptor().IsNull());
    factory->SetCurrentSkinIndex(1);
    EXPECT_EQ(kFail, factory->ReapplyDescriptor(top));
    EXPECT_FALSE(factory->FindControlDescriptor("other").IsNull());
    // An index that names no skin is refused and the current skin stays.
    EXPECT_EQ(Vx::VXR_E_INVALIDARG, factory->SetCurrentSkinIndex(2));
    EXPECT_EQ(1, factory->GetCurrentSkinIndex());
}

std::string ExecutableDirectory()
{
    char path[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0)
        return ".";
    path[length] = '\0';
    std::string text = path;
    return text.substr(0, text.rfind('/'));
}

// The build copies the repository's Resources next to the executable, where
// the application reads them at start-up.
TEST(ControlFactoryResources, TheProjectsOwnResourcesLoadCleanly)
{
    const RCPtr<LControlFactory> factory = NewFactory();
    VxTest::CaptureStderr capture;
    EXPECT_EQ(0, factory->LoadResources((ExecutableDirectory() + "/Resources").c_str(), 9));
    const std::string log = capture.Finish();
    EXPECT_EQ(0, CountAssertions(log)) << log;
    EXPECT_STREQ("TestApp", factory->GetApplicationName().GetCString());
    EXPECT_EQ(9, factory->GetSelectedLocale());
    Text text;
    ASSERT_FALSE(factory->GetFrameworkStringTable().IsNull());
    EXPECT_TRUE(factory->GetFrameworkStringTable()->Lookup("OK", text));
    ASSERT_FALSE(factory->GetApplicationStringTable().IsNull());
    EXPECT_TRUE(factory->GetApplicationStringTable()->Lookup("TEST_PASSED_LABEL", text));

    // Every control that will be created has a skin with a full look list.
    ASSERT_GE(factory->GetSkinRoots().GetCount(), 1u);
    const RCPtr<Vx::LControlDescriptor> root = factory->GetSkinRoots()[0];
    RCPtr<Vx::LControlDescriptor> main;
    for (std::uint32_t i = 0; i < root->GetChildren().GetCount(); ++i)
        if (root->GetChildren()[i]->GetName() == "mainControl")
            main = root->GetChildren()[i];
    ASSERT_FALSE(main.IsNull());
    EXPECT_STREQ("TestApp.MainControl", main->GetClassName().GetCString());
    const std::function<void(const Vx::LControlDescriptor&)> check = [&](const Vx::LControlDescriptor& d) {
        ASSERT_FALSE(d.GetSkin().IsNull()) << d.GetName().GetCString();
        ASSERT_FALSE(d.GetSkin()->lookList.IsNull()) << d.GetName().GetCString();
        for (std::uint32_t i = 0; i < d.GetSkin()->lookList->GetCount(); ++i)
            EXPECT_FALSE((*d.GetSkin()->lookList)[i].IsNull()) << d.GetName().GetCString() << " look " << i;
        for (std::uint32_t i = 0; i < d.GetChildren().GetCount(); ++i)
            check(*d.GetChildren()[i]);
    };
    check(*main);

    // After a skin switch the live top control takes its descriptor again.
    const RCPtr<VxTest::TestControl> control = VxTest::TestControl::Create(nullptr, "mainControl");
    EXPECT_EQ(0, factory->ReapplyDescriptor(control));
    EXPECT_EQ(main.Get(), control->GetDescriptor().Get());
    EXPECT_EQ(0, CountAssertions(capture.Finish()));
}
} // namespace
