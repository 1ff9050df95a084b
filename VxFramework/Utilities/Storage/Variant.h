#pragma once

#include "VxFramework/ObjectBase/Result.h"

#include <cstdint>
#include <cstring>
#include <type_traits>

namespace Vx
{
// A tagged value of seventeen kinds, readable as any scalar type and
// serialisable into a flat little-endian form in which arrays are stored.
// Owned data (bytes, text, arrays) is obtained and released only through
// AllocateData and FreeData, so a subclass decides where it lives.
class Variant
{
public:
    enum Tag : std::uint32_t
    {
        T_NONE = 0,
        T_BOOL = 1,
        T_INT8 = 2,
        T_UINT8 = 3,
        T_INT16 = 4,
        T_UINT16 = 5,
        T_INT32 = 6,
        T_UINT32 = 7,
        T_FLOAT = 8,
        T_DOUBLE = 9,
        T_INT64 = 10,
        T_UINT64 = 11,
        T_EXTERNAL_DATA = 12,
        T_EXTERNAL_OBJECT = 13,
        T_BYTES = 14,
        T_STRING = 15,
        T_ARRAY = 16,
    };

    // Serialised element: total size, format, tag (32 bits each), then the data.
    static constexpr std::uint32_t kHeaderSize = 12;
    static constexpr std::uint32_t kFormatOld = 0;
    static constexpr std::uint32_t kFormatCurrent = 1;
    // Arrays nest at most this deep, the outermost counting as one level:
    // deeper serialised input is refused, so that no walk over a value read
    // from outside recurses without bound.
    static constexpr std::uint32_t kMaxNestingDepth = 64;

    Variant() noexcept : mValue{}, mSize(0), mTag(T_NONE) {}
    Variant(bool value) noexcept : Variant() { StoreScalar(T_BOOL, static_cast<std::uint8_t>(value ? 1 : 0)); }
    Variant(float value) noexcept : Variant() { StoreScalar(T_FLOAT, value); }
    Variant(double value) noexcept : Variant() { StoreScalar(T_DOUBLE, value); }
    // Every integer type lands on the tag of its width and signedness.
    template <class I, std::enable_if_t<std::is_integral_v<I> && !std::is_same_v<I, bool>, int> = 0>
    Variant(I value) noexcept : Variant()
    {
        StoreScalar(IntegerTag<I>(), value);
    }
    // A pointer would otherwise quietly become a bool.
    template <class P>
    Variant(P*) = delete;

    Variant(const Variant& other);
    Variant& operator=(const Variant& other);
    virtual ~Variant();

    virtual bool GetBool() const;
    virtual std::int8_t GetInt8() const;
    virtual std::int16_t GetInt16() const;
    virtual std::int32_t GetInt32() const;
    virtual std::int64_t GetInt64() const;
    virtual std::uint8_t GetUInt8() const;
    virtual std::uint16_t GetUInt16() const;
    virtual std::uint32_t GetUInt32() const;
    virtual std::uint64_t GetUInt64() const;
    virtual float GetFloat() const;
    virtual double GetDouble() const;
    virtual void* GetData(std::uint32_t& size);
    // Refuses referenced objects and arrays.
    virtual const void* GetData(std::uint32_t& size) const;
    virtual const char* GetString() const;

protected:
    virtual void* AllocateData(std::uint32_t size);
    virtual void FreeData(void* data);

public:
    std::uint32_t GetTag() const noexcept { return mTag; }
    // The data length for tags 12 to 16 (text includes its terminating zero).
    std::uint32_t GetSize() const noexcept { return mSize; }

    void CopyFrom(const Variant& other);
    void Clear();

    void SetBytes(const void* data, std::uint32_t length);
    void SetString(const char* text);
    // Referenced data: the variant neither copies nor owns it.
    void SetExternalData(const void* data, std::uint32_t size);
    void SetExternalObject(void* object, std::uint32_t size);
    std::uint32_t SetFromBytes(std::uint32_t tag, const void* data, std::uint32_t length);
    void SetArray(const Variant* items, std::uint32_t count);
    void SetArrayOfPointers(const Variant* const* items, std::uint32_t count);

    std::uint32_t GetSerializedSize() const;
    // The bytes written, or 0x80000008.
    std::int32_t Serialize(void* buffer, std::uint32_t capacity) const;
    VxRESULT Deserialize(const void* buffer, std::uint32_t length);

