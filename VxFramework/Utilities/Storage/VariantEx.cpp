#include "VxFramework/Utilities/Storage/VariantEx.h"

#include "VxFramework/ObjectBase/Exception.h"

#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <string>
#include <strings.h>
#include <vector>

namespace Vx
{
namespace
{
// Byte blocks: exact sizes, no slack.
RCPtr<LIBuffer> NewByteBuffer(std::uint32_t size)
{
    return LBufferT<1, 0, 8>::Create(size, 0, 0);
}

std::string FormatText(const char* format, ...) __attribute__((format(printf, 1, 2)));

std::string FormatText(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const int length = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    std::string text;
    if (length > 0)
    {
        text.resize(static_cast<std::size_t>(length) + 1);
        std::vsnprintf(text.data(), text.size(), format, again);
        text.resize(static_cast<std::size_t>(length));
    }
    va_end(again);
    return text;
}
} // namespace

VariantEx::VariantEx(const Variant& other) : Variant()
{
    CopyFrom(other);
}

VariantEx::VariantEx(const VariantEx& other) : Variant(), IStringable()
{
    CopyFrom(other);
}

VariantEx& VariantEx::operator=(const Variant& other)
{
    CopyFrom(other);
    return *this;
}

VariantEx& VariantEx::operator=(const VariantEx& other)
{
    CopyFrom(other);
    return *this;
}

VariantEx::~VariantEx()
{
    // Here, not in the base destructor, so that the buffer is let go through
    // this class's FreeData.
    Clear();
}

void* VariantEx::AllocateData(std::uint32_t size)
{
    mBuffer = NewByteBuffer(size);
    return mBuffer.IsNull() ? nullptr : mBuffer->GetData();
}

void VariantEx::FreeData(void* data)
{
    if (mBuffer.IsNull())
        return;
    if (data == mBuffer->GetData())
    {
        mBuffer = nullptr;
        return;
    }
    if (data == nullptr)
    {
        VX_ASSERT_FALSE();
        return;
    }
    VX_ASSERT_FALSE();
    mBuffer = nullptr;
}

namespace
{
// The text of a text value, up to its first zero within the data.
std::string TextOf(const char* data, std::uint32_t length)
{
    return data ? std::string(data, length) : std::string();
}

// atoi as the 32-bit target has it: out-of-range text saturates to the int
// range, on every host.
std::int32_t ParseInt(const std::string& text)
{
    const long long value = std::strtoll(text.c_str(), nullptr, 10);
    if (value > std::numeric_limits<std::int32_t>::max())
        return std::numeric_limits<std::int32_t>::max();
    if (value < std::numeric_limits<std::int32_t>::min())
        return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(value);
}
} // namespace

bool VariantEx::GetBool() const
{
    if (GetTag() != T_STRING)
        return Variant::GetBool();
    return ::strcasecmp(TextOf(GetString(), TextLength()).c_str(), "True") == 0;
}

std::int8_t VariantEx::GetInt8() const
{
    if (GetTag() != T_STRING)
        return Variant::GetInt8();
    return static_cast<std::int8_t>(ParseInt(TextOf(GetString(), TextLength())));
}

std::int16_t VariantEx::GetInt16() const
{
    if (GetTag() != T_STRING)
        return Variant::GetInt16();
    return static_cast<std::int16_t>(ParseInt(TextOf(GetString(), TextLength())));
}

std::int32_t VariantEx::GetInt32() const
{
    if (GetTag() != T_STRING)
        return Variant::GetInt32();
    return static_cast<std::int32_t>(ParseInt(TextOf(GetString(), TextLength())));
}

std::int64_t VariantEx::GetInt64() const
{
    if (GetTag() != T_STRING)
        return Variant::GetInt64();
    return static_cast<std::int64_t>(std::strtoull(TextOf(GetString(), TextLength()).c_str(), nullptr, 10));
}

std::uint8_t VariantEx::GetUInt8() const
{
    if (GetTag() != T_STRING)
        return Variant::GetUInt8();
    return static_cast<std::uint8_t>(ParseInt(TextOf(GetString(), TextLength())));
}

std::uint16_t VariantEx::GetUInt16() const
{
    if (GetTag() != T_STRING)
        return Variant::GetUInt16();
    return static_cast<std::uint16_t>(ParseInt(TextOf(GetString(), TextLength())));
}

std::uint32_t VariantEx::GetUInt32() const
{
    if (GetTag() != T_STRING)
        return Variant::GetUInt32();
    return static_cast<std::uint32_t>(VariantEx::GetInt64());
}

std::uint64_t VariantEx::GetUInt64() const
{
    if (GetTag() != T_STRING)
        return Variant::GetUInt64();
    return std::strtoull(TextOf(GetString(), TextLength()).c_str(), nullptr, 10);
}

float VariantEx::GetFloat() const
{
    if (GetTag() != T_STRING)
        return Variant::GetFloat();
    return static_cast<float>(std::atof(TextOf(GetString(), TextLength()).c_str()));
}

double VariantEx::GetDouble() const
{
    if (GetTag() != T_STRING)
        return Variant::GetDouble();
    return std::atof(TextOf(GetString(), TextLength()).c_str());
}

VariantEx::String VariantEx::ToString() const
{
    std::string text;
    switch (GetTag())
    {
    case T_NONE:
        text = "<empty>";
        break;
    case T_BOOL:
        text = Variant::GetBool() ? "true" : "false";
        break;
    case T_INT8:
    case T_INT16:
    case T_INT32:
        text = FormatText("%d", static_cast<int>(Variant::GetInt32()));
        break;
    case T_UINT8:
    case T_UINT16:
    case T_UINT32:
        text = FormatText("%u", static_cast<unsigned int>(Variant::GetUInt32()));
        break;
    case T_FLOAT:
        text = FormatText("%f", static_cast<double>(Variant::GetFloat()));
        break;
    case T_DOUBLE:
        text = FormatText("%lf", Variant::GetDouble());
        break;
    case T_INT64:
        text = FormatText("%lld", static_cast<long long>(Variant::GetInt64()));
        break;
    case T_UINT64:
        text = FormatText("%llX", static_cast<unsigned long long>(Variant::GetUInt64()));
        break;
    case T_EXTERNAL_DATA:
    case T_EXTERNAL_OBJECT:
    case T_BYTES:
        text = FormatText("%llX", static_cast<unsigned long long>(GetValueBits()));
        break;
    case T_STRING:
        text = TextOf(GetString(), TextLength());
        break;
    case T_ARRAY:
        return ToStringIndented(0);
    default:
        VX_ASSERT_FALSE();
        break;
    }
    return String(text.c_str());
}

VariantEx::String VariantEx::ToStringIndented(int depth) const
{
    if (GetTag() != T_ARRAY)
        return ToString();
    // One text for the whole tree: nested arrays are written where they lie
    // instead of each level copying its elements and its text.
    std::string text;
    AppendArrayText(text, GetArrayBytes(), GetArrayCount(), depth);
    return String(text.c_str());
}

void VariantEx::AppendArrayText(std::string& text, ArrayBytes array, std::uint32_t count, int depth)
{
    if (count == 0)
    {
        text += "<empty array>";
        return;
    }
    std::string indent;
    for (int i = 0; i < depth; ++i)
        indent += "  ";
    indent += "  ";
    text += FormatText("array(%u):", static_cast<unsigned int>(count));
    ElementReader reader(array);
    VariantEx element;
    bool isArray = false;
    ArrayBytes nested;
    for (std::uint32_t i = 0; i < count && reader.Next(element, isArray, nested); ++i)
    {
        text += "\n";
        text += indent;
        text += FormatText("[%u] ", static_cast<unsigned int>(i));
        if (isArray)
        {
            AppendArrayText(text, nested, CountArrayElements(nested), depth + 1);
        }
        else
        {
            const String elementText = element.ToString();
            text.append(elementText.GetCString(), elementText.GetLength());
        }
    }
}

VariantEx::String VariantEx::ToXmlText() const
{
    const String plain = ToString();
    std::string text;
    const char* c = plain.GetCString();
    for (std::int32_t i = 0; i < plain.GetLength(); ++i)
    {
        switch (c[i])
        {
        case '"':
            text += "&quot;";
            break;
        case '&':
            text += "&amp;";
            break;
        case '\'':
            text += "&apos;";
            break;
        case '<':
            text += "&lt;";
            break;
        case '>':
            text += "&gt;";
            break;
        default:
            text += c[i];
            break;
        }
    }
    return String(text.c_str());
}

void VariantEx::ShareFrom(const VariantEx& other)
{
    if (&other == this)
        return;
    Clear();
    CopyFieldsFrom(other);
    mBuffer = other.mBuffer;
}

void VariantEx::SetText(const String& text)
{
    Clear();
    const auto length = static_cast<std::uint32_t>(text.GetLength());
    if (length == std::numeric_limits<std::uint32_t>::max())
        return;
    void* data = AllocateData(length + 1);
    if (data == nullptr)
        return;
    std::memcpy(data, text.GetCString(), length);
    static_cast<char*>(data)[length] = '\0';
    AdoptData(T_STRING, data, length + 1);
}

void VariantEx::SetBytesFromBuffer(const RCPtr<LIBuffer>& buffer)
{
    Clear();
    if (buffer.IsNull())
        return;
    RCPtr<LIBuffer> copy(buffer->CreateCopy());
    if (copy.IsNull())
        return;
    mBuffer = copy;
    AdoptData(T_BYTES, mBuffer->GetData(), mBuffer->GetSize());
}

RCPtr<LIBuffer> VariantEx::GetBuffer() const
{
    if (GetTag() != T_BYTES && GetTag() != T_STRING)
        VX_THROW(std::runtime_error, "");
    return mBuffer;
}

std::uint32_t VariantEx::SetDataSize(std::uint32_t size)
{
    if (GetTag() != T_BYTES)
        return GetTag();
    if (mBuffer.IsNull())
    {
        if (size != 0)
            SetBytes(nullptr, size);
        return GetTag();
    }
    const std::uint32_t oldSize = mBuffer->GetSize();
    if (mBuffer->GetRefCount() > 1)
    {
        // Shared with another variant: resizing in place would move the data
        // under it.
        RCPtr<LIBuffer> own = mBuffer->CreateResizedCopy(size, 0);
        if (own.IsNull())
            return GetTag();
        mBuffer = own;
    }
    else
    {
        mBuffer->Resize(size);
        if (size > oldSize)
            std::memset(static_cast<char*>(mBuffer->GetData()) + oldSize, 0, size - oldSize);
    }
    AdoptData(T_BYTES, mBuffer->GetData(), mBuffer->GetSize());
    return GetTag();
}

std::int32_t VariantEx::SerializeInto(RCPtr<LIBuffer>& buffer, std::uint32_t offset) const
{
    const std::uint64_t needed = static_cast<std::uint64_t>(offset) + GetSerializedSize();
    if (needed > std::numeric_limits<std::uint32_t>::max())
        return VXR_E_FAIL;
    if (buffer.IsNull())
        buffer = NewByteBuffer(static_cast<std::uint32_t>(needed));
    else if (buffer->GetSize() < needed)
        buffer->Resize(static_cast<std::uint32_t>(needed));
    if (buffer.IsNull() || buffer->GetSize() < needed)
        return VXR_E_FAIL;
    return Serialize(static_cast<char*>(buffer->GetData()) + offset, buffer->GetSize() - offset);
}

template <class V>
VxRESULT VariantEx::FillArrayElements(IArray<V>& elements) const
{
    elements.RemoveAll();
    if (GetTag() == T_NONE)
        return VXR_OK;
    if (GetTag() != T_ARRAY)
    {
        VX_ASSERT_FALSE();
        return VXR_E_INVALIDARG;
    }
    const std::uint32_t count = GetArrayCount();
    if (elements.SetCount(count) != static_cast<std::int32_t>(count))
        return VXR_E_FAIL;
    for (std::uint32_t i = 0; i < count; ++i)
        GetArrayElement(i, elements[i]);
    return VXR_OK;
}

VxRESULT VariantEx::GetArrayElements(IArray<Variant>& elements) const
{
    return FillArrayElements(elements);
}

VxRESULT VariantEx::GetArrayElements(IArray<VariantEx>& elements) const
{
    return FillArrayElements(elements);
}

void VariantEx::SetArrayFrom(const IArray<VariantEx>& items)
{
    const std::uint32_t count = items.GetCount();
    std::vector<const Variant*> pointers(count);
    for (std::uint32_t i = 0; i < count; ++i)
        pointers[i] = &items[i];
    SetArrayOfPointers(pointers.data(), count);
}
} // namespace Vx
