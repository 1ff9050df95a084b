#include "VxFramework/Utilities/Storage/StringCodecs.h"

#include <cstring>

namespace Vx::StringCodecs
{
namespace
{
constexpr char kBase64Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr char kHexDigits[] = "0123456789ABCDEF";

// The most units a string buffer of T can hold, terminator included.
template <class T>
constexpr std::uint32_t kMaxUnits = kMaxBufferSize / sizeof(T);

bool IsScalarValue(std::uint32_t codePoint)
{
    return codePoint <= 0x10FFFF && !IsSurrogate(codePoint);
}

// Code points are converted only when they are Unicode scalar values: a lone
// surrogate or a value beyond U+10FFFF would give ill-formed text.
std::uint32_t EncodeUTF8(std::uint32_t codePoint, unsigned char* out)
{
    if (codePoint < 0x80)
    {
        out[0] = static_cast<unsigned char>(codePoint);
        return 1;
    }
    if (codePoint < 0x800)
    {
        out[0] = static_cast<unsigned char>(0xC0 | (codePoint >> 6));
        out[1] = static_cast<unsigned char>(0x80 | (codePoint & 0x3F));
        return 2;
    }
    if (codePoint < 0x10000)
    {
        out[0] = static_cast<unsigned char>(0xE0 | (codePoint >> 12));
        out[1] = static_cast<unsigned char>(0x80 | ((codePoint >> 6) & 0x3F));
        out[2] = static_cast<unsigned char>(0x80 | (codePoint & 0x3F));
        return 3;
    }
    out[0] = static_cast<unsigned char>(0xF0 | (codePoint >> 18));
    out[1] = static_cast<unsigned char>(0x80 | ((codePoint >> 12) & 0x3F));
    out[2] = static_cast<unsigned char>(0x80 | ((codePoint >> 6) & 0x3F));
    out[3] = static_cast<unsigned char>(0x80 | (codePoint & 0x3F));
    return 4;
}

std::uint32_t EncodeUTF16(std::uint32_t codePoint, unsigned short* out)
{
    if (codePoint < 0x10000)
    {
        out[0] = static_cast<unsigned short>(codePoint);
        return 1;
    }
    codePoint -= 0x10000;
    out[0] = static_cast<unsigned short>(0xD800 + (codePoint >> 10));
    out[1] = static_cast<unsigned short>(0xDC00 + (codePoint & 0x3FF));
    return 2;
}

// Reads one code point of well-formed UTF-8 (no overlong forms, surrogates or
// values beyond U+10FFFF, no truncated sequence); 0 units read when malformed.
std::uint32_t DecodeUTF8(const unsigned char* text, std::uint32_t available, std::uint32_t& codePoint)
{
    const unsigned char lead = text[0];
    std::uint32_t length;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead < 0x80)
    {
        codePoint = lead;
        return 1;
    }
    if (lead >= 0xC2 && lead <= 0xDF)
    {
        length = 2;
        codePoint = lead & 0x1F;
    }
    else if (lead >= 0xE0 && lead <= 0xEF)
    {
        length = 3;
        codePoint = lead & 0x0F;
        if (lead == 0xE0)
            low = 0xA0;
        else if (lead == 0xED)
            high = 0x9F;
    }
    else if (lead >= 0xF0 && lead <= 0xF4)
    {
        length = 4;
        codePoint = lead & 0x07;
        if (lead == 0xF0)
            low = 0x90;
        else if (lead == 0xF4)
            high = 0x8F;
    }
    else
    {
        return 0;
    }
    if (length > available)
        return 0;
    for (std::uint32_t i = 1; i < length; ++i)
    {
        const unsigned char next = text[i];
        if (next < low || next > high)
            return 0;
        low = 0x80;
        high = 0xBF;
        codePoint = (codePoint << 6) | (next & 0x3F);
    }
    return length;
}

// Reads one code point of UTF-16; 0 units read for a lone surrogate.
std::uint32_t DecodeUTF16(const unsigned short* text, std::uint32_t available, std::uint32_t& codePoint)
{
    const std::uint32_t unit = text[0];
    if (!IsSurrogate(unit))
    {
        codePoint = unit;
        return 1;
    }
    if (IsHighSurrogate(unit) && available >= 2 && IsLowSurrogate(text[1]))
    {
        codePoint = 0x10000 + ((unit - 0xD800) << 10) + (text[1] - 0xDC00u);
        return 2;
    }
    return 0;
}

// Runs a conversion into a new zero-filled buffer of `capacity` target units,
// then trims the buffer to the converted text and its terminator.
template <class T, class Convert>
VxRESULT ConvertInto(std::uint64_t capacity, RCPtr<LStringBuffer>& out, Convert convert)
{
    if (capacity > kMaxUnits<T>)
        return VXR_E_OUTOFMEMORY;
    RCPtr<LStringBuffer> buffer =
        LStringBuffer::CreateTyped(static_cast<std::uint32_t>(capacity * sizeof(T)), 0, kBufferZeroFill);
    if (buffer == nullptr)
        return VXR_E_OUTOFMEMORY;
    T* target = static_cast<T*>(buffer->GetData());
    target[capacity - 1] = 0;
    std::uint32_t written = 0;
    const bool ok = convert(target, written);
    target[written] = 0;
    if (buffer->Resize((written + 1) * static_cast<std::uint32_t>(sizeof(T))) < 0)
        return VXR_E_OUTOFMEMORY;
    out = buffer;
    return ok ? VXR_OK : VXR_E_FAIL;
}

int HexValue(char character)
{
    if (character >= '0' && character <= '9')
        return character - '0';
    if (character >= 'A' && character <= 'F')
        return character - 'A' + 10;
    if (character >= 'a' && character <= 'f')
        return character - 'a' + 10;
    return -1;
}

int Base64Value(char character)
{
    if (character >= 'A' && character <= 'Z')
        return character - 'A';
    if (character >= 'a' && character <= 'z')
        return character - 'a' + 26;
    if (character >= '0' && character <= '9')
        return character - '0' + 52;
    if (character == '+')
        return 62;
    if (character == '/')
        return 63;
    return -1;
}

// Makes the target at least `size` bytes, new bytes zero.
VxRESULT PrepareTarget(RCPtr<LIBuffer>& buffer, std::uint64_t size)
{
    if (size > kMaxBufferSize)
        return VXR_E_OUTOFMEMORY;
    const std::uint32_t wanted = static_cast<std::uint32_t>(size);
    if (buffer == nullptr)
    {
        buffer = LByteBuffer::Create(wanted, 0, kBufferZeroFill);
        return buffer == nullptr ? VXR_E_OUTOFMEMORY : VXR_OK;
    }
    const std::uint32_t old = buffer->GetSize();
    if (old >= wanted)
        return VXR_OK;
    if (buffer->Resize(wanted) < 0)
        return VXR_E_OUTOFMEMORY;
    // Grown bytes are never left uninitialised, even when decoding stops early.
    std::memset(static_cast<char*>(buffer->GetData()) + old, 0, wanted - old);
    return VXR_OK;
}
} // namespace

