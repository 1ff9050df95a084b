// Feeds arbitrary bytes to the binary-text decoders, the UTF conversions and
// the string's editing and appending.
// The first byte picks the operation and an offset; the rest is the input.
#include "VxFramework/Utilities/Storage/StringT.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace
{
using String = Vx::StringT<char, unsigned short>;
using WideString = Vx::StringT<unsigned short, char>;

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

std::string BufferBytes(const Vx::RCPtr<Vx::LIBuffer>& buffer)
{
    return std::string(static_cast<const char*>(buffer->GetData()), buffer->GetSize());
}

void Decode(std::int32_t mode, const std::string& text, std::uint32_t offset, bool existing)
{
    const String source(text.c_str());
    Vx::RCPtr<Vx::LIBuffer> buffer;
    if (existing)
        buffer = Vx::LByteBuffer::Create(offset + 3, 0, Vx::kBufferZeroFill);
    const Vx::VxRESULT result = source.DecodeBinaryData(mode, buffer, offset);
    if (result != Vx::VXR_OK)
        return;
    Check(buffer->GetSize() >= offset);
    if (mode == 0)
    {
        // Valid hexadecimal re-encodes to itself, in upper case.
        const String again = String::EncodeBinaryData(0, static_cast<const char*>(buffer->GetData()) + offset,
                                                       static_cast<std::uint32_t>(source.GetLength() / 2));
        Check(again.ToLower() == source.ToLower());
    }
}

void RoundTripBytes(const std::string& bytes)
{
    for (std::int32_t mode : {0, 1})
    {
        const String encoded = String::EncodeBinaryData(mode, bytes.data(), static_cast<std::uint32_t>(bytes.size()));
        Vx::RCPtr<Vx::LIBuffer> decoded;
        Check(encoded.DecodeBinaryData(mode, decoded, 0) == Vx::VXR_OK);
        Check(BufferBytes(decoded) == bytes);
    }
}

void Utf8(const std::string& text)
{
    Vx::RCPtr<Vx::LIBuffer> utf16;
    const Vx::VxRESULT result = String::ConvertUTF8ToUTF16(text.data(), static_cast<std::int32_t>(text.size()), utf16);
    Check(utf16 != nullptr);
    if (result != Vx::VXR_OK)
        return;
    Vx::RCPtr<Vx::LIBuffer> back;
    Check(String::ConvertUTF16ToUTF8(static_cast<const unsigned short*>(utf16->GetData()), -1, back) == Vx::VXR_OK);
    Check(std::string(static_cast<const char*>(back->GetData())) == std::string(text.c_str()));
    const String narrow(text.c_str());
    Check(String(WideString(narrow).Reversed()).Reversed() == narrow);
}

void Utf16(const std::vector<unsigned short>& units)
{
    Vx::RCPtr<Vx::LIBuffer> utf8;
    const Vx::VxRESULT result = String::ConvertUTF16ToUTF8(units.data(), static_cast<std::int32_t>(units.size()), utf8);
    Check(utf8 != nullptr);
    String assigned("x");
    Check(assigned.Assign(units.data(), static_cast<std::int32_t>(units.size())) == result);
    if (result != Vx::VXR_OK)
        return;
    Vx::RCPtr<Vx::LIBuffer> back;
    Check(String::ConvertUTF8ToUTF16(static_cast<const char*>(utf8->GetData()), -1, back) == Vx::VXR_OK);
    std::size_t length = 0;
    while (length < units.size() && units[length] != 0)
        ++length;
    Check(back->GetSize() == 2 * (length + 1));
    Check(length == 0 || std::memcmp(back->GetData(), units.data(), 2 * length) == 0);
}

void Utf32(const std::vector<std::uint32_t>& points)
{
    Vx::RCPtr<Vx::LIBuffer> out;
    const std::int32_t count = static_cast<std::int32_t>(points.size());
    const Vx::VxRESULT to8 = String::ConvertUTF32ToUTF8(points.data(), count, out);
    Check(out != nullptr);
    const Vx::VxRESULT to16 = String::ConvertUTF32ToUTF16(points.data(), count, out);
    Check(out != nullptr && to8 == to16);
}

void Edit(const std::string& text, std::uint8_t a, std::uint8_t b)
{
    // Positions inside the text only: the refusals are tested elsewhere and
    // would flood the run with assertion lines.
    String s(text.c_str());
    const std::int32_t length = s.GetLength();
    const String mid = s.Mid(static_cast<std::int8_t>(a), static_cast<std::int8_t>(b));
    Check(mid.GetLength() <= length);
    const std::int32_t index = a % (length + 1);
    const std::int32_t count = b % (length - index + 1);
    if (index < length)
    {
        Check(s.Remove(index, count) == Vx::VXR_OK);
        Check(s.GetLength() == length - count);
    }
    const std::int32_t before = s.GetLength();
    Check(s.Insert(index < before ? index : before, mid) == Vx::VXR_OK);
    Check(s.GetLength() == before + mid.GetLength());
    Check(s.Trim().GetLength() <= s.GetLength());
    Check(s.Find(static_cast<char>(b), 0) < s.GetLength());
}

void Append(const std::string& text, std::uint8_t times)
{
    // Appends in a row, some of the string to itself, some while a copy
    // shares the buffer: the text is the standard string's, and the copy
    // keeps its own.
    const String piece(text.c_str());
    const std::string pieceText(piece.GetCString());
    String grown;
    std::string expected;
    for (int i = 0; i < times % 16; ++i)
    {
        const bool copied = i % 3 == 2;
        const String before = copied ? grown : String();
        const std::string beforeText = copied ? expected : std::string();
        if (i % 5 == 4)
        {
            grown.Append(grown);
            expected += expected;
        }
        else
        {
            grown += piece;
            expected += pieceText;
        }
        Check(std::string(grown.GetCString(), static_cast<std::size_t>(grown.GetLength())) == expected);
        Check(std::string(before.GetCString(), static_cast<std::size_t>(before.GetLength())) == beforeText);
    }
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2)
        return 0;
    const std::uint8_t selector = data[0];
    const std::uint8_t parameter = data[1];
    const std::string rest(reinterpret_cast<const char*>(data + 2), size - 2);
    switch (selector % 8)
    {
    case 0:
        Decode(0, rest, parameter % 8, (selector & 0x80) != 0);
        break;
    case 1:
        Decode(1, rest, parameter % 8, (selector & 0x80) != 0);
        break;
    case 2:
        RoundTripBytes(rest);
        break;
    case 3:
        Utf8(rest);
        break;
    case 4:
    {
        std::vector<unsigned short> units(rest.size() / 2);
        if (!units.empty())
            std::memcpy(units.data(), rest.data(), units.size() * 2);
        Utf16(units);
        break;
    }
    case 5:
    {
        std::vector<std::uint32_t> points(rest.size() / 4);
        if (!points.empty())
            std::memcpy(points.data(), rest.data(), points.size() * 4);
        Utf32(points);
        break;
    }
    case 7:
        Append(rest, parameter);
        break;
    default:
        Edit(rest, parameter, selector);
        break;
    }
    return 0;
}
