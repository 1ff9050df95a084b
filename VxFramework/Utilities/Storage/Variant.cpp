#include "VxFramework/Utilities/Storage/Variant.h"

#include "VxFramework/ObjectBase/Exception.h"

#include <cmath>
#include <cstdlib>
#include <functional>
#include <limits>
#include <vector>

namespace Vx
{
namespace
{
bool IsOwnedTag(std::uint32_t tag) noexcept
{
    return tag >= Variant::T_BYTES && tag <= Variant::T_ARRAY;
}

std::uint32_t ReadLE32(const std::uint8_t* p) noexcept
{
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

void WriteLE32(std::uint8_t* p, std::uint32_t value) noexcept
{
    p[0] = static_cast<std::uint8_t>(value);
    p[1] = static_cast<std::uint8_t>(value >> 8);
    p[2] = static_cast<std::uint8_t>(value >> 16);
    p[3] = static_cast<std::uint8_t>(value >> 24);
}

// Halves go away from zero.
double Nearest(double x) noexcept
{
    return x >= 0.0 ? x + 0.5 : x - 0.5;
}

float Nearest(float x) noexcept
{
    return x >= 0.0f ? x + 0.5f : x - 0.5f;
}

// Conversions of a rounded value that saturate instead of overflowing; NaN
// gives 0, as the target's converting instructions do.
std::int32_t SaturateInt32(double y) noexcept
{
    if (std::isnan(y))
        return 0;
    if (y >= 2147483648.0)
        return std::numeric_limits<std::int32_t>::max();
    if (y <= -2147483649.0)
        return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(y);
}

std::uint32_t SaturateUInt32(double y) noexcept
{
    if (std::isnan(y) || y <= -1.0)
        return 0;
    if (y >= 4294967296.0)
        return std::numeric_limits<std::uint32_t>::max();
    return static_cast<std::uint32_t>(y);
}

std::int64_t SaturateInt64(double y) noexcept
{
    if (std::isnan(y))
        return 0;
    if (y >= 9223372036854775808.0)
        return std::numeric_limits<std::int64_t>::max();
    if (y < -9223372036854775808.0)
        return std::numeric_limits<std::int64_t>::min();
    return static_cast<std::int64_t>(y);
}

std::uint64_t SaturateUInt64(double y) noexcept
{
    if (std::isnan(y) || y <= -1.0)
        return 0;
    if (y >= 18446744073709551616.0)
        return std::numeric_limits<std::uint64_t>::max();
    return static_cast<std::uint64_t>(y);
}

// Walks the elements of serialised array data.  Every element must have a
// total size of at least the header and lie wholly inside the data; the walk
// stops at the first one that does not.
class ElementCursor
{
public:
    ElementCursor(const std::uint8_t* data, std::uint32_t size) noexcept : mData(data), mSize(data ? size : 0) {}

    // The next element, or false at the end or at a malformed element.
    bool Next(const std::uint8_t*& element, std::uint32_t& total) noexcept
    {
        const std::uint32_t remaining = mSize - mOffset;
        if (remaining < Variant::kHeaderSize)
            return false;
        total = ReadLE32(mData + mOffset);
        if (total < Variant::kHeaderSize || total > remaining)
            return false;
        element = mData + mOffset;
        mOffset += total;
        return true;
    }

    bool AtEnd() const noexcept { return mOffset == mSize; }

private:
    const std::uint8_t* mData;
    std::uint32_t mSize;
    std::uint32_t mOffset = 0;
};

// Counts the well-formed elements; false when the data does not end exactly
// after the last of them.
bool CountElements(const std::uint8_t* data, std::uint32_t size, std::uint32_t& count) noexcept
{
    ElementCursor cursor(data, size);
    const std::uint8_t* element = nullptr;
    std::uint32_t total = 0;
    count = 0;
    while (cursor.Next(element, total))
        ++count;
    return cursor.AtEnd();
}

// The header of one serialised element as Deserialize reads it: the tag it
// stands for (old numbers mapped) and its data.  False when the header alone
// makes Deserialize refuse the element.
bool ReadHeader(const std::uint8_t* in, std::uint32_t length, bool reportOldTags, std::uint32_t& tag,
                const std::uint8_t*& data, std::uint32_t& dataLength) noexcept
{
    if (in == nullptr || length < Variant::kHeaderSize)
        return false;
    const std::uint32_t total = ReadLE32(in);
    const std::uint32_t format = ReadLE32(in + 4);
    tag = ReadLE32(in + 8);
    // A total below the header would make an array walk stand still.
    if (total > length || total < Variant::kHeaderSize)
        return false;
    if (format == Variant::kFormatOld)
    {
        static constexpr std::uint32_t kOldTags[] = {
            Variant::T_NONE,  Variant::T_BOOL,   Variant::T_INT32,         Variant::T_INT64,
            Variant::T_FLOAT, Variant::T_DOUBLE, Variant::T_EXTERNAL_DATA, Variant::T_EXTERNAL_OBJECT,
            Variant::T_BYTES, Variant::T_STRING, Variant::T_ARRAY};
        if (tag >= 12)
        {
            if (reportOldTags)
                VX_ASSERT_FALSE();
            return false;
        }
        if (tag >= sizeof kOldTags / sizeof kOldTags[0])
            return false;
        tag = kOldTags[tag];
    }
    else if (format != Variant::kFormatCurrent || tag > Variant::T_ARRAY)
    {
        return false;
    }
    data = in + Variant::kHeaderSize;
    dataLength = total - Variant::kHeaderSize;
    return true;
}

// True when array data is well formed at every level and nests no deeper
// than `levels` arrays, its own level included.  Each call goes one level
// down, so the recursion ends after `levels` calls whatever the input.
bool CheckArrayData(const std::uint8_t* data, std::uint32_t size, std::uint32_t levels) noexcept
{
    if (levels == 0)
        return false;
    ElementCursor cursor(data, size);
    const std::uint8_t* element = nullptr;
    std::uint32_t total = 0;
    while (cursor.Next(element, total))
    {
        std::uint32_t tag = 0;
        const std::uint8_t* nested = nullptr;
        std::uint32_t nestedSize = 0;
        if (ReadHeader(element, total, false, tag, nested, nestedSize) && tag == Variant::T_ARRAY &&
            !CheckArrayData(nested, nestedSize, levels - 1))
            return false;
    }
    return cursor.AtEnd();
}

template <class T>
int Order(T a, T b) noexcept
{
    return a < b ? -1 : (b < a ? 1 : 0);
}

// A total order on floating-point values: NaN after every number.
template <class F>
int OrderFloating(F a, F b) noexcept
{
    const bool aNan = std::isnan(a);
    const bool bNan = std::isnan(b);
    if (aNan || bNan)
        return Order(static_cast<int>(aNan), static_cast<int>(bNan));
    return Order(a, b);
}

int OrderBytes(const std::uint8_t* a, std::uint32_t aSize, const std::uint8_t* b, std::uint32_t bSize) noexcept
{
    const std::uint32_t common = aSize < bSize ? aSize : bSize;
    if (common != 0)
    {
        const int c = std::memcmp(a, b, common);
        if (c != 0)
            return c < 0 ? -1 : 1;
    }
    return Order(aSize, bSize);
}
} // namespace

namespace
{
enum class Kind
{
    None,
    Bool,
    Signed,
    Unsigned,
    Float,
    Double,
    Data,
    Text,
    Array,
    Unknown
};

Kind KindOf(std::uint32_t tag) noexcept
{
    switch (tag)
    {
    case Variant::T_NONE:
        return Kind::None;
    case Variant::T_BOOL:
        return Kind::Bool;
    case Variant::T_INT8:
    case Variant::T_INT16:
    case Variant::T_INT32:
    case Variant::T_INT64:
        return Kind::Signed;
    case Variant::T_UINT8:
    case Variant::T_UINT16:
    case Variant::T_UINT32:
    case Variant::T_UINT64:
        return Kind::Unsigned;
    case Variant::T_FLOAT:
        return Kind::Float;
    case Variant::T_DOUBLE:
        return Kind::Double;
    case Variant::T_EXTERNAL_DATA:
    case Variant::T_EXTERNAL_OBJECT:
    case Variant::T_BYTES:
        return Kind::Data;
    case Variant::T_STRING:
        return Kind::Text;
    case Variant::T_ARRAY:
        return Kind::Array;
    default:
        return Kind::Unknown;
    }
}
} // namespace

Variant::Variant(const Variant& other) : Variant()
{
    // Inside the constructor this is Variant's own allocation, whatever the
    // final class: subclasses copy again in their own constructors.
    CopyFrom(other);
}

Variant& Variant::operator=(const Variant& other)
{
    CopyFrom(other);
    return *this;
}

Variant::~Variant()
{
    Clear();
}

void* Variant::AllocateData(std::uint32_t size)
{
    return std::malloc(size);
}

void Variant::FreeData(void* data)
{
    std::free(data);
}

void* Variant::GetDataPointer() const noexcept
{
    void* pointer;
    std::memcpy(&pointer, mValue, sizeof pointer);
    return pointer;
}

void Variant::SetDataPointer(const void* pointer) noexcept
{
    std::memset(mValue, 0, sizeof mValue);
    void* mutablePointer = const_cast<void*>(pointer);
    std::memcpy(mValue, &mutablePointer, sizeof mutablePointer);
}

void Variant::AdoptData(std::uint32_t tag, void* data, std::uint32_t size) noexcept
{
    SetDataPointer(data);
    mSize = size;
    mTag = tag;
}

bool Variant::PointsIntoOwnData(const void* pointer) const noexcept
{
    if (!IsOwnedTag(mTag) || mSize == 0 || pointer == nullptr)
        return false;
    const auto* begin = static_cast<const std::uint8_t*>(GetDataPointer());
    const auto* p = static_cast<const std::uint8_t*>(pointer);
    return std::less_equal<const std::uint8_t*>()(begin, p) && std::less<const std::uint8_t*>()(p, begin + mSize);
}

void Variant::CopyFrom(const Variant& other)
{
    if (&other == this)
        return;
    Clear();
    if (IsOwnedTag(other.mTag))
    {
        if (other.mSize == 0)
        {
            mTag = other.mTag;
            return;
        }
        void* data = AllocateData(other.mSize);
        if (data == nullptr)
            return;
        std::memcpy(data, other.GetDataPointer(), other.mSize);
        AdoptData(other.mTag, data, other.mSize);
        return;
    }
    std::memcpy(mValue, other.mValue, sizeof mValue);
    mSize = other.mSize;
    mTag = other.mTag;
}

void Variant::Clear()
{
    if (IsOwnedTag(mTag))
        FreeData(GetDataPointer());
    std::memset(mValue, 0, sizeof mValue);
    mSize = 0;
    mTag = T_NONE;
}

void Variant::SetBytes(const void* data, std::uint32_t length)
{
    if (PointsIntoOwnData(data))
    {
        // The source goes away with the clear below.
        const std::vector<std::uint8_t> copy(static_cast<const std::uint8_t*>(data),
                                             static_cast<const std::uint8_t*>(data) + length);
        SetBytes(copy.data(), length);
        return;
    }
    Clear();
    if (length == 0)
    {
        mTag = T_BYTES;
        return;
    }
    void* block = AllocateData(length);
    if (block == nullptr)
        return;
    if (data != nullptr)
        std::memcpy(block, data, length);
    else
        std::memset(block, 0, length);
    AdoptData(T_BYTES, block, length);
}

void Variant::SetString(const char* text)
{
    if (text == nullptr)
        text = "";
    const std::size_t length = std::strlen(text);
    if (length >= std::numeric_limits<std::uint32_t>::max())
    {
        VX_ASSERT_FALSE();
        Clear();
        return;
    }
    SetBytes(text, static_cast<std::uint32_t>(length + 1));
    if (mTag == T_BYTES)
        mTag = T_STRING;
}

void Variant::SetExternalData(const void* data, std::uint32_t size)
{
    Clear();
    AdoptData(T_EXTERNAL_DATA, const_cast<void*>(data), size);
}

void Variant::SetExternalObject(void* object, std::uint32_t size)
{
    Clear();
    AdoptData(T_EXTERNAL_OBJECT, object, size);
}

std::uint32_t Variant::SetFromBytes(std::uint32_t tag, const void* data, std::uint32_t length)
{
    std::uint32_t width = 0;
    switch (tag)
    {
    case T_BOOL:
    case T_INT8:
    case T_UINT8:
        width = 1;
        break;
    case T_INT16:
    case T_UINT16:
        width = 2;
        break;
    case T_INT32:
    case T_UINT32:
    case T_FLOAT:
        width = 4;
        break;
    case T_DOUBLE:
    case T_INT64:
    case T_UINT64:
        width = 8;
        break;
    default:
        break;
    }

    if (width != 0)
    {
        Clear();
        if (length == width && data != nullptr)
        {
            std::memcpy(mValue, data, width);
            if (tag == T_BOOL)
                mValue[0] = mValue[0] != 0 ? 1 : 0;
            mTag = tag;
        }
    }
    else if (tag == T_STRING)
    {
        // The text must end inside the bytes given: nothing is read beyond them.
        if (data != nullptr && std::memchr(data, 0, length) != nullptr)
            SetString(static_cast<const char*>(data));
        else
            Clear();
    }
    else if (tag == T_EXTERNAL_DATA || tag == T_EXTERNAL_OBJECT || tag == T_BYTES || tag == T_ARRAY)
    {
        SetBytes(data, length);
        if (tag == T_ARRAY && mTag == T_BYTES)
            mTag = T_ARRAY;
    }
    else
    {
        Clear();
        if (tag > T_ARRAY)
            VX_ASSERT_FALSE();
    }

    if (mTag == T_NONE)
        VX_ASSERT_FALSE();
    return mTag;
}

void Variant::SetArrayFromList(const Variant* const* pointers, const Variant* items, std::uint32_t count)
{
    auto item = [&](std::uint32_t i) -> const Variant* { return pointers ? pointers[i] : &items[i]; };

    if (count != 0 && pointers == nullptr && items == nullptr)
    {
        VX_ASSERT_FALSE();
        count = 0;
    }

    std::uint64_t total = 0;
    for (std::uint32_t i = 0; i < count; ++i)
    {
        const Variant* element = item(i);
        std::uint32_t size = 0;
        if (element != nullptr)
            element->DataBytes(size);
        total += kHeaderSize + static_cast<std::uint64_t>(size);
    }
    if (total > std::numeric_limits<std::uint32_t>::max())
    {
        VX_ASSERT_FALSE();
        Clear();
        return;
    }

    // Serialised aside first: an element may be this variant itself.
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(total));
    std::uint32_t offset = 0;
    for (std::uint32_t i = 0; i < count; ++i)
    {
        const Variant* element = item(i);
        std::uint32_t size = 0;
        const std::uint8_t* data = element ? element->DataBytes(size) : nullptr;
        // Elements that Serialize refuses (empty references, a null element)
        // still get their header, so the array keeps its shape; they read
        // back as empty values.
        WriteLE32(&bytes[offset], kHeaderSize + size);
        WriteLE32(&bytes[offset + 4], kFormatCurrent);
        WriteLE32(&bytes[offset + 8], element ? element->mTag : T_NONE);
        if (size != 0)
            std::memcpy(&bytes[offset + kHeaderSize], data, size);
        offset += kHeaderSize + size;
    }