// ---- Unicode -----------------------------------------------------------------

VxRESULT Utf16ToUtf8(const unsigned short* text, std::uint32_t length, RCPtr<LStringBuffer>& out)
{
    return ConvertInto<char>(
        4 * static_cast<std::uint64_t>(length) + 1, out, [&](char* target, std::uint32_t& written) {
            for (std::uint32_t i = 0; i < length;)
            {
                std::uint32_t codePoint;
                const std::uint32_t read = DecodeUTF16(text + i, length - i, codePoint);
                if (read == 0)
                    return false;
                i += read;
                written += EncodeUTF8(codePoint, reinterpret_cast<unsigned char*>(target + written));
            }
            return true;
        });
}

VxRESULT Utf8ToUtf16(const char* text, std::uint32_t length, RCPtr<LStringBuffer>& out)
{
    const unsigned char* source = reinterpret_cast<const unsigned char*>(text);
    return ConvertInto<unsigned short>(static_cast<std::uint64_t>(length) + 1, out,
                                       [&](unsigned short* target, std::uint32_t& written) {
                                           for (std::uint32_t i = 0; i < length;)
                                           {
                                               std::uint32_t codePoint;
                                               const std::uint32_t read = DecodeUTF8(source + i, length - i, codePoint);
                                               if (read == 0)
                                                   return false;
                                               i += read;
                                               written += EncodeUTF16(codePoint, target + written);
                                           }
                                           return true;
                                       });
}

VxRESULT Utf32ToUtf16(const std::uint32_t* text, std::uint32_t length, RCPtr<LStringBuffer>& out)
{
    return ConvertInto<unsigned short>(2 * static_cast<std::uint64_t>(length) + 1, out,
                                       [&](unsigned short* target, std::uint32_t& written) {
                                           for (std::uint32_t i = 0; i < length; ++i)
                                           {
                                               if (!IsScalarValue(text[i]))
                                                   return false;
                                               written += EncodeUTF16(text[i], target + written);
                                           }
                                           return true;
                                       });
}

VxRESULT Utf32ToUtf8(const std::uint32_t* text, std::uint32_t length, RCPtr<LStringBuffer>& out)
{
    return ConvertInto<char>(4 * static_cast<std::uint64_t>(length) + 1, out,
                             [&](char* target, std::uint32_t& written) {
                                 for (std::uint32_t i = 0; i < length; ++i)
                                 {
                                     if (!IsScalarValue(text[i]))
                                         return false;
                                     written += EncodeUTF8(text[i], reinterpret_cast<unsigned char*>(target + written));
                                 }
                                 return true;
                             });
}

