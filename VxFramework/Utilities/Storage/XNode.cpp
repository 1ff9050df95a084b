#include "VxFramework/Utilities/Storage/XNode.h"

#include <algorithm>
#include <cstring>

namespace Vx
{
namespace
{
unsigned char LowerAscii(unsigned char c) noexcept
{
    return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c | 0x20) : c;
}

bool EqualIgnoringCase(std::string_view a, std::string_view b) noexcept
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
    {
        if (LowerAscii(static_cast<unsigned char>(a[i])) != LowerAscii(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

const std::string kEmptyText;
} // namespace

XNode::~XNode()
{
    for (XNode* child : mChildren)
        child->ReleaseRef(this);
}

XNodeRef XNode::Create(Kind kind)
{
    XNodeRef node(new XNode);
    node->mKind = kind;
    return node;
}

XNodeRef XNode::CreateString(std::string_view text)
{
    XNodeRef node = Create(kString);
    node->mText.assign(text);
    return node;
}

XNodeRef XNode::CreateInteger(std::int32_t value)
{
    XNodeRef node = Create(kInteger);
    node->mInteger = value;
    return node;
}

XNodeRef XNode::CreateReal(double value)
{
    XNodeRef node = Create(kReal);
    node->mReal = static_cast<float>(value);
    return node;
}

XNodeRef XNode::CreateBool(bool value)
{
    XNodeRef node = Create(kBool);
    node->mBool = value;
    return node;
}

void XNode::AddRef(XNode* parent)
{
    if (parent != nullptr)
        mParents.push_back(parent);
    ++mRefs;
}

void XNode::ReleaseRef(XNode* parent) noexcept
{
    if (parent != nullptr)
    {
        const auto found = std::find(mParents.begin(), mParents.end(), parent);
        if (found != mParents.end())
            mParents.erase(found);
    }
    if (--mRefs == 0)
        delete this;
}

bool XNode::IsAncestorOrSelf(const XNode* node) const noexcept
{
    if (node == this)
        return true;
    for (const XNode* parent : mParents)
    {
        if (parent->IsAncestorOrSelf(node))
            return true;
    }
    return false;
}

bool XNode::CanAdopt(const XNode* node) const noexcept
{
    // A node that is this one or above it would close a cycle.
    return node != nullptr && (mKind == kDict || mKind == kArray) && !IsAncestorOrSelf(node);
}

void XNode::MarkDirty() noexcept
{
    if ((mFlags & (kDirty | kVolatile)) != 0)
        return;
    mFlags |= kDirty;
    for (XNode* parent : mParents)
        parent->MarkDirty();
}

void XNode::SetKind(Kind kind)
{
    if (mKind == kind)
        return;
    std::vector<XNode*> children;
    children.swap(mChildren);
    for (XNode* child : children)
        child->ReleaseRef(this);
    mText.clear();
    mText.shrink_to_fit();
    mBool = false;
    mInteger = 0;
    mReal = 0.0f;
    mKind = kind;
    MarkDirty();
}

const std::string& XNode::GetText() const noexcept
{
    return (mKind == kString || mKind == kData) ? mText : kEmptyText;
}

void XNode::SetString(std::string_view text)
{
    if (mKind == kString && mText == text)
        return;
    SetKind(kString);
    mText.assign(text);
    MarkDirty();
}

void XNode::SetInt(std::int32_t value)
{
    if (mKind == kInteger && mInteger == value)
        return;
    SetKind(kInteger);
    mInteger = value;
    MarkDirty();
}

void XNode::SetBool(bool value)
{
    if (mKind == kBool && mBool == value)
        return;
    SetKind(kBool);
    mBool = value;
    MarkDirty();
}

void XNode::SetReal(double value)
{
    const float real = static_cast<float>(value);
    if (mKind == kReal && mReal == real)
        return;
    SetKind(kReal);
    mReal = real;
    MarkDirty();
}

void XNode::SetData(const void* bytes, std::size_t length)
{
    const std::string_view data(static_cast<const char*>(bytes), bytes != nullptr ? length : 0);
    if (mKind == kData && mText == data)
        return;
    SetKind(kData);
    mText.assign(data);
    MarkDirty();
}

std::uint32_t XNode::HashKey(std::string_view key) noexcept
{
    std::uint32_t hash = 0;
    std::uint32_t previous = 0;
    for (const char ch : key)
    {
        const std::uint32_t folded = static_cast<unsigned char>(ch) | 0x20u;
        const std::uint32_t c = folded + 1;
        hash = hash + c * previous + c;
        previous = folded;
    }
    return hash;
}

void XNode::SetKey(std::string_view key)
{
    mHasKey = true;
    mKey.assign(key);
    mKeyHash = HashKey(key);
}

void XNode::SetFlag(Flag flag, bool on) noexcept
{
    if (on)
        mFlags |= flag;
    else
        mFlags &= static_cast<std::uint8_t>(~flag);
}

void XNode::ClearDirty() noexcept
{
    mFlags &= static_cast<std::uint8_t>(~kDirty);
    for (XNode* child : mChildren)
        child->ClearDirty();
}

std::uint32_t XNode::GetCount() const noexcept
{
    return (mKind == kDict || mKind == kArray) ? static_cast<std::uint32_t>(mChildren.size()) : 0;
}

XNode* XNode::GetChild(std::uint32_t index) const noexcept
{
    return index < GetCount() ? mChildren[index] : nullptr;
}

XNode* XNode::FindChild(std::string_view key) const noexcept
{
    if (mKind != kDict && mKind != kArray)
        return nullptr;
    // Names with different hashes cannot match; the hash folds case the same way.
    const std::uint32_t hash = HashKey(key);
    for (XNode* child : mChildren)
    {
        if (child->mHasKey && child->mKeyHash == hash && EqualIgnoringCase(child->mKey, key))
            return child;
    }
    return nullptr;
}

void XNode::AdoptChild(std::vector<XNode*>::iterator where, XNode* node)
{
    mChildren.insert(where, node);
    node->AddRef(this);
    if (!node->HasFlag(kVolatile))
        MarkDirty();
}

bool XNode::AppendChild(XNode* node)
{
    if (!CanAdopt(node))
        return false;
    AdoptChild(mChildren.end(), node);
    return true;
}

bool XNode::SetArrayItem(std::uint32_t index, XNode* node)
{
    if (mKind != kArray || !CanAdopt(node) || index >= kMaxArrayCount)
        return false;
    if (index >= mChildren.size() && !ResizeArray(index + 1))
        return false;
    XNode* old = mChildren[index];
    if (old == node)
        return true;
    node->AddRef(this);
    mChildren[index] = node;
    old->ReleaseRef(this);
    MarkDirty();
    return true;
}

bool XNode::InsertArrayItem(std::uint32_t index, XNode* node)
{
    if (mKind != kArray || !CanAdopt(node) || index > mChildren.size() || mChildren.size() >= kMaxArrayCount)
        return false;
    AdoptChild(mChildren.begin() + index, node);
    return true;
}

bool XNode::RemoveChild(XNode* node)
{
    const auto found = std::find(mChildren.begin(), mChildren.end(), node);
    if (found == mChildren.end())
        return false;
    return RemoveChildAt(static_cast<std::uint32_t>(found - mChildren.begin()));
}

bool XNode::RemoveChildAt(std::uint32_t index)
{
    if (index >= GetCount())
        return false;
    XNode* child = mChildren[index];
    mChildren.erase(mChildren.begin() + index);
    if (!child->HasFlag(kVolatile))
        MarkDirty();
    child->ReleaseRef(this);
    return true;
}

bool XNode::ResizeArray(std::uint32_t count)
{
    if (mKind != kArray || count > kMaxArrayCount)
        return false;
    if (count == mChildren.size())
        return true;
    while (mChildren.size() > count)
    {
        XNode* child = mChildren.back();
        mChildren.pop_back();
        child->ReleaseRef(this);
    }
    mChildren.reserve(count);
    while (mChildren.size() < count)
    {
        XNodeRef item = Create(kString);
        AdoptChild(mChildren.end(), item.Get());
    }
    MarkDirty();
    return true;
}

XNodeRef XNode::Clone(bool withVolatile) const
{
    XNodeRef copy = Create(mKind);
    copy->mFlags = mFlags;
    copy->mHasKey = mHasKey;
    copy->mKey = mKey;
    copy->mKeyHash = mKeyHash;
    copy->mBool = mBool;
    copy->mInteger = mInteger;
    copy->mReal = mReal;
    copy->mText = mText;
    for (const XNode* child : mChildren)
    {
        if (child->HasFlag(kVolatile) && !withVolatile)
            continue;
        XNodeRef childCopy = child->Clone(withVolatile);
        childCopy->AddRef(copy.Get());
        copy->mChildren.push_back(childCopy.Get());
    }
    return copy;
}

void XNode::Replace(XNode* by)
{
    if (by == nullptr || by == this)
        return;
    // Keep this node alive while its last parents let go of it.
    const XNodeRef keep(this);
    const std::vector<XNode*> parents = mParents;
    for (XNode* parent : parents)
    {
        if (!parent->CanAdopt(by))
            continue;
        const auto slot = std::find(parent->mChildren.begin(), parent->mChildren.end(), this);
        if (slot == parent->mChildren.end())
            continue;
        by->AddRef(parent);
        *slot = by;
        ReleaseRef(parent);
        parent->MarkDirty();
    }
}

bool XNode::MergeDict(const XNode& from)
{
    if (mKind != kDict || from.mKind != kDict || &from == this)
        return false;
    for (const XNode* member : from.mChildren)
    {
        XNode* mine = member->mHasKey ? FindChild(member->mKey) : nullptr;
        if (mine != nullptr && mine->mKind == kDict && member->mKind == kDict)
        {
            mine->MergeDict(*member);
            continue;
        }
        XNodeRef copy = member->Clone(true);
        if (mine == nullptr)
        {
            AppendChild(copy.Get());
            continue;
        }
        // Only this dict's member is replaced; other holders keep theirs.
        const auto slot = std::find(mChildren.begin(), mChildren.end(), mine);
        copy->AddRef(this);
        *slot = copy.Get();
        mine->ReleaseRef(this);
        MarkDirty();
    }
    return true;
}

XNode* XNode::FindIndex(std::uint32_t index, int flags)
{
    if (index < GetCount())
        return mChildren[index];
    if ((flags & (kFindCreate | kFindCreateVolatile)) == 0 || index >= kMaxArrayCount)
        return nullptr;
    // A node without children becomes an array; fillers are empty dicts.
    if (GetCount() == 0)
        SetKind(kArray);
    while (mChildren.size() <= index)
    {
        XNodeRef filler = Create(kDict);
        if ((flags & kFindCreateVolatile) != 0)
            filler->mFlags |= kVolatile;
        AdoptChild(mChildren.end(), filler.Get());
    }
    return mChildren[index];
}

XNode* XNode::FindName(std::string_view name, int flags, bool leaf)
{
    if (XNode* child = FindChild(name))
        return child;
    if ((flags & (kFindCreate | kFindCreateVolatile)) == 0)
        return nullptr;
    SetKind(kDict);
    XNodeRef child = Create(kNone);
    child->SetKey(name);
    if ((flags & kFindCreateVolatile) != 0 && leaf)
        child->mFlags |= kVolatile;
    AdoptChild(mChildren.end(), child.Get());
    return child.Get();
}

XNode* XNode::Find(std::string_view path, int flags)
{
    XNode* node = this;
    XNode* parent = nullptr;
    int depth = 0;
    std::size_t pos = 0;
    while (pos < path.size())
    {
        if (++depth > kMaxDepth)
            return nullptr;
        XNode* next;
        if (path[pos] == '[')
        {
            ++pos;
            std::uint64_t index = 0;
            while (pos < path.size() && path[pos] >= '0' && path[pos] <= '9')
            {
                index = std::min<std::uint64_t>(index * 10 + static_cast<std::uint64_t>(path[pos] - '0'), kMaxArrayCount);
                ++pos;
            }
            if (pos < path.size() && path[pos] == ']')
                ++pos;
            next = node->FindIndex(static_cast<std::uint32_t>(index), flags);
        }
        else
        {
            const std::size_t end = std::min(path.find_first_of(".[", pos), path.size());
            const std::string_view name = path.substr(pos, end - pos);
            pos = end;
            // An empty name (a leading or doubled '.') stays on this node.
            const bool leaf = end + 1 >= path.size();
            next = name.empty() ? node : node->FindName(name, flags, leaf);
            if (name.empty())
                --depth;
        }
        if (next == nullptr)
            return nullptr;
        if (next != node)
            parent = node;
        node = next;
        if (pos < path.size() && path[pos] == '.')
            ++pos;
    }
    if ((flags & kFindRemove) != 0)
    {
        if (parent != nullptr)
            parent->RemoveChild(node);
        return nullptr;
    }
    return node;
}
} // namespace Vx
