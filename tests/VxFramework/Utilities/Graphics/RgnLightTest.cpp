#include "VxFramework/Utilities/Graphics/RgnLight.h"
#include "VxFramework/Utilities/Storage/VxArray.h"

#include "tests/support/CaptureStderr.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace
{
using Rect = Vx::RgnLight::Rect;

std::vector<Rect> Nodes(const Vx::RgnLight& region)
{
    std::vector<Rect> nodes;
    for (const auto* node = region.GetFirstNode(); node != nullptr; node = node->next)
        nodes.push_back(*node);
    return nodes;
}

std::string Describe(const Vx::RgnLight& region)
{
    std::ostringstream text;
    for (const Rect& r : Nodes(region))
        text << "(" << r.left << "," << r.top << "," << r.right << "," << r.bottom << ")";
    return text.str();
}

// Pixel coverage of a region in a fixed window, with how often each pixel is covered.
class PixelGrid
{
public:
    static constexpr int kOrigin = -64;
    static constexpr int kSize = 192;

    void Clear() { mCounts.fill(0); }
    void Fill(const Rect& r, int delta = 1)
    {
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x)
                At(x, y) += delta;
    }
    void Set(const Rect& r, std::uint8_t value)
    {
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x)
                At(x, y) = value;
    }
    std::uint8_t& At(int x, int y) { return mCounts[(y - kOrigin) * kSize + (x - kOrigin)]; }
    std::uint8_t Get(int x, int y) const { return mCounts[(y - kOrigin) * kSize + (x - kOrigin)]; }
    static bool Inside(const Rect& r)
    {
        return r.left >= kOrigin && r.top >= kOrigin && r.right <= kOrigin + kSize && r.bottom <= kOrigin + kSize;
    }
    int Count() const { return static_cast<int>(std::count_if(mCounts.begin(), mCounts.end(), [](auto c) { return c != 0; })); }

    std::array<std::uint8_t, kSize * kSize> mCounts{};
};

PixelGrid Rasterize(const Vx::RgnLight& region)
{
    PixelGrid grid;
    for (const Rect& r : Nodes(region))
    {
        EXPECT_TRUE(PixelGrid::Inside(r));
        if (PixelGrid::Inside(r))
            grid.Fill(r);
    }
    return grid;
}

int Area(const Vx::RgnLight& region)
{
    return Rasterize(region).Count();
}

bool HasOverlap(const Vx::RgnLight& region)
{
    const PixelGrid grid = Rasterize(region);
    return std::any_of(grid.mCounts.begin(), grid.mCounts.end(), [](auto c) { return c > 1; });
}

Vx::RgnLight Region(std::initializer_list<Rect> rects)
{
    Vx::RgnLight region;
    for (const Rect& r : rects)
        region.AddRect(r);
    return region;
}

class RgnLightTest : public ::testing::Test
{
protected:
    void SetUp() override { mLiveAtStart = Vx::RgnLight::GetLiveNodeCount(); }
    void TearDown() override { EXPECT_EQ(Vx::RgnLight::GetLiveNodeCount(), mLiveAtStart) << "nodes leaked"; }

    std::uint32_t mLiveAtStart = 0;
};
} // namespace

TEST_F(RgnLightTest, UnionKeepsRectanglesApart)
{
    Vx::RgnLight region;
    region.UnionRect(Rect{0, 0, 10, 10});
    region.UnionRect(Rect{5, 5, 15, 15});
    EXPECT_EQ(Area(region), 175);
    EXPECT_FALSE(HasOverlap(region));

    const std::string before = Describe(region);
    region.UnionRect(Rect{3, 3, 3, 8});
    region.UnionRect(Rect{3, 3, 8, 3});
    EXPECT_EQ(Describe(region), before) << "an empty rectangle changed the region";
}

TEST_F(RgnLightTest, SubtractingFromInsideOneNodeLeavesFourPieces)
{
    Vx::RgnLight region = Region({{0, 0, 30, 30}});
    Vx::RgnLight removed;
    region.SubtractRect(Rect{10, 10, 20, 20}, &removed);
    EXPECT_EQ(region.GetCount(), 4u);
    EXPECT_EQ(Area(region), 800);
    EXPECT_EQ(Nodes(removed), (std::vector<Rect>{{10, 10, 20, 20}}));

    // An empty rectangle removes nothing and leaves no slivers.
    region.SubtractRect(Rect{5, 5, 5, 25}, nullptr);
    EXPECT_EQ(region.GetCount(), 4u);
}

