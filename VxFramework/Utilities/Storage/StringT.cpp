#include "VxFramework/Utilities/Storage/StringT.h"

#include "VxFramework/Utilities/DebugTracer.h"
#include "VxFramework/Utilities/Storage/StringCodecs.h"

#include <cctype>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <utility>
#include <vector>

namespace Vx
{
namespace
{
// The most units a string buffer of C can hold, terminator included.
template <class C>
constexpr std::uint32_t kMaxUnits = kMaxBufferSize / sizeof(C);

// Length up to the first 0, reading at most `limit` units.
template <class C>
std::uint32_t BoundedLength(const C* text, std::uint32_t limit)
{
    if constexpr (std::is_same_v<C, char>)
    {
        // The C library's scan reads whole words at a time.
        return static_cast<std::uint32_t>(::strnlen(text, limit));
    }
    else
    {
        std::uint32_t length = 0;
        while (length < limit && text[length] != 0)
            ++length;
        return length;
    }
}

// Whether one of the `count` units is 0.  Reads a word at a time, the last
// word overlapping the one before: for the few units most appends add that is
// a handful of instructions, where a loop per unit or a call into the C
// library costs as much as the rest of the append.
template <class C>
[[gnu::always_inline]] inline bool HasZero(const C* text, std::uint32_t count)
{
    // Each lane of a word is one unit: a lane is 0 exactly when subtracting 1
    // from it borrows into its top bit while that bit was clear.
    constexpr std::uint64_t kOnes = ~std::uint64_t{0} / ((std::uint64_t{1} << (8 * sizeof(C))) - 1);
    constexpr std::uint64_t kTops = kOnes << (8 * sizeof(C) - 1);
    constexpr std::uint32_t kPerWord = sizeof(std::uint64_t) / sizeof(C);
    const auto zeroInWordAt = [text](std::uint32_t index) {
        std::uint64_t word;
        std::memcpy(&word, text + index, sizeof word);
        return ((word - kOnes) & ~word & kTops) != 0;
    };
    if (count < kPerWord)
    {
        for (std::uint32_t i = 0; i < count; ++i)
        {
            if (text[i] == 0)
                return true;
        }
        return false;
    }
    for (std::uint32_t i = 0; i + kPerWord < count; i += kPerWord)
    {
        if (zeroInWordAt(i))
            return true;
    }
    return zeroInWordAt(count - kPerWord);
}

// A zero-filled string buffer of `units` units.
template <class C>
RCPtr<LStringBuffer> NewUnits(std::uint64_t units)
{
    if (units > kMaxUnits<C>)
        throw std::bad_alloc();
    RCPtr<LStringBuffer> buffer =
        LStringBuffer::CreateTyped(static_cast<std::uint32_t>(units * sizeof(C)), 0, kBufferZeroFill);
    if (buffer == nullptr)
        throw std::bad_alloc();
    return buffer;
}

// Number of source units to convert: up to the first 0, at most count (-1:
// no limit).
template <class S>
std::uint32_t SourceLength(const S* text, std::int32_t count)
{
    return BoundedLength(text, count < 0 ? 0xFFFFFFFFu : static_cast<std::uint32_t>(count));
}

// Runs a codec on the source units up to the first 0 (at most count, -1: no
// limit); an empty source gives the target's shared empty buffer.  out is
// left as it was when the buffer cannot be allocated.
template <class S, class Codec>
VxRESULT ConvertText(const S* text, std::int32_t count, const RCPtr<LStringBuffer>& empty, RCPtr<LStringBuffer>& out,
                     Codec codec)
{
    const std::uint32_t length = text == nullptr ? 0 : SourceLength(text, count);
    if (length == 0)
    {
        out = empty;
        return VXR_OK;
    }
    return codec(text, length, out);
}

// The same for a caller that holds any kind of buffer.
template <class S, class Codec>
VxRESULT ConvertText(const S* text, std::int32_t count, const RCPtr<LStringBuffer>& empty, RCPtr<LIBuffer>& out,
                     Codec codec)
{
    RCPtr<LStringBuffer> converted;
    const VxRESULT result = ConvertText(text, count, empty, converted, codec);
    if (converted != nullptr)
        out = converted;
    return result;
}

bool IsBlank(char character)
{
    return character == ' ' || character == '\t' || character == '\r' || character == '\n';
}

bool IsOneOf(char character, const char* set)
{
    return set != nullptr && character != 0 && std::strchr(set, character) != nullptr;
}

// Puts a decimal point before the last `decimals` digits, padding with zeros
// in front so that there are enough; a sign stays in front of the digits.
std::string PlaceDecimalPoint(std::string digits, std::int32_t decimals)
{
    if (decimals <= 0)
        return digits;
    std::string sign;
    if (!digits.empty() && digits[0] == '-')
    {
        sign = "-";
        digits.erase(0, 1);
    }
    const std::size_t wanted = static_cast<std::size_t>(decimals);
    if (digits.size() < wanted)
        digits.insert(0, wanted - digits.size(), '0');
    digits.insert(digits.size() - wanted, ".");
    return sign + digits;
}
} // namespace

// ---- construction and assignment -------------------------------------------

template <class C, class O>
StringT<C, O>::StringT(EmptyTag) : mBuffer(NewUnits<C>(1))
{
    Refresh();
}

template <class C, class O>
const StringT<C, O>& StringT<C, O>::GetEmptyString()
{
    static const StringT* const kEmpty = new StringT(EmptyTag());
    return *kEmpty;
}

template <class C, class O>
StringT<C, O>::StringT() : mBuffer(GetEmptyString().mBuffer)
{
    Refresh();
}

template <class C, class O>
StringT<C, O>::StringT(const C* text, std::int32_t maxLength) : StringT()
{
    Assign(text, maxLength);
}

template <class C, class O>
StringT<C, O>::StringT(const StringT& other) : mBuffer(GetEmptyString().mBuffer)
{
    // A buffer in write mode belongs to its string: copy the text instead.
    if (other.IsBufferExclusive())
        AssignUnits(other.Data(), static_cast<std::uint32_t>(other.GetLength()));
    else
        mBuffer = other.mBuffer;
    Refresh();
}

template <class C, class O>
StringT<C, O>::StringT(const OtherString& other) : StringT()
{
    RCPtr<LStringBuffer> converted;
    VxRESULT result;
    if constexpr (NarrowUnit<C>)
        result = ConvertText(other.Data(), other.GetLength(), GetEmptyString().mBuffer, converted,
                             &StringCodecs::Utf16ToUtf8);
    else
        result = ConvertText(other.Data(), other.GetLength(), GetEmptyString().mBuffer, converted,
                             &StringCodecs::Utf8ToUtf16);
    if (result == VXR_E_OUTOFMEMORY)
        throw std::bad_alloc();
    TakeBuffer(converted);
}

template <class C, class O>
StringT<C, O>::StringT(char character)
    requires NarrowUnit<C>
    : StringT()
{
    if (character != 0)
        AssignUnits(&character, 1);
}

template <class C, class O>
StringT<C, O>::StringT(unsigned short unit)
    requires NarrowUnit<C>
    : StringT()
{
    Assign(&unit, 1);
}

template <class C, class O>
StringT<C, O>::StringT(const unsigned short* text)
    requires NarrowUnit<C>
    : StringT()
{
    Assign(text, kNoLimit);
}

template <class C, class O>
StringT<C, O>& StringT<C, O>::operator=(const StringT& other)
{
    if (this == &other)
        return *this;
    if (IsBufferExclusive() || other.IsBufferExclusive())
        AssignUnits(other.Data(), static_cast<std::uint32_t>(other.GetLength()));
    else
        mBuffer = other.mBuffer;
    Refresh();
    return *this;
}

template <class C, class O>
StringT<C, O>& StringT<C, O>::operator=(const C* text)
{
    Assign(text, kNoLimit);
    return *this;
}

template <class C, class O>
void StringT<C, O>::Assign(const C* text, std::int32_t maxLength)
{
    // A negative maximum compares as a huge unsigned one: no limit.
    const std::uint32_t limit = static_cast<std::uint32_t>(maxLength);
    if (text == nullptr || limit == 0)
    {
        Empty();
        return;
    }
    AssignUnits(text, BoundedLength(text, limit));
}

template <class C, class O>
void StringT<C, O>::AssignUnits(const C* text, std::uint32_t count)
{
    if (count == 0)
    {
        Empty();
        return;
    }
    if (IsBufferExclusive())
    {
        // The writer holds a pointer into this buffer: write in place, no growth.
        const std::uint32_t units = Units();
        if (units == 0)
            return;
        const std::uint32_t kept = count < units - 1 ? count : units - 1;
        C* data = Data();
        std::memmove(data, text, kept * sizeof(C));
        data[kept] = 0;
        data[units - 1] = 0;
    }
    else
    {
        RCPtr<LStringBuffer> buffer = NewUnits<C>(static_cast<std::uint64_t>(count) + 1);
        std::memcpy(buffer->GetData(), text, count * sizeof(C));
        mBuffer = buffer;
    }
    Refresh();
}

template <class C, class O>
void StringT<C, O>::TakeBuffer(const RCPtr<LStringBuffer>& buffer)
{
    if (IsBufferExclusive())
        AssignUnits(static_cast<const C*>(buffer->GetData()), buffer->GetSize() / sizeof(C) - 1);
    else
        mBuffer = buffer;
    Refresh();
}

template <class C, class O>
StringT<C, O> StringT<C, O>::FromUnits(const C* text, std::uint32_t count)
{
    StringT result;
    result.AssignUnits(text, count);
    return result;
}

template <class C, class O>
VxRESULT StringT<C, O>::Assign(const unsigned short* text, std::int32_t maxCount)
    requires NarrowUnit<C>
{
    if (text == nullptr || maxCount == 0 || text[0] == 0)
    {
        Empty();
        return VXR_OK;
    }
    RCPtr<LStringBuffer> converted;
    const VxRESULT result = ConvertText(text, maxCount < 0 ? kNoLimit : maxCount, GetEmptyString().mBuffer, converted,
                                        &StringCodecs::Utf16ToUtf8);
    if (result == VXR_E_OUTOFMEMORY)
        throw std::bad_alloc();
    TakeBuffer(converted);
    return result;
}

template <class C, class O>
void StringT<C, O>::Empty()
{
    if (IsBufferExclusive())
    {
        if (Units() != 0)
            Data()[0] = 0;
    }
    else
    {
        mBuffer = GetEmptyString().mBuffer;
    }
    Refresh();
}

// ---- access and comparison -------------------------------------------------

template <class C, class O>
std::int32_t StringT<C, O>::GetLength() const
{
    const std::uint32_t units = Units();
    if (IsBufferExclusive())
        return static_cast<std::int32_t>(BoundedLength(Data(), units));
    return units == 0 ? 0 : static_cast<std::int32_t>(units - 1);
}

template <class C, class O>
bool StringT<C, O>::IsEmpty() const
{
    if (Units() == 0)
    {
        VX_ASSERT_FALSE();
        return true;
    }
    return Data()[0] == 0;
}

template <class C, class O>
bool StringT<C, O>::operator==(const StringT& other) const
{
    if (mBuffer == other.mBuffer)
        return true;
    const std::int32_t length = GetLength();
    return length == other.GetLength() &&
           std::memcmp(Data(), other.Data(), static_cast<std::size_t>(length) * sizeof(C)) == 0;
}

template <class C, class O>
bool StringT<C, O>::operator==(const C* text) const
{
    if (text == nullptr || text[0] == 0)
        return IsEmpty();
    const std::int32_t length = GetLength();
    const C* data = Data();
    // Stops at the first difference, so the other text is never read past
    // its terminator.
    for (std::int32_t i = 0; i < length; ++i)
    {
        if (text[i] != data[i])
            return false;
    }
    return text[length] == 0;
}

template <class C, class O>
bool StringT<C, O>::operator<(const StringT& other) const
{
    if (Data() == other.Data())
        return false;
    using Unsigned = std::make_unsigned_t<C>;
    const std::uint32_t length = static_cast<std::uint32_t>(GetLength());
    const std::uint32_t otherLength = static_cast<std::uint32_t>(other.GetLength());
    const C* a = Data();
    const C* b = other.Data();
    const std::uint32_t common = length < otherLength ? length : otherLength;
    for (std::uint32_t i = 0; i < common; ++i)
    {
        if (a[i] != b[i])
            return static_cast<Unsigned>(a[i]) < static_cast<Unsigned>(b[i]);
    }
    return length < otherLength;
}

template <class C, class O>
std::int32_t StringT<C, O>::Compare(const StringT& other, bool caseSensitive) const
    requires NarrowUnit<C>
{
    if (Data() == other.Data())
        return 0;
    // Through copies, so that a buffer in write mode is read only up to its end.
    const std::string a(Data(), static_cast<std::size_t>(GetLength()));
    const std::string b(other.Data(), static_cast<std::size_t>(other.GetLength()));
    return CompareCStrings(a.c_str(), b.c_str(), caseSensitive);
}

template <class C, class O>
std::int32_t StringT<C, O>::CompareCStrings(const char* a, const char* b, bool caseSensitive)
    requires NarrowUnit<C>
{
    if (a == nullptr)
        a = "";
    if (b == nullptr)
        b = "";
    if (caseSensitive)
        return std::strcmp(a, b);
    for (;; ++a, ++b)
    {
        const int left = std::tolower(static_cast<unsigned char>(*a));
        const int right = std::tolower(static_cast<unsigned char>(*b));
        if (left != right || left == 0)
            return static_cast<unsigned char>(left) - static_cast<unsigned char>(right);
    }
}

template <class C, class O>
std::int32_t StringT<C, O>::Find(const char* text) const
    requires NarrowUnit<C>
{
    if (text == nullptr)
        return -1;
    const std::string_view haystack(Data(), static_cast<std::size_t>(GetLength()));
    const std::size_t found = haystack.find(text);
    return found == std::string_view::npos ? -1 : static_cast<std::int32_t>(found);
}

template <class C, class O>
std::int32_t StringT<C, O>::Find(char character, std::int32_t start) const
    requires NarrowUnit<C>
{
    const std::int32_t length = GetLength();
    if (start < 0 || start > length)
    {
        VX_ASSERT_FALSE();
        return -1;
    }
    if (character == 0)
        return -1;
    const void* found = std::memchr(Data() + start, character, static_cast<std::size_t>(length - start));
    return found == nullptr ? -1 : static_cast<std::int32_t>(static_cast<const char*>(found) - Data());
}

template <class C, class O>
std::int32_t StringT<C, O>::ToInt() const
    requires NarrowUnit<C>
{
    const std::string text(Data(), static_cast<std::size_t>(GetLength()));
    // atoi's reading, with out-of-range values held at the int limits instead
    // of overflowing.
    const long long value = std::strtoll(text.c_str(), nullptr, 10);
    if (value > INT_MAX)
        return INT_MAX;
    if (value < INT_MIN)
        return INT_MIN;
    return static_cast<std::int32_t>(value);
}

template <class C, class O>
double StringT<C, O>::ToDouble() const
    requires NarrowUnit<C>
{
    const std::string text(Data(), static_cast<std::size_t>(GetLength()));
    return std::atof(text.c_str());
}

// ---- building --------------------------------------------------------------

template <class C, class O>
void StringT<C, O>::Append(const StringT& other)
{
    const std::uint32_t added = static_cast<std::uint32_t>(other.GetLength());
    if (added == 0)
        return;
    // Most appends go to the only holder of a buffer that has room for the
    // text: write in place, without the general case's calls.
    const std::uint32_t size = mBuffer->GetSize();
    const std::uint64_t bytes = size + static_cast<std::uint64_t>(added) * sizeof(C);
    const C* const source = other.Data();
    if (!IsBufferExclusive() && !mBuffer->IsShared() && bytes <= mBuffer->GetCapacity() && !HasZero(source, added))
    {
        if (mBuffer->Grow(static_cast<std::uint32_t>(bytes)) < 0)
            throw std::bad_alloc();
        C* const data = Data();
        const std::uint32_t position = size / sizeof(C) - 1;
        // The source may be this text: the block stayed where it was.
        std::memmove(data + position, source, added * sizeof(C));
        data[position + added] = 0;
        return;
    }
    AppendGeneral(other, added);
}

template <class C, class O>
[[gnu::noinline]] void StringT<C, O>::AppendGeneral(const StringT& other, std::uint32_t added)
{
    std::uint32_t position = static_cast<std::uint32_t>(GetLength());
    if (IsBufferExclusive())
    {
        const std::uint64_t total = static_cast<std::uint64_t>(position) + added + 1;
        if (total > kMaxUnits<C>)
            throw std::bad_alloc();
        if (mBuffer->Resize(static_cast<std::uint32_t>(total) * static_cast<std::uint32_t>(sizeof(C))) < 0)
            throw std::bad_alloc();
        // Read the source after the resize: it may be this string.
        std::memmove(Data() + position, other.Data(), added * sizeof(C));
        Data()[position + added] = 0;
        Refresh();
        return;
    }

    // The result is read as a C string, as a writer's text is on release: it
    // ends at the first 0 unit.  Text in a buffer with room beyond it holds no
    // 0 before its terminator (only appending, releasing a writer's buffer and
    // the conversions leave room, and each writes C-string text), so this text
    // is scanned only when its buffer is copied or moved anyway: appending
    // stays linear in the appended text.
    const C* const source = other.Data();
    const bool shared = mBuffer->IsShared();
    if (shared || mBuffer->GetCapacity() <= (position + 1) * sizeof(C))
    {
        const std::uint32_t end = BoundedLength(Data(), position);
        if (end < position)
        {
            AssignUnits(Data(), end);
            return;
        }
    }
    if (HasZero(source, added))
    {
        added = BoundedLength(source, added);
        if (added == 0)
            return;
    }
    const std::uint64_t total = static_cast<std::uint64_t>(position) + added + 1;
    if (total > kMaxUnits<C>)
        throw std::bad_alloc();
    if (shared)
    {
        // Copy on write: the other holders keep the buffer as it is.
        RCPtr<LStringBuffer> copy = NewUnits<C>(total);
        C* data = static_cast<C*>(copy->GetData());
        std::memcpy(data, Data(), position * sizeof(C));
        std::memcpy(data + position, source, added * sizeof(C));
        mBuffer = copy;
        Refresh();
        return;
    }
    // The only holder grows its buffer with room to spare; the room lies
    // beyond the buffer's size, which stays the text and its terminator.
    const bool self = other.mBuffer == mBuffer;
    if (mBuffer->Grow(static_cast<std::uint32_t>(total) * static_cast<std::uint32_t>(sizeof(C))) < 0)
        throw std::bad_alloc();
    C* const data = Data();
    // A string appended to itself is read where its text moved.
    std::memmove(data + position, self ? data : source, added * sizeof(C));
    data[position + added] = 0;
    mText = data;
}

template <class C, class O>
void StringT<C, O>::AppendChar(char character)
    requires NarrowUnit<C>
{
    Insert(GetLength(), StringT(character));
}

template <class C, class O>
VxRESULT StringT<C, O>::Insert(std::int32_t index, const StringT& text)
    requires NarrowUnit<C>
{
    const std::int32_t length = GetLength();
    if (index < 0 || index > length)
    {
        VX_ASSERT_FALSE();
        return VXR_E_INVALIDARG;
    }
    if (index == length)
    {
        Append(text);
        return VXR_OK;
    }
    StringT result = index == 0 ? text : Mid(0, index) + text;
    result.Append(Mid(index));
    *this = result;
    return VXR_OK;
}

template <class C, class O>
VxRESULT StringT<C, O>::Insert(std::int32_t index, const char* text, std::int32_t maxLength)
    requires NarrowUnit<C>
{
    if (index < 0 || index > GetLength())
    {
        VX_ASSERT_FALSE();
        return VXR_E_INVALIDARG;
    }
    if (text == nullptr)
        return VXR_OK;
    const std::uint32_t limit = maxLength >= 0 && maxLength < kNoLimit ? static_cast<std::uint32_t>(maxLength) : 0xFFFFFFFFu;
    return Insert(index, FromUnits(text, BoundedLength(text, limit)));
}

template <class C, class O>
VxRESULT StringT<C, O>::Insert(std::int32_t index, const unsigned short* text, std::int32_t count)
    requires NarrowUnit<C>
{
    if (index < 0 || index > GetLength())
    {
        VX_ASSERT_FALSE();
        return VXR_E_INVALIDARG;
    }
    if (text == nullptr || count == 0)
        return VXR_OK;
    StringT converted;
    const VxRESULT result = converted.Assign(text, count < 0 || count > kNoLimit - 1 ? kNoLimit : count);
    if (Failed(result))
        return result;
    return Insert(index, converted);
}

template <class C, class O>
VxRESULT StringT<C, O>::Remove(std::int32_t index, std::int32_t count)
    requires NarrowUnit<C>
{
    const std::int32_t length = GetLength();
    if (index < 0 || count < 0 || index >= length || static_cast<std::int64_t>(index) + count > length)
    {
        VX_ASSERT_FALSE();
        return VXR_E_INVALIDARG;
    }
    if (count == 0)
        return VXR_OK;
    StringT result = Mid(0, index);
    result.Append(Mid(index + count));
    *this = result;
    return VXR_OK;
}

template <class C, class O>
StringT<C, O> StringT<C, O>::Mid(std::int32_t start, std::int32_t count) const
    requires NarrowUnit<C>
{
    const std::int64_t length = GetLength();
    std::int64_t first = start;
    std::int64_t wanted = count;
    const bool toEnd = count < 0;
    if (first < 0)
    {
        first += length;
        if (first < 0)
        {
            // The part before the text is cut off the count; a window that
            // lies wholly before the text is empty.
            if (!toEnd)
            {
                wanted += first;
                if (wanted <= 0)
                    return StringT();
            }
            first = 0;
        }
    }
    if (wanted == 0 || first >= length)
        return StringT();
    if (toEnd || first + wanted > length)
        wanted = length - first;
    return FromUnits(Data() + first, static_cast<std::uint32_t>(wanted));
}

template <class C, class O>
StringT<C, O> StringT<C, O>::Mid(std::int32_t start) const
    requires NarrowUnit<C>
{
    return Mid(start, -1);
}

template <class C, class O>
StringT<C, O> StringT<C, O>::ToLower() const
    requires NarrowUnit<C>
{
    std::string text(Data(), static_cast<std::size_t>(GetLength()));
    for (char& character : text)
        character = static_cast<char>(std::tolower(static_cast<unsigned char>(character)));
    return FromText(text);
}

template <class C, class O>
StringT<C, O> StringT<C, O>::Trim() const
    requires NarrowUnit<C>
{
    const std::uint32_t length = static_cast<std::uint32_t>(GetLength());
    const char* data = Data();
    std::uint32_t first = 0;
    while (first < length && IsBlank(data[first]))
        ++first;
    std::uint32_t end = length;
    while (end > first && IsBlank(data[end - 1]))
        --end;
    return FromUnits(data + first, end - first);
}

template <class C, class O>
StringT<C, O> StringT<C, O>::TrimRight(const char* characters) const
    requires NarrowUnit<C>
{
    std::uint32_t end = static_cast<std::uint32_t>(GetLength());
    const char* data = Data();
    while (end > 0 && IsOneOf(data[end - 1], characters))
        --end;
    return FromUnits(data, end);
}

template <class C, class O>
void StringT<C, O>::ReplaceChars(const char* characters, char replacement)
    requires NarrowUnit<C>
{
    if (replacement == 0)
        return;
    std::string text(Data(), static_cast<std::size_t>(GetLength()));
    for (char& character : text)
    {
        if (IsOneOf(character, characters))
            character = replacement;
    }
    AssignUnits(text.data(), static_cast<std::uint32_t>(text.size()));
}

template <class C, class O>
StringT<C, O> StringT<C, O>::MakeLegalFileName() const
    requires NarrowUnit<C>
{
    StringT result(*this);
    result.ReplaceChars("\\/:*?\"<>|&;,^()", '_');
    return result;
}

template <class C, class O>
VxRESULT StringT<C, O>::CreateDirectoryPath() const
    requires NarrowUnit<C>
{
    const std::string path(Data(), static_cast<std::size_t>(GetLength()));
    auto isDirectory = [](const std::string& candidate) {
        struct stat status;
        return !candidate.empty() && ::stat(candidate.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
    };
    if (isDirectory(path))
        return 1;
    // Each level in turn; levels that exist already are no error.
    for (std::size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1))
        ::mkdir(path.substr(0, slash).c_str(), 0777);
    if (!path.empty())
        ::mkdir(path.c_str(), 0777);
    return isDirectory(path) ? VXR_OK : VXR_E_FAIL;
}

template <class C, class O>
StringT<C, O> StringT<C, O>::Reversed() const
{
    if constexpr (NarrowUnit<C>)
    {
        return StringT(StringT<unsigned short, char>(*this).Reversed());
    }
    else
    {
        std::vector<unsigned short> units(Data(), Data() + GetLength());
        for (std::size_t i = 0, j = units.size(); i + 1 < j; ++i, --j)
            std::swap(units[i], units[j - 1]);
        // Keep each surrogate pair in its order.
        for (std::size_t i = 0; i + 1 < units.size(); ++i)
        {
            if (StringCodecs::IsLowSurrogate(units[i]) && StringCodecs::IsHighSurrogate(units[i + 1]))
            {
                std::swap(units[i], units[i + 1]);
                ++i;
            }
        }
        return FromUnits(units.data(), static_cast<std::uint32_t>(units.size()));
    }
}

template <class C, class O>
C* StringT<C, O>::GetBuffer(std::int32_t size)
{
    if (IsBufferExclusive() || size < 0)
    {
        VX_ASSERT_FALSE();
        return nullptr;
    }
    const std::uint64_t units = size == 0 ? static_cast<std::uint64_t>(GetLength()) + 1 : static_cast<std::uint64_t>(size);
    if (units > kMaxUnits<C>)
        throw std::bad_alloc();
    const std::uint32_t bytes = static_cast<std::uint32_t>(units * sizeof(C));
    if (mBuffer->IsShared())
    {
        RCPtr<LStringBuffer> copy = LStringBuffer::CreateTyped(bytes, 0, kBufferZeroFill);
        if (copy == nullptr)
            VX_THROW(std::runtime_error, "");
        const std::uint32_t kept = mBuffer->GetSize() < bytes ? mBuffer->GetSize() : bytes;
        std::memcpy(copy->GetData(), mBuffer->GetData(), kept);
        mBuffer = copy;
    }
    mBuffer->SetExclusive(true);
    if (mBuffer->Resize(bytes) < 0)
    {
        mBuffer->SetExclusive(false);
        throw std::bad_alloc();
    }
    Data()[units - 1] = 0;
    Refresh();
    return Data();
}

template <class C, class O>
VxRESULT StringT<C, O>::ReleaseBuffer()
{
    if (!IsBufferExclusive())
        return VXR_NOTHING_DONE;
    const std::uint32_t length = static_cast<std::uint32_t>(GetLength());
    if (length > 0)
    {
        // The writer may have filled the buffer without a terminator; the
        // resize then grows it by the terminator's unit.
        if (mBuffer->Resize((length + 1) * static_cast<std::uint32_t>(sizeof(C))) < 0)
            throw std::bad_alloc();
        Data()[length] = 0;
        mBuffer->SetExclusive(false);
    }
    else
    {
        mBuffer->SetExclusive(false);
        mBuffer = GetEmptyString().mBuffer;
    }
    Refresh();
    return VXR_OK;
}

// ---- formatting ------------------------------------------------------------

namespace
{
// vsnprintf into a stack buffer; longer output is cut.
constexpr std::size_t kFormatBytes = StringT<char, unsigned short>::kFormatBufferSize;

[[gnu::format(printf, 2, 0)]] std::uint32_t FormatToBuffer(char (&buffer)[kFormatBytes], const char* format,
                                                           va_list arguments)
{
    if (format == nullptr)
        return 0;
    const int written = std::vsnprintf(buffer, sizeof buffer, format, arguments);
    if (written < 0)
        return 0;
    return static_cast<std::uint32_t>(written) < sizeof buffer ? static_cast<std::uint32_t>(written)
                                                               : static_cast<std::uint32_t>(sizeof buffer - 1);
}
} // namespace

template <class C, class O>
StringT<C, O> StringT<C, O>::Format(const char* format, ...)
    requires NarrowUnit<C>
{
    char buffer[kFormatBufferSize];
    va_list arguments;
    va_start(arguments, format);
    const std::uint32_t length = FormatToBuffer(buffer, format, arguments);
    va_end(arguments);
    return FromUnits(buffer, length);
}

template <class C, class O>
void StringT<C, O>::AssignFormat(const char* format, ...)
    requires NarrowUnit<C>
{
    char buffer[kFormatBufferSize];
    va_list arguments;
    va_start(arguments, format);
    const std::uint32_t length = FormatToBuffer(buffer, format, arguments);
    va_end(arguments);
    AssignUnits(buffer, length);
}

template <class C, class O>
StringT<C, O> StringT<C, O>::FromText(const std::string& text)
    requires NarrowUnit<C>
{
    return FromUnits(text.data(), static_cast<std::uint32_t>(text.size()));
}

template <class C, class O>
StringT<C, O> StringT<C, O>::FormatFixedPoint(int value, std::int32_t decimals)
    requires NarrowUnit<C>
{
    return FromText(PlaceDecimalPoint(std::to_string(value), decimals));
}

template <class C, class O>
StringT<C, O> StringT<C, O>::FormatFixedPoint(unsigned int value, std::int32_t decimals)
    requires NarrowUnit<C>
{
    return FromText(PlaceDecimalPoint(std::to_string(value), decimals));
}

template <class C, class O>
StringT<C, O> StringT<C, O>::FormatFixedPoint(long value, std::int32_t decimals)
    requires NarrowUnit<C>
{
    return FromText(PlaceDecimalPoint(std::to_string(value), decimals));
}

template <class C, class O>
StringT<C, O> StringT<C, O>::FormatFixedPoint(unsigned long value, std::int32_t decimals)
    requires NarrowUnit<C>
{
    return FromText(PlaceDecimalPoint(std::to_string(value), decimals));
}

template <class C, class O>
StringT<C, O> StringT<C, O>::FormatFixedPoint(long long value, std::int32_t decimals)
    requires NarrowUnit<C>
{
    return FromText(PlaceDecimalPoint(std::to_string(value), decimals));
}

template <class C, class O>
StringT<C, O> StringT<C, O>::FormatFloat(std::int32_t precision, float value)
    requires NarrowUnit<C>
{
    if (precision < 0)
        return Format("%f", static_cast<double>(value));
    return Format("%.*f", precision, static_cast<double>(value));
}

template <class C, class O>
StringT<C, O> StringT<C, O>::FormatFloat(std::int32_t precision, double value)
    requires NarrowUnit<C>
{
    if (precision < 0)
        return Format("%lf", value);
    return Format("%.*lf", precision, value);
}

// ---- binary data as text -----------------------------------------------------

template <class C, class O>
StringT<C, O> StringT<C, O>::EncodeBinaryData(std::int32_t mode, const void* bytes, std::uint32_t count)
    requires NarrowUnit<C>
{
    if ((mode != 0 && mode != 1) || count == 0)
        return StringT();
    if (bytes == nullptr)
    {
        VX_ASSERT_FALSE();
        return StringT();
    }
    const unsigned char* source = static_cast<const unsigned char*>(bytes);
    const std::uint64_t length = mode == 0 ? StringCodecs::HexLength(count) : StringCodecs::Base64Length(count);
    StringT result;
    result.mBuffer = NewUnits<char>(length + 1);
    if (mode == 0)
        StringCodecs::EncodeHex(source, count, result.Data());
    else
        StringCodecs::EncodeBase64(source, count, result.Data());
    result.Refresh();
    return result;
}

template <class C, class O>
VxRESULT StringT<C, O>::DecodeBinaryData(std::int32_t mode, RCPtr<LIBuffer>& buffer, std::uint32_t offset) const
    requires NarrowUnit<C>
{
    if (mode != 0 && mode != 1)
        return VXR_E_INVALIDARG;
    const std::uint32_t length = static_cast<std::uint32_t>(GetLength());
    const VxRESULT result = mode == 0 ? StringCodecs::DecodeHex(Data(), length, buffer, offset)
                                      : StringCodecs::DecodeBase64(Data(), length, buffer, offset);
    if (result == VXR_E_FAIL)
        DebugTracer::Get().Trace(1, "Invalid String passed to StringT::DecodeBinaryData");
    return result;
}

// ---- conversions -------------------------------------------------------------

template <class C, class O>
VxRESULT StringT<C, O>::ConvertUTF16ToUTF8(const unsigned short* text, std::int32_t count, RCPtr<LIBuffer>& out)
{
    return ConvertText(text, count, StringT<char, unsigned short>::GetEmptyString().mBuffer, out,
                       &StringCodecs::Utf16ToUtf8);
}

template <class C, class O>
VxRESULT StringT<C, O>::ConvertUTF8ToUTF16(const char* text, std::int32_t count, RCPtr<LIBuffer>& out)
{
    return ConvertText(text, count, StringT<unsigned short, char>::GetEmptyString().mBuffer, out,
                       &StringCodecs::Utf8ToUtf16);
}

template <class C, class O>
VxRESULT StringT<C, O>::ConvertUTF32ToUTF16(const std::uint32_t* text, std::int32_t count, RCPtr<LIBuffer>& out)
{
    return ConvertText(text, count, StringT<unsigned short, char>::GetEmptyString().mBuffer, out,
                       &StringCodecs::Utf32ToUtf16);
}

template <class C, class O>
VxRESULT StringT<C, O>::ConvertUTF32ToUTF8(const std::uint32_t* text, std::int32_t count, RCPtr<LIBuffer>& out)
{
    return ConvertText(text, count, StringT<char, unsigned short>::GetEmptyString().mBuffer, out,
                       &StringCodecs::Utf32ToUtf8);
}

template class StringT<char, unsigned short>;

// The UTF-16 string has only the common operations; they are instantiated one
// by one because some compilers would also instantiate the UTF-8-only ones for
// a whole-class instantiation.
using WideString = StringT<unsigned short, char>;
template WideString::StringT(WideString::EmptyTag);
template const WideString& WideString::GetEmptyString();
template WideString::StringT();
template WideString::StringT(const unsigned short*, std::int32_t);
template WideString::StringT(const WideString&);
template WideString::StringT(const StringT<char, unsigned short>&);
template WideString& WideString::operator=(const WideString&);
template WideString& WideString::operator=(const unsigned short*);
template void WideString::Assign(const unsigned short*, std::int32_t);
template void WideString::AssignUnits(const unsigned short*, std::uint32_t);
template void WideString::TakeBuffer(const RCPtr<LStringBuffer>&);
template WideString WideString::FromUnits(const unsigned short*, std::uint32_t);
template void WideString::Empty();
template std::int32_t WideString::GetLength() const;
template bool WideString::IsEmpty() const;
template bool WideString::operator==(const WideString&) const;
template bool WideString::operator==(const unsigned short*) const;
template bool WideString::operator<(const WideString&) const;
template void WideString::Append(const WideString&);
template void WideString::AppendGeneral(const WideString&, std::uint32_t);
template WideString WideString::Reversed() const;
template unsigned short* WideString::GetBuffer(std::int32_t);
template VxRESULT WideString::ReleaseBuffer();
template VxRESULT WideString::ConvertUTF16ToUTF8(const unsigned short*, std::int32_t, RCPtr<LIBuffer>&);
template VxRESULT WideString::ConvertUTF8ToUTF16(const char*, std::int32_t, RCPtr<LIBuffer>&);
template VxRESULT WideString::ConvertUTF32ToUTF16(const std::uint32_t*, std::int32_t, RCPtr<LIBuffer>&);
template VxRESULT WideString::ConvertUTF32ToUTF8(const std::uint32_t*, std::int32_t, RCPtr<LIBuffer>&);
} // namespace Vx
