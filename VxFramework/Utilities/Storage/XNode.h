#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace Vx
{
class XNodeRef;

// A node of a property-list tree.  A node is held by its parents (a node may
// have several) and by owning handles (XNodeRef); it is freed when the last of
// them lets go.  Dict and array children keep their order; key names compare
// ignoring ASCII case.  Used on one thread at a time.
class XNode
{
public:
    enum Kind : std::uint32_t
    {
        kNone = 0,
        kString = 1,
        kBool = 2,
        kInteger = 3,
        kReal = 4,
        kDict = 5,
        kArray = 6,
        kData = 7,
    };

    enum Flag : std::uint8_t
    {
        kDirty = 1,    // changed since loading
        kVolatile = 2, // never written to a file
        kVisible = 4,
        kLocked = 8,
    };

    // Flags of Find.
    enum FindFlag : int
    {
        kFindCreate = 1,
        kFindCreateVolatile = 2, // create; the created leaf and array fillers are volatile
        kFindRemove = 4,         // detach the found node from its parent and free it
    };

    // Flags of the writers.
    enum WriteFlag : int
    {
        kWriteFile = 1,       // document header, plist element, no key on the root
        kWriteStateFlags = 2, // volatile="true" and dirty="true" attributes
        kWriteVolatile = 4,   // volatile nodes are written too
    };

    // Deepest nesting of dicts and arrays a document may have.
    static constexpr int kMaxDepth = 64;
    // Most elements an array may be given through a path index or a resize.
    static constexpr std::uint32_t kMaxArrayCount = 1u << 20;
    // Largest document the reader takes: settings files hold a few kilobytes,
    // so 16 MiB leaves room for any real one and still bounds what a damaged
    // or hostile file can make the reader hold in memory.
    static constexpr std::size_t kMaxDocumentSize = std::size_t{16} << 20;

    XNode(const XNode&) = delete;
    XNode& operator=(const XNode&) = delete;

    static XNodeRef Create(Kind kind);
    static XNodeRef CreateString(std::string_view text);
    static XNodeRef CreateInteger(std::int32_t value);
    static XNodeRef CreateReal(double value);
    static XNodeRef CreateBool(bool value);

    // Resolves a path ("a.b", "list[2].name"; empty = this node).  Null when a
    // step is missing and not created, or when a path index or depth is beyond
    // the limits above.
    XNode* Find(std::string_view path, int flags);

    void SetString(std::string_view text);
    void SetInt(std::int32_t value);
    void SetBool(bool value);
    void SetReal(double value);
    void SetData(const void* bytes, std::size_t length);

    // Changes the kind; a different kind first frees the old value.
    void SetKind(Kind kind);
    Kind GetKind() const noexcept { return mKind; }
    bool GetBool() const noexcept { return mKind == kBool && mBool; }
    std::int32_t GetInt() const noexcept { return mKind == kInteger ? mInteger : 0; }
    float GetReal() const noexcept { return mKind == kReal ? mReal : 0.0f; }
    // Text of a string or data node, else empty.
    const std::string& GetText() const noexcept;
    std::uint32_t GetTextLength() const noexcept { return static_cast<std::uint32_t>(GetText().size()); }

    bool HasKey() const noexcept { return mHasKey; }
    const std::string& GetKey() const noexcept { return mKey; }
    void SetKey(std::string_view key);
    std::uint32_t GetKeyHash() const noexcept { return mKeyHash; }
    static std::uint32_t HashKey(std::string_view key) noexcept;

    std::uint8_t GetFlags() const noexcept { return mFlags; }
    bool HasFlag(Flag flag) const noexcept { return (mFlags & flag) != 0; }
    void SetFlag(Flag flag, bool on) noexcept;
    // Clears the dirty flag in the whole subtree.
    void ClearDirty() noexcept;

    // Child count of a dict or array, else 0.
    std::uint32_t GetCount() const noexcept;
    XNode* GetChild(std::uint32_t index) const noexcept;
    // The first child whose key name matches, ignoring ASCII case.
    XNode* FindChild(std::string_view key) const noexcept;

    // The child operations need a dict or array (the array ones an array) and
    // refuse a null node or one that would make the tree a cycle.
    bool AppendChild(XNode* node);
    // Grows the array with empty strings as needed; replaces an existing item.
    bool SetArrayItem(std::uint32_t index, XNode* node);
    bool InsertArrayItem(std::uint32_t index, XNode* node);
    // Removes the first occurrence.
    bool RemoveChild(XNode* node);
    bool RemoveChildAt(std::uint32_t index);
    // Grows with empty strings or shrinks; needs an array.
    bool ResizeArray(std::uint32_t count);

    XNodeRef Clone(bool withVolatile) const;
    // Puts another node in this node's place in all its parents.
    void Replace(XNode* by);
    // Copies every member of another dict into this one, recursing into
    // members that are dicts on both sides.
    bool MergeDict(const XNode& from);

    // Null with the error in errorNode (when given) and on standard error.
    // Whether a file can hold the text as it is: well-formed UTF-8 without
    // the control characters XML 1.0 leaves out.
    static bool IsWritableText(std::string_view text) noexcept;
    // Appends text escaped for XML content; characters a file cannot hold
    // become U+FFFD.
    static void AppendEscaped(std::string& out, std::string_view text);

    static XNodeRef Load(const char* path, XNode* errorNode);
    static XNodeRef Parse(const char* text, std::size_t length, const char* path, XNode* errorNode);
    // Documents above kMaxDocumentSize and document types with an internal
    // subset (where entities would be declared) are refused as parse errors.
    // 0, or the system error number (5 when there is none).  The file is
    // written whole to a new file of its own beside the target and renamed
    // over it; the target keeps its permissions and, where the process may
    // set it, its owner.  A new file is created 0644 (less the umask).
    int WriteToFile(const char* path, int flags) const;
    std::string WriteToBuffer(int flags) const;
    // Writes what fits (terminated) and returns the length written.
    std::size_t WriteToBuffer(char* buffer, std::size_t size, int flags) const;

private:
    friend class XNodeRef;
    friend class XmlReader;

    XNode() = default;
    ~XNode();

    void AddRef(XNode* parent);
    void ReleaseRef(XNode* parent) noexcept;
    bool IsAncestorOrSelf(const XNode* node) const noexcept;
    void MarkDirty() noexcept;
    void AdoptChild(std::vector<XNode*>::iterator where, XNode* node);
    bool CanAdopt(const XNode* node) const noexcept;
    XNode* FindIndex(std::uint32_t index, int flags);
    XNode* FindName(std::string_view name, int flags, bool leaf);

    std::uint32_t mRefs = 0;
    std::vector<XNode*> mParents;
    Kind mKind = kNone;
    std::uint8_t mFlags = 0;
    bool mHasKey = false;
    std::string mKey;
    std::uint32_t mKeyHash = 0;
    bool mBool = false;
    std::int32_t mInteger = 0;
    float mReal = 0.0f;
    std::string mText;
    std::vector<XNode*> mChildren;
};

// An owning handle: counts as one reference to its node.
class XNodeRef
{
public:
    XNodeRef() noexcept = default;
    explicit XNodeRef(XNode* node) : mNode(node)
    {
        if (mNode != nullptr)
            mNode->AddRef(nullptr);
    }
    XNodeRef(const XNodeRef& other) : XNodeRef(other.mNode) {}
    XNodeRef(XNodeRef&& other) noexcept : mNode(other.mNode) { other.mNode = nullptr; }
    XNodeRef& operator=(XNodeRef other) noexcept
    {
        std::swap(mNode, other.mNode);
        return *this;
    }
    ~XNodeRef() { Reset(); }

    void Reset() noexcept
    {
        if (mNode != nullptr)
            std::exchange(mNode, nullptr)->ReleaseRef(nullptr);
    }
    XNode* Get() const noexcept { return mNode; }
    XNode* operator->() const noexcept { return mNode; }
    XNode& operator*() const noexcept { return *mNode; }
    explicit operator bool() const noexcept { return mNode != nullptr; }

private:
    XNode* mNode = nullptr;
};
} // namespace Vx
