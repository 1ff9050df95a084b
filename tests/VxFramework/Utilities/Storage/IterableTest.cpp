// The interface's own default operations, seen through small arrays that
// implement only what the interface leaves abstract.

#include "VxFramework/Utilities/Storage/Iterable.h"
#include "VxFramework/Utilities/Storage/VxArray.h"

#include "tests/support/CaptureStderr.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{
// The five abstract operations over a vector, with a count limit that makes
// growing fail, and a record of SetCount calls.
class MinimalArray : public Vx::IArray<int>
{
public:
    std::uint32_t GetCount() const override { return static_cast<std::uint32_t>(mItems.size()); }

    Vx::VxRESULT SetCount(std::uint32_t n) override
    {
        ++mSetCountCalls;
        if (n > mLimit)
            return Vx::VXR_E_FAIL;
        mItems.resize(n);
        return static_cast<Vx::VxRESULT>(n);
    }

    Vx::VxRESULT InsertSpace(std::uint32_t index, std::uint32_t n) override
    {
        if (index > GetCount())
            return Vx::VXR_E_INVALIDARG;
        if (GetCount() + n > mLimit)
            return Vx::VXR_E_FAIL;
        mItems.insert(mItems.begin() + index, n, 0);
        return static_cast<Vx::VxRESULT>(GetCount());
    }

    Vx::VxRESULT RemoveSpace(std::uint32_t index, std::uint32_t n) override
    {
        if (static_cast<std::uint64_t>(index) + n > GetCount())
            return Vx::VXR_E_INVALIDARG;
        mItems.erase(mItems.begin() + index, mItems.begin() + index + n);
        return static_cast<Vx::VxRESULT>(GetCount());
    }

    int* GetData() override { return mItems.data(); }

    std::vector<int> mItems;
    std::uint32_t mLimit = 1000;
    int mSetCountCalls = 0;
};

TEST(IterableDefaults, InsertAndAddAnswerTheNewCount)
{
    MinimalArray array;
    EXPECT_EQ(array.Add(5), 1);
    EXPECT_EQ(array.Insert(0, 4), 2);
    EXPECT_EQ(array.Insert(2, 6), 3);
    EXPECT_EQ(array.Append(7), 4u);
    EXPECT_EQ(array.mItems, (std::vector<int>{4, 5, 6, 7}));
    // The item is one of the array's own elements, which the insertion moves.
    array.mItems.shrink_to_fit(); // the insertion has to move the storage
    EXPECT_EQ(array.Insert(0, array[3]), 5);
    EXPECT_EQ(array.mItems, (std::vector<int>{7, 4, 5, 6, 7}));
}

TEST(IterableDefaults, RemoveAtOutsideTheArrayLeavesOutAndArrayAlone)
{
    MinimalArray array;
    array.mItems = {1, 2};
    int out = 9;
    VxTest::CaptureStderr capture;
    EXPECT_EQ(array.RemoveAt(2, out), Vx::VXR_E_INVALIDARG);
    EXPECT_EQ(array.RemoveLast(out), 1);
    EXPECT_EQ(out, 2);
    array.mItems.clear();
    out = 9;
    EXPECT_EQ(array.RemoveLast(out), Vx::VXR_E_INVALIDARG);
    EXPECT_EQ(out, 9);
    EXPECT_NE(capture.Finish().find(" Iterable.h:"), std::string::npos);
}

TEST(IterableDefaults, AppendingNothingDoesNotResize)
{
    MinimalArray array;
    array.mItems = {1, 2, 3};
    const MinimalArray empty;
    EXPECT_EQ(array.AppendAll(empty), 3);
    EXPECT_EQ(array.AppendAllDirect(empty), 3);
    EXPECT_EQ(array.mSetCountCalls, 0);
}

TEST(IterableDefaults, AppendingFailsWholeWhenTheArrayCannotGrow)
{
    for (const bool direct : {false, true})
    {
        SCOPED_TRACE(direct ? "AppendAllDirect" : "AppendAll");
        MinimalArray array;
        array.mItems = {1, 2, 3};
        array.mLimit = 4;
        MinimalArray source;
        source.mItems = {4, 5};
        VxTest::CaptureStderr capture;
        EXPECT_EQ(direct ? array.AppendAllDirect(source) : array.AppendAll(source), Vx::VXR_E_FAIL);
        EXPECT_NE(capture.Finish().find(" Iterable.h:"), std::string::npos);
        EXPECT_EQ(array.mItems, (std::vector<int>{1, 2, 3}));
    }
}

TEST(IterableDefaults, RemoveAllReportsAFailedResize)
{
    MinimalArray array;
    array.mItems = {1};
    EXPECT_EQ(array.RemoveAll(), 0);
    // Shrinking to 0 can only fail here by a broken implementation: answer failure, not success.
    class NeverEmpty : public MinimalArray
    {
    public:
        Vx::VxRESULT SetCount(std::uint32_t) override { return 1; }
    } stubborn;
    stubborn.mItems = {1};
    EXPECT_EQ(stubborn.RemoveAll(), Vx::VXR_E_FAIL);
}

TEST(IterableDefaults, AnyImplementationCanBeTheSource)
{
    // A vector-backed array appended from a minimal one, through iterators only.
    MinimalArray source;
    source.mItems = {4, 5, 6};
    Vx::Array<int> target;
    target.Add(1);
    EXPECT_EQ(target.AppendAll(source), 4);
    EXPECT_EQ(target.CopyFrom(source), 3);
    EXPECT_EQ(*target.GetAt(2), 6);
}
} // namespace
