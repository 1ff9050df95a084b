// Reference traffic of the reference-pointer arrays, counted by instrumented objects.

#include "VxFramework/Utilities/Storage/RCPtrArray.h"

#include "tests/VxFramework/Utilities/Storage/Tracked.h"
#include "tests/support/CaptureStderr.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{
using VxTest::Tracked;
using Ptr = Vx::RCPtr<Tracked>;
using Array = Vx::RCPtrArray<Tracked>;

class RCPtrArrays : public ::testing::Test
{
protected:
    void SetUp() override { Tracked::Counters().Reset(); }
    void TearDown() override { EXPECT_EQ(Tracked::Counters().live, 0) << "an element leaked"; }

    static Tracked::Traffic& Traffic() { return Tracked::Counters(); }

    // Fills the array with objects 1..n whose only references are the array's.
    static void Fill(Array& array, int n)
    {
        for (int i = 1; i <= n; ++i)
            array.Add(Ptr(new Tracked(i)));
        Traffic().Reset();
    }

    static std::vector<int> Values(const Array& array)
    {
        std::vector<int> values;
        for (const Ptr& element : array)
            values.push_back(element.IsNull() ? 0 : element->mValue);
        return values;
    }

    static std::vector<int> Destroyed()
    {
        return Traffic().destroyed;
    }
};

TEST_F(RCPtrArrays, EverySlotOwnsOneReference)
{
    const Ptr object(new Tracked(1));
    {
        Array array;
        EXPECT_EQ(array.Add(object), 0);
        EXPECT_EQ(array.Insert(0, object), 0);
        EXPECT_EQ(object->GetRefCount(), 3u);

        Ptr out;
        EXPECT_EQ(array.RemoveAt(0, out), 1);
        // The removed reference moved to out; the other stays in the array.
        EXPECT_EQ(object->GetRefCount(), 3u);
        EXPECT_EQ(out, object);
        out = nullptr;
        EXPECT_EQ(object->GetRefCount(), 2u);
    }
    EXPECT_EQ(object->GetRefCount(), 1u);
}

TEST_F(RCPtrArrays, MovingSlotsTouchesNoCount)
{
    Array array;
    Fill(array, 5);
    // Opening gaps, growing the storage and closing gaps copy raw pointers only.
    EXPECT_EQ(array.InsertSpace(1, 300), 305);
    EXPECT_EQ(array.InsertSpace(0, 2), 307);
    Vx::ConstRCPtrArray<Tracked>& readOnly = array;
    EXPECT_EQ(readOnly.Swap(0, 306), 0);
    EXPECT_EQ(readOnly.Swap(306, 0), 0);
    EXPECT_EQ(Traffic().addRefs, 0);
    EXPECT_EQ(Traffic().releases, 0);
    EXPECT_EQ(array.RemoveSpace(0, 2), 305);
    EXPECT_EQ(array.RemoveSpace(1, 300), 5);
    EXPECT_EQ(Traffic().addRefs, 0);
    EXPECT_EQ(Traffic().releases, 0);
    EXPECT_EQ(Values(array), (std::vector<int>{1, 2, 3, 4, 5}));

    // Removing hands the reference over instead of releasing it.
    Ptr out;
    EXPECT_EQ(array.RemoveAt(1, out), 4);
    EXPECT_EQ(array.RemoveLast(out), 3);
    EXPECT_EQ(Traffic().addRefs, 0);
    EXPECT_EQ(Traffic().releases, 1); // out let go of object 2 for object 5
    EXPECT_EQ(Destroyed(), std::vector<int>{2});
}

TEST_F(RCPtrArrays, ShrinkingReleasesInAscendingOrder)
{
    Array array;
    Fill(array, 4);
    EXPECT_EQ(array.SetCount(1), 1);
    EXPECT_EQ(Destroyed(), (std::vector<int>{2, 3, 4}));
    EXPECT_EQ(array.SetCount(3), 3);
    EXPECT_EQ(Values(array), (std::vector<int>{1, 0, 0}));

    Traffic().Reset();
    Fill(array, 3); // appends 1, 2, 3 after the nulls
    EXPECT_EQ(array.RemoveSpace(2, 3), 3);
    EXPECT_EQ(Destroyed(), (std::vector<int>{1, 2}));
}

TEST_F(RCPtrArrays, DestroyingReleasesFirstToLast)
{
    {
        Array array;
        Fill(array, 3);
    }
    EXPECT_EQ(Destroyed(), (std::vector<int>{1, 2, 3}));
}

TEST_F(RCPtrArrays, NewArrayHoldsNullSlots)
{
    Array array(3, 0);
    EXPECT_EQ(Values(array), (std::vector<int>{0, 0, 0}));
    EXPECT_EQ(array.RemoveAll(), 0);
    EXPECT_EQ(Traffic().releases, 0);

    Array reserved(1, 64);
    EXPECT_EQ(Values(reserved), std::vector<int>{0});
}

TEST_F(RCPtrArrays, RemoveLastOfEmptyEmptiesOut)
{
    Array array;
    Ptr out(new Tracked(7));
    VxTest::CaptureStderr capture;
    EXPECT_EQ(array.RemoveLast(out), Vx::VXR_E_FAIL);
    EXPECT_NE(capture.Finish().find(" RCPtrArray.h:"), std::string::npos);
    EXPECT_TRUE(out.IsNull());
    EXPECT_EQ(Destroyed(), std::vector<int>{7});
}

