#include "VxFramework/Utilities/Storage/VxFile.h"

#include "VxFramework/Utilities/Storage/VxArray.h"
#include "tests/support/CaptureStderr.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <sys/stat.h>

using Vx::File;
using String = File::String;

namespace
{
constexpr std::uint32_t kRead = File::FLAG_READ;
constexpr std::uint32_t kWrite = File::FLAG_WRITE;
constexpr std::uint32_t kCreate = File::FLAG_CREATE;
constexpr std::uint32_t kExclusive = File::FLAG_EXCLUSIVE;
constexpr std::uint32_t kDeleteOnClose = File::FLAG_DELETE_ON_CLOSE;

std::string Str(const String& s)
{
    return std::string(s.GetCString(), s.GetLength());
}

// The number of open descriptors of this process.
int OpenDescriptors()
{
    int count = 0;
    if (DIR* dir = opendir("/proc/self/fd"))
    {
        while (readdir(dir) != nullptr)
            ++count;
        closedir(dir);
    }
    return count;
}

// Expects a runtime error with the step's name, raised in the file module.
template <class E, class F>
void ExpectError(F&& operation, const std::string& kind, const std::string& message)
{
    try
    {
        operation();
        ADD_FAILURE() << "no exception for " << message;
    }
    catch (const E& e)
    {
        const std::string expected =
            kind + " : " + message + " :  : VxFramework/Utilities/Storage/VxFile.cpp : Line ";
        EXPECT_EQ(std::string(e.what()).rfind(expected, 0), 0u) << e.what();
    }
}

class FileTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/vx-file-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        mDir = pattern;
    }

    void TearDown() override { std::filesystem::remove_all(mDir); }

    String Dir() const { return String(mDir.c_str()); }
    std::string PathOf(const std::string& name) const { return mDir + "/" + name; }

    void WriteFile(const std::string& name, const std::string& contents) const
    {
        std::ofstream(PathOf(name), std::ios::binary) << contents;
    }

    std::string ReadFile(const std::string& name) const
    {
        std::ifstream in(PathOf(name), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    std::string mDir;
};
} // namespace

TEST_F(FileTest, CreateWriteReadAndSize)
{
    File file(Dir(), String("data.bin"), kWrite | kCreate);
    ASSERT_TRUE(file.IsOpen());
    EXPECT_EQ(Str(file.GetPath()), PathOf("data.bin"));
    EXPECT_EQ(Str(file.GetName()), "data.bin");

    EXPECT_EQ(file.Write("hello world", 11), 11u);
    // Buffered bytes count towards the size.
    EXPECT_EQ(file.GetEOF(), 11u);
    EXPECT_EQ(file.Write("W", 1, 6), 1u);

    char buffer[32] = {};
    EXPECT_EQ(file.Read(buffer, 5, 0), 5u);
    EXPECT_EQ(std::string(buffer, 5), "hello");
    // Offset -1 continues at the current position.
    EXPECT_EQ(file.Read(buffer, 6), 6u);
    EXPECT_EQ(std::string(buffer, 6), " World");
    // Beyond the end nothing is read.
    EXPECT_EQ(file.Read(buffer, 4, 100), 0u);

    EXPECT_EQ(file.Seek(2, SEEK_SET), 2);
    EXPECT_EQ(file.Seek(-1, SEEK_END), 10);
    EXPECT_EQ(file.Seek(-100, SEEK_SET), -1);

    EXPECT_EQ(file.Close(), Vx::VXR_OK);
    EXPECT_FALSE(file.IsOpen());
    EXPECT_EQ(ReadFile("data.bin"), "hello World");
}

TEST_F(FileTest, SetEOFCutsBufferedDataToo)
{
    File file(Dir(), String("cut.bin"), kWrite | kCreate);
    ASSERT_TRUE(file.IsOpen());
    file.Write("0123456789", 10);
    EXPECT_EQ(file.SetEOF(4), Vx::VXR_OK);
    EXPECT_EQ(file.GetEOF(), 4u);
    EXPECT_EQ(file.SetEOF(6), Vx::VXR_OK);
    file.Close();
    EXPECT_EQ(ReadFile("cut.bin"), std::string("0123\0\0", 6));
}

