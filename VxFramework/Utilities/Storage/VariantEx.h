#pragma once

#include "VxFramework/ObjectBase/RefCountedObject.h"
#include "VxFramework/Utilities/Storage/Buffer.h"
#include "VxFramework/Utilities/Storage/Iterable.h"
#include "VxFramework/Utilities/Storage/StringT.h"
#include "VxFramework/Utilities/Storage/Variant.h"

#include <cstdint>
#include <string>

namespace Vx
{
// A variant whose owned data lives in a reference-counted byte buffer, with a
// text form and text values that parse as numbers.
class VariantEx : public Variant, public IStringable
{
public:
    using String = StringT<char, unsigned short>;

    VariantEx() noexcept = default;
    // Deep copies: the owned data goes into a buffer of this variant's own.
    VariantEx(const Variant& other);
    VariantEx(const VariantEx& other);
    VariantEx& operator=(const Variant& other);
    VariantEx& operator=(const VariantEx& other);
    ~VariantEx() override;

    // Text values parse; every other tag converts as in Variant.
    bool GetBool() const override;
    std::int8_t GetInt8() const override;
    std::int16_t GetInt16() const override;
    std::int32_t GetInt32() const override;
    std::int64_t GetInt64() const override;
    std::uint8_t GetUInt8() const override;
    std::uint16_t GetUInt16() const override;
    std::uint32_t GetUInt32() const override;
    std::uint64_t GetUInt64() const override;
    float GetFloat() const override;
    double GetDouble() const override;

protected:
    void* AllocateData(std::uint32_t size) override;
    void FreeData(void* data) override;

public:
    String ToString() const override;
    virtual String ToStringIndented(int depth) const;
    // The text form with the five XML special characters escaped.
    String ToXmlText() const;

    // Takes the other's value and its buffer: both then share one buffer.
    void ShareFrom(const VariantEx& other);
    void SetText(const String& text);
    void SetBytesFromBuffer(const RCPtr<LIBuffer>& buffer);
    // The owned buffer of bytes or text; any other tag throws.
    RCPtr<LIBuffer> GetBuffer() const;
    // Resizes owned bytes; returns the tag.
    std::uint32_t SetDataSize(std::uint32_t size);
    // Serialises at the offset, growing (or creating) the buffer to fit.
    std::int32_t SerializeInto(RCPtr<LIBuffer>& buffer, std::uint32_t offset) const;

    VxRESULT GetArrayElements(IArray<Variant>& elements) const;
    VxRESULT GetArrayElements(IArray<VariantEx>& elements) const;
    void SetArrayFrom(const IArray<VariantEx>& items);

    // -1, 0 or 1 in the order of operator<.
    static int Compare(const Variant& a, const Variant& b) { return CompareOrder(a, b); }

private:
    template <class V>
    VxRESULT FillArrayElements(IArray<V>& elements) const;
    // The text of array data with `count` elements, as ToStringIndented(depth).
    static void AppendArrayText(std::string& text, ArrayBytes array, std::uint32_t count, int depth);

    RCPtr<LIBuffer> mBuffer;
};
} // namespace Vx
