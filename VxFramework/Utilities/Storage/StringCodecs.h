#pragma once

#include "VxFramework/ObjectBase/RefCountedObject.h"
#include "VxFramework/ObjectBase/Result.h"
#include "VxFramework/Utilities/Storage/Buffer.h"

#include <cstdint>

// The encodings behind the string: UTF-8, UTF-16 and UTF-32 conversion, and
// binary data as hexadecimal or base64 text.  They work on counted units and
// know nothing of the string's sharing; StringT calls them.
namespace Vx::StringCodecs
{
inline bool IsSurrogate(std::uint32_t unit)
{
    return unit >= 0xD800 && unit <= 0xDFFF;
}
inline bool IsHighSurrogate(std::uint32_t unit)
{
    return unit >= 0xD800 && unit <= 0xDBFF;
}
inline bool IsLowSurrogate(std::uint32_t unit)
{
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

// Conversions of `length` source units, none of them 0, into a new
// zero-terminated string buffer trimmed to the converted text.  0; 0x80000008
// for malformed input, with the text converted before it; 0x80000002 when the
// buffer cannot be allocated (out unchanged).  Only Unicode scalar values are
// converted: overlong or truncated UTF-8, lone surrogates and values beyond
// U+10FFFF are malformed.
VxRESULT Utf16ToUtf8(const unsigned short* text, std::uint32_t length, RCPtr<LStringBuffer>& out);
VxRESULT Utf8ToUtf16(const char* text, std::uint32_t length, RCPtr<LStringBuffer>& out);
VxRESULT Utf32ToUtf16(const std::uint32_t* text, std::uint32_t length, RCPtr<LStringBuffer>& out);
VxRESULT Utf32ToUtf8(const std::uint32_t* text, std::uint32_t length, RCPtr<LStringBuffer>& out);

// Text lengths of the encodings of `count` bytes.
constexpr std::uint64_t HexLength(std::uint32_t count)
{
    return 2 * static_cast<std::uint64_t>(count);
}
constexpr std::uint64_t Base64Length(std::uint32_t count)
{
    return (static_cast<std::uint64_t>(count) + 2) / 3 * 4;
}

// Two upper-case digits per byte; writes HexLength(count) characters, no
// terminator.
void EncodeHex(const unsigned char* bytes, std::uint32_t count, char* out);
// The standard alphabet with '=' padding; writes Base64Length(count)
// characters, no terminator.
void EncodeBase64(const unsigned char* bytes, std::uint32_t count, char* out);

// Decode `length` characters into the buffer from the offset on; a null buffer
// is created as a byte buffer, a shorter one grows with zero bytes.  Hex
// takes digits of either case; base64 takes padding only where it completes
// the last group, and a non-empty base64 text leaves the buffer ending after
// its bytes.  0; 0x80000008
// for malformed text (bytes decoded before the fault stay); 0x80000002 when the
// target cannot be allocated.
VxRESULT DecodeHex(const char* text, std::uint32_t length, RCPtr<LIBuffer>& buffer, std::uint32_t offset);
VxRESULT DecodeBase64(const char* text, std::uint32_t length, RCPtr<LIBuffer>& buffer, std::uint32_t offset);
} // namespace Vx::StringCodecs