// Offsets are 64-bit on the device too: a position past 4 GiB reaches the file
// (a sparse one, which takes no room on the disk).
TEST_F(FileTest, PositionsBeyondFourGiB)
{
    constexpr std::int64_t kFar = (std::int64_t{5} << 30) + 3;
    File file(Dir(), String("far.bin"), kWrite | kCreate);
    ASSERT_TRUE(file.IsOpen());
    EXPECT_EQ(file.Write("x", 1, kFar), 1u);
    EXPECT_EQ(file.Seek(0, SEEK_END), kFar + 1);
    char byte = 0;
    EXPECT_EQ(file.Read(&byte, 1, kFar), 1u);
    EXPECT_EQ(byte, 'x');
    EXPECT_EQ(file.Seek(-1, SEEK_CUR), kFar);
}

TEST_F(FileTest, OpenResults)
{
    File missing;
    EXPECT_EQ(missing.GetFlags(), kRead);
    EXPECT_EQ(missing.Open(Dir(), String("absent"), kRead), Vx::VXR_E_FAIL);
    EXPECT_FALSE(missing.IsOpen());

    WriteFile("present", "abc");
    File file;
    EXPECT_EQ(file.Open(Dir(), String("present"), kRead), Vx::VXR_OK);
    EXPECT_EQ(file.Open(Dir(), String("other"), kWrite | kCreate), Vx::VXR_NOTHING_DONE);
    EXPECT_EQ(Str(file.GetName()), "present");
    char buffer[3];
    EXPECT_EQ(file.Read(buffer, 3, 0), 3u);
    EXPECT_FALSE(File::Exists(String(PathOf("other").c_str())));

    // A whole path in the directory argument.
    File byPath(String(PathOf("present").c_str()), String(), kRead);
    EXPECT_TRUE(byPath.IsOpen());
    // A name alone stays relative to the working directory.
    File relative(String(), String("vx-no-such-file-here"), kRead);
    EXPECT_FALSE(relative.IsOpen());
    EXPECT_EQ(Str(relative.GetPath()), "vx-no-such-file-here");

    File exclusive;
    EXPECT_EQ(exclusive.Open(Dir(), String("present"), kWrite | kCreate | kExclusive), Vx::VXR_E_FAIL);

    ExpectError<std::runtime_error>([] { File(String(), String(), kRead); }, "Runtime Error", "invalid pathname");
}

// The stream cannot be made on a read-only descriptor with the create flag:
// the open fails and leaves nothing behind, neither a descriptor nor a file.
TEST_F(FileTest, FailedStreamIsAFailedOpen)
{
    const int before = OpenDescriptors();
    File file;
    EXPECT_EQ(file.Open(Dir(), String("new"), kRead | kCreate), Vx::VXR_E_FAIL);
    EXPECT_FALSE(file.IsOpen());
    EXPECT_EQ(OpenDescriptors(), before);
    EXPECT_FALSE(File::Exists(String(PathOf("new").c_str()))) << "the failed open created the file";
    char buffer[4];
    EXPECT_EQ(file.Read(buffer, 4, 0), 0u);

    // A file that was there before stays, whole.
    WriteFile("old", "kept");
    File again;
    EXPECT_EQ(again.Open(Dir(), String("old"), kRead | kCreate), Vx::VXR_E_FAIL);
    EXPECT_EQ(ReadFile("old"), "kept");
}

// Files are created 0644 and directories 0755: with no umask to narrow them,
// nothing new is writable by others.
TEST_F(FileTest, NewFilesAndDirectoriesAreWritableByTheirOwnerOnly)
{
    const mode_t saved = ::umask(0);
    File file(Dir(), String("new.bin"), kWrite | kCreate);
    File exclusive(Dir(), String("exclusive.bin"), kWrite | kCreate | kExclusive);
    const Vx::VxRESULT made = File::CreateDirectory(String(PathOf("x/y").c_str()));
    ::umask(saved);
    ASSERT_TRUE(file.IsOpen());
    ASSERT_TRUE(exclusive.IsOpen());
    ASSERT_EQ(made, Vx::VXR_OK);

    struct Case
    {
        const char* name;
        mode_t mode;
    };
    const Case cases[] = {{"new.bin", 0644}, {"exclusive.bin", 0644}, {"x", 0755}, {"x/y", 0755}};
    for (const Case& c : cases)
    {
        struct stat info;
        ASSERT_EQ(::stat(PathOf(c.name).c_str(), &info), 0) << c.name;
        EXPECT_EQ(info.st_mode & 07777, c.mode) << c.name;
    }
}

