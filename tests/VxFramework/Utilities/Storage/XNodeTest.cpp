#include "VxFramework/Utilities/Storage/XNode.h"

#include "tests/support/CaptureStderr.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace
{
// Set to make the next permission changes fail.
std::atomic<bool> gFailFchmod{false};
} // namespace

// The settings writer copies the old file's mode with fchmod.  This program's
// own fchmod stands in for the C library's, so that a test can make it fail;
// otherwise it makes the same system call.
extern "C" int fchmod(int fd, mode_t mode)
{
    if (gFailFchmod)
    {
        errno = EIO;
        return -1;
    }
    return static_cast<int>(::syscall(SYS_fchmod, fd, mode));
}

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
                             "\t<key>Count</key><integer>010</integer>\n"
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
    EXPECT_EQ(root->Find("COUNT", 0)->GetInt(), 10) << "decimal, not octal";
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
        // Entities are declared in an internal subset; none is taken, whatever
        // it declares.
        {"<!DOCTYPE plist [<!ENTITY a \"aaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;\">]>\n<dict><key>&b;</key><true/></dict>",
         "XML Load Error \"internal subset not allowed\" line 1"},
        {"<?xml version=\"1.0\"?>\n<!DOCTYPE plist [<!ATTLIST string locked CDATA \"true\">]><string>x</string>",
         "XML Load Error \"internal subset not allowed\" line 2"},
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

TEST(XNode, TheWritersDocumentTypeLineIsAccepted)
{
    Vx::XNodeRef root = Vx::XNode::Create(Vx::XNode::kDict);
    root->Find("v", Vx::XNode::kFindCreate)->SetInt(3);
    const std::string text = root->WriteToBuffer(Vx::XNode::kWriteFile);
    ASSERT_NE(text.find("<!DOCTYPE plist PUBLIC "), std::string::npos);
    Vx::XNodeRef again = ParseText(text);
    ASSERT_TRUE(again);
    EXPECT_EQ(again->Find("v", 0)->GetInt(), 3);
}

TEST(XNode, IntegersAreDecimal)
{
    struct Case
    {
        const char* text;
        std::int32_t value;
    };
    const Case cases[] = {
        {"010", 10},
        {"0x10", 0},
        {"-07", -7},
        {"+12", 12},
        {" 42", 42},
        {"7z", 7},
        {"99999999999", INT32_MAX},
        {"-99999999999", INT32_MIN},
        {"", 0},
    };
    for (const Case& c : cases)
    {
        Vx::XNodeRef root = ParseText(std::string("<integer>") + c.text + "</integer>");
        ASSERT_TRUE(root) << c.text;
        EXPECT_EQ(root->GetInt(), c.value) << '"' << c.text << '"';
    }
}

class LargeDocuments : public TempDir
{
};

// A document above the limit is refused before it is parsed, and a file is
// read no further than the limit.
TEST_F(LargeDocuments, AreRefusedAboveTheLimit)
{
    const std::string atLimit = "<string>" + std::string(Vx::XNode::kMaxDocumentSize - 17, 'x') + "</string>";
    ASSERT_EQ(atLimit.size(), Vx::XNode::kMaxDocumentSize);
    EXPECT_TRUE(ParseText(atLimit));

    const std::string beyond = "<string>" + std::string(Vx::XNode::kMaxDocumentSize - 16, 'x') + "</string>";
    {
        Vx::XNodeRef error = Vx::XNode::Create(Vx::XNode::kNone);
        VxTest::CaptureStderr capture;
        EXPECT_FALSE(ParseText(beyond, error.Get()));
        EXPECT_EQ(error->GetText(), "XML Load Error \"document too large\" line 1");
        EXPECT_EQ(capture.Finish(), "test.plist:1: document too large\n");
    }

    const auto path = mDir / "large.plist";
    std::ofstream(path, std::ios::binary) << beyond;
    Vx::XNodeRef error = Vx::XNode::Create(Vx::XNode::kNone);
    VxTest::CaptureStderr capture;
    EXPECT_FALSE(Vx::XNode::Load(path.c_str(), error.Get()));
    EXPECT_EQ(error->GetText(), "XML Load Error \"document too large\" line 1");
    EXPECT_EQ(capture.Finish(), path.string() + ":1: document too large\n");
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

std::set<std::string> Entries(const std::filesystem::path& directory)
{
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(directory))
        names.insert(entry.path().filename().string());
    return names;
}

Vx::XNodeRef Settings(int value)
{
    Vx::XNodeRef root = Vx::XNode::Create(Vx::XNode::kDict);
    root->Find("v", Vx::XNode::kFindCreate)->SetInt(value);
    return root;
}

TEST_F(TempDir, FilesAreReplacedWhole)
{
    const auto path = mDir / "settings.plist";
    Vx::XNodeRef root = Settings(1);
    ASSERT_EQ(root->WriteToFile(path.c_str(), Vx::XNode::kWriteFile), 0);
    ::chmod(path.c_str(), 0640);
    const std::string first = ReadFile(path);

    // A save whose permission copy fails is a failed save, and it leaves the
    // old file as it was and nothing beside it.
    root->Find("v", 0)->SetInt(2);
    gFailFchmod = true;
    EXPECT_EQ(root->WriteToFile(path.c_str(), Vx::XNode::kWriteFile), EIO);
    gFailFchmod = false;
    EXPECT_EQ(ReadFile(path), first);
    EXPECT_EQ(Entries(mDir), std::set<std::string>{"settings.plist"});

    ASSERT_EQ(root->WriteToFile(path.c_str(), Vx::XNode::kWriteFile), 0);
    Vx::XNodeRef loaded = Vx::XNode::Load(path.c_str(), nullptr);
    ASSERT_TRUE(loaded);
    EXPECT_EQ(loaded->Find("v", 0)->GetInt(), 2);
    struct stat info;
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u) << "the file keeps its permissions";
    EXPECT_EQ(Entries(mDir), std::set<std::string>{"settings.plist"});

    EXPECT_FALSE(Vx::XNode::Load((mDir / "missing").c_str(), nullptr));
    EXPECT_NE(root->WriteToFile((mDir / "no" / "such" / "dir").c_str(), Vx::XNode::kWriteFile), 0);
    // A directory in the target's place cannot be replaced; nothing is left.
    std::filesystem::create_directory(mDir / "taken");
    EXPECT_NE(root->WriteToFile((mDir / "taken").c_str(), Vx::XNode::kWriteFile), 0);
    EXPECT_EQ(Entries(mDir), (std::set<std::string>{"settings.plist", "taken"}));
}