    Clear();
    if (total == 0)
    {
        mTag = T_ARRAY;
        return;
    }
    void* block = AllocateData(static_cast<std::uint32_t>(total));
    if (block == nullptr)
        return;
    std::memcpy(block, bytes.data(), bytes.size());
    AdoptData(T_ARRAY, block, static_cast<std::uint32_t>(total));
}

void Variant::SetArray(const Variant* items, std::uint32_t count)
{
    SetArrayFromList(nullptr, items, count);
}

void Variant::SetArrayOfPointers(const Variant* const* items, std::uint32_t count)
{
    if (items == nullptr && count != 0)
    {
        VX_ASSERT_FALSE();
        count = 0;
    }
    SetArrayFromList(items, nullptr, count);
}

const std::uint8_t* Variant::DataBytes(std::uint32_t& size) const
{
    switch (mTag)
    {
    case T_BOOL:
    case T_INT8:
    case T_UINT8:
        size = 1;
        return mValue;
    case T_INT16:
    case T_UINT16:
        size = 2;
        return mValue;
    case T_INT32:
    case T_UINT32:
    case T_FLOAT:
        size = 4;
        return mValue;
    case T_DOUBLE:
    case T_INT64:
    case T_UINT64:
        size = 8;
        return mValue;
    case T_EXTERNAL_DATA:
    case T_EXTERNAL_OBJECT:
    case T_BYTES:
    case T_STRING:
    case T_ARRAY:
    {
        const auto* data = static_cast<const std::uint8_t*>(GetDataPointer());
        size = data ? mSize : 0;
        return data;
    }
    default:
        size = 0;
        return nullptr;
    }
}

void* Variant::GetData(std::uint32_t& size)
{
    switch (KindOf(mTag))
    {
    case Kind::None:
        size = 0;
        return nullptr;
    case Kind::Data:
    case Kind::Text:
    case Kind::Array:
        size = mSize;
        return GetDataPointer();
    case Kind::Unknown:
        VX_ASSERT_FALSE();
        size = 0;
        return nullptr;
    default:
        DataBytes(size);
        return mValue;
    }
}

const void* Variant::GetData(std::uint32_t& size) const
{
    if (mTag == T_EXTERNAL_OBJECT || mTag == T_ARRAY || mTag > T_ARRAY)
    {
        VX_ASSERT_FALSE();
        size = 0;
        return nullptr;
    }
    return const_cast<Variant*>(this)->GetData(size);
}

const char* Variant::GetString() const
{
    return mTag == T_STRING ? static_cast<const char*>(GetDataPointer()) : nullptr;
}

std::uint32_t Variant::TextLength() const noexcept
{
    if (mTag != T_STRING)
        return 0;
    const void* data = GetDataPointer();
    if (data == nullptr)
        return 0;
    const void* zero = std::memchr(data, 0, mSize);
    return zero ? static_cast<std::uint32_t>(static_cast<const char*>(zero) - static_cast<const char*>(data)) : mSize;
}

std::uint64_t Variant::LoadSignExtended() const noexcept
{
    switch (mTag)
    {
    case T_INT8:
        return static_cast<std::uint64_t>(static_cast<std::int64_t>(LoadScalar<std::int8_t>()));
    case T_INT16:
        return static_cast<std::uint64_t>(static_cast<std::int64_t>(LoadScalar<std::int16_t>()));
    case T_INT32:
        return static_cast<std::uint64_t>(static_cast<std::int64_t>(LoadScalar<std::int32_t>()));
    default:
        return LoadScalar<std::uint64_t>();
    }
}

// The first bytes of referenced or owned data; data shorter than the width
// reads as if padded with zero bytes above it.
std::uint64_t Variant::LoadDataPrefix(std::uint32_t width) const noexcept
{
    const auto* data = static_cast<const std::uint8_t*>(GetDataPointer());
    if (data == nullptr)
        return 0;
    const std::uint32_t count = mSize < width ? mSize : width;
    std::uint64_t value = 0;
    for (std::uint32_t i = 0; i < count; ++i)
        value |= static_cast<std::uint64_t>(data[i]) << (8 * i);
    return value;
}


bool Variant::GetBool() const
{
    switch (mTag)
    {
    case T_NONE:
        return false;
    case T_BOOL:
        return mValue[0] != 0;
    case T_FLOAT:
        return LoadScalar<float>() != 0.0f;
    case T_DOUBLE:
        return LoadScalar<double>() != 0.0;
    case T_EXTERNAL_DATA:
    case T_EXTERNAL_OBJECT:
        return GetDataPointer() != nullptr;
    case T_BYTES:
    case T_ARRAY:
        return mSize != 0;
    case T_STRING:
        return mSize > 1;
    default:
        if (KindOf(mTag) == Kind::Signed || KindOf(mTag) == Kind::Unsigned)
            return LoadScalar<std::uint64_t>() != 0;
        VX_ASSERT_FALSE();
        return false;
    }
}

std::int8_t Variant::GetInt8() const
{
    switch (KindOf(mTag))
    {
    case Kind::None:
        return 0;
    case Kind::Bool:
    case Kind::Signed:
    case Kind::Unsigned:
        return static_cast<std::int8_t>(mValue[0]);
    case Kind::Float:
        return static_cast<std::int8_t>(SaturateInt32(Nearest(static_cast<double>(LoadScalar<float>()))));
    case Kind::Double:
        return static_cast<std::int8_t>(SaturateInt32(Nearest(LoadScalar<double>())));
    case Kind::Data:
        return static_cast<std::int8_t>(LoadDataPrefix(1));
    case Kind::Text:
        return static_cast<std::int8_t>(mSize ? mSize - 1 : 0);
    default:
        VX_ASSERT_FALSE();
        return 0;
    }
}

std::int16_t Variant::GetInt16() const
{
    switch (KindOf(mTag))
    {
    case Kind::None:
        return 0;
    case Kind::Bool:
        return mValue[0];
    case Kind::Signed:
        return static_cast<std::int16_t>(LoadSignExtended());
    case Kind::Unsigned:
        return static_cast<std::int16_t>(LoadScalar<std::uint16_t>());
    case Kind::Float:
        return static_cast<std::int16_t>(SaturateInt32(Nearest(static_cast<double>(LoadScalar<float>()))));
    case Kind::Double:
        return static_cast<std::int16_t>(SaturateInt32(Nearest(LoadScalar<double>())));
    case Kind::Data:
        return static_cast<std::int16_t>(LoadDataPrefix(2));
    case Kind::Text:
        return static_cast<std::int16_t>(mSize ? mSize - 1 : 0);
    default:
        VX_ASSERT_FALSE();
        return 0;
    }
}

std::int32_t Variant::GetInt32() const
{
    switch (KindOf(mTag))
    {
    case Kind::None:
        return 0;
    case Kind::Bool:
        return mValue[0];
    case Kind::Signed:
        return static_cast<std::int32_t>(LoadSignExtended());
    case Kind::Unsigned:
        return static_cast<std::int32_t>(LoadScalar<std::uint32_t>());
    case Kind::Float:
        return SaturateInt32(Nearest(static_cast<double>(LoadScalar<float>())));
    case Kind::Double:
        return SaturateInt32(Nearest(LoadScalar<double>()));
    case Kind::Data:
        return static_cast<std::int32_t>(LoadDataPrefix(4));
    case Kind::Text:
        return static_cast<std::int32_t>(mSize ? mSize - 1 : 0);
    default:
        VX_ASSERT_FALSE();
        return 0;
    }
}

std::int64_t Variant::GetInt64() const
{
    switch (KindOf(mTag))
    {
    case Kind::None:
        return 0;
    case Kind::Bool:
        return mValue[0];
    case Kind::Signed:
        return static_cast<std::int64_t>(LoadSignExtended());
    case Kind::Unsigned:
        return static_cast<std::int64_t>(LoadScalar<std::uint64_t>());
    case Kind::Float:
        // Rounded in float arithmetic, as the 64-bit conversion always was.
        return SaturateInt64(static_cast<double>(std::trunc(Nearest(LoadScalar<float>()))));
    case Kind::Double:
        return SaturateInt64(Nearest(LoadScalar<double>()));
    case Kind::Data:
        return static_cast<std::int64_t>(LoadDataPrefix(8));
    case Kind::Text:
        return static_cast<std::int64_t>(mSize ? mSize - 1 : 0);
    default:
        VX_ASSERT_FALSE();
        return 0;
    }
}

std::uint8_t Variant::GetUInt8() const
{
    return static_cast<std::uint8_t>(Variant::GetInt8());
}

std::uint16_t Variant::GetUInt16() const
{
    switch (KindOf(mTag))
    {
    case Kind::None:
        return 0;
    case Kind::Bool:
        return mValue[0];
    case Kind::Signed:
    case Kind::Unsigned:
        // The stored bytes: an int8 of -1 reads as 255.
        return LoadScalar<std::uint16_t>();
    case Kind::Float:
        return static_cast<std::uint16_t>(SaturateUInt32(Nearest(static_cast<double>(LoadScalar<float>()))));
    case Kind::Double:
        return static_cast<std::uint16_t>(SaturateUInt32(Nearest(LoadScalar<double>())));
    case Kind::Data:
        return static_cast<std::uint16_t>(LoadDataPrefix(2));
    case Kind::Text:
        return static_cast<std::uint16_t>(mSize ? mSize - 1 : 0);
    default:
        VX_ASSERT_FALSE();
        return 0;
    }
}

std::uint32_t Variant::GetUInt32() const
{
    switch (KindOf(mTag))
    {
    case Kind::None:
        return 0;
    case Kind::Bool:
        return mValue[0];
    case Kind::Signed:
        return static_cast<std::uint32_t>(LoadSignExtended());
    case Kind::Unsigned:
        return LoadScalar<std::uint32_t>();
    case Kind::Float:
        return SaturateUInt32(Nearest(static_cast<double>(LoadScalar<float>())));
    case Kind::Double:
        return SaturateUInt32(Nearest(LoadScalar<double>()));
    case Kind::Data:
        return static_cast<std::uint32_t>(LoadDataPrefix(4));
    case Kind::Text:
        return mSize ? mSize - 1 : 0;
    default:
        VX_ASSERT_FALSE();
        return 0;
    }
}

std::uint64_t Variant::GetUInt64() const
{
    switch (KindOf(mTag))
    {
    case Kind::None:
        return 0;
    case Kind::Bool:
        return mValue[0];
    case Kind::Signed:
        return LoadSignExtended();
    case Kind::Unsigned:
        return LoadScalar<std::uint64_t>();
    case Kind::Float:
        return SaturateUInt64(static_cast<double>(std::trunc(Nearest(LoadScalar<float>()))));
    case Kind::Double:
        return SaturateUInt64(Nearest(LoadScalar<double>()));
    case Kind::Data:
        return LoadDataPrefix(8);
    case Kind::Text:
        return mSize ? mSize - 1 : 0;
    default:
        VX_ASSERT_FALSE();
        return 0;
    }
}

float Variant::GetFloat() const
{
    switch (mTag)
    {
    case T_NONE:
        return 0.0f;
    case T_BOOL:
        return mValue[0];
    case T_INT8:
    case T_INT16:
    case T_INT32:
    case T_INT64:
        return static_cast<float>(static_cast<std::int64_t>(LoadSignExtended()));
    case T_UINT8:
    case T_UINT16:
    case T_UINT32:
    case T_UINT64:
        return static_cast<float>(LoadScalar<std::uint64_t>());
    case T_FLOAT:
        return LoadScalar<float>();
    case T_DOUBLE:
        return static_cast<float>(LoadScalar<double>());
    case T_EXTERNAL_DATA:
    case T_EXTERNAL_OBJECT:
    case T_BYTES:
    case T_STRING:
        return static_cast<float>(Variant::GetInt32());
    default:
        VX_ASSERT_FALSE();
        return 0.0f;
    }
}

double Variant::GetDouble() const
{
    switch (mTag)
    {
    case T_NONE:
        return 0.0;
    case T_BOOL:
        return mValue[0];
    case T_INT8:
    case T_INT16:
    case T_INT32:
    case T_INT64:
        return static_cast<double>(static_cast<std::int64_t>(LoadSignExtended()));
    case T_UINT8:
    case T_UINT16:
    case T_UINT32:
    case T_UINT64:
        return static_cast<double>(LoadScalar<std::uint64_t>());
    case T_FLOAT:
        return LoadScalar<float>();
    case T_DOUBLE:
        return LoadScalar<double>();
    case T_EXTERNAL_DATA:
    case T_EXTERNAL_OBJECT:
    case T_BYTES:
    case T_STRING:
        return static_cast<double>(Variant::GetInt64());
    default:
        VX_ASSERT_FALSE();
        return 0.0;
    }
}

std::uint32_t Variant::GetSerializedSize() const
{
    std::uint32_t size = 0;
    DataBytes(size);
    return kHeaderSize + size;
}

std::int32_t Variant::Serialize(void* buffer, std::uint32_t capacity) const
{
    if (buffer == nullptr || mTag > T_ARRAY)
        return VXR_E_FAIL;
    if ((mTag == T_EXTERNAL_DATA || mTag == T_EXTERNAL_OBJECT) && (mSize == 0 || GetDataPointer() == nullptr))
        return VXR_E_FAIL;
    std::uint32_t size = 0;
    const std::uint8_t* data = DataBytes(size);
    if (size > std::numeric_limits<std::uint32_t>::max() - kHeaderSize ||
        size + kHeaderSize > static_cast<std::uint32_t>(std::numeric_limits<std::int32_t>::max()))
        return VXR_E_FAIL;
    const std::uint32_t total = kHeaderSize + size;
    if (capacity < total)
        return VXR_E_FAIL;
    auto* out = static_cast<std::uint8_t*>(buffer);
    WriteLE32(out, total);
    WriteLE32(out + 4, kFormatCurrent);
    WriteLE32(out + 8, mTag);
    if (size != 0)
        std::memcpy(out + kHeaderSize, data, size);
    return static_cast<std::int32_t>(total);
}

VxRESULT Variant::Deserialize(const void* buffer, std::uint32_t length)
{
    Clear();
    std::uint32_t tag = 0;
    const std::uint8_t* data = nullptr;
    std::uint32_t dataLength = 0;
    if (!ReadHeader(static_cast<const std::uint8_t*>(buffer), length, true, tag, data, dataLength))
        return VXR_E_FAIL;
    if (dataLength == 0)
    {
        // Empty bytes are accepted too, so that an empty byte block that was
        // serialised reads back.
        if (tag == T_NONE || tag == T_ARRAY || tag == T_BYTES)
        {
            mTag = tag;
            return VXR_OK;
        }
        return VXR_E_FAIL;
    }

    // Every level of an array is checked here, so that whatever reads the
    // elements later finds them well formed and bounded in depth.
    if (tag == T_ARRAY && !CheckArrayData(data, dataLength, kMaxNestingDepth))
        return VXR_E_FAIL;
    if (SetFromBytes(tag, data, dataLength) != tag)
    {
        Clear();
        return VXR_E_FAIL;
    }
    return VXR_OK;
}

Variant::ArrayBytes Variant::GetArrayBytes() const noexcept
{
    if (mTag != T_ARRAY)
        return {};
    return {static_cast<const std::uint8_t*>(GetDataPointer()), mSize};
}

std::uint32_t Variant::CountArrayElements(ArrayBytes array) noexcept
{
    std::uint32_t count = 0;
    CountElements(array.data, array.size, count);
    return count;
}

bool Variant::ElementReader::Next(Variant& element, bool& isArray, ArrayBytes& nested)
{
    element.Clear();
    isArray = false;
    nested = {};
    if (mArray.data == nullptr || mArray.size - mOffset < kHeaderSize)
        return false;
    const std::uint8_t* in = mArray.data + mOffset;
    const std::uint32_t total = ReadLE32(in);
    if (total < kHeaderSize || total > mArray.size - mOffset)
        return false;
    mOffset += total;

    std::uint32_t tag = 0;
    const std::uint8_t* data = nullptr;
    std::uint32_t dataLength = 0;
    if (ReadHeader(in, total, false, tag, data, dataLength) && tag == T_ARRAY)
    {
        // What Deserialize accepts is an array; the rest reads as empty.  An
        // array inside a checked one is within the limit too, so each level
        // is checked once, not once for every level above it.
        if (mArray.checked || dataLength == 0 || CheckArrayData(data, dataLength, kMaxNestingDepth))
        {
            isArray = true;
            nested = {dataLength != 0 ? data : nullptr, dataLength, true};
        }
        return true;
    }
    element.Deserialize(in, total);
    return true;
}

std::uint32_t Variant::GetArrayCount() const
{
    if (mTag != T_ARRAY)
        return 0;
    std::uint32_t count = 0;
    if (!CountElements(static_cast<const std::uint8_t*>(GetDataPointer()), mSize, count))
        VX_ASSERT_FALSE();
    return count;
}

std::int32_t Variant::GetArrayElement(std::uint32_t index, Variant& element) const
{
    if (&element == this)
    {
        const Variant source(*this);
        return source.GetArrayElement(index, element);
    }
    element.Clear();
    if (mTag != T_ARRAY)
        return -1;
    ElementCursor cursor(static_cast<const std::uint8_t*>(GetDataPointer()), mSize);
    const std::uint8_t* data = nullptr;
    std::uint32_t total = 0;
    for (std::uint32_t i = 0; i <= index; ++i)
    {
        if (!cursor.Next(data, total))
            return -1;
    }
    element.Deserialize(data, total);
    return 0;
}

bool Variant::operator==(const Variant& other) const
{
    if (mTag != other.mTag)
        return false;
    switch (mTag)
    {
    case T_NONE:
        return true;
    case T_BOOL:
    case T_INT8:
    case T_UINT8:
        return mValue[0] == other.mValue[0];
    case T_INT16:
    case T_UINT16:
        return LoadScalar<std::uint16_t>() == other.LoadScalar<std::uint16_t>();
    case T_INT32:
    case T_UINT32:
        return LoadScalar<std::uint32_t>() == other.LoadScalar<std::uint32_t>();
    case T_FLOAT:
        return LoadScalar<float>() == other.LoadScalar<float>();
    case T_DOUBLE:
        return LoadScalar<double>() == other.LoadScalar<double>();
    case T_INT64:
    case T_UINT64:
        return LoadScalar<std::uint64_t>() == other.LoadScalar<std::uint64_t>();
    case T_EXTERNAL_DATA:
    case T_EXTERNAL_OBJECT:
        return GetDataPointer() == other.GetDataPointer() && mSize == other.mSize;
    case T_BYTES:
    case T_STRING:
    case T_ARRAY:
    {
        if (mSize != other.mSize)
            return false;
        if (mSize == 0)
            return true;
        const void* a = GetDataPointer();
        const void* b = other.GetDataPointer();
        if (a == nullptr || b == nullptr)
            return a == b;
        return std::memcmp(a, b, mSize) == 0;
    }
    default:
        VX_ASSERT_FALSE();
        return false;
    }
}

int Variant::CompareOrder(const Variant& a, const Variant& b)
{
    if (a.mTag != b.mTag)
        return Order(a.mTag, b.mTag);
    switch (a.mTag)
    {
    case T_NONE:
        return 0;
    case T_BOOL:
        return Order(a.mValue[0] != 0, b.mValue[0] != 0);
    case T_INT8:
    case T_INT16:
    case T_INT32:
    case T_INT64:
        return Order(static_cast<std::int64_t>(a.LoadSignExtended()), static_cast<std::int64_t>(b.LoadSignExtended()));
    case T_UINT8:
        return Order(a.LoadScalar<std::uint8_t>(), b.LoadScalar<std::uint8_t>());
    case T_UINT16:
        return Order(a.LoadScalar<std::uint16_t>(), b.LoadScalar<std::uint16_t>());
    case T_UINT32:
        return Order(a.LoadScalar<std::uint32_t>(), b.LoadScalar<std::uint32_t>());
    case T_UINT64:
        return Order(a.LoadScalar<std::uint64_t>(), b.LoadScalar<std::uint64_t>());
    case T_FLOAT:
        return OrderFloating(a.LoadScalar<float>(), b.LoadScalar<float>());
    case T_DOUBLE:
        return OrderFloating(a.LoadScalar<double>(), b.LoadScalar<double>());
    case T_EXTERNAL_DATA:
    case T_EXTERNAL_OBJECT:
    {
        const int bySize = Order(a.mSize, b.mSize);
        if (bySize != 0)
            return bySize;
        return Order(reinterpret_cast<std::uintptr_t>(a.GetDataPointer()),
                     reinterpret_cast<std::uintptr_t>(b.GetDataPointer()));
    }
    case T_BYTES:
    {
        // Shorter first; equal lengths byte by byte.
        std::uint32_t aSize = 0;
        std::uint32_t bSize = 0;
        const std::uint8_t* aData = a.DataBytes(aSize);
        const std::uint8_t* bData = b.DataBytes(bSize);
        const int bySize = Order(aSize, bSize);
        return bySize != 0 ? bySize : OrderBytes(aData, aSize, bData, bSize);
    }
    case T_STRING:
        return OrderBytes(static_cast<const std::uint8_t*>(a.GetDataPointer()), a.TextLength(),
                          static_cast<const std::uint8_t*>(b.GetDataPointer()), b.TextLength());
    case T_ARRAY:
        return CompareArrays(a.GetArrayBytes(), b.GetArrayBytes());
    default:
        VX_ASSERT_FALSE();
        return 0;
    }
}

// Element by element over the well-formed elements, then by count.  Nested
// arrays are compared where they lie; the reader hands over only arrays of
// bounded depth, so the recursion is bounded too.
int Variant::CompareArrays(ArrayBytes a, ArrayBytes b)
{
    ElementReader aReader(a);
    ElementReader bReader(b);
    Variant aValue;
    Variant bValue;
    for (;;)
    {
        bool aIsArray = false;
        bool bIsArray = false;
        ArrayBytes aNested;
        ArrayBytes bNested;
        const bool aMore = aReader.Next(aValue, aIsArray, aNested);
        const bool bMore = bReader.Next(bValue, bIsArray, bNested);
        if (!aMore || !bMore)
            return Order(aMore, bMore);
        int c = 0;
        if (aIsArray && bIsArray)
            c = CompareArrays(aNested, bNested);
        else if (aIsArray || bIsArray)
            c = Order(aIsArray ? static_cast<std::uint32_t>(T_ARRAY) : aValue.mTag,
                      bIsArray ? static_cast<std::uint32_t>(T_ARRAY) : bValue.mTag);
        else
            c = CompareOrder(aValue, bValue);
        if (c != 0)
            return c;
    }
}
} // namespace Vx