TEST_F(RgnLightTest, IntersectWithEmptyOrCoveringRegion)
{
    Vx::RgnLight region = Region({{0, 0, 10, 10}, {20, 0, 30, 5}});
    Vx::RgnLight everything = Region({{-60, -60, 120, 120}});
    region.Intersect(everything);
    EXPECT_EQ(Area(region), 150);
    region.Intersect(region);
    EXPECT_EQ(Area(region), 150);

    Vx::RgnLight nothing;
    region.Intersect(nothing);
    EXPECT_TRUE(region.IsEmpty());
}

TEST_F(RgnLightTest, SubtractingARegionFromItselfEmptiesIt)
{
    Vx::RgnLight region = Region({{0, 0, 10, 10}, {20, 0, 30, 5}});
    Vx::RgnLight removed;
    region.Subtract(region, &removed);
    EXPECT_TRUE(region.IsEmpty());
    EXPECT_EQ(Area(removed), 150);
    removed.Subtract(removed, &removed);
    EXPECT_EQ(Area(removed), 150);
}

TEST_F(RgnLightTest, OptimizeMergesBands)
{
    struct Case
    {
        std::vector<Rect> input; // pushed in this order, so the list runs backwards
        std::vector<Rect> expected;
    };
    const Case cases[] = {
        {{{10, 0, 20, 10}, {0, 0, 10, 10}}, {{0, 0, 20, 10}}},
        {{{0, 10, 10, 20}, {0, 0, 10, 10}}, {{0, 0, 10, 20}}},
        {{{10, 0, 20, 10}, {0, 0, 10, 20}}, {{0, 0, 20, 10}, {0, 10, 10, 20}}},
        {{{0, 0, 5, 5}, {7, 7, 7, 9}}, {{0, 0, 5, 5}}},
        // Three touching pieces, the grown node meeting its predecessor.
        {{{5, 0, 10, 4}, {10, 0, 20, 4}, {0, 0, 3, 4}, {3, 0, 5, 4}}, {{0, 0, 20, 4}}},
    };
    for (const auto& c : cases)
    {
        Vx::RgnLight region;
        for (const Rect& r : c.input)
            region.AddRect(r);
        region.Optimize();
        EXPECT_EQ(Nodes(region), c.expected) << Describe(region);
    }
}

TEST_F(RgnLightTest, BoundsOffsetEqualsAndTests)
{
    Vx::RgnLight region;
    Rect bounds{1, 2, 3, 4};
    EXPECT_FALSE(region.GetBounds(bounds));
    EXPECT_EQ(bounds, (Rect{0, 0, 0, 0}));

    region.AddRect(Vx::RectT<int>{0, 0, 10, 10});
    region.AddRect(Rect{20, -5, 25, 3});
    ASSERT_TRUE(region.GetBounds(bounds));
    EXPECT_EQ(bounds, (Rect{0, -5, 25, 10}));

    Vx::RgnLight copy;
    copy.Append(region);
    EXPECT_FALSE(copy.Equals(region)) << "Append reverses the order";
    Vx::RgnLight copyOfCopy;
    copyOfCopy.Append(copy);
    EXPECT_TRUE(copyOfCopy.Equals(region));
    EXPECT_TRUE(Vx::RgnLight().Equals(Vx::RgnLight()));

    region.Offset(0, 0);
    EXPECT_TRUE(copyOfCopy.Equals(region));
    Vx::Array<Vx::RectT<int>> rects;
    rects.Add({1, 1, 1, 1});
    region.GetRects(rects);
    ASSERT_EQ(rects.GetCount(), 2u);
    EXPECT_EQ(rects[0], (Vx::RectT<int>{20, -5, 5, 8}));
    EXPECT_EQ(rects[1], (Vx::RectT<int>{0, 0, 10, 10}));
    region.Offset(3, -2);
    EXPECT_EQ(Nodes(region), (std::vector<Rect>{{23, -7, 28, 1}, {3, -2, 13, 8}}));

    EXPECT_TRUE(region.IntersectsRect(Rect{12, 7, 20, 20}));
    EXPECT_FALSE(region.IntersectsRect(Rect{13, 7, 20, 20}));
    EXPECT_FALSE(region.IntersectsRect(Rect{5, 5, 5, 5})) << "an empty rectangle touches nothing";
    EXPECT_TRUE(region.IntersectsArea(Vx::RectT<double>{0, 0, 1, 1}, Vx::PointT<double>{3, 2}));
    EXPECT_FALSE(region.IntersectsArea(Vx::RectT<double>{-50, -50, 40, 40}, Vx::PointT<double>{0, 0}));
    EXPECT_FALSE(region.IntersectsArea(Vx::RectT<double>{4, 4, 0, 5}, Vx::PointT<double>{0, 0}));
}

