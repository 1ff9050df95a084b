#pragma once

#include "VxFramework/ControlBase/Colorizer.h"
#include "VxFramework/ControlBase/SkinDescriptors.h"
#include "VxFramework/ControlBase/StringTable.h"
#include "VxFramework/ObjectBase/Result.h"
#include "VxFramework/Utilities/Storage/RCPtrArray.h"
#include "VxFramework/Utilities/Storage/StringT.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

// Reading the three resource files (the application's string tables, the
// framework's string tables and the skins) into the skin model.  The files are
// XML read with expat; the root element of each is skipped whatever its name,
// and its descendants are interpreted by name wherever they stand, acting on
// the reading state.  There is no validation beyond that: a missing required
// attribute logs an assertion and the element does what the format says for
// it, an unknown element of a skin file logs an assertion and is ignored.

namespace Vx
{
// The value syntaxes of the resource files' attributes.
namespace ResourceSyntax
{
// True exactly for "True".
bool ReadFlag(const char* text) noexcept;
// "0x" and up to four hexadecimal digits (stopping at the first other
// character), or else a decimal as ReadDecimal reads it.
std::int32_t ReadNumber(const char* text) noexcept;
// As atoi: optional white space and sign, then digits up to the first other
// character; 0 without digits.  Values beyond 32 bits saturate, which is what
// atoi gives on the 32-bit target.
std::int32_t ReadDecimal(const char* text) noexcept;
// As atof in the C locale, whatever the process's locale.
double ReadReal(const char* text) noexcept;
} // namespace ResourceSyntax

// Bytewise order of texts, also against C strings, so that a name from the
// parser is looked up without being copied first.
struct ResourceNameLess
{
    using is_transparent = void;
    using Text = StringT<char, unsigned short>;

    bool operator()(const Text& a, const Text& b) const { return a < b; }
    bool operator()(const Text& a, const char* b) const { return std::strcmp(a.GetCString(), b) < 0; }
    bool operator()(const char* a, const Text& b) const { return std::strcmp(a, b.GetCString()) < 0; }
};

// Everything the resource files give, kept for the whole run.  The first
// definition of a name wins.
struct ResourceModel
{
    using Text = StringT<char, unsigned short>;
    template <class T>
    using Registry = std::map<Text, T, ResourceNameLess>;

    explicit ResourceModel(const Text& name) : applicationName(name) {}

    // Replaced by the Name of an Application element when it differs.
    Text applicationName;
    // The LCID whose texts were loaded.
    std::int32_t selectedLocale = 0;
    // The resource directory and "/", or "::"; image and mask names are
    // appended to it.
    Text resourceBase;
    // One root ("Application") per top-level skin, in file order.
    RCPtrArray<LControlDescriptor> skinRoots;
    std::int32_t currentSkinIndex = 0;
    // Table ID to (key to text).
    Registry<LStringTable::Map> stringTables;
    Registry<RCPtr<LColorizer>> colorizers;
    Registry<RCPtr<LVisualPartDescriptor>> visualParts;
    Registry<RCPtr<LLookDescriptor>> looks;
    Registry<RCPtr<LookList>> lookLists;
};

// The reader of the resource files and the state it keeps between them: the
// locale chosen while the string tables are read is the one the skin's font
// translations compare against.
class ResourceReader
{
public:
    using Text = StringT<char, unsigned short>;
    // Attribute name to value, as the element handlers take them.
    using Attributes = std::map<Text, Text>;

    // Larger files are refused as unreadable: a real skin is a few hundred
    // kilobytes, and expat takes one buffer of at most INT_MAX bytes.
    static constexpr std::size_t kMaxFileSize = std::size_t{64} << 20;
    // Controls nested deeper are refused: every later walk of the tree
    // (release, creation) recurses once per level.
    static constexpr int kMaxControlDepth = 256;
    // A look list holds at most this many looks; a larger NumLooks is an
    // error in the file.
    static constexpr std::int32_t kMaxLooks = 4096;

    explicit ResourceReader(const Text& applicationName = Text());
    ~ResourceReader();
    ResourceReader(const ResourceReader&) = delete;
    ResourceReader& operator=(const ResourceReader&) = delete;

    ResourceModel& GetModel() noexcept { return mModel; }
    const ResourceModel& GetModel() const noexcept { return mModel; }

