#include "VxFramework/Utilities/Storage/VxFile.h"

#include "VxFramework/ObjectBase/Exception.h"

#include <array>
#include <cerrno>
#include <fcntl.h>
#include <limits>
#include <stdexcept>
#include <string>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

namespace Vx
{
namespace
{
using String = File::String;

std::string ToStd(const String& text)
{
    const char* c = text.GetCString();
    return c ? std::string(c, text.GetLength()) : std::string();
}

bool StatPath(const String& path, struct stat& info)
{
    const char* c = path.GetCString();
    return c != nullptr && ::stat(c, &info) == 0;
}

// CRC-32 of IEEE 802.3, reflected, polynomial 0xEDB88320.
constexpr std::array<std::uint32_t, 256> MakeCrcTable()
{
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t i = 0; i < 256; ++i)
    {
        std::uint32_t c = i;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[i] = c;
    }
    return table;
}

constexpr std::array<std::uint32_t, 256> kCrcTable = MakeCrcTable();
} // namespace

File::File() : mFlags(FLAG_READ) {}

File::File(const String& directory, const String& name, std::uint32_t flags) : mFlags(flags)
{
    Open(directory, name, flags);
}

File::File(const File& other) : mStream(other.mStream), mName(other.mName), mPath(other.mPath), mFlags(other.mFlags) {}

File::~File()
{
    Close();
    mStream = nullptr;
}

VxRESULT File::Open(const String& directory, const String& name, std::uint32_t flags)
{
    if (IsOpen())
        return VXR_NOTHING_DONE;

    if (name.IsEmpty())
    {
        if (directory.IsEmpty())
            VX_THROW(std::runtime_error, "invalid pathname");
        mPath = directory;
    }
    else
    {
        mName = name;
        // A name without a directory stays as given rather than landing in the
        // root directory.
        mPath = directory.IsEmpty() ? name : String((ToStd(directory) + "/" + ToStd(name)).c_str());
    }
    mFlags = flags;

    // New files are 0644 (less the umask): readable by all, written only by
    // their owner.
    constexpr mode_t kFileMode = 0644;
    const int access = (flags & FLAG_WRITE) ? O_RDWR : O_RDONLY;
    bool created = false;
    int fd = -1;
    if (!(flags & FLAG_CREATE))
    {
        fd = ::open(mPath.GetCString(), access);
    }
    else if (flags & FLAG_EXCLUSIVE)
    {
        fd = ::open(mPath.GetCString(), access | O_CREAT | O_EXCL, kFileMode);
        created = fd >= 0;
    }
    else
    {
        // Created exclusively when missing, so that a failed open below knows
        // the file is its own to remove; one that appears meanwhile is opened.
        for (int attempt = 0; attempt < 8 && fd < 0; ++attempt)
        {
            fd = ::open(mPath.GetCString(), access);
            if (fd >= 0 || errno != ENOENT)
                break;
            fd = ::open(mPath.GetCString(), access | O_CREAT | O_EXCL, kFileMode);
            created = fd >= 0;
            if (fd < 0 && errno != EEXIST)
                break;
        }
    }
    if (fd < 0)
        return VXR_E_FAIL;

    std::string mode = (flags & FLAG_WRITE) ? "w" : "r";
    if (flags & FLAG_CREATE)
        mode += "+";
    FILE* stream = ::fdopen(fd, mode.c_str());
    if (stream == nullptr)
    {
        // The mode does not suit the descriptor (read-only with create, say):
        // the open fails, the descriptor goes with it, and a file this open
        // created goes too, so that a failed open leaves nothing behind.
        ::close(fd);
        if (created)
            ::unlink(mPath.GetCString());
        return VXR_E_FAIL;
    }

    mStream = MakeRCPtr<LHolder<FILE*>>();
    mStream->SetValue(stream);
    return VXR_OK;
}