TEST_F(RgnLightTest, RemoveNodeOfAnotherRegionChangesNothing)
{
    Vx::RgnLight region = Region({{0, 0, 1, 1}, {2, 2, 3, 3}});
    Vx::RgnLight other = Region({{5, 5, 6, 6}});
    VxTest::CaptureStderr capture;
    region.RemoveNode(const_cast<Vx::RgnLight::Node*>(other.GetFirstNode()));
    EXPECT_NE(capture.Finish().find("RgnLight.cpp"), std::string::npos);
    EXPECT_EQ(region.GetCount(), 2u);
    region.RemoveNode(const_cast<Vx::RgnLight::Node*>(region.GetFirstNode()));
    EXPECT_EQ(Nodes(region), (std::vector<Rect>{{0, 0, 1, 1}}));
}

TEST_F(RgnLightTest, PoolSpillsToTheHeapAfterItsSlots)
{
    std::vector<Vx::RgnLight::Node*> nodes;
    nodes.push_back(Vx::RgnLight::AllocateNode()); // sets the pool up
    while (Vx::RgnLight::IsPoolNode(nodes.back()))
        nodes.push_back(Vx::RgnLight::AllocateNode());
    Vx::RgnLight::Node* heapNode = nodes.back();
    nodes.pop_back();
    EXPECT_EQ(nodes.size() + mLiveAtStart, 512u);
    EXPECT_EQ(Vx::RgnLight::GetLiveNodeCount(), 513u);
    EXPECT_GE(Vx::RgnLight::GetPeakNodeCount(), 513u);
    EXPECT_EQ(heapNode->left, 0);
    EXPECT_EQ(heapNode->next, nullptr);

    Vx::RgnLight::FreeNode(heapNode);
    Vx::RgnLight::Node* reused = nodes.back();
    nodes.pop_back();
    Vx::RgnLight::FreeNode(reused);
    Vx::RgnLight::Node* again = Vx::RgnLight::AllocateNode();
    EXPECT_EQ(again, reused) << "the freed pool slot goes back to the ring";
    nodes.push_back(again);
    for (auto* node : nodes)
        Vx::RgnLight::FreeNode(node);
}