    // Reads both string-table files, choosing the locale: the given LCID, then
    // its fallback, then 9, as far as the application file needs; then the
    // framework file, falling back to 9.  A file that cannot be read counts as
    // empty (after an assertion); XML errors are traced and ignored.  Returns
    // 0.  A path beginning "::" throws the runtime error "Bad Resource Path".
    VxRESULT LoadStringTables(const Text& applicationPath, const Text& frameworkPath, std::int32_t lcid);
    // Reads the skin file: 0, or 0x80000008 when it cannot be read or parsed
    // or a handler failed.  Afterwards the current skin index is 0.  A path
    // beginning "::" throws the runtime error "Bad Resource Path".
    VxRESULT LoadSkins(const Text& path);

    // The loaders' work on texts already in memory; nullopt stands for a file
    // that could not be read.
    VxRESULT ReadStringTables(std::optional<std::string_view> application, std::optional<std::string_view> framework,
                              std::int32_t lcid);
    VxRESULT ReadSkins(std::optional<std::string_view> skins);

    // Parses one document in the current mode with the element handlers.  A
    // length of 0 means up to the terminating zero byte; a null buffer is an
    // empty document.  0x80000008 when the XML is refused (malformed, too
    // large, or declaring an internal subset) or a handler threw.
    VxRESULT ParseResource(const char* buffer, std::size_t length);

    // The element handlers, as the parser calls them.
    void OnStartElement(const Text& name, const Attributes& attributes);
    void OnEndElement(const Text& name);
    void OnCharacterData(const Text& text);

    // The whole of a regular file, at most kMaxFileSize bytes; nullopt when
    // it cannot be read.
    static std::optional<std::string> ReadFile(const Text& path);

private:
    struct Slots;
    class Parser;
    friend class Parser;

    struct PendingFont
    {
        Text name;
        float size = 0.0f;
        std::int32_t style = -1;
        bool inheritsFromParent = false;
        bool sizeIsRelative = false;
    };

    // The passes over the application file that choose the locale, and those
    // over the framework file.
    void ReadApplicationStrings(std::optional<std::string_view> text, std::int32_t lcid);
    void ReadFrameworkStrings(std::optional<std::string_view> text);
    // One parse of a string-table text in string-table mode.
    void ParseStringTable(std::optional<std::string_view> text);

    void StartElement(int element, const Slots& slots);
    void EndElement(int element);
    void CharacterData(const char* text, std::size_t length);
    // Appends the collected text to the string it belongs to.
    void FlushText();
    void StopCollecting();
    // A text equal to the given one, shared with earlier equal texts.
    const Text& Intern(const char* text);

    // String-table and skin elements.
    void OnApplication(const Slots& slots);
    void OnStringTable(const Slots& slots);
    void OnString(const Slots& slots);
    void OnLocale(const Slots& slots);
    void OnSkin(const Slots& slots);
    void OnFontXLat(const Slots& slots);
    void OnSubControl(const Slots& slots);
    void ReadLayout(const Slots& slots, LLayoutDescriptor& layout, bool topLevel);
    void ReadPendingFont(const Slots& slots);
    void OnCreateParam(const Slots& slots);
    void OnLookList(const Slots& slots);
    void OnLook(const Slots& slots);
    void OnClientPart(const Slots& slots);
    void OnTextProperties(const Slots& slots);
    void OnNonClientPart(const Slots& slots);
    void OnPart(const Slots& slots);
    void OnColorizer(const Slots& slots);
    void OnEndSubControl();
    void OnEndSkin();

    ResourceModel mModel;

    // Reading state.
    bool mSkipRoot = false;
    bool mStringTableMode = false;
    LStringTable::Map* mCurrentTable = nullptr;
    Text mCurrentId;
    Text* mCurrentText = nullptr;
    bool mCollecting = false;
    // Text gathered for mCurrentText since the last flush: expat hands it over
    // in pieces, and appending each to the string would copy it every time.
    std::string mPendingText;
    std::int32_t mMatchedLocales = 0;
    // Owned by the skin roots' trees, which only grow while a file is read.
    LControlDescriptor* mCurrentDescriptor = nullptr;
    RCPtr<LLookDescriptor> mCurrentLook;
    RCPtr<LookList> mCurrentLookList;
    RCPtr<LStringTable> mCurrentCreateParams;
    bool mInCreateParam = false;
    bool mInLooks = false;
    std::int32_t mNonClientCounter = -1;
    PendingFont mPendingFont;
    std::int32_t mFontLocale = 0;
    std::map<Text, Text> mFontTranslations;
    // The file being read, for the trace.
    std::string mSource;
    // Texts that recur (class names, IDs), shared instead of copied each time.
    static constexpr std::size_t kMaxInterned = 4096;
    std::unordered_map<std::string_view, Text> mInterned;
    Text mInternScratch;
};
} // namespace Vx