VxRESULT File::Close()
{
    if (mStream.IsNull() || mStream->GetRefCount() != 1)
        return VXR_OK;
    FILE* stream = mStream->GetValue();
    mStream->SetValue(nullptr);
    if (stream != nullptr)
        ::fclose(stream);
    if (mFlags & FLAG_DELETE_ON_CLOSE)
        ::unlink(mPath.GetCString());
    mStream = nullptr;
    return VXR_OK;
}

void File::SeekForTransfer(std::int64_t offset)
{
    if (offset == -1)
        return;
    FILE* stream = GetStream();
    if (offset < 0 || offset > static_cast<std::int64_t>(std::numeric_limits<off_t>::max()) ||
        ::fseeko(stream, static_cast<off_t>(offset), SEEK_SET) != 0)
        VX_THROW(std::runtime_error, "lseek");
    const off_t position = ::ftello(stream);
    if (position < 0 || static_cast<std::int64_t>(position) != offset)
        VX_THROW(std::runtime_error, "lseek");
}

std::uint32_t File::Read(void* buffer, std::uint32_t count, std::int64_t offset)
{
    FILE* stream = GetStream();
    if (stream == nullptr)
    {
        VX_ASSERT_FALSE();
        return 0;
    }
    SeekForTransfer(offset);
    if (count == 0 || buffer == nullptr)
        return 0;
    return static_cast<std::uint32_t>(::fread(buffer, 1, count, stream));
}

std::uint32_t File::Write(const void* data, std::uint32_t count, std::int64_t offset)
{
    if (!(mFlags & FLAG_WRITE))
        VX_THROW(std::runtime_error, "file is read only");
    FILE* stream = GetStream();
    if (stream == nullptr)
    {
        VX_ASSERT_FALSE();
        return 0;
    }
    SeekForTransfer(offset);
    if (count == 0 || data == nullptr)
        return 0;
    return static_cast<std::uint32_t>(::fwrite(data, 1, count, stream));
}

std::int64_t File::Seek(std::int64_t offset, int origin)
{
    FILE* stream = GetStream();
    if (stream == nullptr)
        return -1;
    if (offset < static_cast<std::int64_t>(std::numeric_limits<off_t>::min()) ||
        offset > static_cast<std::int64_t>(std::numeric_limits<off_t>::max()) ||
        ::fseeko(stream, static_cast<off_t>(offset), origin) != 0)
        return -1;
    return static_cast<std::int64_t>(::ftello(stream));
}

std::uint32_t File::GetEOF()
{
    FILE* stream = GetStream();
    if (stream == nullptr)
        return 0;
    // Bytes still in the stream's buffer belong to the file's size.
    ::fflush(stream);
    struct stat info;
    if (::fstat(::fileno(stream), &info) != 0)
        VX_THROW(std::runtime_error, "GetEOF");
    return static_cast<std::uint32_t>(info.st_size);
}

VxRESULT File::SetEOF(std::uint32_t size)
{
    if (!(mFlags & FLAG_WRITE))
        VX_THROW(std::runtime_error, "file is read only");
    FILE* stream = GetStream();
    // Buffered bytes written after the cut would grow the file again.
    if (stream == nullptr || ::fflush(stream) != 0 || ::ftruncate(::fileno(stream), static_cast<off_t>(size)) != 0)
        VX_THROW(std::runtime_error, "ftruncate");
    return VXR_OK;
}

bool File::Exists(const String& path)
{
    struct stat info;
    return StatPath(path, info);
}

bool File::IsDirectory(const String& path)
{
    struct stat info;
    return StatPath(path, info) && S_ISDIR(info.st_mode);
}

bool File::IsFile(const String& path)
{
    struct stat info;
    return StatPath(path, info) && S_ISREG(info.st_mode);
}

