// Deserialises arbitrary bytes as a variant and exercises everything that
// reads the result: array walks, copies, comparison, serialising again and
// the extended variant's text forms.  Each input is also read wrapped in as
// many arrays as its first byte says, so that small inputs reach nesting on
// both sides of the depth limit; deep inputs of their own are in the seeds
// (the largest seed also raises libFuzzer's input size to its size).
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

// depth: the arrays around v.
void Exercise(const Vx::Variant& v, std::uint32_t depth)
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

    // No array that was read back lies deeper than the limit, so this
    // recursion is bounded by it.
    if (v.GetTag() == Vx::Variant::T_ARRAY)
        Check(depth < Vx::Variant::kMaxNestingDepth);
    const std::uint32_t count = v.GetArrayCount();
    for (std::uint32_t i = 0; i < count; ++i)
    {
        Vx::Variant element;
        Check(v.GetArrayElement(i, element) == 0);
        Check(Vx::Variant::CompareOrder(v, element) == -Vx::Variant::CompareOrder(element, v));
        Exercise(element, depth + 1);
    }
    Vx::Variant element;
    Check(v.GetArrayElement(count, element) == -1);
}

void ReadAndExercise(const std::uint8_t* data, std::size_t size)
{
    Vx::Variant v;
    if (v.Deserialize(data, static_cast<std::uint32_t>(size)) != Vx::VXR_OK)
    {
        Check(v.GetTag() == Vx::Variant::T_NONE);
        return;
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
}

void AppendLE32(std::vector<std::uint8_t>& out, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    constexpr std::size_t kWrapLimit = 0xFFFFFFFFu - 255 * Vx::Variant::kHeaderSize;
    if (size > kWrapLimit)
        return 0;
    ReadAndExercise(data, size);
    if (size == 0)
        return 0;

    // The input as the only element of `levels` nested arrays.
    const std::uint32_t levels = data[0];
    std::vector<std::uint8_t> wrapped;
    wrapped.reserve(levels * Vx::Variant::kHeaderSize + size);
    for (std::uint32_t level = 0; level < levels; ++level)
    {
        AppendLE32(wrapped, static_cast<std::uint32_t>((levels - level) * Vx::Variant::kHeaderSize + size));
        AppendLE32(wrapped, Vx::Variant::kFormatCurrent);
        AppendLE32(wrapped, Vx::Variant::T_ARRAY);
    }
    wrapped.insert(wrapped.end(), data, data + size);
    // Even around a value that is no array, this is beyond the limit; within
    // it, a value that reads alone and fills the input reads wrapped too.
    Vx::Variant outer;
    const bool outerRead = outer.Deserialize(wrapped.data(), static_cast<std::uint32_t>(wrapped.size())) == Vx::VXR_OK;
    if (levels > Vx::Variant::kMaxNestingDepth)
        Check(!outerRead);
    Vx::Variant inner;
    const bool fills = size >= Vx::Variant::kHeaderSize &&
                       (data[0] | data[1] << 8 | data[2] << 16 | static_cast<std::uint32_t>(data[3]) << 24) == size;
    if (levels >= 1 && levels <= Vx::Variant::kMaxNestingDepth && fills &&
        inner.Deserialize(data, static_cast<std::uint32_t>(size)) == Vx::VXR_OK &&
        inner.GetTag() != Vx::Variant::T_ARRAY)
        Check(outerRead);
    ReadAndExercise(wrapped.data(), wrapped.size());
    return 0;
}
