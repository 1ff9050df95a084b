// One table of cases run over every array kind through the common interface,
// and a second table for where the kinds answer differently.

#include "VxFramework/Utilities/Storage/ArrayBuffer.h"
#include "VxFramework/Utilities/Storage/ArrayUtils.h"
#include "VxFramework/Utilities/Storage/ConstRCPtrArray.h"
#include "VxFramework/Utilities/Storage/RCPtrArray.h"
#include "VxFramework/Utilities/Storage/VxArray.h"

#include "tests/VxFramework/Utilities/Storage/Tracked.h"
#include "tests/support/CaptureStderr.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace
{
using VxTest::Tracked;

// How a family of kinds answers where the kinds differ.
enum Family
{
    kVector = 0, // Array<T>: a standard vector, range-tested access
    kBytes = 1,  // ArrayBuffer and ArrayBufferM: plain bytes
    kPointers = 2 // ConstRCPtrArray and RCPtrArray: owned references
};

// Maps the table's ints to each kind's elements: 0 is the new element (zero,
// default or null), any other value an element that reads back as that value.
template <class A> struct Kind;

template <> struct Kind<Vx::Array<int>>
{
    using Element = int;
    static constexpr Family kFamily = kVector;
    static constexpr const char* kAssertFile = " VxArray.h:";
    static constexpr const char* kThrowFile = nullptr;
    static Element Make(int value) { return value; }
    static int ValueOf(const Element& element) { return element; }
};

template <> struct Kind<Vx::StringArrayT<char, unsigned short>>
{
    using Element = Vx::StringT<char, unsigned short>;
    static constexpr Family kFamily = kVector;
    static constexpr const char* kAssertFile = " VxArray.h:";
    static constexpr const char* kThrowFile = nullptr;
    static Element Make(int value) { return value == 0 ? Element() : Element(std::to_string(value).c_str()); }
    static int ValueOf(const Element& element) { return element.IsEmpty() ? 0 : std::atoi(element.GetCString()); }
};

template <class T, std::uint32_t G, std::uint32_t S> struct Kind<Vx::ArrayBuffer<T, G, S>>
{
    using Element = T;
    static constexpr Family kFamily = kBytes;
    static constexpr const char* kAssertFile = " ArrayBuffer.h:";
    static constexpr const char* kThrowFile = nullptr;
    static Element Make(int value) { return static_cast<T>(value); }
    static int ValueOf(const Element& element) { return static_cast<int>(element); }
};

template <class T, std::uint32_t N> struct Kind<Vx::ArrayBufferM<T, N>> : Kind<Vx::ArrayBuffer<T, 1, 0>>
{
};

template <class P> struct PointerKind
{
    using Element = P;
    static constexpr Family kFamily = kPointers;
    static constexpr const char* kAssertFile = " ConstRCPtrArray.h:";
    static Element Make(int value) { return value == 0 ? Element() : Element(new Tracked(value)); }
    static int ValueOf(const Element& element) { return element.IsNull() ? 0 : element->mValue; }
};

template <std::uint32_t G, std::uint32_t S>
struct Kind<Vx::ConstRCPtrArray<Tracked, G, S>> : PointerKind<Vx::ConstRCPtr<Tracked>>
{
    static constexpr const char* kThrowFile = "Out of Range :  :  : VxFramework/Utilities/Storage/ConstRCPtrArray.h : Line ";
};

template <std::uint32_t G, std::uint32_t S> struct Kind<Vx::RCPtrArray<Tracked, G, S>> : PointerKind<Vx::RCPtr<Tracked>>
{
    static constexpr const char* kThrowFile = "Out of Range :  :  : VxFramework/Utilities/Storage/RCPtrArray.h : Line ";
};

enum class Op
{
    SetCount,
    InsertSpace,
    RemoveSpace,
    Swap,
    Insert,        // Insert (a, item b)
    InsertOwn,     // Insert (a, the array's own element b)
    Add,           // Add (item a)
    RemoveAt,      // RemoveAt (a, out)
    RemoveLast,
    RemoveAll,
    AppendAll,
    AppendAllDirect,
    CopyFrom,
    AppendAllSelf,
    AppendAllDirectSelf,
    CopyFromSelf,
};

constexpr int kUntouched = -7; // what out holds before the operation (not for pointers)

struct Case
{
    const char* name;
    std::vector<int> before;
    Op op;
    std::uint32_t a;
    std::uint32_t b;
    std::vector<int> source;
    Vx::VxRESULT result;
    std::vector<int> after;
    bool asserts;
    int out = kUntouched;
};

const Vx::VxRESULT kBad = Vx::VXR_E_INVALIDARG;

const Case kCommonCases[] = {
    {"SetCountGrowsEmptyWithNewElements", {}, Op::SetCount, 3, 0, {}, 3, {0, 0, 0}, false},
    {"SetCountShrinks", {1, 2, 3}, Op::SetCount, 1, 0, {}, 1, {1}, false},
    {"SetCountSameCount", {1, 2, 3}, Op::SetCount, 3, 0, {}, 3, {1, 2, 3}, false},
    {"SetCountGrowsKeepingElements", {1, 2, 3}, Op::SetCount, 5, 0, {}, 5, {1, 2, 3, 0, 0}, false},
    {"SetCountShrinksFromMany", {1, 2, 3, 4, 5}, Op::SetCount, 2, 0, {}, 2, {1, 2}, false},
    {"SetCountRegrowsWithNewElements", {1, 2}, Op::SetCount, 4, 0, {}, 4, {1, 2, 0, 0}, false},
    {"SetCountZero", {1, 2, 3, 4}, Op::SetCount, 0, 0, {}, 0, {}, false},
    {"InsertSpaceInMiddle", {1, 2}, Op::InsertSpace, 1, 2, {}, 4, {1, 0, 0, 2}, false},
    {"InsertSpaceAtFront", {1, 2, 3}, Op::InsertSpace, 0, 1, {}, 4, {0, 1, 2, 3}, false},
    {"InsertSpaceAtEndAppends", {1, 2}, Op::InsertSpace, 2, 2, {}, 4, {1, 2, 0, 0}, false},
    {"InsertSpaceIntoEmpty", {}, Op::InsertSpace, 0, 2, {}, 2, {0, 0}, false},
    {"InsertSpaceAtCountOfNone", {1, 2, 3}, Op::InsertSpace, 3, 0, {}, 3, {1, 2, 3}, false},
    {"InsertSpaceBeyondCount", {1, 2}, Op::InsertSpace, 3, 1, {}, kBad, {1, 2}, true},
    {"InsertSpaceFarBeyondCount", {1, 2}, Op::InsertSpace, 0xffffffffu, 1, {}, kBad, {1, 2}, true},
    {"RemoveSpaceInMiddle", {1, 2, 3}, Op::RemoveSpace, 1, 1, {}, 2, {1, 3}, false},
    {"RemoveSpaceAtFront", {1, 2, 3, 4, 5}, Op::RemoveSpace, 0, 2, {}, 3, {3, 4, 5}, false},
    {"RemoveSpaceEverything", {1, 2, 3}, Op::RemoveSpace, 0, 3, {}, 0, {}, false},
    {"RemoveSpaceOfNoneInside", {1, 2, 3}, Op::RemoveSpace, 1, 0, {}, 3, {1, 2, 3}, false},
    {"RemoveSpacePastEnd", {1, 2, 3}, Op::RemoveSpace, 2, 2, {}, kBad, {1, 2, 3}, true},
    {"RemoveSpaceRangeThatWraps", {1, 2, 3}, Op::RemoveSpace, 0xffffffffu, 2, {}, kBad, {1, 2, 3}, true},
    {"RemoveSpaceHugeCount", {1, 2, 3}, Op::RemoveSpace, 1, 0xffffffffu, {}, kBad, {1, 2, 3}, true},
    {"SwapEnds", {1, 2, 3}, Op::Swap, 0, 2, {}, 0, {3, 2, 1}, false},
    {"SwapWithItself", {1, 2, 3}, Op::Swap, 1, 1, {}, 0, {1, 2, 3}, false},
    {"SwapBeyondCount", {1, 2, 3}, Op::Swap, 0, 3, {}, kBad, {1, 2, 3}, false},
    {"SwapFirstBeyondCount", {1, 2, 3}, Op::Swap, 5, 0, {}, kBad, {1, 2, 3}, false},
    {"InsertBeyondCount", {1, 2}, Op::Insert, 3, 9, {}, kBad, {1, 2}, true},
    {"RemoveAtMiddle", {1, 2, 3}, Op::RemoveAt, 1, 0, {}, 2, {1, 3}, false, 2},
    {"RemoveAtLastOne", {4}, Op::RemoveAt, 0, 0, {}, 0, {}, false, 4},
    {"RemoveLast", {4, 5}, Op::RemoveLast, 0, 0, {}, 1, {4}, false, 5},
    {"RemoveAll", {1, 2, 3}, Op::RemoveAll, 0, 0, {}, 0, {}, false},
    {"RemoveAllOfEmpty", {}, Op::RemoveAll, 0, 0, {}, 0, {}, false},
    {"AppendAll", {1, 2, 3}, Op::AppendAll, 0, 0, {4, 5}, 5, {1, 2, 3, 4, 5}, false},
    {"AppendAllIntoEmpty", {}, Op::AppendAll, 0, 0, {4, 5}, 2, {4, 5}, false},
    {"AppendAllOfEmpty", {1, 2, 3}, Op::AppendAll, 0, 0, {}, 3, {1, 2, 3}, false},
    {"AppendAllDirect", {1, 2, 3}, Op::AppendAllDirect, 0, 0, {4, 5}, 5, {1, 2, 3, 4, 5}, false},
    {"AppendAllDirectOfEmpty", {1}, Op::AppendAllDirect, 0, 0, {}, 1, {1}, false},
    {"AppendAllOfItselfDoubles", {1, 2}, Op::AppendAllSelf, 0, 0, {}, 4, {1, 2, 1, 2}, false},
    {"AppendAllDirectOfItselfDoubles", {1, 2}, Op::AppendAllDirectSelf, 0, 0, {}, 4, {1, 2, 1, 2}, false},
    {"CopyFromReplaces", {1, 2, 3}, Op::CopyFrom, 0, 0, {7}, 1, {7}, false},
    {"CopyFromEmpty", {1, 2, 3}, Op::CopyFrom, 0, 0, {}, 0, {}, false},
    {"CopyFromItselfKeepsContents", {1, 2, 3}, Op::CopyFromSelf, 0, 0, {}, 3, {1, 2, 3}, false},
};

// An outcome that differs by family.
enum class Ending
{
    Returns,
    ThrowsStandard, // std::out_of_range
    ThrowsFramework // the framework's out-of-range error naming the face's header
};

struct Outcome
{
    Ending ending;
    Vx::VxRESULT result;
    bool asserts;
    int out;
};

struct DiffCase
{
    const char* name;
    std::vector<int> before;
    Op op;
    std::uint32_t a;
    std::uint32_t b;
    std::vector<int> after;
    Outcome outcome[3]; // by Family
};

constexpr Outcome Returns(Vx::VxRESULT result, bool asserts = false, int out = kUntouched)
{
    return {Ending::Returns, result, asserts, out};
}
constexpr Outcome kThrowsStandard{Ending::ThrowsStandard, 0, false, kUntouched};
constexpr Outcome kThrowsFramework{Ending::ThrowsFramework, 0, false, kUntouched};

const DiffCase kDiffCases[] = {
    // Insert and Add answer the index in vectors and pointer arrays, the count in byte arrays.
    {"InsertAtFront", {1, 2}, Op::Insert, 0, 9, {9, 1, 2}, {Returns(0), Returns(3), Returns(0)}},
    {"InsertAtCountAppends", {1, 2}, Op::Insert, 2, 9, {1, 2, 9}, {Returns(2), Returns(3), Returns(2)}},
    {"InsertIntoEmpty", {}, Op::Insert, 0, 9, {9}, {Returns(0), Returns(1), Returns(0)}},
    {"AddAppends", {1, 2}, Op::Add, 9, 0, {1, 2, 9}, {Returns(2), Returns(3), Returns(2)}},
    // The item is one of the array's own elements, which the insertion moves.
    {"InsertOwnElement", {1, 2, 3}, Op::InsertOwn, 0, 2, {3, 1, 2, 3}, {Returns(0), Returns(4), Returns(0)}},
    {"InsertOwnElementCrossingInline", {1, 2, 3, 4}, Op::InsertOwn, 4, 0, {1, 2, 3, 4, 1},
        {Returns(4), Returns(5), Returns(4)}},
    {"RemoveAtBeyondCount", {1, 2, 3}, Op::RemoveAt, 3, 0, {1, 2, 3},
        {kThrowsStandard, Returns(kBad, true), kThrowsFramework}},
    {"RemoveLastOfEmpty", {}, Op::RemoveLast, 0, 0, {},
        {kThrowsStandard, Returns(kBad, true), Returns(Vx::VXR_E_FAIL, true, 0)}},
    // A vector checks the index even when nothing is inserted or removed.
    {"InsertSpaceOfNoneBeyondCount", {1, 2, 3}, Op::InsertSpace, 5, 0, {1, 2, 3},
        {Returns(kBad, true), Returns(3), Returns(3)}},
    {"RemoveSpaceOfNoneAtCount", {1, 2, 3}, Op::RemoveSpace, 3, 0, {1, 2, 3},
        {Returns(kBad, true), Returns(3), Returns(3)}},
};

template <class A>
class ArrayKinds : public ::testing::Test
{
protected:
    using K = Kind<A>;
    using E = typename K::Element;

    void TearDown() override { EXPECT_EQ(Tracked::Counters().live, mLiveBefore) << "an element leaked"; }

    static void Fill(A& array, const std::vector<int>& values)
    {
        ASSERT_EQ(array.SetCount(0), 0);
        for (int value : values)
            array.Append(K::Make(value));
        ASSERT_EQ(array.GetCount(), values.size());
    }

    static std::vector<int> Contents(const A& array)
    {
        std::vector<int> values;
        for (std::uint32_t i = 0; i < array.GetCount(); ++i)
            values.push_back(K::ValueOf(array[i]));
        return values;
    }

    static std::vector<int> Walk(const A& array, bool reverse)
    {
        std::vector<int> values;
        auto it = reverse ? array.CRBegin() : array.CBegin();
        const auto end = reverse ? array.CREnd() : array.CEnd();
        for (std::uint32_t guard = 0; it != end && guard < 100; ++guard)
            values.push_back(K::ValueOf(it.GetNext()));
        return values;
    }

    // Runs one operation; out is preset to kUntouched (null for pointer kinds).
    static Vx::VxRESULT Run(A& array, Op op, std::uint32_t a, std::uint32_t b, const std::vector<int>& source, E& out)
    {
        A other;
        Fill(other, source);
        switch (op)
        {
            case Op::SetCount: return array.SetCount(a);
            case Op::InsertSpace: return array.InsertSpace(a, b);
            case Op::RemoveSpace: return array.RemoveSpace(a, b);
            case Op::Swap: return array.Swap(a, b);
            case Op::Insert: return array.Insert(a, K::Make(static_cast<int>(b)));
            case Op::InsertOwn: return array.Insert(a, array[b]);
            case Op::Add: return array.Add(K::Make(static_cast<int>(a)));
            case Op::RemoveAt: return array.RemoveAt(a, out);
            case Op::RemoveLast: return array.RemoveLast(out);
            case Op::RemoveAll: return array.RemoveAll();
            case Op::AppendAll: return array.AppendAll(other);
            case Op::AppendAllDirect: return array.AppendAllDirect(other);
            case Op::CopyFrom: return array.CopyFrom(other);
            case Op::AppendAllSelf: return array.AppendAll(array);
            case Op::AppendAllDirectSelf: return array.AppendAllDirect(array);
            case Op::CopyFromSelf: return array.CopyFrom(array);
        }
        return Vx::VXR_E_UNEXPECTED;
    }

    static E InitialOut() { return K::kFamily == kPointers ? E() : K::Make(kUntouched); }

    int mLiveBefore = Tracked::Counters().live;
};

using Kinds = ::testing::Types<Vx::Array<int>, Vx::StringArrayT<char, unsigned short>, Vx::ArrayBuffer<int, 1, 0>, Vx::ArrayBuffer<std::int64_t, 4, 16>,
    Vx::ArrayBufferM<int, 3>, Vx::ConstRCPtrArray<Tracked, 1, 0>, Vx::RCPtrArray<Tracked, 1, 0>,
    Vx::RCPtrArray<Tracked, 256, 256>>;
TYPED_TEST_SUITE(ArrayKinds, Kinds);

TYPED_TEST(ArrayKinds, CommonCases)
{
    using K = typename TestFixture::K;
    for (const Case& c : kCommonCases)
    {
        SCOPED_TRACE(c.name);
        TypeParam array;
        TestFixture::Fill(array, c.before);
        auto out = TestFixture::InitialOut();
        VxTest::CaptureStderr capture;
        const Vx::VxRESULT result = TestFixture::Run(array, c.op, c.a, c.b, c.source, out);
        const std::string errors = capture.Finish();
        EXPECT_EQ(result, c.result);
        EXPECT_EQ(TestFixture::Contents(array), c.after);
        EXPECT_EQ(array.GetCount(), c.after.size());
        const int expectedOut = c.out != kUntouched ? c.out : K::ValueOf(TestFixture::InitialOut());
        EXPECT_EQ(K::ValueOf(out), expectedOut);
        if (c.asserts)
            EXPECT_NE(errors.find(K::kAssertFile), std::string::npos) << errors;
        else
            EXPECT_EQ(errors, "");
        // The iterators agree with the indices after every change.
        EXPECT_EQ(TestFixture::Walk(array, false), c.after);
        EXPECT_EQ(TestFixture::Walk(array, true), std::vector<int>(c.after.rbegin(), c.after.rend()));
    }
}

TYPED_TEST(ArrayKinds, CasesThatDifferByKind)
{
    using K = typename TestFixture::K;
    for (const DiffCase& c : kDiffCases)
    {
        SCOPED_TRACE(c.name);
        const Outcome& expected = c.outcome[K::kFamily];
        TypeParam array;
        TestFixture::Fill(array, c.before);
        auto out = TestFixture::InitialOut();
        VxTest::CaptureStderr capture;
        switch (expected.ending)
        {
            case Ending::Returns:
                EXPECT_EQ(TestFixture::Run(array, c.op, c.a, c.b, {}, out), expected.result);
                break;
            case Ending::ThrowsStandard:
                EXPECT_THROW(TestFixture::Run(array, c.op, c.a, c.b, {}, out), std::out_of_range);
                break;
            case Ending::ThrowsFramework:
                try
                {
                    TestFixture::Run(array, c.op, c.a, c.b, {}, out);
                    ADD_FAILURE() << "no exception";
                }
                catch (const Vx::Exception<std::out_of_range>& error)
                {
                    const std::string text = error.what();
                    EXPECT_EQ(text.rfind(K::kThrowFile, 0), 0u) << text;
                }
                break;
        }
        const std::string errors = capture.Finish();
        EXPECT_EQ(TestFixture::Contents(array), c.after);
        const int expectedOut = expected.out != kUntouched ? expected.out : K::ValueOf(TestFixture::InitialOut());
        EXPECT_EQ(K::ValueOf(out), expectedOut);
        EXPECT_EQ(!errors.empty(), expected.asserts) << errors;
    }
}

TYPED_TEST(ArrayKinds, EmptyArrayHasNoPositions)
{
    TypeParam array;
    EXPECT_TRUE(array.IsEmpty());
    EXPECT_EQ(array.First(), nullptr);
    EXPECT_EQ(array.EndPtr(), nullptr);
    EXPECT_EQ(array.Last(), nullptr);
    EXPECT_EQ(array.BeforeFirst(), nullptr);
    EXPECT_TRUE(array.Begin() == array.End());
    EXPECT_TRUE(array.RBegin() == array.REnd());
    int visited = 0;
    for (const auto& element : array)
    {
        (void)element;
        ++visited;
    }
    EXPECT_EQ(visited, 0);
    // Emptied after holding elements (a buffer may keep its block): still no positions.
    TestFixture::Fill(array, {1, 2});
    array.RemoveAll();
    EXPECT_EQ(array.First(), nullptr);
    EXPECT_TRUE(array.CBegin() == array.CEnd());
    EXPECT_EQ(array.Advance(array.First(), 1), nullptr);
    EXPECT_EQ(array.GetMaxCount(), 2147483647u);
}

TYPED_TEST(ArrayKinds, AdvanceClampsAtBothEnds)
{
    TypeParam array;
    TestFixture::Fill(array, {1, 2, 3});
    const auto first = array.First();
    const auto last = array.Last();
    const auto end = array.EndPtr();
    const auto before = array.BeforeFirst();
    ASSERT_EQ(last, first + 2);
    ASSERT_EQ(end, first + 3);

    struct Move
    {
        decltype(first) from;
        std::int32_t steps;
        decltype(first) to;
    };
    const Move moves[] = {
        {first, 1, first + 1}, {last, 1, end}, {first, 5, end}, {first, -1, before}, {first, -10, before},
        {end, -1, last}, {before, 1, first}, {end, 1, end}, {before, -1, before}, {last, -2, first},
        {first, INT32_MAX, end}, {last, INT32_MIN, before}, {first, 0, first},
    };
    for (const Move& move : moves)
        EXPECT_EQ(array.Advance(move.from, move.steps), move.to)
            << "from element " << (move.from - first) << " by " << move.steps;
}

TYPED_TEST(ArrayKinds, IteratorsReadThenStep)
{
    TypeParam array;
    TestFixture::Fill(array, {1, 2, 3});
    auto it = array.Begin();
    EXPECT_EQ(TestFixture::K::ValueOf(it.GetNext()), 1);
    EXPECT_EQ(TestFixture::K::ValueOf(*it), 2);
    ++it;
    ++it;
    EXPECT_TRUE(it == array.End());
    ++it; // clamped: stays at the end
    EXPECT_TRUE(it == array.End());

    auto back = array.CRBegin();
    EXPECT_EQ(TestFixture::K::ValueOf(back.GetNext()), 3);
    EXPECT_EQ(TestFixture::K::ValueOf(back.GetNext()), 2);
    EXPECT_EQ(TestFixture::K::ValueOf(back.GetNext()), 1);
    EXPECT_TRUE(back == array.CREnd());
}

TYPED_TEST(ArrayKinds, RangeLoopWritesThroughModifiableIterator)
{
    TypeParam array;
    TestFixture::Fill(array, {1, 2, 3});
    int next = 7;
    for (auto& element : array)
        element = TestFixture::K::Make(next++);
    EXPECT_EQ(TestFixture::Contents(array), (std::vector<int>{7, 8, 9}));
}

TYPED_TEST(ArrayKinds, CopiesAreIndependent)
{
    TypeParam array;
    TestFixture::Fill(array, {1, 2, 3, 4});
    TypeParam copy(array);
    EXPECT_EQ(TestFixture::Contents(copy), (std::vector<int>{1, 2, 3, 4}));
    copy.SetCount(1);
    EXPECT_EQ(TestFixture::Contents(array), (std::vector<int>{1, 2, 3, 4}));

    TypeParam assigned;
    TestFixture::Fill(assigned, {9});
    assigned = array;
    EXPECT_EQ(TestFixture::Contents(assigned), (std::vector<int>{1, 2, 3, 4}));
    assigned = static_cast<const TypeParam&>(assigned);
    EXPECT_EQ(TestFixture::Contents(assigned), (std::vector<int>{1, 2, 3, 4}));
}

TYPED_TEST(ArrayKinds, HoldsManyElements)
{
    // Crosses every granularity and slack boundary of the kinds under test.
    TypeParam array;
    std::vector<int> expected;
    for (int i = 1; i <= 600; ++i)
    {
        array.Append(TestFixture::K::Make(i));
        expected.push_back(i);
    }
    EXPECT_EQ(TestFixture::Contents(array), expected);
    for (int i = 0; i < 550; ++i)
        ASSERT_EQ(array.RemoveSpace(0, 1), static_cast<Vx::VxRESULT>(599 - i));
    EXPECT_EQ(TestFixture::Contents(array), std::vector<int>(expected.begin() + 550, expected.end()));
    EXPECT_EQ(array.SetCount(52), 52);
    EXPECT_EQ(TestFixture::K::ValueOf(array[50]), 0);
    EXPECT_EQ(TestFixture::K::ValueOf(array[51]), 0);
}
} // namespace
