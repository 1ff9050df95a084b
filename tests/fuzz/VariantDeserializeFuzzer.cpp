// Deserialises arbitrary bytes as a variant and exercises everything that
// reads the result: array walks, copies, comparison, serialising again and
// the extended variant's text forms.
#include "VxFramework/Utilities/Storage/Variant.h"
#include "VxFramework/Utilities/Storage/VariantEx.h"
#include "VxFramework/Utilities/Storage/VxArray.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace
{
void Check(bool condition)
{
    if (!condition)
        std::abort();
}

void Exercise(const Vx::Variant& v, int depth)
{
    v.GetBool();
    v.GetInt64();
    v.GetUInt32();
    v.GetDouble();
    Check(Vx::Variant::CompareOrder(v, v) == 0);

    // Serialising again and reading that back gives the same value.
    std::vector<std::uint8_t> bytes(v.GetSerializedSize());
    const std::int32_t written = v.Serialize(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
    Check(written == static_cast<std::int32_t>(bytes.size()));
    Vx::Variant again;
    Check(again.Deserialize(bytes.data(), static_cast<std::uint32_t>(bytes.size())) == Vx::VXR_OK);
    Check(again == v || v.GetTag() == Vx::Variant::T_DOUBLE || v.GetTag() == Vx::Variant::T_FLOAT);

    if (depth > 8)
        return;
    const std::uint32_t count = v.GetArrayCount();
    for (std::uint32_t i = 0; i < count; ++i)
    {
        Vx::Variant element;
        Check(v.GetArrayElement(i, element) == 0);
        Exercise(element, depth + 1);
    }
    Vx::Variant element;
    Check(v.GetArrayElement(count, element) == -1);
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > 0xFFFFFFFFu)
        return 0;
    Vx::Variant v;
    if (v.Deserialize(data, static_cast<std::uint32_t>(size)) != Vx::VXR_OK)
    {
        Check(v.GetTag() == Vx::Variant::T_NONE);
        return 0;
    }
    Exercise(v, 0);
    Vx::Variant copy(v);
    Check(copy == v || v.GetTag() == Vx::Variant::T_DOUBLE || v.GetTag() == Vx::Variant::T_FLOAT);

    Vx::VariantEx ex;
    Check(ex.Deserialize(data, static_cast<std::uint32_t>(size)) == Vx::VXR_OK);
    ex.ToXmlText();
    ex.GetInt32();
    ex.GetUInt64();
    Vx::Array<Vx::VariantEx> elements;
    if (ex.GetTag() == Vx::Variant::T_ARRAY)
    {
        Check(ex.GetArrayElements(elements) == Vx::VXR_OK);
        Check(elements.GetCount() == ex.GetArrayCount());
    }
    Vx::RCPtr<Vx::LIBuffer> buffer;
    Check(ex.SerializeInto(buffer, 3) == static_cast<std::int32_t>(ex.GetSerializedSize()));
    return 0;
}