TEST_F(FileTest, ReadOnlyAndPositionErrors)
{
    WriteFile("ro", "abc");
    File file(Dir(), String("ro"), kRead);
    ExpectError<std::runtime_error>([&] { file.Write("x", 1); }, "Runtime Error", "file is read only");
    ExpectError<std::runtime_error>([&] { file.SetEOF(0); }, "Runtime Error", "file is read only");
    char buffer[4];
    ExpectError<std::runtime_error>([&] { file.Read(buffer, 1, -5); }, "Runtime Error", "lseek");
    EXPECT_EQ(ReadFile("ro"), "abc");
}

// Nothing is done on a closed file, and nothing crashes.
TEST_F(FileTest, ClosedFileFailsCleanly)
{
    File file;
    char buffer[4];
    VxTest::CaptureStderr capture;
    EXPECT_EQ(file.Read(buffer, 4), 0u);
    EXPECT_EQ(file.Seek(0, SEEK_SET), -1);
    EXPECT_EQ(file.GetEOF(), 0u);
    EXPECT_EQ(file.Close(), Vx::VXR_OK);

    File writable(Dir(), String("w"), kWrite | kCreate);
    writable.Close();
    EXPECT_EQ(writable.Write("x", 1), 0u);
    ExpectError<std::runtime_error>([&] { writable.SetEOF(0); }, "Runtime Error", "ftruncate");
    capture.Finish();
}

TEST_F(FileTest, CopiesShareTheStream)
{
    auto first = std::make_unique<File>(Dir(), String("temp"), kWrite | kCreate | kDeleteOnClose);
    ASSERT_TRUE(first->IsOpen());
    File copy(*first);
    // Closing while shared leaves the stream to both.
    EXPECT_EQ(first->Close(), Vx::VXR_OK);
    EXPECT_TRUE(first->IsOpen());
    first.reset();
    EXPECT_TRUE(copy.IsOpen());
    EXPECT_EQ(copy.Write("abc", 3, 0), 3u);
    EXPECT_TRUE(File::IsFile(String(PathOf("temp").c_str())));
    copy.Close();
    EXPECT_FALSE(File::Exists(String(PathOf("temp").c_str())));

    {
        File keep(Dir(), String("kept"), kWrite | kCreate);
        keep.Write("x", 1);
    }
    EXPECT_EQ(ReadFile("kept"), "x");
}

TEST_F(FileTest, PathTests)
{
    WriteFile("f", "");
    mkdir(PathOf("d").c_str(), 0777);
    struct Case
    {
        std::string path;
        bool exists;
        bool directory;
        bool file;
    };
    const Case cases[] = {
        {PathOf("f"), true, false, true},
        {PathOf("d"), true, true, false},
        {PathOf("none"), false, false, false},
        {"", false, false, false},
    };
    for (const Case& c : cases)
    {
        const String path(c.path.c_str());
        EXPECT_EQ(File::Exists(path), c.exists) << c.path;
        EXPECT_EQ(File::IsDirectory(path), c.directory) << c.path;
        EXPECT_EQ(File::IsFile(path), c.file) << c.path;
    }
}

TEST_F(FileTest, CreateDirectoryMakesEveryLevel)
{
    mkdir(PathOf("a").c_str(), 0777);
    EXPECT_EQ(File::CreateDirectory(String(PathOf("a/b/c").c_str())), Vx::VXR_OK);
    EXPECT_TRUE(File::IsDirectory(String(PathOf("a/b/c").c_str())));
    EXPECT_EQ(File::CreateDirectory(String(PathOf("a/b").c_str())), Vx::VXR_NOTHING_DONE);
    // A regular file in the way is a failure, not a directory.
    WriteFile("plain", "x");
    EXPECT_EQ(File::CreateDirectory(String(PathOf("plain").c_str())), Vx::VXR_E_FAIL);
    EXPECT_EQ(File::CreateDirectory(String(PathOf("plain/sub").c_str())), Vx::VXR_E_FAIL);
    EXPECT_EQ(File::CreateDirectory(String()), Vx::VXR_E_FAIL);
}

TEST_F(FileTest, DeleteFile)
{
    WriteFile("victim", "x");
    EXPECT_EQ(File::DeleteFile(String(PathOf("victim").c_str())), Vx::VXR_OK);
    EXPECT_FALSE(File::Exists(String(PathOf("victim").c_str())));
    EXPECT_EQ(File::DeleteFile(String(PathOf("victim").c_str())), Vx::VXR_E_FAIL);
    ExpectError<std::domain_error>([&] { File::DeleteFile(Dir()); }, "Domain Error", "Not Implemented");
    EXPECT_TRUE(File::IsDirectory(Dir()));
}

