#pragma once

#include "VxFramework/ObjectBase/RefCountedObject.h"
#include "VxFramework/Utilities/Storage/StringT.h"

#include <cstdint>

namespace Vx
{
// Names an open settings file; null is never a valid handle.
using IniFileHandle = void*;

// Settings files in property-list XML.  Keys are paths ("a.b", "list[2].name")
// below the file's section; key names ignore ASCII case.  Used on the main
// thread only.
class IIniFileManager
{
public:
    using String = StringT<char, unsigned short>;

    static constexpr std::int32_t kOk = 0;
    static constexpr std::int32_t kAlreadyOpen = 1;
    static constexpr std::int32_t kFailed = -1; // a missing key, a key of the wrong kind, a failed write
    static constexpr std::int32_t kNotOpen = -3;

    // Does nothing.
    virtual std::int32_t Initialize() = 0;
    // Saves (most recently opened first, errors ignored) and closes every file.
    virtual std::int32_t CloseAll() = 0;
    // 1 with the existing handle when the path is open already; 0 when opened
    // (a missing or broken file opens as a new one naming the application);
    // -1 when nothing could be opened.
    virtual std::int32_t Open(const String& path, const String& section, const String& applicationName,
                              IniFileHandle& handle) = 0;
    // Writes a modified file whole; -1 when it cannot be written.
    virtual std::int32_t Save(IniFileHandle handle) = 0;
    virtual bool KeyExists(IniFileHandle handle, const String& key) const = 0;
    virtual std::int32_t Close(IniFileHandle handle, bool save) = 0;
    virtual std::int32_t GetInt(IniFileHandle handle, const String& key, std::int32_t defaultValue,
                                std::int32_t& value) const = 0;
    virtual std::int32_t SetInt(IniFileHandle handle, const String& key, std::int32_t value) = 0;
    virtual std::int32_t GetString(IniFileHandle handle, const String& key, const String& defaultValue,
                                   String& value) const = 0;
    // -1 for text a file cannot hold (broken UTF-8, control characters).
    virtual std::int32_t SetString(IniFileHandle handle, const String& key, const String& value) = 0;
    virtual std::int32_t GetChildCount(IniFileHandle handle, const String& key, std::int32_t& count) const = 0;
    // The key name of a dict's child (empty for an array's).
    virtual std::int32_t GetListString(IniFileHandle handle, const String& key, std::int32_t index,
                                       String& value) const = 0;
    virtual std::int32_t GetArrayCount(IniFileHandle handle, const String& key, std::int32_t& count) const = 0;
    virtual std::int32_t SetArrayCount(IniFileHandle handle, const String& key, std::int32_t count) = 0;
    virtual std::int32_t GetArrayString(IniFileHandle handle, const String& key, std::int32_t index,
                                        String& value) const = 0;
    virtual std::int32_t SetArrayString(IniFileHandle handle, const String& key, std::int32_t index,
                                        const String& value) = 0;
    virtual std::int32_t RemoveArrayItem(IniFileHandle handle, const String& key, std::int32_t index) = 0;

    virtual ~IIniFileManager() = default;
};

// The implementation: the table of open files.
class CIniFileManagerProxy : public IIniFileManager
{
public:
    CIniFileManagerProxy();
    ~CIniFileManagerProxy() override;
    CIniFileManagerProxy(const CIniFileManagerProxy&) = delete;
    CIniFileManagerProxy& operator=(const CIniFileManagerProxy&) = delete;

    std::int32_t Initialize() override;
    std::int32_t CloseAll() override;
    std::int32_t Open(const String& path, const String& section, const String& applicationName,
                      IniFileHandle& handle) override;
    std::int32_t Save(IniFileHandle handle) override;
    bool KeyExists(IniFileHandle handle, const String& key) const override;
    std::int32_t Close(IniFileHandle handle, bool save) override;
    std::int32_t GetInt(IniFileHandle handle, const String& key, std::int32_t defaultValue,
                        std::int32_t& value) const override;
    std::int32_t SetInt(IniFileHandle handle, const String& key, std::int32_t value) override;
    std::int32_t GetString(IniFileHandle handle, const String& key, const String& defaultValue,
                           String& value) const override;
    std::int32_t SetString(IniFileHandle handle, const String& key, const String& value) override;
    std::int32_t GetChildCount(IniFileHandle handle, const String& key, std::int32_t& count) const override;
    std::int32_t GetListString(IniFileHandle handle, const String& key, std::int32_t index,
                               String& value) const override;
    std::int32_t GetArrayCount(IniFileHandle handle, const String& key, std::int32_t& count) const override;
    std::int32_t SetArrayCount(IniFileHandle handle, const String& key, std::int32_t count) override;
    std::int32_t GetArrayString(IniFileHandle handle, const String& key, std::int32_t index,
                                String& value) const override;
    std::int32_t SetArrayString(IniFileHandle handle, const String& key, std::int32_t index,
                                const String& value) override;
    std::int32_t RemoveArrayItem(IniFileHandle handle, const String& key, std::int32_t index) override;

    struct MemberData;

private:
    MemberData* mData;
};

// The reference-counted manager the application owns; forwards every
// operation to its implementation.
class LIniFileManager : public IIniFileManager, public virtual LRefCountedObject
{
public:
    LIniFileManager();
    ~LIniFileManager() override;

    std::int32_t Initialize() override;
    std::int32_t CloseAll() override;
    std::int32_t Open(const String& path, const String& section, const String& applicationName,
                      IniFileHandle& handle) override;
    std::int32_t Save(IniFileHandle handle) override;
    bool KeyExists(IniFileHandle handle, const String& key) const override;
    std::int32_t Close(IniFileHandle handle, bool save) override;
    std::int32_t GetInt(IniFileHandle handle, const String& key, std::int32_t defaultValue,
                        std::int32_t& value) const override;
    std::int32_t SetInt(IniFileHandle handle, const String& key, std::int32_t value) override;
    std::int32_t GetString(IniFileHandle handle, const String& key, const String& defaultValue,
                           String& value) const override;
    std::int32_t SetString(IniFileHandle handle, const String& key, const String& value) override;
    std::int32_t GetChildCount(IniFileHandle handle, const String& key, std::int32_t& count) const override;
    std::int32_t GetListString(IniFileHandle handle, const String& key, std::int32_t index,
                               String& value) const override;
    std::int32_t GetArrayCount(IniFileHandle handle, const String& key, std::int32_t& count) const override;
    std::int32_t SetArrayCount(IniFileHandle handle, const String& key, std::int32_t count) override;
    std::int32_t GetArrayString(IniFileHandle handle, const String& key, std::int32_t index,
                                String& value) const override;
    std::int32_t SetArrayString(IniFileHandle handle, const String& key, std::int32_t index,
                                const String& value) override;
    std::int32_t RemoveArrayItem(IniFileHandle handle, const String& key, std::int32_t index) override;

private:
    CIniFileManagerProxy* mImplementation;
};
} // namespace Vx
