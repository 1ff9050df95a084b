#pragma once

#include "VxFramework/ObjectBase/RefCountedObject.h"
#include "VxFramework/ObjectBase/Result.h"
#include "VxFramework/Utilities/Storage/Buffer.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <type_traits>

namespace Vx
{
template <class C>
concept NarrowUnit = std::is_same_v<C, char>;

// Text on a reference-counted buffer: C is the unit (char for UTF-8,
// unsigned short for UTF-16), O the unit of the other encoding.
//
// Copies share the buffer while it is shareable, so copying costs one atomic
// increment; a string that writes makes its buffer private first.  Appending
// to a buffer no other string holds grows it with room to spare, so a run of
// appends costs time in proportion to the text; the room lies beyond the
// buffer's size and is never part of the text.  Between GetBuffer and
// ReleaseBuffer the buffer is exclusive: it belongs to this string alone, may
// be larger than the text, and is copied, never shared.  Every empty string
// shares one buffer per encoding.
//
// Allocation failures throw std::bad_alloc.
template <class C, class O>
class StringT
{
    static_assert((std::is_same_v<C, char> && std::is_same_v<O, unsigned short>) ||
                      (std::is_same_v<C, unsigned short> && std::is_same_v<O, char>),
                  "StringT holds UTF-8 in char or UTF-16 in unsigned short");

public:
    using Unit = C;
    using OtherString = StringT<O, C>;

    // A maximum length meaning no limit.
    static constexpr std::int32_t kNoLimit = 0x7FFFFFFE;
    // Text of Format and AssignFormat is cut to this many bytes.
    static constexpr std::int32_t kFormatBufferSize = 16384;

    StringT();
    StringT(const C* text, std::int32_t maxLength = kNoLimit);
    StringT(const StringT& other);
    explicit StringT(const OtherString& other);
    explicit StringT(char character)
        requires NarrowUnit<C>;
    // The UTF-8 form of one UTF-16 unit.
    explicit StringT(unsigned short unit)
        requires NarrowUnit<C>;
    // The UTF-8 form of a zero-terminated UTF-16 text.
    explicit StringT(const unsigned short* text)
        requires NarrowUnit<C>;
    virtual ~StringT() = default;

    StringT& operator=(const StringT& other);
    StringT& operator=(const C* text);

    // Copies at most maxLength units of the text; a negative maximum means no
    // limit.  An exclusive buffer is written in place and does not grow.
    void Assign(const C* text, std::int32_t maxLength = kNoLimit);
    // The UTF-8 form of at most maxCount units (up to the first 0).  Returns 0,
    // or 0x80000008 for malformed UTF-16 with the text converted before it.
    VxRESULT Assign(const unsigned short* text, std::int32_t maxCount = kNoLimit)
        requires NarrowUnit<C>;
    void Empty();

    const C* GetCString() const { return static_cast<const C*>(mBuffer->GetData()); }
    std::int32_t GetLength() const;
    bool IsEmpty() const;
    bool IsBufferExclusive() const { return !mBuffer->IsShareable(); }

    bool operator==(const StringT& other) const;
    // A null or empty text equals the empty string.
    bool operator==(const C* text) const;
    // Unit-wise (strcmp) order.
    bool operator<(const StringT& other) const;

    // 0 for equal texts, else negative or positive as strcmp orders them.
    std::int32_t Compare(const StringT& other, bool caseSensitive = true) const
        requires NarrowUnit<C>;
    static std::int32_t CompareCStrings(const char* a, const char* b, bool caseSensitive)
        requires NarrowUnit<C>;

    void Append(const StringT& other);
    StringT& operator+=(const StringT& other)
    {
        Append(other);
        return *this;
    }
    friend StringT operator+(const StringT& left, const StringT& right)
    {
        StringT result(left);
        result.Append(right);
        return result;
    }
    void AppendChar(char character)
        requires NarrowUnit<C>;