// ---- binary data as text -------------------------------------------------------

void EncodeHex(const unsigned char* bytes, std::uint32_t count, char* out)
{
    for (std::uint32_t i = 0; i < count; ++i)
    {
        *out++ = kHexDigits[bytes[i] >> 4];
        *out++ = kHexDigits[bytes[i] & 0x0F];
    }
}

void EncodeBase64(const unsigned char* bytes, std::uint32_t count, char* out)
{
    std::uint32_t i = 0;
    for (; i + 3 <= count; i += 3)
    {
        const std::uint32_t group = (static_cast<std::uint32_t>(bytes[i]) << 16) |
                                    (static_cast<std::uint32_t>(bytes[i + 1]) << 8) | bytes[i + 2];
        *out++ = kBase64Alphabet[(group >> 18) & 0x3F];
        *out++ = kBase64Alphabet[(group >> 12) & 0x3F];
        *out++ = kBase64Alphabet[(group >> 6) & 0x3F];
        *out++ = kBase64Alphabet[group & 0x3F];
    }
    const std::uint32_t rest = count - i;
    if (rest != 0)
    {
        std::uint32_t group = static_cast<std::uint32_t>(bytes[i]) << 16;
        if (rest == 2)
            group |= static_cast<std::uint32_t>(bytes[i + 1]) << 8;
        *out++ = kBase64Alphabet[(group >> 18) & 0x3F];
        *out++ = kBase64Alphabet[(group >> 12) & 0x3F];
        *out++ = rest == 2 ? kBase64Alphabet[(group >> 6) & 0x3F] : '=';
        *out++ = '=';
    }
}

VxRESULT DecodeHex(const char* text, std::uint32_t length, RCPtr<LIBuffer>& buffer, std::uint32_t offset)
{
    if (length % 2 != 0)
        return VXR_E_FAIL;
    const std::uint64_t bound = static_cast<std::uint64_t>(offset) + length / 2;
    if (bound > kMaxBufferSize)
        return VXR_E_FAIL;
    const VxRESULT prepared = PrepareTarget(buffer, bound);
    if (Failed(prepared))
        return prepared;
    unsigned char* out = static_cast<unsigned char*>(buffer->GetData()) + offset;
    for (std::uint32_t i = 0; i < length; i += 2)
    {
        const int high = HexValue(text[i]);
        const int low = HexValue(text[i + 1]);
        if (high < 0 || low < 0)
            return VXR_E_FAIL;
        out[i / 2] = static_cast<unsigned char>((high << 4) | low);
    }
    return VXR_OK;
}

VxRESULT DecodeBase64(const char* text, std::uint32_t length, RCPtr<LIBuffer>& buffer, std::uint32_t offset)
{
    if (length % 4 != 0)
        return VXR_E_FAIL;
    const std::uint64_t bound = static_cast<std::uint64_t>(offset) + length / 4 * 3;
    if (bound > kMaxBufferSize)
        return VXR_E_FAIL;
    const VxRESULT prepared = PrepareTarget(buffer, bound);
    if (Failed(prepared))
        return prepared;
    if (length == 0)
        return VXR_OK;
    unsigned char* const out = static_cast<unsigned char*>(buffer->GetData());
    std::uint64_t position = offset;
    auto put = [&](std::uint32_t byte) {
        if (position >= bound)
            return false;
        out[position++] = static_cast<unsigned char>(byte);
        return true;
    };
    std::uint32_t group = 0;
    std::uint32_t inGroup = 0;
    std::uint32_t i = 0;
    for (; i < length; ++i)
    {
        const int value = Base64Value(text[i]);
        if (value < 0)
            break;
        group = (group << 6) | static_cast<std::uint32_t>(value);
        if (++inGroup == 4)
        {
            if (!put(group >> 16) || !put((group >> 8) & 0xFF) || !put(group & 0xFF))
                return VXR_E_FAIL;
            group = 0;
            inGroup = 0;
        }
    }
    // Only the padding that completes the last group may follow.
    const std::uint32_t rest = length - i;
    if (inGroup == 1 || (rest != 0 && (inGroup == 0 || rest != 4 - inGroup)))
        return VXR_E_FAIL;
    for (std::uint32_t j = i; j < length; ++j)
    {
        if (text[j] != '=')
            return VXR_E_FAIL;
    }
    if (inGroup == 2 && !put(group >> 4))
        return VXR_E_FAIL;
    if (inGroup == 3 && (!put(group >> 10) || !put((group >> 2) & 0xFF)))
        return VXR_E_FAIL;
    if (buffer->Resize(static_cast<std::uint32_t>(position)) < 0)
        return VXR_E_OUTOFMEMORY;
    return VXR_OK;
}
} // namespace Vx::StringCodecs