TEST_F(RCPtrArrays, RemoveAtOutsideThrowsAndKeepsOut)
{
    Array array;
    Fill(array, 3);
    Ptr out(new Tracked(9));
    try
    {
        array.RemoveAt(3, out);
        FAIL() << "no exception";
    }
    catch (const Vx::Exception<std::out_of_range>& error)
    {
        const std::string text = error.what();
        const std::string prefix = "Out of Range :  :  : VxFramework/Utilities/Storage/RCPtrArray.h : Line ";
        ASSERT_EQ(text.compare(0, prefix.size(), prefix), 0) << text;
        EXPECT_GT(std::stoi(text.substr(prefix.size())), 0);
    }
    EXPECT_EQ(out->mValue, 9);
    EXPECT_EQ(Values(array), (std::vector<int>{1, 2, 3}));
}

TEST_F(RCPtrArrays, SwapTrafficByFace)
{
    Array array;
    Fill(array, 3);
    // The modifiable face swaps through smart pointers, each copy balanced by a release.
    EXPECT_EQ(array.Swap(0, 2), 0);
    EXPECT_EQ(Traffic().addRefs, Traffic().releases);
    EXPECT_EQ(Values(array), (std::vector<int>{3, 2, 1}));
    Traffic().Reset();
    Vx::ConstRCPtrArray<Tracked>& readOnly = array;
    EXPECT_EQ(readOnly.Swap(0, 1), 0);
    EXPECT_EQ(Traffic().addRefs, 0);
    EXPECT_EQ(Values(array), (std::vector<int>{2, 3, 1}));
    // Both faces refuse an index beyond the count.
    EXPECT_EQ(readOnly.Swap(0, 3), Vx::VXR_E_INVALIDARG);
    EXPECT_EQ(array.Swap(3, 0), Vx::VXR_E_INVALIDARG);
    EXPECT_EQ(Values(array), (std::vector<int>{2, 3, 1}));
}

TEST_F(RCPtrArrays, BothFacesShareTheSlots)
{
    Array array;
    Fill(array, 2);
    Vx::ConstRCPtrArray<Tracked>& readOnly = array;
    EXPECT_EQ(readOnly.GetCount(), 2u);
    EXPECT_EQ(readOnly[1].Get(), array[1].Get());

    Vx::ConstRCPtr<Tracked> out;
    EXPECT_EQ(readOnly.RemoveAt(0, out), 1);
    EXPECT_EQ(out->mValue, 1);
    EXPECT_EQ(readOnly.Insert(1, out), 1);
    EXPECT_EQ(Values(array), (std::vector<int>{2, 1}));
    EXPECT_THROW(readOnly.RemoveAt(2, out), Vx::Exception<std::out_of_range>);

    // Elements reached through the read-only face's iterators are the same objects.
    std::vector<int> seen;
    for (auto it = readOnly.CBegin(); it != readOnly.CEnd(); ++it)
        seen.push_back((*it)->mValue);
    EXPECT_EQ(seen, (std::vector<int>{2, 1}));
}

TEST_F(RCPtrArrays, CopyTakesAReferencePerElement)
{
    Array array;
    Fill(array, 3);
    array.SetCount(4); // a null slot is copied as null
    Array copy(array);
    EXPECT_EQ(Traffic().addRefs, 3);
    EXPECT_EQ(Values(copy), (std::vector<int>{1, 2, 3, 0}));
    EXPECT_EQ(copy[0].Get(), array[0].Get());
}

TEST_F(RCPtrArrays, ExclusiveObjectHeldElsewhereIsCopiedIn)
{
    const Ptr object(new Tracked(5));
    object->SetExclusive(true);
    Array array;
    EXPECT_EQ(array.Add(object), 0);
    // The slot holds a copy of its own, and the original keeps its one holder.
    EXPECT_EQ(array[0]->mValue, 1005);
    EXPECT_EQ(object->GetRefCount(), 1u);
    object->SetExclusive(false);
}

TEST_F(RCPtrArrays, InsertThatCannotTakeTheItemChangesNothing)
{
    class Other : public virtual Vx::LRefCountedObject
    {
    };
    // Exclusive and held elsewhere, its copy of the wrong type: taking a reference throws.
    class Uncopyable : public virtual Vx::LRefCountedObject
    {
    public:
        Vx::RCPtr<Vx::LRefCountedObject> CreateCopy() const override { return Vx::MakeRCPtr<Other>(); }
    };
    Vx::RCPtrArray<Uncopyable> array(2);
    const Vx::RCPtr<Uncopyable> item(new Uncopyable);
    item->SetExclusive(true);
    EXPECT_THROW(array.Insert(1, item), std::logic_error);
    EXPECT_THROW(static_cast<Vx::ConstRCPtrArray<Uncopyable>&>(array).Insert(0, item), std::logic_error);
    EXPECT_EQ(array.GetCount(), 2u);
    EXPECT_EQ(item->GetRefCount(), 1u);
    item->SetExclusive(false);
}

TEST_F(RCPtrArrays, ReferenceCountedArrayReleasesItsElementsWithItself)
{
    Vx::RCPtr<Vx::LRCPtrArray<Tracked>> list(new Vx::LRCPtrArray<Tracked>(1, 4));
    (*list)[0] = Ptr(new Tracked(1));
    list->Add(Ptr(new Tracked(2)));
    Vx::RCPtr<Vx::LRCPtrArray<Tracked>> shared = list;
    list = nullptr;
    EXPECT_EQ(Tracked::Counters().live, 2);
    shared = nullptr;
    EXPECT_EQ(Destroyed(), (std::vector<int>{1, 2}));
}
} // namespace