TEST_F(TempDir, NewFilesAreWritableByTheirOwnerOnly)
{
    const auto path = mDir / "new.plist";
    const mode_t saved = ::umask(0);
    const int result = Settings(1)->WriteToFile(path.c_str(), Vx::XNode::kWriteFile);
    ::umask(saved);
    ASSERT_EQ(result, 0);
    struct stat info;
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0644u);
}

// Links planted where the temporary file used to go are never followed: the
// file they point to stays as it was and the settings stay a regular file.
TEST_F(TempDir, SaveNeverWritesThroughAPlantedLink)
{
    const auto path = mDir / "settings.plist";
    const auto victim = mDir / "victim";
    std::ofstream(victim) << "precious";
    ASSERT_EQ(Settings(1)->WriteToFile(path.c_str(), Vx::XNode::kWriteFile), 0);
    std::filesystem::create_symlink(victim, mDir / "settings.plist.tmp");
    std::filesystem::create_symlink(mDir / "nowhere", mDir / "settings.plist.tmp.000000000000");

    ASSERT_EQ(Settings(2)->WriteToFile(path.c_str(), Vx::XNode::kWriteFile), 0);
    EXPECT_EQ(ReadFile(victim), "precious");
    EXPECT_TRUE(std::filesystem::is_regular_file(std::filesystem::symlink_status(path)));
    Vx::XNodeRef loaded = Vx::XNode::Load(path.c_str(), nullptr);
    ASSERT_TRUE(loaded);
    EXPECT_EQ(loaded->Find("v", 0)->GetInt(), 2);
    EXPECT_EQ(Entries(mDir), (std::set<std::string>{"settings.plist", "settings.plist.tmp",
                                                    "settings.plist.tmp.000000000000", "victim"}));
    EXPECT_FALSE(std::filesystem::exists(mDir / "nowhere"));
}

// Settings reached through a link are written beside the real file, and the
// link stays.
TEST_F(TempDir, SaveThroughALinkReplacesTheFileItNames)
{
    std::filesystem::create_directory(mDir / "real");
    const auto real = mDir / "real" / "settings.plist";
    ASSERT_EQ(Settings(1)->WriteToFile(real.c_str(), Vx::XNode::kWriteFile), 0);
    const auto link = mDir / "link.plist";
    std::filesystem::create_symlink(real, link);

    ASSERT_EQ(Settings(2)->WriteToFile(link.c_str(), Vx::XNode::kWriteFile), 0);
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(Vx::XNode::Load(real.c_str(), nullptr)->Find("v", 0)->GetInt(), 2);
    EXPECT_EQ(Entries(mDir / "real"), std::set<std::string>{"settings.plist"});
}

// Each writer has a temporary file of its own: every save succeeds and the
// file is always one writer's whole document.
TEST_F(TempDir, ConcurrentSavesEachWriteAWholeFile)
{
    const auto path = mDir / "settings.plist";
    constexpr int kSaves = 50;
    std::vector<std::string> documents;
    std::vector<std::thread> writers;
    std::atomic<int> failures{0};
    for (int writer = 0; writer < 2; ++writer)
    {
        Vx::XNodeRef root = Settings(writer);
        // Long enough that the writes overlap.
        root->Find("padding", Vx::XNode::kFindCreate)
            ->SetString(std::string(64 * 1024, static_cast<char>('a' + writer)));
        documents.push_back(root->WriteToBuffer(Vx::XNode::kWriteFile));
        writers.emplace_back([&failures, &path, root] {
            for (int i = 0; i < kSaves; ++i)
                failures += root->WriteToFile(path.c_str(), Vx::XNode::kWriteFile) != 0;
        });
    }
    for (std::thread& writer : writers)
        writer.join();
    EXPECT_EQ(failures, 0);
    const std::string written = ReadFile(path);
    EXPECT_TRUE(written == documents[0] || written == documents[1]) << written.substr(0, 200);
    EXPECT_EQ(Entries(mDir), std::set<std::string>{"settings.plist"});
}

// Where the process may set it, the file keeps its owner; elsewhere only a
// privileged process can give a file away, so the check needs one.
TEST_F(TempDir, SaveKeepsTheOwner)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "only a privileged process can save a file it does not own";
    const auto path = mDir / "settings.plist";
    ASSERT_EQ(Settings(1)->WriteToFile(path.c_str(), Vx::XNode::kWriteFile), 0);
    ASSERT_EQ(::chown(path.c_str(), 4321, 4322), 0);
    ASSERT_EQ(::chmod(path.c_str(), 02640), 0);

    ASSERT_EQ(Settings(2)->WriteToFile(path.c_str(), Vx::XNode::kWriteFile), 0);
    struct stat info;
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_uid, 4321u);
    EXPECT_EQ(info.st_gid, 4322u);
    EXPECT_EQ(info.st_mode & 07777, 02640u) << "the change of owner cleared no mode bit";
}
