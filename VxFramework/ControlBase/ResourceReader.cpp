// Reading the string-table and skin files with expat.

#include "VxFramework/ControlBase/ResourceReader.h"

#include "VxFramework/ObjectBase/Exception.h"
#include "VxFramework/ObjectBase/NoDestructor.h"
#include "VxFramework/Utilities/DebugTracer.h"

#include <expat.h>

#include <array>
#include <cerrno>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <locale.h>
#include <new>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace Vx
{
namespace ResourceSyntax
{
namespace
{
bool IsSpace(char c) noexcept
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool IsDigit(char c) noexcept
{
    return c >= '0' && c <= '9';
}

int HexDigit(char c) noexcept
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// strtod in the C locale: a process that set another locale still reads "."
// as the decimal point.
double StrtodC(const char* text) noexcept
{
    static const locale_t cLocale = ::newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    if (cLocale == static_cast<locale_t>(nullptr))
        return std::strtod(text, nullptr);
    return ::strtod_l(text, nullptr, cLocale);
}
} // namespace

bool ReadFlag(const char* text) noexcept
{
    return text != nullptr && std::strcmp(text, "True") == 0;
}

std::int32_t ReadNumber(const char* text) noexcept
{
    if (text == nullptr)
        return 0;
    if (text[0] != '0' || text[1] != 'x')
        return ReadDecimal(text);
    std::int32_t value = 0;
    for (int i = 2; i < 6; ++i)
    {
        const int digit = HexDigit(text[i]);
        if (digit < 0)
            break;
        value = value * 16 + digit;
    }
    return value;
}

std::int32_t ReadDecimal(const char* text) noexcept
{
    if (text == nullptr)
        return 0;
    while (IsSpace(*text))
        ++text;
    const bool negative = *text == '-';
    if (*text == '-' || *text == '+')
        ++text;
    // Accumulated as a negative number, whose range is the larger one.
    std::int64_t value = 0;
    constexpr std::int64_t kLimit = -(std::int64_t{INT32_MAX} + 1);
    for (; IsDigit(*text); ++text)
    {
        value = value * 10 - (*text - '0');
        if (value < kLimit)
            value = kLimit;
    }
    if (negative)
        return static_cast<std::int32_t>(value);
    return value < -std::int64_t{INT32_MAX} ? INT32_MAX : static_cast<std::int32_t>(-value);
}

double ReadReal(const char* text) noexcept
{
    if (text == nullptr)
        return 0.0;
    // The common forms ("0.5", "-12", "100.25") exactly as strtod reads them,
    // without its cost: an integer of at most 15 digits divided by a power of
    // ten up to 1e22, both exact doubles, is one correctly rounded division.
    const char* p = text;
    while (IsSpace(*p))
        ++p;
    const bool negative = *p == '-';
    if (*p == '-' || *p == '+')
        ++p;
    std::uint64_t mantissa = 0;
    int digits = 0;
    int decimals = 0;
    for (; IsDigit(*p); ++p, ++digits)
        mantissa = mantissa * 10 + static_cast<std::uint64_t>(*p - '0');
    bool any = digits > 0;
    if (*p == '.')
    {
        for (++p; IsDigit(*p); ++p, ++digits, ++decimals)
            mantissa = mantissa * 10 + static_cast<std::uint64_t>(*p - '0');
        any = any || decimals > 0;
    }
    const bool plain = *p != 'e' && *p != 'E' && *p != 'x' && *p != 'X' && *p != 'i' && *p != 'I' && *p != 'n' &&
                       *p != 'N' && *p != 'p' && *p != 'P';
    if (!any || !plain || digits > 15 || decimals > 22)
        return StrtodC(text);
    static constexpr std::array<double, 23> kPowers = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                                       1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                                       1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    const double value = static_cast<double>(mantissa) / kPowers[static_cast<std::size_t>(decimals)];
    return negative ? -value : value;
}
} // namespace ResourceSyntax

namespace
{
using Text = ResourceReader::Text;
using namespace ResourceSyntax;

// The element names of the files, and every attribute name; the X attribute
// of each pair directly precedes its Y attribute.  One list gives both the
// indices and the names, so that the two cannot disagree.
// clang-format off
#define VX_RESOURCE_ELEMENTS(X) \
    X(Application) X(StringTable) X(String) X(Locale) \
    X(Skins) X(Skin) X(FontLocale) X(FontXLat) \
    X(SubControl) X(CreateParamList) X(CreateParam) X(LookList) \
    X(LookLists) X(Look) X(Looks) X(ClientPart) \
    X(TextProperties) X(NonClientParts) X(NonClientPart) X(Parts) \
    X(Part) X(Colorizers) X(Colorizer)

#define VX_RESOURCE_ATTRIBUTES(X) \
    X(Name) X(ID) X(LCID) X(FontName) \
    X(FontSize) X(FontStyle) X(LookList) X(XLat) \
    X(Class) X(ClipToParent) X(Z_Order) X(TabStop) \
    X(LayoutOrder) X(IsVisible) X(XPlacementAnchor) X(YPlacementAnchor) \
    X(XIsDocked) X(YIsDocked) X(XPositionToControl) X(YPositionToControl) \
    X(XPositionRel) X(YPositionRel) X(XPositionAbs) X(YPositionAbs) \
    X(XSizeToControl) X(YSizeToControl) X(XSizeRel) X(YSizeRel) \
    X(XSizeAbs) X(YSizeAbs) X(XMinSizeToControl) X(YMinSizeToControl) \
    X(XMinSizeRel) X(YMinSizeRel) X(XMinSizeAbs) X(YMinSizeAbs) \
    X(XMaxSizeToControl) X(YMaxSizeToControl) X(XMaxSizeRel) X(YMaxSizeRel) \
    X(XMaxSizeAbs) X(YMaxSizeAbs) X(TextDecoration) X(TextOverflowXType) \
    X(TextOverflowYType) X(FontInheritsFromParent) X(FontSizeIsRelative) X(NumLooks) \
    X(Index) X(OffsetLeft) X(OffsetTop) X(OffsetRight) \
    X(OffsetBottom) X(Width) X(Height) X(TextLeftRel) \
    X(TextLeftAbs) X(TextRightRel) X(TextRightAbs) X(TextHAlign) \
    X(TextTopRel) X(TextTopAbs) X(TextBottomRel) X(TextBottomAbs) \
    X(TextVAlign) X(TextForegroundPart) X(ResizeType) X(ImageFile) \
    X(ImageLocX) X(ImageLocY) X(ColorizerName) X(ColorizerAlphaMod) \
    X(ColorizerMaskFile) X(MaskLocX) X(MaskLocY) X(ColorType) \
    X(Color) X(GradientEndColor) X(GradientStartX) X(GradientStartY) \
    X(GradientEndX) X(GradientEndY)
// clang-format on

#define VX_INDEX(prefix, name) prefix##name,
#define VX_ELEMENT_INDEX(name) VX_INDEX(k, name)
#define VX_ATTRIBUTE_INDEX(name) VX_INDEX(a, name)
#define VX_NAME(name) #name,

enum Element : int
{
    kUnknownElement = -1,
    VX_RESOURCE_ELEMENTS(VX_ELEMENT_INDEX) kElementCount
};

enum Attribute : int
{
    kUnknownAttribute = -1,
    VX_RESOURCE_ATTRIBUTES(VX_ATTRIBUTE_INDEX) kAttributeCount
};

constexpr std::array<std::string_view, kElementCount> kElementNames = {VX_RESOURCE_ELEMENTS(VX_NAME)};
constexpr std::array<std::string_view, kAttributeCount> kAttributeNames = {VX_RESOURCE_ATTRIBUTES(VX_NAME)};

#undef VX_NAME
#undef VX_ATTRIBUTE_INDEX
#undef VX_ELEMENT_INDEX
#undef VX_INDEX
#undef VX_RESOURCE_ATTRIBUTES
#undef VX_RESOURCE_ELEMENTS

// Names to indices by open addressing: one hash and one comparison per name,
// which keeps the reader close to expat's own speed on attribute-heavy skins.
template <std::size_t N, std::size_t Slots>
class NameIndex
{
    static_assert((Slots & (Slots - 1)) == 0 && Slots >= 2 * N);

public:
    explicit NameIndex(const std::array<std::string_view, N>& names) : mNames(names)
    {
        mSlots.fill(-1);
        for (std::size_t i = 0; i < N; ++i)
        {
            std::size_t slot = Hash(names[i]) & (Slots - 1);
            while (mSlots[slot] >= 0)
                slot = (slot + 1) & (Slots - 1);
            mSlots[slot] = static_cast<int>(i);
        }
    }

    // -1 for a name that is not in the index.
    int Find(const char* name) const noexcept
    {
        // Length and hash in one pass over the name.
        std::uint32_t hash = kBasis;
        std::size_t length = 0;
        for (; name[length] != '\0'; ++length)
            hash = Step(hash, name[length]);
        std::size_t slot = Mix(hash) & (Slots - 1);
        for (;;)
        {
            const int index = mSlots[slot];
            if (index < 0)
                return -1;
            const std::string_view& candidate = mNames[static_cast<std::size_t>(index)];
            if (candidate.size() == length && std::memcmp(candidate.data(), name, length) == 0)
                return index;
            slot = (slot + 1) & (Slots - 1);
        }
    }

private:
    static constexpr std::uint32_t kBasis = 2166136261u;
    static std::uint32_t Step(std::uint32_t hash, char c) noexcept
    {
        return (hash ^ static_cast<unsigned char>(c)) * 16777619u;
    }
    static std::size_t Mix(std::uint32_t hash) noexcept { return hash ^ (hash >> 15); }
    static std::size_t Hash(std::string_view text) noexcept
    {
        std::uint32_t hash = kBasis;
        for (const char c : text)
            hash = Step(hash, c);
        return Mix(hash);
    }

    const std::array<std::string_view, N>& mNames;
    std::array<int, Slots> mSlots;
};

const NameIndex<kElementCount, 64>& ElementIndex()
{
    static const NoDestructor<NameIndex<kElementCount, 64>> index(kElementNames);
    return *index;
}

const NameIndex<kAttributeCount, 256>& AttributeIndex()
{
    static const NoDestructor<NameIndex<kAttributeCount, 256>> index(kAttributeNames);
    return *index;
}

int FindElement(const char* name) noexcept
{
    return ElementIndex().Find(name);
}

// Real values are stored as floats: values beyond a float's range and NaN
// would turn every layout computed from them into garbage, so they are held at
// the largest float (NaN at 0) after an assertion.
float ToFloat(double value) noexcept
{
    if (std::isnan(value))
    {
        VX_ASSERT_FALSE();
        return 0.0f;
    }
    if (value > FLT_MAX || value < -FLT_MAX)
    {
        VX_ASSERT_FALSE();
        return value > 0 ? FLT_MAX : -FLT_MAX;
    }
    return static_cast<float>(value);
}

float ReadFloat(const char* text) noexcept
{
    return ToFloat(ReadReal(text));
}

bool StartsWithResourcePrefix(const Text& path)
{
    const char* text = path.GetCString();
    return text != nullptr && text[0] == ':' && text[1] == ':';
}

void CheckResourcePath(const Text& path)
{
    if (StartsWithResourcePrefix(path))
        VX_THROW(std::runtime_error, "Bad Resource Path");
}

std::optional<std::string_view> View(const std::optional<std::string>& text)
{
    if (!text)
        return std::nullopt;
    return std::string_view(*text);
}
} // namespace

// The attribute values of one start element by attribute, the first of a
// repeated name kept.  Filled from expat's list without copying.
struct ResourceReader::Slots
{
    std::array<const char*, kAttributeCount> values{};
    std::array<std::uint8_t, kAttributeCount> filled{};
    int filledCount = 0;

    void Set(int attribute, const char* value) noexcept
    {
        if (attribute < 0 || values[static_cast<std::size_t>(attribute)] != nullptr)
            return;
        values[static_cast<std::size_t>(attribute)] = value;
        filled[static_cast<std::size_t>(filledCount++)] = static_cast<std::uint8_t>(attribute);
    }

    void Clear() noexcept
    {
        for (int i = 0; i < filledCount; ++i)
            values[filled[static_cast<std::size_t>(i)]] = nullptr;
        filledCount = 0;
    }

    // Null when absent.
    const char* Get(int attribute) const noexcept { return values[static_cast<std::size_t>(attribute)]; }

    // Null after an assertion when absent.
    const char* Required(int attribute) const noexcept
    {
        const char* value = Get(attribute);
        if (value == nullptr)
            VX_ASSERT_FALSE();
        return value;
    }

    // True when every one is present; one assertion otherwise.
    template <std::size_t N>
    bool AllPresent(const std::array<int, N>& attributes) const noexcept
    {
        for (const int attribute : attributes)
        {
            if (Get(attribute) == nullptr)
            {
                VX_ASSERT_FALSE();
                return false;
            }
        }
        return true;
    }
};

static_assert(kAttributeCount <= 256, "slot indices are bytes");

// One expat parser over one document, calling the reader's handlers.  An
// exception may not cross expat's C frames: a handler's exception stops the
// parse and is reported as its failure.
class ResourceReader::Parser
{
public:
    explicit Parser(ResourceReader& reader) : mReader(reader), mParser(XML_ParserCreate(nullptr))
    {
        if (mParser == nullptr)
            return;
        XML_SetUserData(mParser, this);
        XML_SetElementHandler(mParser, &Parser::OnStart, &Parser::OnEnd);
        UpdateTextHandler();
        XML_SetStartDoctypeDeclHandler(mParser, &Parser::OnDoctype);
        XML_SetEntityDeclHandler(mParser, &Parser::OnEntityDecl);
    }
    ~Parser()
    {
        if (mParser != nullptr)
            XML_ParserFree(mParser);
    }
    Parser(const Parser&) = delete;
    Parser& operator=(const Parser&) = delete;

    VxRESULT Parse(const char* text, std::size_t length)
    {
        if (mParser == nullptr)
        {
            Trace("cannot create the XML parser", 0);
            return VXR_E_FAIL;
        }
        static_assert(kMaxFileSize <= static_cast<std::size_t>(INT_MAX));
        if (length > kMaxFileSize)
        {
            Trace("document too large", 0);
            return VXR_E_FAIL;
        }
        const XML_Status status = XML_Parse(mParser, text, static_cast<int>(length), XML_TRUE);
        if (!mError.empty())
        {
            Trace(mError.c_str(), mErrorLine);
            return VXR_E_FAIL;
        }
        if (status != XML_STATUS_OK)
        {
            Trace(XML_ErrorString(XML_GetErrorCode(mParser)),
                  static_cast<unsigned long>(XML_GetCurrentLineNumber(mParser)));
            return VXR_E_FAIL;
        }
        return VXR_OK;
    }

private:
    void Trace(const char* message, unsigned long line)
    {
        DebugTracer::Get().Trace(1, "Resource %s: %s (line %lu)", mReader.mSource.c_str(),
                                 message != nullptr ? message : "error", line);
    }

    void Fail(const char* message)
    {
        if (!mError.empty())
            return;
        mError = message != nullptr && *message != '\0' ? message : "error";
        mErrorLine = static_cast<unsigned long>(XML_GetCurrentLineNumber(mParser));
        XML_StopParser(mParser, XML_FALSE);
    }

    // Runs a handler unless the parse already failed (expat may still deliver
    // a few events after being stopped).
    template <class F>
    void Guarded(F&& handler) noexcept
    {
        if (!mError.empty())
            return;
        try
        {
            handler();
        }
        catch (const std::exception& e)
        {
            Fail(e.what());
        }
        catch (...)
        {
            Fail("unknown exception");
        }
    }

    static void XMLCALL OnStart(void* user, const XML_Char* name, const XML_Char** attributes)
    {
        Parser& self = *static_cast<Parser*>(user);
        self.Guarded([&] {
            ResourceReader& reader = self.mReader;
            const int element = FindElement(name);
            self.mOpen.push_back(static_cast<std::int8_t>(element));
            // Only the root's start is skipped; its end is an end like any.
            if (reader.mSkipRoot)
            {
                reader.mSkipRoot = false;
                return;
            }
            if (element != kUnknownElement)
                self.CollectAttributes(element, attributes);
            struct Clear
            {
                Slots& slots;
                ~Clear() { slots.Clear(); }
            } clear{self.mSlots};
            reader.StartElement(element, self.mSlots);
            self.UpdateTextHandler();
        });
    }

    static void XMLCALL OnEnd(void* user, const XML_Char* name)
    {
        Parser& self = *static_cast<Parser*>(user);
        self.Guarded([&] {
            // The element that ends is the one that started last: no need to
            // look its name up again.
            int element = kUnknownElement;
            if (!self.mOpen.empty())
            {
                element = self.mOpen.back();
                self.mOpen.pop_back();
            }
            else
                element = FindElement(name);
            self.mReader.EndElement(element);
            self.UpdateTextHandler();
        });
    }

    // Skins list an element's attributes in much the same order every time:
    // the attribute found at a position last time is tried first there.
    void CollectAttributes(int element, const XML_Char** attributes)
    {
        std::array<std::int8_t, kPredicted>& predicted = mPredicted[static_cast<std::size_t>(element)];
        const NameIndex<kAttributeCount, 256>& index = AttributeIndex();
        for (std::size_t i = 0; attributes[2 * i] != nullptr; ++i)
        {
            const char* name = attributes[2 * i];
            int attribute = i < kPredicted ? predicted[i] : -1;
            if (attribute < 0 || std::strcmp(name, kAttributeNames[static_cast<std::size_t>(attribute)].data()) != 0)
            {
                attribute = index.Find(name);
                if (i < kPredicted)
                    predicted[i] = static_cast<std::int8_t>(attribute);
            }
            mSlots.Set(attribute, attributes[2 * i + 1]);
        }
    }

    // Character data is reported only while the reader takes it: most of a
    // skin's text is the white space between elements.
    void UpdateTextHandler()
    {
        const bool wanted = mReader.mStringTableMode ? mReader.mCollecting : mReader.mInCreateParam;
        if (wanted == mTextHandlerSet)
            return;
        XML_SetCharacterDataHandler(mParser, wanted ? &Parser::OnText : nullptr);
        mTextHandlerSet = wanted;
    }

    static void XMLCALL OnText(void* user, const XML_Char* text, int length)
    {
        Parser& self = *static_cast<Parser*>(user);
        self.Guarded([&] { self.mReader.CharacterData(text, length > 0 ? static_cast<std::size_t>(length) : 0); });
    }

    // An internal subset could declare entities that expand to any size, and
    // attribute defaults that change what the document says: none is taken.
    static void XMLCALL OnDoctype(void* user, const XML_Char*, const XML_Char*, const XML_Char*, int hasInternalSubset)
    {
        if (hasInternalSubset)
            static_cast<Parser*>(user)->Fail("internal subset not allowed");
    }

    static void XMLCALL OnEntityDecl(void* user, const XML_Char*, int, const XML_Char*, int, const XML_Char*,
                                     const XML_Char*, const XML_Char*, const XML_Char*)
    {
        static_cast<Parser*>(user)->Fail("entity declaration not allowed");
    }

    static constexpr std::size_t kPredicted = 64;
    static_assert(kAttributeCount < 128, "attribute indices fit the prediction table");

    ResourceReader& mReader;
    XML_Parser mParser;
    Slots mSlots;
    // The elements open, innermost last.
    std::vector<std::int8_t> mOpen;
    bool mTextHandlerSet = false;
    std::array<std::array<std::int8_t, kPredicted>, kElementCount> mPredicted = MakePredictions();

    static std::array<std::array<std::int8_t, kPredicted>, kElementCount> MakePredictions()
    {
        std::array<std::array<std::int8_t, kPredicted>, kElementCount> table;
        for (auto& row : table)
            row.fill(-1);
        return table;
    }
    std::string mError;
    unsigned long mErrorLine = 0;
};

ResourceReader::ResourceReader(const Text& applicationName) : mModel(applicationName) {}

ResourceReader::~ResourceReader() = default;

std::optional<std::string> ResourceReader::ReadFile(const Text& path)
{
    const char* name = path.GetCString();
    if (name == nullptr || *name == '\0')
        return std::nullopt;
    // Non-blocking, so that a FIFO put in a file's place cannot hang the
    // start-up; only regular files are read.
    const int fd = ::open(name, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return std::nullopt;
    struct Closer
    {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat info;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size < 0 ||
        static_cast<std::uint64_t>(info.st_size) > kMaxFileSize)
        return std::nullopt;
    std::string text(static_cast<std::size_t>(info.st_size), '\0');
    std::size_t done = 0;
    while (done < text.size())
    {
        const ssize_t got = ::read(fd, text.data() + done, text.size() - done);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return std::nullopt;
        if (got == 0)
            break; // the file shrank meanwhile: what is there is the file
        done += static_cast<std::size_t>(got);
    }
    text.resize(done);
    return text;
}

VxRESULT ResourceReader::LoadStringTables(const Text& applicationPath, const Text& frameworkPath, std::int32_t lcid)
{
    // Each file is checked and read when its turn comes: the application
    // file's tables stay even when the framework path is refused.
    CheckResourcePath(applicationPath);
    const std::optional<std::string> application = ReadFile(applicationPath);
    mSource = applicationPath.GetCString();
    ReadApplicationStrings(View(application), lcid);
    CheckResourcePath(frameworkPath);
    const std::optional<std::string> framework = ReadFile(frameworkPath);
    mSource = frameworkPath.GetCString();
    ReadFrameworkStrings(View(framework));
    mSource.clear();
    return VXR_OK;
}

VxRESULT ResourceReader::ReadStringTables(std::optional<std::string_view> application,
                                          std::optional<std::string_view> framework, std::int32_t lcid)
{
    ReadApplicationStrings(application, lcid);
    ReadFrameworkStrings(framework);
    return VXR_OK;
}

void ResourceReader::ReadApplicationStrings(std::optional<std::string_view> text, std::int32_t lcid)
{
    if (!text)
        VX_ASSERT_FALSE(); // unreadable: read as an empty file
    mModel.selectedLocale = lcid;
    ParseStringTable(text);
    if (mMatchedLocales != 0)
        return;
    // The primary language, except for the Chinese locales that share the
    // traditional script.
    mModel.selectedLocale = (lcid == 0x0404 || lcid == 0x0C04 || lcid == 0x1404) ? 0x7C04 : (lcid & 0xFF);
    ParseStringTable(text);
    if (mMatchedLocales != 0)
        return;
    VX_ASSERT_FALSE();
    mModel.selectedLocale = 9;
    ParseStringTable(text);
}

void ResourceReader::ReadFrameworkStrings(std::optional<std::string_view> text)
{
    if (!text)
        VX_ASSERT_FALSE();
    ParseStringTable(text);
    if (mMatchedLocales != 0)
        return;
    VX_ASSERT_FALSE();
    mModel.selectedLocale = 9;
    ParseStringTable(text);
}

void ResourceReader::ParseStringTable(std::optional<std::string_view> text)
{
    mStringTableMode = true;
    mCollecting = false;
    mCurrentText = nullptr;
    mPendingText.clear();
    mMatchedLocales = 0;
    // An unreadable file has nothing to give; its parse is an empty one.
    if (text)
        ParseResource(text->empty() ? "" : text->data(), text->size());
    FlushText();
    mCollecting = false;
    mCurrentText = nullptr;
}

VxRESULT ResourceReader::LoadSkins(const Text& path)
{
    CheckResourcePath(path);
    VxRESULT result = VXR_E_FAIL;
    try
    {
        mSource = path.GetCString();
        const std::optional<std::string> text = ReadFile(path);
        result = ReadSkins(View(text));
    }
    catch (const std::exception& e)
    {
        DebugTracer::Get().Trace(1, "Resource %s: %s", path.GetCString(), e.what());
        result = VXR_E_FAIL;
    }
    mSource.clear();
    mModel.currentSkinIndex = 0;
    return result;
}

VxRESULT ResourceReader::ReadSkins(std::optional<std::string_view> text)
{
    mStringTableMode = false;
    mInCreateParam = false;
    mInLooks = false;
    mCurrentDescriptor = nullptr;
    VxRESULT result = VXR_E_FAIL;
    if (text)
        result = ParseResource(text->empty() ? "" : text->data(), text->size());
    else
        DebugTracer::Get().Trace(1, "Resource %s: cannot be read", mSource.c_str());
    mModel.currentSkinIndex = 0;
    return result;
}

VxRESULT ResourceReader::ParseResource(const char* buffer, std::size_t length)
{
    mSkipRoot = true;
    if (buffer == nullptr)
    {
        buffer = "";
        length = 0;
    }
    // A caller's zero-terminated text: never read further than the largest
    // document taken.
    if (length == 0)
        length = ::strnlen(buffer, kMaxFileSize + 1);
    Parser parser(*this);
    const VxRESULT result = parser.Parse(buffer, length);
    // A document that ends (or breaks off) inside a text keeps what it gave.
    FlushText();
    return result;
}

void ResourceReader::OnStartElement(const Text& name, const Attributes& attributes)
{
    if (mSkipRoot)
    {
        mSkipRoot = false;
        return;
    }
    Slots slots;
    const int element = FindElement(name.GetCString());
    if (element != kUnknownElement)
    {
        const NameIndex<kAttributeCount, 256>& index = AttributeIndex();
        for (const auto& [attribute, value] : attributes)
            slots.Set(index.Find(attribute.GetCString()), value.GetCString());
    }
    StartElement(element, slots);
}

void ResourceReader::OnEndElement(const Text& name)
{
    EndElement(FindElement(name.GetCString()));
}

void ResourceReader::OnCharacterData(const Text& text)
{
    CharacterData(text.GetCString(), static_cast<std::size_t>(text.GetLength()));
}

void ResourceReader::StartElement(int element, const Slots& slots)
{
    if (mStringTableMode)
    {
        switch (element)
        {
        case kApplication:
            OnApplication(slots);
            break;
        case kStringTable:
            OnStringTable(slots);
            break;
        case kString:
            OnString(slots);
            break;
        case kLocale:
            OnLocale(slots);
            break;
        default:
            break;
        }
        return;
    }
    switch (element)
    {
    case kApplication:
        OnApplication(slots);
        break;
    case kSkins:
    case kParts:
    case kColorizers:
        break;
    case kSkin:
        OnSkin(slots);
        break;
    case kFontLocale:
        if (const char* lcid = slots.Get(aLCID))
            mFontLocale = ReadNumber(lcid);
        break;
    case kFontXLat:
        OnFontXLat(slots);
        break;
    case kSubControl:
        OnSubControl(slots);
        break;
    case kCreateParamList:
        mCurrentCreateParams = new LStringTable();
        break;
    case kCreateParam:
        OnCreateParam(slots);
        break;
    case kLookList:
        OnLookList(slots);
        break;
    case kLookLists:
        mCurrentDescriptor = nullptr;
        break;
    case kLook:
        OnLook(slots);
        break;
    case kLooks:
        mInLooks = true;
        break;
    case kClientPart:
        OnClientPart(slots);
        break;
    case kTextProperties:
        OnTextProperties(slots);
        break;
    case kNonClientParts:
        mNonClientCounter = -1;
        break;
    case kNonClientPart:
        OnNonClientPart(slots);
        break;
    case kPart:
        OnPart(slots);
        break;
    case kColorizer:
        OnColorizer(slots);
        break;
    default:
        // Unknown in a skin file, or a string-table element out of place.
        VX_ASSERT_FALSE();
        break;
    }
}

void ResourceReader::EndElement(int element)
{
    if (mStringTableMode)
    {
        StopCollecting();
        return;
    }
    switch (element)
    {
    case kSubControl:
        OnEndSubControl();
        break;
    case kSkin:
        OnEndSkin();
        break;
    case kCreateParamList:
        if (mCurrentDescriptor == nullptr)
            VX_ASSERT_FALSE();
        else
            mCurrentDescriptor->SetCreateParams(mCurrentCreateParams);
        break;
    case kCreateParam:
        mInCreateParam = false;
        break;
    case kLooks:
        mInLooks = false;
        break;
    default:
        break;
    }
}

void ResourceReader::CharacterData(const char* text, std::size_t length)
{
    if (mStringTableMode)
    {
        if (mCollecting && mCurrentText != nullptr)
            mPendingText.append(text, length);
        return;
    }
    if (!mInCreateParam)
        return;
    if (mCurrentCreateParams.IsNull())
    {
        VX_ASSERT_FALSE();
        return;
    }
    // Each piece expat delivers replaces the last: a text split by a reference
    // or a line end keeps only its last piece.
    mCurrentCreateParams->Set(mCurrentId, Text(text, static_cast<std::int32_t>(length)));
}

void ResourceReader::FlushText()
{
    if (mCurrentText != nullptr && !mPendingText.empty())
        mCurrentText->Append(Text(mPendingText.c_str(), static_cast<std::int32_t>(mPendingText.size())));
    mPendingText.clear();
}

void ResourceReader::StopCollecting()
{
    FlushText();
    mCollecting = false;
}

const ResourceReader::Text& ResourceReader::Intern(const char* text)
{
    const auto found = mInterned.find(std::string_view(text));
    if (found != mInterned.end())
        return found->second;
    mInternScratch = Text(text);
    if (mInterned.size() >= kMaxInterned)
        return mInternScratch;
    // The key views the text's own buffer, which no one writes: copies of an
    // interned text share it.
    const Text& interned = mInternScratch;
    return mInterned
        .emplace(std::string_view(interned.GetCString(), static_cast<std::size_t>(interned.GetLength())), interned)
        .first->second;
}

void ResourceReader::OnApplication(const Slots& slots)
{
    const char* name = slots.Required(aName);
    if (name == nullptr)
    {
        mModel.applicationName = Text();
        return;
    }
    if (!(mModel.applicationName == name))
        mModel.applicationName = Text(name);
}

void ResourceReader::OnStringTable(const Slots& slots)
{
    const char* id = slots.Required(aID);
    mCurrentTable = &mModel.stringTables[Text(id != nullptr ? id : "")];
}

void ResourceReader::OnString(const Slots& slots)
{
    if (const char* id = slots.Required(aID))
        mCurrentId = Intern(id);
}

void ResourceReader::OnLocale(const Slots& slots)
{
    const char* lcid = slots.Required(aLCID);
    if (lcid == nullptr || ReadNumber(lcid) != mModel.selectedLocale)
        return;
    ++mMatchedLocales;
    // A text outside any table has nowhere to go.
    if (mCurrentTable == nullptr)
    {
        VX_ASSERT_FALSE();
        return;
    }
    FlushText();
    mCurrentText = &(*mCurrentTable)[mCurrentId];
    mCollecting = true;
}

void ResourceReader::OnSkin(const Slots& slots)
{
    // A skin needs a name; one without is kept under the empty name.
    const char* name = slots.Required(aName);
    // A control's skin is often named after it: share the text then.
    const bool ownersName = name != nullptr && mCurrentDescriptor != nullptr && mCurrentDescriptor->GetName() == name;
    const RCPtr<LSkinDescriptor> skin(
        new LSkinDescriptor(ownersName ? mCurrentDescriptor->GetName() : Text(name != nullptr ? name : "")));
    if (mCurrentDescriptor == nullptr)
    {
        const RCPtr<LControlDescriptor> root(new LControlDescriptor("Application", mModel.applicationName, nullptr));
        const VxRESULT index = mModel.skinRoots.Add(root);
        if (Failed(index))
            throw std::bad_alloc();
        mCurrentDescriptor = root.Get();
        mModel.currentSkinIndex = index;
        if (const char* fontName = slots.Get(aFontName))
            skin->fontName = Text(fontName);
        if (const char* fontSize = slots.Get(aFontSize))
            skin->fontSize = ReadFloat(fontSize);
        if (const char* fontStyle = slots.Get(aFontStyle))
            skin->fontStyle = ReadNumber(fontStyle);
        mFontTranslations.clear();
    }
    else
    {
        skin->fontInheritsFromParent = mPendingFont.inheritsFromParent;
        skin->fontSizeIsRelative = mPendingFont.sizeIsRelative;
        skin->fontSize = mPendingFont.size;
        skin->fontStyle = mPendingFont.style;
        const auto translation = mFontTranslations.find(mPendingFont.name);
        if (translation != mFontTranslations.end())
            skin->fontName = translation->second;
        else if (!mPendingFont.name.IsEmpty())
            skin->fontName = mPendingFont.name;
        if (const char* lookList = slots.Get(aLookList))
        {
            const auto list = mModel.lookLists.find(lookList);
            if (list != mModel.lookLists.end())
                skin->lookList = list->second;
        }
    }
    mCurrentDescriptor->SetSkin(skin);
}

void ResourceReader::OnFontXLat(const Slots& slots)
{
    if (mFontLocale != mModel.selectedLocale)
        return;
    // Outside any skin there is no font to translate, and the next skin
    // starts a new translation map.
    if (mCurrentDescriptor == nullptr)
    {
        VX_ASSERT_FALSE();
        return;
    }
    const char* name = slots.Get(aName);
    const char* translation = slots.Get(aXLat);
    const Text from(name != nullptr ? name : "");
    const Text to(translation != nullptr ? translation : "");
    mFontTranslations.emplace(from, to);
    const RCPtr<LSkinDescriptor>& skin = mCurrentDescriptor->GetSkin();
    if (skin.IsNull())
    {
        VX_ASSERT_FALSE();
        return;
    }
    if (skin->fontName == from)
        skin->fontName = to;
}

void ResourceReader::OnSubControl(const Slots& slots)
{
    const char* className = slots.Required(aClass);
    const char* name = slots.Required(aName);
    if (className == nullptr || name == nullptr)
        VX_THROW(std::runtime_error, "Bad Subcontrol Element");
    // Outside any skin there is no control to add it to.
    if (mCurrentDescriptor == nullptr)
    {
        VX_ASSERT_FALSE();
        return;
    }
    int depth = 0;
    for (const LControlDescriptor* d = mCurrentDescriptor; d != nullptr; d = d->GetParent())
        ++depth;
    if (depth > kMaxControlDepth)
        VX_THROW(std::runtime_error, "Subcontrols nested too deeply");

    LControlDescriptor* parent = mCurrentDescriptor;
    const RCPtr<LControlDescriptor> descriptor(new LControlDescriptor(Intern(className), Text(name), parent));
    if (Failed(parent->AddChild(descriptor)))
        throw std::bad_alloc();
    mCurrentDescriptor = descriptor.Get();
    const RCPtr<LLayoutDescriptor> layout(new LLayoutDescriptor());
    descriptor->SetLayout(layout);
    ReadLayout(slots, *layout, parent->GetClassName() == "Application");
    ReadPendingFont(slots);
}

namespace
{
// The fields of one axis of a layout descriptor.
struct AxisFields
{
    float& anchor;
    bool& docked;
    std::int32_t& positionReference;
    Text& positionName;
    float& positionRel;
    double& positionAbs;
    std::int32_t& sizeReference;
    Text& sizeName;
    float& sizeRel;
    double& sizeAbs;
    std::uint8_t& minReference;
    Text& minName;
    float& minRel;
    double& minAbs;
    std::uint8_t& maxReference;
    Text& maxName;
    float& maxRel;
    double& maxAbs;
};

AxisFields Axis(LLayoutDescriptor& l, int axis)
{
    if (axis == 0)
        return {l.XPlacementAnchor, l.XIsDocked,    l.XPositionReference, l.XPositionControlName,
                l.XPositionRel,     l.XPositionAbs, l.XSizeReference,     l.XSizeControlName,
                l.XSizeRel,         l.XSizeAbs,     l.XMinSizeReference,  l.XMinSizeControlName,
                l.XMinSizeRel,      l.XMinSizeAbs,  l.XMaxSizeReference,  l.XMaxSizeControlName,
                l.XMaxSizeRel,      l.XMaxSizeAbs};
    return {l.YPlacementAnchor, l.YIsDocked,    l.YPositionReference, l.YPositionControlName,
            l.YPositionRel,     l.YPositionAbs, l.YSizeReference,     l.YSizeControlName,
            l.YSizeRel,         l.YSizeAbs,     l.YMinSizeReference,  l.YMinSizeControlName,
            l.YMinSizeRel,      l.YMinSizeAbs,  l.YMaxSizeReference,  l.YMaxSizeControlName,
            l.YMaxSizeRel,      l.YMaxSizeAbs};
}

bool Is(const char* text, const char* word) noexcept
{
    return std::strcmp(text, word) == 0;
}

void ReadPositionReference(const char* text, std::int32_t& reference, Text& name)
{
    if (Is(text, "Parent") || Is(text, "Screen"))
        reference = PositionReference::Parent;
    else if (Is(text, "Client") || Is(text, "Active Window"))
        reference = PositionReference::Client;
    else
    {
        reference = PositionReference::NamedControl;
        name = Text(text);
    }
}

void ReadSizeReference(const char* text, std::int32_t& reference, Text& name)
{
    if (Is(text, "Parent") || Is(text, "Screen"))
        reference = SizeReference::Parent;
    else if (Is(text, "Client") || Is(text, "Active Window"))
        reference = SizeReference::Client;
    else if (Is(text, "Self"))
        reference = SizeReference::Self;
    else
    {
        reference = SizeReference::NamedControl;
        name = Text(text);
    }
}

void ReadLimitReference(const char* text, std::uint8_t& reference, Text& name)
{
    if (Is(text, "Self"))
        reference = LimitReference::Self;
    else
    {
        reference = LimitReference::NamedControl;
        name = Text(text);
    }
}

std::int32_t ReadResizeType(const char* text)
{
    if (Is(text, "Stretch"))
        return LVisualPartDescriptor::kStretch;
    if (Is(text, "Tile"))
        return LVisualPartDescriptor::kTile;
    if (Is(text, "Center"))
        return LVisualPartDescriptor::kCenter;
    VX_ASSERT_FALSE();
    return LVisualPartDescriptor::kStretch;
}

bool IsInLayoutOrder(const RCPtrArray<LControlDescriptor>& children)
{
    const LControlDescriptor::LayoutLessFunctor less;
    for (std::uint32_t i = 1; i < children.GetCount(); ++i)
        if (less(children[i], children[i - 1]))
            return false;
    return true;
}

const RCPtr<LVisualPartDescriptor>* FindPart(const ResourceModel::Registry<RCPtr<LVisualPartDescriptor>>& parts,
                                             const char* name)
{
    const auto part = parts.find(name);
    return part != parts.end() ? &part->second : nullptr;
}
} // namespace

void ResourceReader::ReadLayout(const Slots& slots, LLayoutDescriptor& layout, bool topLevel)
{
    if (const char* v = slots.Required(aClipToParent))
        layout.ClipToParent = ReadFlag(v);
    if (const char* v = slots.Required(aZ_Order))
        layout.Z_Order = ReadDecimal(v);
    // A top-level control takes no focus order from the skin and is always
    // visible.
    if (!topLevel)
    {
        if (const char* v = slots.Required(aTabStop))
            layout.TabStop = ReadDecimal(v);
    }
    if (const char* v = slots.Required(aLayoutOrder))
        layout.LayoutOrder = ReadNumber(v);
    if (!topLevel)
    {
        if (const char* v = slots.Required(aIsVisible))
            layout.IsVisible = ReadFlag(v);
    }
    for (int axis = 0; axis < 2; ++axis)
    {
        AxisFields f = Axis(layout, axis);
        if (const char* v = slots.Required(aXPlacementAnchor + axis))
            f.anchor = ReadFloat(v);
        if (const char* v = slots.Required(aXIsDocked + axis))
            f.docked = ReadFlag(v);
        if (const char* v = slots.Required(aXPositionToControl + axis))
            ReadPositionReference(v, f.positionReference, f.positionName);
        if (const char* v = slots.Required(aXPositionRel + axis))
            f.positionRel = ReadFloat(v);
        if (const char* v = slots.Required(aXPositionAbs + axis))
            f.positionAbs = ReadDecimal(v);
        if (const char* v = slots.Required(aXSizeToControl + axis))
            ReadSizeReference(v, f.sizeReference, f.sizeName);
        if (const char* v = slots.Required(aXSizeRel + axis))
            f.sizeRel = ReadFloat(v);
        if (const char* v = slots.Required(aXSizeAbs + axis))
            f.sizeAbs = ReadDecimal(v);
        if (const char* v = slots.Required(aXMinSizeToControl + axis))
            ReadLimitReference(v, f.minReference, f.minName);
        if (const char* v = slots.Required(aXMinSizeRel + axis))
            f.minRel = ReadFloat(v);
        if (const char* v = slots.Required(aXMinSizeAbs + axis))
            f.minAbs = ReadDecimal(v);
        if (const char* v = slots.Required(aXMaxSizeToControl + axis))
            ReadLimitReference(v, f.maxReference, f.maxName);
        if (const char* v = slots.Required(aXMaxSizeRel + axis))
            f.maxRel = ReadFloat(v);
        if (const char* v = slots.Required(aXMaxSizeAbs + axis))
            f.maxAbs = ReadDecimal(v);
    }
    // A new layout's decoration is empty already.
    if (const char* v = slots.Required(aTextDecoration); v != nullptr && *v != '\0')
        layout.TextDecoration = Text(v);
    if (const char* v = slots.Get(aTextOverflowXType))
    {
        if (Is(v, "Clip"))
            layout.TextOverflowXType = TextOverflowType::Clip;
        else if (Is(v, "Expand"))
            layout.TextOverflowXType = TextOverflowType::Expand;
        else if (Is(v, "Wrap"))
            layout.TextOverflowXType = TextOverflowType::Wrap;
    }
    // Text wraps only horizontally.
    if (const char* v = slots.Get(aTextOverflowYType))
    {
        if (Is(v, "Clip"))
            layout.TextOverflowYType = TextOverflowType::Clip;
        else if (Is(v, "Expand"))
            layout.TextOverflowYType = TextOverflowType::Expand;
    }
}

void ResourceReader::ReadPendingFont(const Slots& slots)
{
    mPendingFont.inheritsFromParent = ReadFlag(slots.Get(aFontInheritsFromParent));
    mPendingFont.sizeIsRelative = ReadFlag(slots.Get(aFontSizeIsRelative));
    const char* name = slots.Get(aFontName);
    if (name != nullptr && *name != '\0')
        mPendingFont.name = Text(name);
    else if (!mPendingFont.name.IsEmpty())
        mPendingFont.name.Empty();
    if (const char* size = slots.Get(aFontSize))
        mPendingFont.size = ReadFloat(size);
    else
    {
        mPendingFont.size = 0.0f;
        mPendingFont.sizeIsRelative = false;
    }
    const char* style = slots.Get(aFontStyle);
    mPendingFont.style = style != nullptr ? ReadNumber(style) : -1;
}

void ResourceReader::OnCreateParam(const Slots& slots)
{
    if (const char* id = slots.Required(aID))
    {
        mCurrentId = Intern(id);
        mInCreateParam = true;
    }
}

void ResourceReader::OnLookList(const Slots& slots)
{
    const char* name = slots.Required(aName);
    const char* numLooks = slots.Required(aNumLooks);
    if (name == nullptr || numLooks == nullptr)
        return;
    // The control whose skin takes the list; a control that has no skin yet
    // has nothing to take it.
    LSkinDescriptor* skin = nullptr;
    if (mCurrentDescriptor != nullptr)
    {
        skin = mCurrentDescriptor->GetSkin().Get();
        if (skin == nullptr)
            VX_ASSERT_FALSE();
    }
    const auto existing = mModel.lookLists.find(name);
    if (existing != mModel.lookLists.end())
    {
        if (skin != nullptr)
            skin->lookList = existing->second;
        mCurrentLookList = nullptr;
        return;
    }
    const std::int32_t count = ReadNumber(numLooks);
    if (count < 0 || count > kMaxLooks)
    {
        VX_ASSERT_FALSE();
        return;
    }
    const RCPtr<LookList> list(new LookList(static_cast<std::uint32_t>(count)));
    mModel.lookLists.emplace(Text(name), list);
    mCurrentLookList = list;
    if (skin != nullptr)
        skin->lookList = list;
}

void ResourceReader::OnLook(const Slots& slots)
{
    if (mInLooks)
    {
        const char* name = slots.Required(aName);
        if (name == nullptr)
            return;
        const Text lookName(name);
        const RCPtr<LLookDescriptor> look = LLookDescriptor::Create(lookName);
        if (look.IsNull())
            throw std::bad_alloc();
        mCurrentLook = look;
        mModel.looks.emplace(lookName, look);
        return;
    }
    if (mCurrentLookList.IsNull())
        return;
    const char* name = slots.Required(aName);
    const char* index = slots.Required(aIndex);
    if (name == nullptr || index == nullptr)
        return;
    const auto look = mModel.looks.find(name);
    if (look == mModel.looks.end())
    {
        VX_ASSERT_FALSE();
        return;
    }
    const std::int32_t position = ReadDecimal(index);
    if (position < 0 || static_cast<std::uint32_t>(position) >= mCurrentLookList->GetCount())
    {
        VX_ASSERT_FALSE();
        return;
    }
    (*mCurrentLookList)[static_cast<std::uint32_t>(position)] = look->second;
}

void ResourceReader::OnClientPart(const Slots& slots)
{
    if (mCurrentLook.IsNull())
    {
        VX_ASSERT_FALSE();
        return;
    }
    if (!slots.AllPresent(std::array<int, 5>{aName, aOffsetLeft, aOffsetTop, aOffsetRight, aOffsetBottom}))
        return;
    const RCPtr<LVisualPartDescriptor>* part = FindPart(mModel.visualParts, slots.Get(aName));
    if (part == nullptr)
        return;
    DockInfo dock;
    dock.edgeMask = DockInfo::kLeft | DockInfo::kTop | DockInfo::kRight | DockInfo::kBottom;
    dock.left = ReadNumber(slots.Get(aOffsetLeft));
    dock.top = ReadNumber(slots.Get(aOffsetTop));
    dock.right = ReadNumber(slots.Get(aOffsetRight));
    dock.bottom = ReadNumber(slots.Get(aOffsetBottom));
    mCurrentLook->SetClientPart(new LDockedPart(*part, dock));
}

void ResourceReader::OnTextProperties(const Slots& slots)
{
    if (mCurrentLook.IsNull())
    {
        VX_ASSERT_FALSE();
        return;
    }
    if (!slots.AllPresent(std::array<int, 11>{aTextLeftRel, aTextLeftAbs, aTextRightRel, aTextRightAbs, aTextHAlign,
                                              aTextTopRel, aTextTopAbs, aTextBottomRel, aTextBottomAbs, aTextVAlign,
                                              aTextForegroundPart}))
        return;
    const RCPtr<LVisualPartDescriptor>* part = FindPart(mModel.visualParts, slots.Get(aTextForegroundPart));
    if (part == nullptr)
        return;
    LLookDescriptor::TextArea area;
    area.leftRel = ReadFloat(slots.Get(aTextLeftRel));
    area.leftAbs = ReadNumber(slots.Get(aTextLeftAbs));
    area.rightRel = ReadFloat(slots.Get(aTextRightRel));
    area.rightAbs = ReadNumber(slots.Get(aTextRightAbs));
    area.horizontalAlignment = ReadFloat(slots.Get(aTextHAlign));
    area.topRel = ReadFloat(slots.Get(aTextTopRel));
    area.topAbs = ReadNumber(slots.Get(aTextTopAbs));
    area.bottomRel = ReadFloat(slots.Get(aTextBottomRel));
    area.bottomAbs = ReadNumber(slots.Get(aTextBottomAbs));
    area.verticalAlignment = ReadFloat(slots.Get(aTextVAlign));
    mCurrentLook->SetTextArea(area, *part);
}

void ResourceReader::OnNonClientPart(const Slots& slots)
{
    ++mNonClientCounter;
    if (mCurrentLook.IsNull())
    {
        VX_ASSERT_FALSE();
        return;
    }
    const char* name = slots.Required(aName);
    if (name == nullptr)
        return;
    const RCPtr<LVisualPartDescriptor>* part = FindPart(mModel.visualParts, name);
    if (part == nullptr)
    {
        VX_ASSERT_FALSE();
        return;
    }
    DockInfo dock;
    const std::array<int, 4> edges = {aOffsetLeft, aOffsetTop, aOffsetRight, aOffsetBottom};
    const std::array<std::int32_t*, 4> offsets = {&dock.left, &dock.top, &dock.right, &dock.bottom};
    for (std::size_t i = 0; i < edges.size(); ++i)
    {
        if (const char* v = slots.Get(edges[i]))
        {
            dock.edgeMask |= 1u << i;
            *offsets[i] = ReadNumber(v);
        }
    }
    dock.width = ReadNumber(slots.Get(aWidth));
    dock.hasWidth = dock.width > 0;
    dock.height = ReadNumber(slots.Get(aHeight));
    dock.hasHeight = dock.height > 0;
    const std::uint32_t position = mCurrentLook->GetNonClientParts().GetCount();
    if (Failed(mCurrentLook->AddNonClientPart(new LDockedPart(*part, dock))))
        throw std::bad_alloc();
    if (static_cast<std::int64_t>(position) != mNonClientCounter)
        VX_ASSERT_FALSE();
}

void ResourceReader::OnPart(const Slots& slots)
{
    if (!slots.AllPresent(std::array<int, 4>{aName, aWidth, aHeight, aResizeType}))
        return;
    const std::int32_t width = ReadNumber(slots.Get(aWidth));
    const std::int32_t height = ReadNumber(slots.Get(aHeight));
    const std::int32_t resizeType = ReadResizeType(slots.Get(aResizeType));

    BitmapSource image;
    const char* imageFile = slots.Get(aImageFile);
    if (imageFile != nullptr && *imageFile != '\0')
    {
        const char* x = slots.Get(aImageLocX);
        const char* y = slots.Get(aImageLocY);
        if (x == nullptr || y == nullptr)
            VX_ASSERT_FALSE();
        else
            image = {mModel.resourceBase + Text(imageFile).ToLower(), ReadNumber(x), ReadNumber(y), width, height};
    }
    RCPtr<LColorizer> colorizer;
    if (const char* colorizerName = slots.Get(aColorizerName))
    {
        const auto found = mModel.colorizers.find(colorizerName);
        if (found != mModel.colorizers.end())
            colorizer = found->second;
    }
    if (image.file.IsEmpty() && colorizer.IsNull())
    {
        VX_ASSERT_FALSE();
        return;
    }
    const char* alpha = slots.Get(aColorizerAlphaMod);
    const float alphaModulation = alpha != nullptr ? ReadFloat(alpha) : 1.0f;
    BitmapSource mask;
    // An empty mask name is no mask: the resource directory itself is no
    // image.
    const char* maskFile = slots.Get(aColorizerMaskFile);
    if (maskFile != nullptr && *maskFile != '\0')
    {
        const char* x = slots.Get(aMaskLocX);
        const char* y = slots.Get(aMaskLocY);
        if (x == nullptr || y == nullptr)
            VX_ASSERT_FALSE();
        else
            mask = {mModel.resourceBase + Text(maskFile), ReadNumber(x), ReadNumber(y), width, height};
    }
    const Text name(slots.Get(aName));
    const RCPtr<LVisualPartDescriptor> part(new LVisualPartDescriptor(name, image, PointT<std::int32_t>{width, height},
                                                                      resizeType, colorizer, alphaModulation, mask));
    mModel.visualParts.emplace(name, part);
}

void ResourceReader::OnColorizer(const Slots& slots)
{
    if (!slots.AllPresent(std::array<int, 3>{aName, aColorType, aColor}))
        return;
    const char* colorType = slots.Get(aColorType);
    std::int32_t type = LColorizer::kSolid;
    if (Is(colorType, "LinearGradient"))
        type = LColorizer::kLinearGradient;
    else if (Is(colorType, "RadialGradient"))
        type = LColorizer::kRadialGradient;
    const Color color(slots.Get(aColor));
    Color endColor;
    std::array<float, 4> points = {0.0f, 0.0f, 0.0f, 0.0f};
    if (type != LColorizer::kSolid)
    {
        // Read in order up to the first one missing; the end colour counts
        // only when all five are given.
        const char* end = slots.Get(aGradientEndColor);
        bool complete = end != nullptr;
        const std::array<int, 4> coordinates = {aGradientStartX, aGradientStartY, aGradientEndX, aGradientEndY};
        for (std::size_t i = 0; complete && i < coordinates.size(); ++i)
        {
            const char* v = slots.Get(coordinates[i]);
            if (v == nullptr)
                complete = false;
            else
                points[i] = ReadFloat(v);
        }
        if (complete)
            endColor = Color(end);
        else
            VX_ASSERT_FALSE();
    }
    const Text name(slots.Get(aName));
    const RCPtr<LColorizer> colorizer(
        new LColorizer(name, type, color, points[0], points[1], points[2], points[3], endColor));
    mModel.colorizers.emplace(name, colorizer);
}

void ResourceReader::OnEndSubControl()
{
    if (mCurrentDescriptor == nullptr)
        return;
    LControlDescriptor* parent = mCurrentDescriptor->GetParent();
    // A skin root's children keep their order of declaration.  Children
    // already in order (most often all of order 0) need no sort.
    if (parent != nullptr && !IsInLayoutOrder(mCurrentDescriptor->GetChildren()))
        mCurrentDescriptor->SortChildren();
    mCurrentDescriptor = parent;
}

void ResourceReader::OnEndSkin()
{
    if (mCurrentDescriptor == nullptr)
        return;
    const std::int32_t index = mModel.currentSkinIndex;
    if (index >= 0 && static_cast<std::uint32_t>(index) < mModel.skinRoots.GetCount() &&
        mModel.skinRoots[static_cast<std::uint32_t>(index)].Get() == mCurrentDescriptor)
        mCurrentDescriptor = nullptr;
}
} // namespace Vx