    std::uint32_t GetArrayCount() const;
    // 0, or -1 when there is no such element.
    std::int32_t GetArrayElement(std::uint32_t index, Variant& element) const;

    bool operator==(const Variant& other) const;
    bool operator!=(const Variant& other) const { return !(*this == other); }
    // A strict weak order over every tag: by tag, then by value; arrays element
    // by element, then by count.
    bool operator<(const Variant& other) const { return CompareOrder(*this, other) < 0; }
    // -1, 0 or 1 in the order of operator<.
    static int CompareOrder(const Variant& a, const Variant& b);

protected:
    // Data bytes and length as the non-const GetData reports them, for any tag.
    const std::uint8_t* DataBytes(std::uint32_t& size) const;
    void* GetDataPointer() const noexcept;
    void SetDataPointer(const void* pointer) noexcept;
    // Takes over a pointer and size the caller has already allocated.
    void AdoptData(std::uint32_t tag, void* data, std::uint32_t size) noexcept;
    // Text up to its first zero, within the data.
    std::uint32_t TextLength() const noexcept;
    // Serialised array data, read where it lies.
    struct ArrayBytes
    {
        const std::uint8_t* data = nullptr;
        std::uint32_t size = 0;
        // Every array in the data is known to be well formed and within the
        // nesting limit: its elements need no check of their own.
        bool checked = false;
    };
    // This variant's array data; empty for other tags.
    ArrayBytes GetArrayBytes() const noexcept;
    // The elements up to the first malformed one.
    static std::uint32_t CountArrayElements(ArrayBytes array) noexcept;

    // Reads array elements in order, each as GetArrayElement gives it, except
    // that an element which reads as an array is handed over as its bytes
    // instead of being copied: walks over nested arrays then cost time in
    // proportion to the data, not to the data times its depth.
    class ElementReader
    {
    public:
        explicit ElementReader(ArrayBytes array) noexcept : mArray(array) {}
        // False after the last well-formed element.  Otherwise either isArray
        // is set, with the element's array data in nested and element left
        // empty, or element holds the value.
        bool Next(Variant& element, bool& isArray, ArrayBytes& nested);

    private:
        ArrayBytes mArray;
        std::uint32_t mOffset = 0;
    };

    // The eight value bytes as one number.
    std::uint64_t GetValueBits() const noexcept { return LoadScalar<std::uint64_t>(); }
    // Value, size and tag as they are, without clearing or copying owned data.
    void CopyFieldsFrom(const Variant& other) noexcept
    {
        std::memcpy(mValue, other.mValue, sizeof mValue);
        mSize = other.mSize;
        mTag = other.mTag;
    }
    void SetSizeField(std::uint32_t size) noexcept { mSize = size; }

private:
    template <class I>
    static constexpr Tag IntegerTag()
    {
        if constexpr (sizeof(I) == 1)
            return std::is_signed_v<I> ? T_INT8 : T_UINT8;
        else if constexpr (sizeof(I) == 2)
            return std::is_signed_v<I> ? T_INT16 : T_UINT16;
        else if constexpr (sizeof(I) == 4)
            return std::is_signed_v<I> ? T_INT32 : T_UINT32;
        else
        {
            static_assert(sizeof(I) == 8, "no variant tag for this integer width");
            return std::is_signed_v<I> ? T_INT64 : T_UINT64;
        }
    }

    template <class S>
    void StoreScalar(std::uint32_t tag, S value) noexcept
    {
        static_assert(sizeof(S) <= sizeof(mValue));
        std::memcpy(mValue, &value, sizeof(S));
        mTag = tag;
    }

    template <class S>
    S LoadScalar() const noexcept
    {
        S value;
        std::memcpy(&value, mValue, sizeof(S));
        return value;
    }

    static int CompareArrays(ArrayBytes a, ArrayBytes b);
    std::uint64_t LoadSignExtended() const noexcept;
    std::uint64_t LoadDataPrefix(std::uint32_t width) const noexcept;
    void SetArrayFromList(const Variant* const* pointers, const Variant* items, std::uint32_t count);
    bool PointsIntoOwnData(const void* pointer) const noexcept;

    alignas(8) std::uint8_t mValue[8];
    std::uint32_t mSize;
    std::uint32_t mTag;

    static_assert(sizeof(void*) <= 8, "a data pointer must fit the value bytes");
};
} // namespace Vx
