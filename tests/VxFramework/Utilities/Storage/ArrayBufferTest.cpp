// Where the byte arrays keep their elements: the heap buffer's capacity steps
// and the inline storage of ArrayBufferM.

#include "VxFramework/Utilities/Storage/ArrayBuffer.h"

#include "tests/support/CaptureStderr.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace
{
// Lets the tests see the heap buffer behind the array operations.
template <class A>
class Inspected : public A
{
public:
    std::uint32_t HeapSize() const { return this->mBuffer.GetSize(); }
    std::uint32_t HeapCapacity() const { return this->mBuffer.GetCapacity(); }
    bool IsInline() const
    {
        const auto* data = reinterpret_cast<const unsigned char*>(this->GetDataConst());
        const auto* self = reinterpret_cast<const unsigned char*>(this);
        return data >= self && data < self + sizeof(*this);
    }
};

using Message = Inspected<Vx::ArrayBufferM<signed char, 3>>;

template <class A>
std::vector<int> Bytes(const A& array)
{
    std::vector<int> values;
    for (std::uint32_t i = 0; i < array.GetCount(); ++i)
        values.push_back(array[i]);
    return values;
}

TEST(ArrayBufferM, KeepsUpToNElementsInline)
{
    Message message;
    EXPECT_TRUE(message.IsInline()); // even while empty
    for (signed char byte = 1; byte <= 3; ++byte)
    {
        message.Append(byte);
        EXPECT_TRUE(message.IsInline());
        EXPECT_EQ(message.HeapSize(), 0u);
    }
    message.Append(4);
    EXPECT_FALSE(message.IsInline());
    EXPECT_EQ(message.HeapSize(), 4u);
    EXPECT_EQ(Bytes(message), (std::vector<int>{1, 2, 3, 4}));

    signed char out = 0;
    EXPECT_EQ(message.RemoveAt(0, out), 3);
    EXPECT_TRUE(message.IsInline());
    EXPECT_EQ(message.HeapSize(), 0u);
    EXPECT_EQ(Bytes(message), (std::vector<int>{2, 3, 4}));

    EXPECT_EQ(message.SetCount(0), 0);
    EXPECT_EQ(message.HeapSize(), 0u);
    EXPECT_EQ(message.InsertSpace(0, 5), 5);
    EXPECT_EQ(Bytes(message), (std::vector<int>{0, 0, 0, 0, 0}));
    EXPECT_EQ(message.RemoveSpace(1, 3), 2);
    EXPECT_TRUE(message.IsInline());
}

TEST(ArrayBufferM, CopiesKeepTheirOwnStorage)
{
    Message message;
    message.Append(0x7f);
    message.Append(-1);
    const Message copy(message);
    message[0] = 5;
    EXPECT_EQ(Bytes(copy), (std::vector<int>{0x7f, -1}));
    EXPECT_TRUE(copy.IsInline());

    Message longer;
    longer.SetCount(6);
    longer[5] = 9;
    message = longer;
    EXPECT_EQ(Bytes(message), (std::vector<int>{0, 0, 0, 0, 0, 9}));
    EXPECT_FALSE(message.IsInline());
}

struct FillCase
{
    const char* name;
    std::vector<int> before;
    bool sixteen;
    std::uint32_t offset;
    std::int32_t count;
    Vx::VxRESULT result;
    std::vector<int> after;
    bool asserts;
};

TEST(ArrayBufferM, FillWorksWhereverTheElementsAre)
{
    const Vx::VxRESULT bad = Vx::VXR_E_INVALIDARG;
    const FillCase cases[] = {
        {"ToTheEnd", {1, 2}, false, 1, -1, 0, {1, 0x11}, false},
        {"PastTheEnd", {1, 2}, false, 1, 2, bad, {1, 2}, true},
        {"OffsetPastTheEnd", {1, 2}, false, 3, -1, bad, {1, 2}, true},
        {"NothingAtTheEnd", {1, 2}, false, 2, -1, 0, {1, 2}, false},
        {"Whole", {1, 2, 3}, false, 0, 3, 0, {0x11, 0x11, 0x11}, false},
        {"Heap", {1, 2, 3, 4, 5}, false, 1, 3, 0, {1, 0x11, 0x11, 0x11, 5}, false},
        {"Sixteen", {1, 2, 3}, true, 0, 1, 0, {0x22, 0x22, 3}, false},
        {"SixteenOddRestFillsTheEvenPart", {1, 2, 3}, true, 0, -1, 0, {0x22, 0x22, 3}, true},
        {"SixteenPastTheEnd", {1, 2, 3}, true, 2, 1, bad, {1, 2, 3}, true},
        {"SixteenOffsetPastTheEnd", {1, 2, 3}, true, 4, -1, bad, {1, 2, 3}, true},
        {"SixteenHeap", {1, 2, 3, 4, 5}, true, 2, 1, 0, {1, 2, 0x22, 0x22, 5}, false},
    };
    for (const FillCase& c : cases)
    {
        SCOPED_TRACE(c.name);
        Message message;
        for (int value : c.before)
            message.Append(static_cast<signed char>(value));
        VxTest::CaptureStderr capture;
        const Vx::VxRESULT result =
            c.sixteen ? message.Fill16(0x2222, c.offset, c.count) : message.Fill(0x11, c.offset, c.count);
        const std::string errors = capture.Finish();
        EXPECT_EQ(result, c.result);
        EXPECT_EQ(Bytes(message), c.after);
        EXPECT_EQ(!errors.empty(), c.asserts) << errors;
    }
}

TEST(ArrayBuffer, CapacityGrowsInStepsOfTheGranularity)
{
    // Granularity 32 elements, slack 1600: the free lists of the reuse allocators.
    Inspected<Vx::ArrayBuffer<std::uint32_t, 32, 1600>> array;
    const std::uint32_t step = 32 * sizeof(std::uint32_t);
    array.Append(1);
    EXPECT_EQ(array.HeapCapacity(), step);
    const std::uint32_t* const block = array.GetData();
    for (std::uint32_t i = 2; i <= 32; ++i)
        array.Append(i);
    EXPECT_EQ(array.GetData(), block) << "reallocated within one granule";
    array.Append(33);
    EXPECT_EQ(array.HeapCapacity(), 2 * step);
    // Shrinking within the slack keeps the block, and regrown elements are zero.
    EXPECT_EQ(array.SetCount(1), 1);
    EXPECT_EQ(array.HeapCapacity(), 2 * step);
    EXPECT_EQ(array.SetCount(33), 33);
    EXPECT_EQ(array[0], 1u);
    EXPECT_EQ(array[1], 0u);
    EXPECT_EQ(array[32], 0u);
}

TEST(ArrayBuffer, ExactArraysFollowTheirCount)
{
    Inspected<Vx::ArrayBuffer<std::uint32_t, 1, 0>> array;
    array.SetCount(3);
    EXPECT_EQ(array.HeapCapacity(), 3 * sizeof(std::uint32_t));
    std::uint32_t out = 0;
    array.RemoveLast(out);
    EXPECT_EQ(array.HeapCapacity(), 2 * sizeof(std::uint32_t));
}

TEST(ArrayBuffer, RefusesCountsItsBufferCannotHold)
{
    // On any target the byte size of the storage must stay countable.
    Vx::ArrayBuffer<std::uint64_t, 1, 0> array;
    array.SetCount(2);
    EXPECT_EQ(array.SetCount(0x7fffffffu), Vx::VXR_E_FAIL);
    EXPECT_EQ(array.InsertSpace(1, 0x7ffffffeu), Vx::VXR_E_FAIL);
    EXPECT_EQ(array.GetCount(), 2u);
}
} // namespace