    // Index of the first occurrence, -1 when absent; an empty text is found at 0.
    std::int32_t Find(const char* text) const
        requires NarrowUnit<C>;
    // Index of the character at or after start, -1 when none.
    std::int32_t Find(char character, std::int32_t start) const
        requires NarrowUnit<C>;
    std::int32_t ToInt() const
        requires NarrowUnit<C>;
    double ToDouble() const
        requires NarrowUnit<C>;

    // Insertions return 0, or 0x80000003 (after an assertion) for an index
    // beyond the length; the UTF-16 form returns 0x80000008 and inserts
    // nothing for malformed text.
    VxRESULT Insert(std::int32_t index, const StringT& text)
        requires NarrowUnit<C>;
    VxRESULT Insert(std::int32_t index, const char* text, std::int32_t maxLength = kNoLimit)
        requires NarrowUnit<C>;
    VxRESULT Insert(std::int32_t index, const unsigned short* text, std::int32_t count = kNoLimit)
        requires NarrowUnit<C>;
    // Removes count bytes at index; a position at or past the end or a range
    // past the end asserts, returns 0x80000003 and removes nothing.
    VxRESULT Remove(std::int32_t index, std::int32_t count)
        requires NarrowUnit<C>;

    // A negative start counts from the end; a negative count reaches to the end.
    StringT Mid(std::int32_t start, std::int32_t count) const
        requires NarrowUnit<C>;
    StringT Mid(std::int32_t start) const
        requires NarrowUnit<C>;
    StringT ToLower() const
        requires NarrowUnit<C>;
    // Without leading and trailing spaces, tabs, carriage returns and line feeds.
    StringT Trim() const
        requires NarrowUnit<C>;
    // Without every trailing character that is one of the given ones.
    StringT TrimRight(const char* characters) const
        requires NarrowUnit<C>;
    void ReplaceChars(const char* characters, char replacement)
        requires NarrowUnit<C>;
    // Backslash, slash, colon, asterisk, question mark, double quote, angle
    // brackets, vertical bar, ampersand, semicolon, comma, caret and
    // parentheses become underscores.
    StringT MakeLegalFileName() const
        requires NarrowUnit<C>;
    // 1 when the directory exists; otherwise creates each level (mode 0777)
    // and returns 0, or 0x80000008 when it is still not a directory.
    VxRESULT CreateDirectoryPath() const
        requires NarrowUnit<C>;
    // Reversed by characters: surrogate pairs stay in order.
    StringT Reversed() const;

    // The fields between any of the delimiter characters, into an array of
    // strings (the IArray operations SetCount, RemoveAll, Add, GetCount and
    // element access).  Empty fields are kept, a leading delimiter gives a
    // leading empty field, a trailing one adds none; a text without a
    // delimiter gives one field.  Every field is produced whatever the
    // maximum count.  Returns the number of fields.
    template <class StringArray>
    std::int32_t Split(StringArray& out, const char* delimiters, std::int32_t maxCount = -1) const
        requires NarrowUnit<C>
    {
        static_cast<void>(maxCount);
        const std::int32_t length = GetLength();
        const char* text = GetCString();
        std::int32_t end = 0;
        while (end < length && !IsDelimiter(text[end], delimiters))
            ++end;
        if (end == length)
        {
            out.SetCount(1);
            out[0] = *this;
            return 1;
        }
        out.RemoveAll();
        for (std::int32_t start = 0; start < length; start = end + 1)
        {
            end = start;
            while (end < length && !IsDelimiter(text[end], delimiters))
                ++end;
            out.Add(Mid(start, end - start));
        }
        return static_cast<std::int32_t>(out.GetCount());
    }

    // A writable buffer of size units (0: the length + 1) holding the text;
    // the caller writes at most size - 1 units and leaves a terminator.  Null
    // after an assertion when the buffer is already exclusive.
    C* GetBuffer(std::int32_t size);
    // Makes the buffer shareable again, trimmed to the text; 1 when there was
    // no exclusive buffer.
    VxRESULT ReleaseBuffer();

    [[gnu::format(printf, 1, 2)]] static StringT Format(const char* format, ...)
        requires NarrowUnit<C>;
    [[gnu::format(printf, 2, 3)]] void AssignFormat(const char* format, ...)
        requires NarrowUnit<C>;