TEST_F(FileTest, FindFileSearchesTheDirectoriesInOrder)
{
    mkdir(PathOf("one").c_str(), 0777);
    mkdir(PathOf("two").c_str(), 0777);
    WriteFile("two/skin.xml", "");
    WriteFile("one/other.xml", "");
    Vx::Array<String> directories;
    directories.Add(String(PathOf("missing").c_str()));
    directories.Add(String(PathOf("one").c_str()));
    directories.Add(String(PathOf("two").c_str()));

    EXPECT_EQ(Str(File::FindFile(String("/somewhere/skin.xml"), directories)), PathOf("two/skin.xml"));
    EXPECT_EQ(Str(File::FindFile(String(PathOf("one/other.xml").c_str()), directories)), PathOf("one/other.xml"));
    EXPECT_EQ(Str(File::FindFile(String("absent.xml"), directories)), "");
}

TEST(File, NameOperations)
{
    struct Case
    {
        const char* path;
        const char* fileName;
        const char* extension;
        const char* withoutExtension;
        const char* directory;
    };
    const Case cases[] = {
        {"/x/y.txt", "y.txt", "txt", "/x/y", "/x"},
        {"/x/", "/x/", "/x/", "/x/", "/x"},
        {"a\\b.c", "b.c", "c", "a\\b", "a\\b.c"},
        {"name", "name", "name", "name", "name"},
        {"file.", "file.", "file.", "file", "file."},
        {".hidden", ".hidden", "hidden", ".hidden", ".hidden"},
        {"d.x/f", "f", "x/f", "d", "d.x"},
        {"", "", "", "", ""},
    };
    for (const Case& c : cases)
    {
        const String path(c.path);
        EXPECT_EQ(Str(File::GetFileName(path)), c.fileName) << c.path;
        EXPECT_EQ(Str(File::GetExtension(path)), c.extension) << c.path;
        EXPECT_EQ(Str(File::RemoveExtension(path)), c.withoutExtension) << c.path;
        EXPECT_EQ(Str(File::GetDirectory(path)), c.directory) << c.path;
    }

    EXPECT_EQ(Str(File::MakeValidFileName(String("a:b/c"))), "a_b_c");
    EXPECT_EQ(Str(File::MakeValidFileName(String("\\/:*?\"<>|&;,^()ok.txt"))), "_______________ok.txt");
}

TEST_F(FileTest, ComputeCRC32)
{
    struct Case
    {
        std::string contents;
    };
    std::string large;
    for (int i = 0; i < 10000; ++i)
        large += static_cast<char>(i * 7);
    const Case cases[] = {{""}, {"123456789"}, {large}};
    for (const Case& c : cases)
    {
        WriteFile("crc", c.contents);
        std::uint32_t checksum = 0x12345678;
        EXPECT_EQ(File::ComputeCRC32(String(PathOf("crc").c_str()), checksum), Vx::VXR_OK);
        const auto* bytes = reinterpret_cast<const Bytef*>(c.contents.data());
        EXPECT_EQ(checksum, static_cast<std::uint32_t>(crc32(0L, bytes, static_cast<uInt>(c.contents.size()))))
            << c.contents.size();
    }
    std::uint32_t checksum = 0;
    WriteFile("check", "123456789");
    File::ComputeCRC32(String(PathOf("check").c_str()), checksum);
    EXPECT_EQ(checksum, 0xCBF43926u);

    VxTest::CaptureStderr capture;
    EXPECT_EQ(File::ComputeCRC32(String(PathOf("absent").c_str()), checksum), Vx::VXR_E_FAIL);
    EXPECT_NE(capture.Finish().find("JUCE Assertion failure in VxFile.cpp:"), std::string::npos);
    EXPECT_EQ(File::ComputeCRC32(Dir(), checksum), Vx::VXR_E_FAIL);
}

TEST_F(FileTest, DirectoryListingIsNotImplemented)
{
    Vx::Array<String> names;
    ExpectError<std::domain_error>([&] { File::GetDirectoryListing(Dir(), names); }, "Domain Error",
                                   "Not Implemented");
}