// Random operations against a pixel-set model: every result covers exactly the
// model's pixels, and regions built without AddRect never overlap.
TEST_F(RgnLightTest, OperationsMatchAPixelModel)
{
    std::mt19937 random(20240607u);
    const auto randomRect = [&](int extent) {
        std::uniform_int_distribution<int> coordinate(0, extent);
        int l = coordinate(random), r = coordinate(random), t = coordinate(random), b = coordinate(random);
        if (l > r)
            std::swap(l, r);
        if (t > b)
            std::swap(t, b);
        return Rect{l, t, r, b};
    };
    const auto randomRegion = [&](PixelGrid& model, bool& overlaps) {
        Vx::RgnLight region;
        model.Clear();
        overlaps = false;
        const int count = std::uniform_int_distribution<int>(0, 4)(random);
        for (int i = 0; i < count; ++i)
        {
            const Rect r = randomRect(48);
            if (random() % 3 == 0 && !r.IsEmpty())
            {
                region.AddRect(r);
                overlaps = true;
            }
            else
                region.UnionRect(r);
            model.Set(r, 1);
        }
        return region;
    };

    constexpr int kRounds = 40;
    constexpr int kStepsPerRound = 100;
    for (int round = 0; round < kRounds; ++round)
    {
        Vx::RgnLight region;
        PixelGrid model;
        bool mayOverlap = false;
        for (int step = 0; step < kStepsPerRound; ++step)
        {
            const int operation = static_cast<int>(random() % 9);
            SCOPED_TRACE("round " + std::to_string(round) + " step " + std::to_string(step) + " operation " +
                         std::to_string(operation));
            switch (operation)
            {
            case 0:
            case 1: {
                const Rect r = randomRect(48);
                region.UnionRect(r);
                model.Set(r, 1);
                break;
            }
            case 2: {
                const Rect r = randomRect(48);
                Vx::RgnLight removed;
                PixelGrid before = Rasterize(region);
                region.SubtractRect(r, &removed);
                model.Set(r, 0);
                // What was removed is exactly the old coverage inside r.
                PixelGrid expectedRemoved;
                if (!r.IsEmpty())
                    for (int y = r.top; y < r.bottom; ++y)
                        for (int x = r.left; x < r.right; ++x)
                            expectedRemoved.At(x, y) = before.Get(x, y) != 0;
                const PixelGrid actualRemoved = Rasterize(removed);
                for (int i = 0; i < PixelGrid::kSize * PixelGrid::kSize; ++i)
                    ASSERT_EQ(actualRemoved.mCounts[i] != 0, expectedRemoved.mCounts[i] != 0) << Describe(removed);
                break;
            }
            case 3: {
                PixelGrid otherModel;
                bool otherOverlaps;
                Vx::RgnLight other = randomRegion(otherModel, otherOverlaps);
                region.Subtract(other, nullptr);
                for (int i = 0; i < PixelGrid::kSize * PixelGrid::kSize; ++i)
                    if (otherModel.mCounts[i])
                        model.mCounts[i] = 0;
                break;
            }
            case 4: {
                PixelGrid otherModel;
                bool otherOverlaps;
                Vx::RgnLight other = randomRegion(otherModel, otherOverlaps);
                region.Intersect(other);
                for (int i = 0; i < PixelGrid::kSize * PixelGrid::kSize; ++i)
                    if (!otherModel.mCounts[i])
                        model.mCounts[i] = 0;
                break;
            }
            case 5:
                region.Optimize();
                break;
            case 6: {
                const Rect r = randomRect(48);
                if (!r.IsEmpty() && random() % 4 == 0)
                {
                    region.AddRect(r);
                    model.Set(r, 1);
                    mayOverlap = true;
                }
                break;
            }
            case 7: {
                // Keep the region inside the model's window.
                Rect bounds;
                if (!region.GetBounds(bounds))
                    break;
                const int dx = std::uniform_int_distribution<int>(-6, 6)(random);
                const int dy = std::uniform_int_distribution<int>(-6, 6)(random);
                if (!PixelGrid::Inside(Rect{bounds.left + dx, bounds.top + dy, bounds.right + dx, bounds.bottom + dy}))
                    break;
                region.Offset(dx, dy);
                PixelGrid moved;
                for (int y = bounds.top; y < bounds.bottom; ++y)
                    for (int x = bounds.left; x < bounds.right; ++x)
                        if (model.Get(x, y))
                            moved.At(x + dx, y + dy) = 1;
                model = moved;
                break;
            }
            case 8:
                if (random() % 8 == 0)
                {
                    region.Clear();
                    model.Clear();
                    mayOverlap = false;
                }
                break;
            }

            const PixelGrid actual = Rasterize(region);
            for (int i = 0; i < PixelGrid::kSize * PixelGrid::kSize; ++i)
            {
                ASSERT_EQ(actual.mCounts[i] != 0, model.mCounts[i] != 0)
                    << "pixel " << (i % PixelGrid::kSize + PixelGrid::kOrigin) << ","
                    << (i / PixelGrid::kSize + PixelGrid::kOrigin) << " region " << Describe(region);
                if (!mayOverlap)
                {
                    ASSERT_LE(actual.mCounts[i], 1) << "overlap in " << Describe(region);
                }
            }

            // The queries agree with the model too.
            const Rect probe = randomRect(48);
            bool modelHit = false;
            for (int y = probe.top; y < probe.bottom && !modelHit; ++y)
                for (int x = probe.left; x < probe.right && !modelHit; ++x)
                    modelHit = model.Get(x, y) != 0;
            ASSERT_EQ(region.IntersectsRect(probe), modelHit);
            Rect bounds;
            if (region.GetBounds(bounds))
            {
                ASSERT_FALSE(bounds.IsEmpty());
                for (int x : {bounds.left, bounds.right - 1})
                {
                    bool column = false;
                    for (int y = bounds.top; y < bounds.bottom; ++y)
                        column = column || model.Get(x, y);
                    ASSERT_TRUE(column) << "bounds wider than the region";
                }
            }
            else
                ASSERT_EQ(model.Count(), 0);
        }
        if (!mayOverlap)
        {
            // Optimize never adds rectangles to an overlap-free region.
            const std::uint32_t before = region.GetCount();
            region.Optimize();
            ASSERT_LE(region.GetCount(), before);
            ASSERT_FALSE(HasOverlap(region));
        }
    }
}
