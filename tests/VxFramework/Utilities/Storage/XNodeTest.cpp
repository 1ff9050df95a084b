#include "VxFramework/Utilities/Storage/XNode.h"

#include "tests/support/CaptureStderr.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>

namespace
{
Vx::XNodeRef ParseText(const std::string& text, Vx::XNode* errorNode = nullptr)
{
    return Vx::XNode::Parse(text.data(), text.size(), "test.plist", errorNode);
}

// Writes as a file would be written and reads that back.
Vx::XNodeRef RoundTrip(const Vx::XNode& root)
{
    const std::string text = root.WriteToBuffer(Vx::XNode::kWriteFile);
    Vx::XNodeRef again = ParseText(text);
    EXPECT_TRUE(again) << text;
    return again;
}

std::string Nested(int depth)
{
    std::string text;
    for (int i = 0; i < depth; ++i)
        text += "<array>";
    for (int i = 0; i < depth; ++i)
        text += "</array>";
    return text;
}

std::string ReadFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

class TempDir : public ::testing::Test
{
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/vx-xnode-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        mDir = pattern;
    }
    void TearDown() override { std::filesystem::remove_all(mDir); }

    std::filesystem::path mDir;
};
} // namespace

TEST(XNode, DocumentRoundTripsThroughTheWriter)
{
    const std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                             "<plist version=\"1.0\">\n"
                             "<dict>\n"
                             "\t<key>Name</key><string>a &lt;b&gt; &amp; &quot;c&quot; &apos;d&apos;\r\n</string>\n"
                             "\t<key>Count</key><integer>0x10</integer>\n"
                             "\t<key>Scale</key><real>2.5</real>\n"
                             "\t<key>On</key><true/>\n"
                             "\t<key>Off</key><false locked=\"TRUE\"/>\n"
                             "\t<key>Blob</key><data>QUJD</data>\n"
                             "\t<key>List</key><array><string>x</string><dict/><integer>-3</integer></array>\n"
                             "\t<key>Shown</key><dict visible=\"true\"><key>Inner</key><integer>7</integer></dict>\n"
                             "</dict>\n"
                             "</plist>\n";
    Vx::XNodeRef root = ParseText(text);
    ASSERT_TRUE(root);
    EXPECT_EQ(root->GetKind(), Vx::XNode::kDict);
    EXPECT_FALSE(root->HasFlag(Vx::XNode::kDirty));
    EXPECT_EQ(root->Find("name", 0)->GetText(), "a <b> & \"c\" 'd'\n") << "expat folds the CR LF";
    EXPECT_EQ(root->Find("COUNT", 0)->GetInt(), 16);
    EXPECT_FLOAT_EQ(root->Find("Scale", 0)->GetReal(), 2.5f);
    EXPECT_TRUE(root->Find("On", 0)->GetBool());
    EXPECT_EQ(root->Find("Off", 0)->GetKind(), Vx::XNode::kBool);
    EXPECT_TRUE(root->Find("Off", 0)->HasFlag(Vx::XNode::kLocked));
    EXPECT_EQ(root->Find("Blob", 0)->GetText(), "QUJD");
    EXPECT_EQ(root->Find("List", 0)->GetCount(), 3u);
    EXPECT_EQ(root->Find("List[2]", 0)->GetInt(), -3);
    EXPECT_EQ(root->Find("Shown.Inner", 0)->GetInt(), 7);
    EXPECT_TRUE(root->Find("Shown", 0)->HasFlag(Vx::XNode::kVisible));

    const std::string written = root->WriteToBuffer(Vx::XNode::kWriteFile);
    EXPECT_EQ(written.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE plist PUBLIC ", 0), 0u);
    EXPECT_NE(written.find("\n<plist version=\"1.0\">\n<dict>\n\t<key>Name</key><string>"), std::string::npos);
    EXPECT_NE(written.find("\t<key>Off</key><false locked=\"true\"/>\n"), std::string::npos);
    EXPECT_NE(written.find("\t<key>Scale</key><real>2.500000</real>\n"), std::string::npos);
    EXPECT_NE(written.find("\t\t<dict/>\n"), std::string::npos);
    EXPECT_NE(written.find("</dict>\n</plist>\n"), std::string::npos);

    Vx::XNodeRef again = RoundTrip(*root);
    ASSERT_TRUE(again);
    EXPECT_EQ(again->WriteToBuffer(Vx::XNode::kWriteFile), written);
}

TEST(XNode, PathsFindAndCreate)
{
    Vx::XNodeRef root = Vx::XNode::Create(Vx::XNode::kDict);
    EXPECT_EQ(root->Find("", 0), root.Get());
    EXPECT_EQ(root->Find("a.b", 0), nullptr);

    Vx::XNode* b = root->Find("a.b", Vx::XNode::kFindCreate);
    ASSERT_NE(b, nullptr);
    b->SetInt(5);
    EXPECT_EQ(root->Find("A.B", 0), b);
    EXPECT_TRUE(root->HasFlag(Vx::XNode::kDirty)) << "a change marks its parents";

    // An index on a missing node makes an array of empty dicts up to it.
    Vx::XNode* name = root->Find("list[2].name", Vx::XNode::kFindCreate);
    ASSERT_NE(name, nullptr);
    name->SetString("third");
    Vx::XNode* list = root->Find("list", 0);
    EXPECT_EQ(list->GetKind(), Vx::XNode::kArray);
    EXPECT_EQ(list->GetCount(), 3u);
    EXPECT_EQ(list->GetChild(0)->GetKind(), Vx::XNode::kDict);
    EXPECT_EQ(root->Find("list[2]name", 0), name) << "a missing '.' after the index is tolerated";
    EXPECT_EQ(root->Find("list[2.name", 0), name) << "a missing ']' is tolerated";

    // Creating a name under a non-dict turns it into a dict.
    EXPECT_NE(root->Find("a.b.c", Vx::XNode::kFindCreate), nullptr);
    EXPECT_EQ(root->Find("a.b", 0)->GetKind(), Vx::XNode::kDict);

    EXPECT_EQ(root->Find("a.b", Vx::XNode::kFindRemove), nullptr);
    EXPECT_EQ(root->Find("a.b", 0), nullptr);
    EXPECT_NE(root->Find("a", 0), nullptr);

    // Out-of-bounds indices and depths are refused, not allocated.
    EXPECT_EQ(root->Find("huge[99999999999]", Vx::XNode::kFindCreate), nullptr);
    std::string deep;
    for (int i = 0; i < 100; ++i)
        deep += "d.";
    EXPECT_EQ(root->Find(deep, Vx::XNode::kFindCreate), nullptr);
}

TEST(XNode, VolatileNodesStayOutOfFiles)
{
    Vx::XNodeRef root = Vx::XNode::Create(Vx::XNode::kDict);
    root->Find("kept", Vx::XNode::kFindCreate)->SetInt(1);
    root->Find("group.temp", Vx::XNode::kFindCreateVolatile)->SetInt(2);
    EXPECT_FALSE(root->Find("group", 0)->HasFlag(Vx::XNode::kVolatile)) << "only the leaf is volatile";

    const std::string file = root->WriteToBuffer(Vx::XNode::kWriteFile);
    EXPECT_EQ(file.find("temp"), std::string::npos);
    EXPECT_NE(file.find("<key>group</key><dict/>"), std::string::npos);
    const std::string all = root->WriteToBuffer(Vx::XNode::kWriteVolatile | Vx::XNode::kWriteStateFlags);
    EXPECT_NE(all.find("<key>temp</key><integer volatile=\"true\">2</integer>"), std::string::npos);
}

TEST(XNode, TextSplitByEntityReferencesReadsBackWhole)
{
    Vx::XNodeRef root = ParseText("<dict><key>a&amp;b&#67;</key><data>QU&#74;D</data>"
                                  "<key>n</key><integer>1&#50;3</integer>"
                                  "<key>s</key><string>x&lt;y&gt;z</string></dict>");
    ASSERT_TRUE(root);
    ASSERT_EQ(root->GetCount(), 3u);
    EXPECT_EQ(root->GetChild(0)->GetKey(), "a&bC");
    EXPECT_EQ(root->GetChild(0)->GetText(), "QUJD");
    EXPECT_EQ(root->Find("n", 0)->GetInt(), 123);
    EXPECT_EQ(root->Find("s", 0)->GetText(), "x<y>z");
}

TEST(XNode, LongAndUnwritableTextSurvivesASave)
{
    Vx::XNodeRef root = Vx::XNode::Create(Vx::XNode::kDict);
    std::string big(100000, 'x');
    big[50000] = '&';
    big += "end";
    root->Find("big", Vx::XNode::kFindCreate)->SetString(big);
    root->Find("data", Vx::XNode::kFindCreate)->SetData(big.data(), big.size());
    root->Find("odd", Vx::XNode::kFindCreate)->SetString(std::string("a\x01" "b\xff" "c\r", 6));

    Vx::XNodeRef again = RoundTrip(*root);
    ASSERT_TRUE(again);
    EXPECT_EQ(again->Find("big", 0)->GetText(), big);
    EXPECT_EQ(again->Find("data", 0)->GetText(), big);
    // Characters a file cannot hold are replaced; the rest of the file stays readable.
    EXPECT_EQ(again->Find("odd", 0)->GetText(), "a\xEF\xBF\xBD" "b\xEF\xBF\xBD" "c\r");
}

TEST(XNode, NestingBeyondTheLevelStackIsAParseError)
{
    EXPECT_TRUE(ParseText(Nested(Vx::XNode::kMaxDepth - 1)));

    for (const int depth : {Vx::XNode::kMaxDepth, 100000})
    {
        Vx::XNodeRef error = Vx::XNode::Create(Vx::XNode::kNone);
        VxTest::CaptureStderr capture;
        EXPECT_FALSE(ParseText(Nested(depth), error.Get())) << depth;
        const std::string logged = capture.Finish();
        EXPECT_EQ(error->GetText(), "XML Load Error \"nesting too deep\" line 1");
        EXPECT_EQ(logged, "test.plist:1: nesting too deep\n");
    }
}

TEST(XNode, ParseErrorsAreReported)
{
    struct Case
    {
        const char* text;
        const char* error;
    };
    const Case cases[] = {
        {"<dict><key>a</key>\n<string>x</dict>", "XML Load Error \"mismatched tag\" line 2"},
        {"", "XML Load Error \"no element found\" line 1"},
        {"<dict>&undefined;</dict>", "XML Load Error \"undefined entity\" line 1"},
        {"<dict><string>\xff</string></dict>", "XML Load Error \"not well-formed (invalid token)\" line 1"},
    };
    for (const auto& c : cases)
    {
        Vx::XNodeRef error = Vx::XNode::Create(Vx::XNode::kNone);
        VxTest::CaptureStderr capture;
        EXPECT_FALSE(ParseText(c.text, error.Get())) << c.text;
        EXPECT_EQ(error->GetText(), c.error);
        EXPECT_EQ(capture.Finish().rfind("test.plist:", 0), 0u);
    }
    VxTest::CaptureStderr capture;
    EXPECT_FALSE(Vx::XNode::Parse("<a>", 3, nullptr, nullptr));
    EXPECT_EQ(capture.Finish(), "XML Load Error:1: no element found\n");
}

TEST(XNode, TreeOperations)
{
    Vx::XNodeRef array = Vx::XNode::Create(Vx::XNode::kArray);
    ASSERT_TRUE(array->ResizeArray(2));
    EXPECT_EQ(array->GetChild(1)->GetKind(), Vx::XNode::kString);
    Vx::XNodeRef item = Vx::XNode::CreateInteger(9);
    ASSERT_TRUE(array->SetArrayItem(4, item.Get()));
    EXPECT_EQ(array->GetCount(), 5u);
    EXPECT_TRUE(array->InsertArrayItem(0, Vx::XNode::CreateBool(true).Get()));
    EXPECT_EQ(array->GetChild(5), item.Get());
    EXPECT_FALSE(array->AppendChild(array.Get())) << "a cycle";
    Vx::XNodeRef holder = Vx::XNode::Create(Vx::XNode::kArray);
    holder->AppendChild(array.Get());
    EXPECT_FALSE(array->AppendChild(holder.Get())) << "a cycle through a parent";

    // A node with two parents: both see a replacement.
    Vx::XNodeRef other = Vx::XNode::Create(Vx::XNode::kArray);
    other->AppendChild(item.Get());
    Vx::XNodeRef replacement = Vx::XNode::CreateString("new");
    item->Replace(replacement.Get());
    EXPECT_EQ(array->GetChild(5), replacement.Get());
    EXPECT_EQ(other->GetChild(0), replacement.Get());

    EXPECT_TRUE(array->RemoveChild(replacement.Get()));
    EXPECT_EQ(array->GetCount(), 5u);
    EXPECT_TRUE(array->ResizeArray(1));

    Vx::XNodeRef base = ParseText("<dict><key>a</key><integer>1</integer><key>d</key><dict><key>x</key><true/></dict></dict>");
    Vx::XNodeRef extra = ParseText("<dict><key>A</key><string>s</string><key>d</key><dict><key>y</key><false/></dict></dict>");
    ASSERT_TRUE(base->MergeDict(*extra));
    EXPECT_EQ(base->Find("a", 0)->GetText(), "s");
    EXPECT_TRUE(base->Find("d.x", 0)->GetBool());
    EXPECT_EQ(base->Find("d.y", 0)->GetKind(), Vx::XNode::kBool);

    Vx::XNodeRef copy = base->Clone(false);
    copy->Find("a", 0)->SetInt(3);
    EXPECT_EQ(base->Find("a", 0)->GetText(), "s");
}

TEST_F(TempDir, FilesAreReplacedWhole)
{
    const auto path = mDir / "settings.plist";
    Vx::XNodeRef root = Vx::XNode::Create(Vx::XNode::kDict);
    root->Find("v", Vx::XNode::kFindCreate)->SetInt(1);
    ASSERT_EQ(root->WriteToFile(path.c_str(), Vx::XNode::kWriteFile), 0);
    ::chmod(path.c_str(), 0640);
    const std::string first = ReadFile(path);

    // A save that cannot complete leaves the old file as it was.
    std::filesystem::create_directory(mDir / "settings.plist.tmp");
    root->Find("v", 0)->SetInt(2);
    EXPECT_NE(root->WriteToFile(path.c_str(), Vx::XNode::kWriteFile), 0);
    EXPECT_EQ(ReadFile(path), first);
    std::filesystem::remove(mDir / "settings.plist.tmp");

    ASSERT_EQ(root->WriteToFile(path.c_str(), Vx::XNode::kWriteFile), 0);
    Vx::XNodeRef loaded = Vx::XNode::Load(path.c_str(), nullptr);
    ASSERT_TRUE(loaded);
    EXPECT_EQ(loaded->Find("v", 0)->GetInt(), 2);
    struct stat info;
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u) << "the file keeps its permissions";
    EXPECT_FALSE(std::filesystem::exists(mDir / "settings.plist.tmp"));

    EXPECT_FALSE(Vx::XNode::Load((mDir / "missing").c_str(), nullptr));
    EXPECT_NE(root->WriteToFile((mDir / "no" / "such" / "dir").c_str(), Vx::XNode::kWriteFile), 0);
}
