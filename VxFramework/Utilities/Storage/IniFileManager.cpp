#include "VxFramework/Utilities/Storage/IniFileManager.h"

#include "VxFramework/Utilities/Storage/VxArray.h"
#include "VxFramework/Utilities/Storage/XNode.h"

#include <cmath>
#include <cstring>
#include <string>
#include <string_view>

namespace Vx
{
struct CIniFileManagerProxy::MemberData
{
    struct IniFileInfo
    {
        String path;
        // The section with '.' replaced by '_', then '.': every key is looked
        // up as prefix + key.
        String sectionPrefix;
        XNodeRef root;
        bool modified = false;
    };

    // The handle is the record's address; it is only ever dereferenced after
    // it has been found in this table.
    IniFileInfo* Lookup(IniFileHandle handle) const
    {
        for (std::uint32_t i = 0; i < files.GetCount(); ++i)
        {
            if (*files.GetAtConst(i) == handle)
                return *files.GetAtConst(i);
        }
        return nullptr;
    }

    void Forget(IniFileInfo* info)
    {
        for (std::uint32_t i = 0; i < files.GetCount(); ++i)
        {
            if (*files.GetAt(i) == info)
            {
                files.RemoveSpace(i, 1);
                break;
            }
        }
        delete info;
    }

    Array<IniFileInfo*> files;
};

namespace
{
using IniFileInfo = CIniFileManagerProxy::MemberData::IniFileInfo;

std::string_view View(const IIniFileManager::String& text)
{
    const char* characters = text.GetCString();
    return characters != nullptr ? std::string_view(characters, std::strlen(characters)) : std::string_view();
}

std::string KeyPath(const IniFileInfo& info, const IIniFileManager::String& key)
{
    std::string path(View(info.sectionPrefix));
    path += View(key);
    return path;
}

XNode* FindKey(const IniFileInfo& info, const IIniFileManager::String& key)
{
    return info.root->Find(KeyPath(info, key), 0);
}

XNode* CreateKey(IniFileInfo& info, const IIniFileManager::String& key)
{
    // A key that no file could hold is refused before anything is created.
    const std::string path = KeyPath(info, key);
    if (!XNode::IsWritableText(path))
        return nullptr;
    return info.root->Find(path, XNode::kFindCreate);
}

std::int32_t TruncateReal(float value)
{
    if (std::isnan(value))
        return 0;
    if (value >= 2147483647.0f)
        return INT32_MAX;
    if (value <= -2147483648.0f)
        return INT32_MIN;
    return static_cast<std::int32_t>(value);
}
} // namespace

CIniFileManagerProxy::CIniFileManagerProxy() : mData(new MemberData) {}

CIniFileManagerProxy::~CIniFileManagerProxy()
{
    for (std::uint32_t i = 0; i < mData->files.GetCount(); ++i)
        delete *mData->files.GetAt(i);
    delete mData;
}

std::int32_t CIniFileManagerProxy::Initialize()
{
    return kOk;
}

std::int32_t CIniFileManagerProxy::CloseAll()
{
    while (mData->files.GetCount() > 0)
    {
        IniFileInfo* info = *mData->files.GetAt(mData->files.GetCount() - 1);
        Save(info);
        mData->Forget(info);
    }
    return kOk;
}

std::int32_t CIniFileManagerProxy::Open(const String& path, const String& section, const String& applicationName,
                                        IniFileHandle& handle)
{
    handle = nullptr;
    for (std::uint32_t i = 0; i < mData->files.GetCount(); ++i)
    {
        IniFileInfo* open = *mData->files.GetAt(i);
        if (std::strcmp(open->path.GetCString(), path.GetCString()) == 0)
        {
            handle = open;
            return kAlreadyOpen;
        }
    }

    std::string prefix(View(section));
    for (char& c : prefix)
    {
        if (c == '.')
            c = '_';
    }
    prefix += '.';

    XNodeRef root = XNode::Load(path.GetCString(), nullptr);
    if (!root)
    {
        // The new-file template; the name is escaped so that any name parses.
        std::string text = "<dict><key>Application</key><string>";
        XNode::AppendEscaped(text, View(applicationName));
        text += "</string></dict>";
        root = XNode::Parse(text.data(), text.size(), path.GetCString(), nullptr);
        if (!root)
            return kFailed;
    }

    auto* info = new IniFileInfo;
    info->path = path;
    info->sectionPrefix = String(prefix.c_str());
    info->root = root;
    if (Failed(mData->files.Add(info)))
    {
        delete info;
        return kFailed;
    }
    handle = info;
    return kOk;
}

std::int32_t CIniFileManagerProxy::Save(IniFileHandle handle)
{
    IniFileInfo* info = mData->Lookup(handle);
    if (info == nullptr)
        return kNotOpen;
    if (!info->modified)
        return kOk;
    if (info->root->WriteToFile(info->path.GetCString(), XNode::kWriteFile) != 0)
        return kFailed;
    info->modified = false;
    return kOk;
}

bool CIniFileManagerProxy::KeyExists(IniFileHandle handle, const String& key) const
{
    const IniFileInfo* info = mData->Lookup(handle);
    return info != nullptr && FindKey(*info, key) != nullptr;
}

std::int32_t CIniFileManagerProxy::Close(IniFileHandle handle, bool save)
{
    IniFileInfo* info = mData->Lookup(handle);
    if (info == nullptr)
        return kNotOpen;
    const std::int32_t result = save ? Save(handle) : kOk;
    mData->Forget(info);
    return result;
}

std::int32_t CIniFileManagerProxy::GetInt(IniFileHandle handle, const String& key, std::int32_t defaultValue,
                                          std::int32_t& value) const
{
    value = defaultValue;
    const IniFileInfo* info = mData->Lookup(handle);
    if (info == nullptr)
        return kNotOpen;
    const XNode* node = FindKey(*info, key);
    if (node == nullptr)
        return kOk;
    switch (node->GetKind())
    {
    case XNode::kInteger: value = node->GetInt(); break;
    case XNode::kReal: value = TruncateReal(node->GetReal()); break;
    case XNode::kBool: value = node->GetBool() ? 1 : 0; break;
    default: value = 0; break;
    }
    return kOk;
}

std::int32_t CIniFileManagerProxy::SetInt(IniFileHandle handle, const String& key, std::int32_t value)
{
    IniFileInfo* info = mData->Lookup(handle);
    if (info == nullptr)
        return kNotOpen;
    XNode* node = CreateKey(*info, key);
    if (node == nullptr)
        return kFailed;
    node->SetInt(value);
    info->modified = true;
    return kOk;
}

std::int32_t CIniFileManagerProxy::GetString(IniFileHandle handle, const String& key, const String& defaultValue,
                                             String& value) const
{
    value = defaultValue;
    const IniFileInfo* info = mData->Lookup(handle);
    if (info == nullptr)
        return kNotOpen;
    if (const XNode* node = FindKey(*info, key))
        value = String(node->GetText().c_str());
    return kOk;
}

std::int32_t CIniFileManagerProxy::SetString(IniFileHandle handle, const String& key, const String& value)
{
    IniFileInfo* info = mData->Lookup(handle);
    if (info == nullptr)
        return kNotOpen;
    if (!XNode::IsWritableText(View(value)))
        return kFailed;
    XNode* node = CreateKey(*info, key);
    if (node == nullptr)
        return kFailed;
    node->SetString(View(value));
    info->modified = true;
    return kOk;
}

std::int32_t CIniFileManagerProxy::GetChildCount(IniFileHandle handle, const String& key, std::int32_t& count) const
{
    count = 0;
    const IniFileInfo* info = mData->Lookup(handle);
    if (info == nullptr)
        return kNotOpen;
    const XNode* node = FindKey(*info, key);
    if (node == nullptr)
        return kFailed;
    count = static_cast<std::int32_t>(node->GetCount());
    return kOk;
}

std::int32_t CIniFileManagerProxy::GetListString(IniFileHandle handle, const String& key, std::int32_t index,
                                                 String& value) const
{
    value = String();
    const IniFileInfo* info = mData->Lookup(handle);
    if (info == nullptr)
        return kNotOpen;
    const XNode* node = FindKey(*info, key);
    if (node == nullptr || (node->GetKind() != XNode::kDict && node->GetKind() != XNode::kArray) || index < 0 ||
        static_cast<std::uint32_t>(index) >= node->GetCount())
        return kFailed;
    if (node->GetKind() == XNode::kDict)
        value = String(node->GetChild(static_cast<std::uint32_t>(index))->GetKey().c_str());
    return kOk;
}

std::int32_t CIniFileManagerProxy::GetArrayCount(IniFileHandle handle, const String& key, std::int32_t& count) const
{
    count = 0;
    const IniFileInfo* info = mData->Lookup(handle);
    if (info == nullptr)
        return kNotOpen;
    const XNode* node = FindKey(*info, key);
    if (node == nullptr || node->GetKind() != XNode::kArray)
        return kFailed;
    count = static_cast<std::int32_t>(node->GetCount());
    return kOk;
}

std::int32_t CIniFileManagerProxy::SetArrayCount(IniFileHandle handle, const String& key, std::int32_t count)
{
    IniFileInfo* info = mData->Lookup(handle);
    if (info == nullptr)
        return kNotOpen;
    if (count < 0 || static_cast<std::uint32_t>(count) > XNode::kMaxArrayCount)
        return kFailed;
    XNode* node = CreateKey(*info, key);
    if (node == nullptr)
        return kFailed;
    node->SetKind(XNode::kArray);
    info->modified = true;
    return node->ResizeArray(static_cast<std::uint32_t>(count)) ? kOk : kFailed;
}

std::int32_t CIniFileManagerProxy::GetArrayString(IniFileHandle handle, const String& key, std::int32_t index,
                                                  String& value) const
{
    value = String();
    const IniFileInfo* info = mData->Lookup(handle);
    if (info == nullptr)
        return kNotOpen;
    const XNode* node = FindKey(*info, key);
    if (node == nullptr || node->GetKind() != XNode::kArray || index < 0 ||
        static_cast<std::uint32_t>(index) >= node->GetCount())
        return kFailed;
    value = String(node->GetChild(static_cast<std::uint32_t>(index))->GetText().c_str());
    return kOk;
}

std::int32_t CIniFileManagerProxy::SetArrayString(IniFileHandle handle, const String& key, std::int32_t index,
                                                  const String& value)
{
    IniFileInfo* info = mData->Lookup(handle);
    if (info == nullptr)
        return kNotOpen;
    if (index < 0 || static_cast<std::uint32_t>(index) >= XNode::kMaxArrayCount || !XNode::IsWritableText(View(value)))
        return kFailed;
    XNode* node = CreateKey(*info, key);
    if (node == nullptr)
        return kFailed;
    node->SetKind(XNode::kArray);
    info->modified = true;
    const auto position = static_cast<std::uint32_t>(index);
    if (position >= node->GetCount() && !node->ResizeArray(position + 1))
        return kFailed;
    node->GetChild(position)->SetString(View(value));
    return kOk;
}

std::int32_t CIniFileManagerProxy::RemoveArrayItem(IniFileHandle handle, const String& key, std::int32_t index)
{
    IniFileInfo* info = mData->Lookup(handle);
    if (info == nullptr)
        return kNotOpen;
    XNode* node = FindKey(*info, key);
    if (node == nullptr || node->GetKind() != XNode::kArray || index < 0 ||
        static_cast<std::uint32_t>(index) >= node->GetCount())
        return kFailed;
    node->RemoveChildAt(static_cast<std::uint32_t>(index));
    info->modified = true;
    return kOk;
}

LIniFileManager::LIniFileManager() : mImplementation(new CIniFileManagerProxy) {}

LIniFileManager::~LIniFileManager()
{
    delete mImplementation;
}

std::int32_t LIniFileManager::Initialize() { return mImplementation->Initialize(); }
std::int32_t LIniFileManager::CloseAll() { return mImplementation->CloseAll(); }
std::int32_t LIniFileManager::Open(const String& path, const String& section, const String& applicationName,
                                   IniFileHandle& handle)
{
    return mImplementation->Open(path, section, applicationName, handle);
}
std::int32_t LIniFileManager::Save(IniFileHandle handle) { return mImplementation->Save(handle); }
bool LIniFileManager::KeyExists(IniFileHandle handle, const String& key) const
{
    return mImplementation->KeyExists(handle, key);
}
std::int32_t LIniFileManager::Close(IniFileHandle handle, bool save) { return mImplementation->Close(handle, save); }
std::int32_t LIniFileManager::GetInt(IniFileHandle handle, const String& key, std::int32_t defaultValue,
                                     std::int32_t& value) const
{
    return mImplementation->GetInt(handle, key, defaultValue, value);
}
std::int32_t LIniFileManager::SetInt(IniFileHandle handle, const String& key, std::int32_t value)
{
    return mImplementation->SetInt(handle, key, value);
}
std::int32_t LIniFileManager::GetString(IniFileHandle handle, const String& key, const String& defaultValue,
                                        String& value) const
{
    return mImplementation->GetString(handle, key, defaultValue, value);
}
std::int32_t LIniFileManager::SetString(IniFileHandle handle, const String& key, const String& value)
{
    return mImplementation->SetString(handle, key, value);
}
std::int32_t LIniFileManager::GetChildCount(IniFileHandle handle, const String& key, std::int32_t& count) const
{
    return mImplementation->GetChildCount(handle, key, count);
}
std::int32_t LIniFileManager::GetListString(IniFileHandle handle, const String& key, std::int32_t index,
                                            String& value) const
{
    return mImplementation->GetListString(handle, key, index, value);
}
std::int32_t LIniFileManager::GetArrayCount(IniFileHandle handle, const String& key, std::int32_t& count) const
{
    return mImplementation->GetArrayCount(handle, key, count);
}
std::int32_t LIniFileManager::SetArrayCount(IniFileHandle handle, const String& key, std::int32_t count)
{
    return mImplementation->SetArrayCount(handle, key, count);
}
std::int32_t LIniFileManager::GetArrayString(IniFileHandle handle, const String& key, std::int32_t index,
                                             String& value) const
{
    return mImplementation->GetArrayString(handle, key, index, value);
}
std::int32_t LIniFileManager::SetArrayString(IniFileHandle handle, const String& key, std::int32_t index,
                                             const String& value)
{
    return mImplementation->SetArrayString(handle, key, index, value);
}
std::int32_t LIniFileManager::RemoveArrayItem(IniFileHandle handle, const String& key, std::int32_t index)
{
    return mImplementation->RemoveArrayItem(handle, key, index);
}
} // namespace Vx