    // The value in decimal with a point before the last `decimals` digits.
    static StringT FormatFixedPoint(int value, std::int32_t decimals)
        requires NarrowUnit<C>;
    static StringT FormatFixedPoint(unsigned int value, std::int32_t decimals)
        requires NarrowUnit<C>;
    static StringT FormatFixedPoint(long value, std::int32_t decimals)
        requires NarrowUnit<C>;
    static StringT FormatFixedPoint(unsigned long value, std::int32_t decimals)
        requires NarrowUnit<C>;
    static StringT FormatFixedPoint(long long value, std::int32_t decimals)
        requires NarrowUnit<C>;
    // "%f", or "%.<precision>f" for a precision of 0 or more.
    static StringT FormatFloat(std::int32_t precision, float value)
        requires NarrowUnit<C>;
    static StringT FormatFloat(std::int32_t precision, double value)
        requires NarrowUnit<C>;

    // Mode 0: two upper-case hexadecimal digits per byte; mode 1: base64.
    // Other modes give the empty string.
    static StringT EncodeBinaryData(std::int32_t mode, const void* bytes, std::uint32_t count)
        requires NarrowUnit<C>;
    // Decodes this text into the buffer (a byte buffer is created when null)
    // from the offset on.  0, 0x80000003 for an unknown mode, 0x80000002 when
    // the target cannot be allocated, 0x80000008 (traced) for malformed text.
    VxRESULT DecodeBinaryData(std::int32_t mode, RCPtr<LIBuffer>& buffer, std::uint32_t offset) const
        requires NarrowUnit<C>;

    // Conversions into a new string buffer.  A count of -1 means the whole
    // zero-terminated text; conversion stops at a 0 unit.  0; 0x80000008 for
    // malformed input, with the text converted before it; 0x80000002 when the
    // buffer cannot be allocated (out unchanged).  A null or empty source
    // gives the shared empty buffer of the target encoding.
    static VxRESULT ConvertUTF16ToUTF8(const unsigned short* text, std::int32_t count, RCPtr<LIBuffer>& out);
    static VxRESULT ConvertUTF8ToUTF16(const char* text, std::int32_t count, RCPtr<LIBuffer>& out);
    static VxRESULT ConvertUTF32ToUTF16(const std::uint32_t* text, std::int32_t count, RCPtr<LIBuffer>& out);
    static VxRESULT ConvertUTF32ToUTF8(const std::uint32_t* text, std::int32_t count, RCPtr<LIBuffer>& out);

    // The process-wide empty string: built on first use, never destroyed.
    static const StringT& GetEmptyString();

private:
    template <class, class>
    friend class StringT;

    struct EmptyTag
    {
    };
    explicit StringT(EmptyTag);

    static bool IsDelimiter(char character, const char* delimiters)
    {
        return delimiters != nullptr && character != 0 && std::strchr(delimiters, character) != nullptr;
    }

    C* Data() const { return static_cast<C*>(mBuffer->GetData()); }
    std::uint32_t Units() const { return mBuffer->GetSize() / sizeof(C); }
    void Refresh() { mText = Data(); }
    void AssignUnits(const C* text, std::uint32_t count);
    // Append's cases other than writing into the room of an unshared buffer.
    void AppendGeneral(const StringT& other, std::uint32_t added);
    void TakeBuffer(const RCPtr<LStringBuffer>& buffer);
    static StringT FromUnits(const C* text, std::uint32_t count);
    static StringT FromText(const std::string& text)
        requires NarrowUnit<C>;

    C* mText = nullptr;
    // Held as the string kind that every string buffer is: its accessors and
    // reference count are then plain loads, which short appends and length
    // queries are made of.
    RCPtr<LStringBuffer> mBuffer;
};

// Defined in StringT.cpp: the whole UTF-8 string, the UTF-16 string's
// operations one by one.
extern template class StringT<char, unsigned short>;
} // namespace Vx