VxRESULT File::CreateDirectory(const String& path)
{
    if (IsDirectory(path))
        return VXR_NOTHING_DONE;
    const std::string text = ToStd(path);
    if (text.empty())
        return VXR_E_FAIL;
    // Existing directories along the way are no error.  New ones are 0755
    // (less the umask): open to all, changed only by their owner.
    constexpr mode_t kDirectoryMode = 0755;
    ::mkdir(text.c_str(), kDirectoryMode);
    for (std::size_t i = 1; i < text.size(); ++i)
    {
        if (text[i] == '/' || text[i] == '\\')
            ::mkdir(text.substr(0, i).c_str(), kDirectoryMode);
    }
    ::mkdir(text.c_str(), kDirectoryMode);
    // A regular file of that name is no directory.
    return IsDirectory(path) ? VXR_OK : VXR_E_FAIL;
}

VxRESULT File::DeleteFile(const String& path)
{
    if (IsDirectory(path))
        VX_THROW(std::domain_error, "Not Implemented");
    if (!IsFile(path))
        return VXR_E_FAIL;
    return ::remove(path.GetCString()) == 0 ? VXR_OK : VXR_E_FAIL;
}

String File::MakeValidFileName(const String& name)
{
    std::string text = ToStd(name);
    for (char& c : text)
    {
        switch (c)
        {
        case '\\':
        case '/':
        case ':':
        case '*':
        case '?':
        case '"':
        case '<':
        case '>':
        case '|':
        case '&':
        case ';':
        case ',':
        case '^':
        case '(':
        case ')':
            c = '_';
            break;
        default:
            break;
        }
    }
    return String(text.c_str());
}

String File::GetFileName(const String& path)
{
    const std::string text = ToStd(path);
    const std::size_t slash = text.find_last_of("/\\");
    if (slash == std::string::npos || slash + 1 == text.size())
        return path;
    return String(text.substr(slash + 1).c_str());
}

String File::GetExtension(const String& path)
{
    const std::string text = ToStd(path);
    const std::size_t dot = text.rfind('.');
    if (dot == std::string::npos || dot + 1 == text.size())
        return path;
    return String(text.substr(dot + 1).c_str());
}

String File::RemoveExtension(const String& path)
{
    const std::string text = ToStd(path);
    const std::size_t dot = text.rfind('.');
    if (dot == std::string::npos || dot == 0)
        return path;
    return String(text.substr(0, dot).c_str());
}

String File::GetDirectory(const String& path)
{
    const std::string text = ToStd(path);
    const std::size_t slash = text.rfind('/');
    if (slash == std::string::npos)
        return path;
    return String(text.substr(0, slash).c_str());
}

String File::FindFile(const String& name, const IArray<String>& directories)
{
    if (IsFile(name))
        return name;
    const std::string fileName = ToStd(GetFileName(name));
    for (std::uint32_t i = 0; i < directories.GetCount(); ++i)
    {
        const String candidate((ToStd(directories[i]) + "/" + fileName).c_str());
        if (IsFile(candidate))
            return candidate;
    }
    return String();
}

VxRESULT File::ComputeCRC32(const String& path, std::uint32_t& checksum)
{
    FILE* stream = path.GetCString() ? std::fopen(path.GetCString(), "rb") : nullptr;
    if (stream == nullptr)
    {
        VX_ASSERT_FALSE();
        return VXR_E_FAIL;
    }
    std::uint32_t crc = 0xFFFFFFFFu;
    unsigned char block[4096];
    std::size_t got;
    while ((got = std::fread(block, 1, sizeof block, stream)) > 0)
    {
        for (std::size_t i = 0; i < got; ++i)
            crc = kCrcTable[(crc ^ block[i]) & 0xFFu] ^ (crc >> 8);
    }
    // A read error is no checksum (a directory opens but cannot be read).
    const bool failed = std::ferror(stream) != 0;
    std::fclose(stream);
    if (failed)
        return VXR_E_FAIL;
    checksum = crc ^ 0xFFFFFFFFu;
    return VXR_OK;
}

VxRESULT File::GetDirectoryListing(const String& path, IArray<String>& names)
{
    VX_THROW(std::domain_error, "Not Implemented");
}
} // namespace Vx
