#pragma once

#include "VxFramework/Notification/Holder.h"
#include "VxFramework/ObjectBase/RefCountedObject.h"
#include "VxFramework/ObjectBase/Result.h"
#include "VxFramework/Utilities/Storage/Iterable.h"
#include "VxFramework/Utilities/Storage/StringT.h"

#include <cstdint>
#include <cstdio>

namespace Vx
{
// A file on a C stream over a POSIX descriptor.  Copies share the stream; the
// last holder to let go closes it.
class File
{
public:
    using String = StringT<char, unsigned short>;

    static constexpr std::uint32_t FLAG_READ = 0x10000;
    // Read-write descriptor, stream mode "w".
    static constexpr std::uint32_t FLAG_WRITE = 0x20000;
    // Exclusive creation, together with FLAG_CREATE.
    static constexpr std::uint32_t FLAG_EXCLUSIVE = 0x40000;
    // Creates the file; the stream mode gets "+".
    static constexpr std::uint32_t FLAG_CREATE = 0x80000;
    static constexpr std::uint32_t FLAG_DELETE_ON_CLOSE = 0x100000;

    File();
    File(const String& directory, const String& name, std::uint32_t flags);
    File(const File& other);
    File& operator=(const File&) = delete;
    virtual ~File();

    // 0, 1 when already open, 0x80000008 when the file cannot be opened.
    virtual VxRESULT Open(const String& directory, const String& name, std::uint32_t flags);
    virtual VxRESULT Close();
    // An offset of -1 continues at the current position.  Returns the count read.
    virtual std::uint32_t Read(void* buffer, std::uint32_t count, std::int64_t offset = -1);
    virtual std::uint32_t Write(const void* data, std::uint32_t count, std::int64_t offset = -1);
    // The new position, or -1.
    virtual std::int64_t Seek(std::int64_t offset, int origin);

    std::uint32_t GetEOF();
    VxRESULT SetEOF(std::uint32_t size);

    bool IsOpen() const noexcept { return !mStream.IsNull(); }
    const String& GetName() const noexcept { return mName; }
    const String& GetPath() const noexcept { return mPath; }
    std::uint32_t GetFlags() const noexcept { return mFlags; }

    static bool Exists(const String& path);
    static bool IsDirectory(const String& path);
    static bool IsFile(const String& path);
    // 0 when created, 1 when it already was a directory, else 0x80000008.
    static VxRESULT CreateDirectory(const String& path);
    static VxRESULT DeleteFile(const String& path);
    static String MakeValidFileName(const String& name);
    static String GetFileName(const String& path);
    static String GetExtension(const String& path);
    static String RemoveExtension(const String& path);
    static String GetDirectory(const String& path);
    static String FindFile(const String& name, const IArray<String>& directories);
    static VxRESULT ComputeCRC32(const String& path, std::uint32_t& checksum);
    // Not implemented on this platform: throws.
    static VxRESULT GetDirectoryListing(const String& path, IArray<String>& names);

private:
    FILE* GetStream() const noexcept { return mStream.IsNull() ? nullptr : mStream->GetValue(); }
    void SeekForTransfer(std::int64_t offset);

    RCPtr<LHolder<FILE*>> mStream;
    String mName;
    String mPath;
    std::uint32_t mFlags;
};
} // namespace Vx
