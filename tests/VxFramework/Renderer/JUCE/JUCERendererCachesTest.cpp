// The JUCE renderer's three caches: their sizes and keys, which entry a new
// key takes, and what the renderer leaves in them as it draws.

#include "VxFramework/Renderer/JUCE/JUCERendererCaches.h"

#include "tests/VxFramework/Renderer/JUCE/JUCERenderingSupport.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <new>
#include <string>
#include <vector>

namespace
{
using Vx::LFont;
using Vx::LJUCERenderer;
using Vx::PolylineT;
using Vx::RCPtr;
using VxTest::IntRect;
using Caches = LJUCERenderer::Caches;
using FloatPoint = Vx::PointT<float>;
using Text = Vx::StringT<char, unsigned short>;

// Reads a cache's entries and index (through member pointers named in a
// derived class, which the access rules allow on any cache object).
template <class Cache>
struct Inspect : Cache
{
    using Entry = typename Cache::Entry;
    static constexpr std::uint32_t kBucketCount = Cache::List::kBucketCount;

    static Entry& At(Cache& cache, int index) { return (cache.*(&Inspect::mEntries))[index]; }
    static int ListCount(Cache& cache) { return (cache.*(&Inspect::mList)).GetCount(); }
    // The position of the entry holding the key, -1 when none does.
    template <class Key>
    static int IndexOfKey(Cache& cache, const Key& key)
    {
        // Entries are keyed in order while the cache fills.
        for (int i = 0; i < ListCount(cache); ++i)
            if (At(cache, i).mKey == key)
                return i;
        return -1;
    }
};
using InspectBitmaps = Inspect<Caches::BitmapCache>;
using InspectPaths = Inspect<Caches::PathCache>;
using InspectFonts = Inspect<Caches::FontCache>;

// The renderer with its caches in reach.
class ProbedRenderer : public LJUCERenderer
{
public:
    using LJUCERenderer::LJUCERenderer;
    Caches& Get() { return GetCaches(); }
};

PolylineT<float> Square(float at, float side)
{
    PolylineT<float> square;
    for (const FloatPoint& point :
         {FloatPoint{at, at}, FloatPoint{at + side, at}, FloatPoint{at + side, at + side}, FloatPoint{at, at + side}})
        square.Add(point);
    return square;
}

class RendererCaches : public VxTest::JUCERendering
{
protected:
    void SetUp() override
    {
        VxTest::JUCERendering::SetUp();
        probed = new ProbedRenderer(&Clock);
        renderer = probed;
    }

    // On a new, transparent context, inside the client push of a window.
    juce::Image PaintInClient(const std::function<void()>& body)
    {
        context = MakeContext(IntRect{0, 0, 64, 48}, true);
        return Paint([&] {
            renderer->PushClip(Vx::RectT<double>{0, 0, 64, 48}, Vx::RectT<double>{0, 0, 64, 48}, nullptr, false);
            body();
            renderer->PopClip();
        });
    }

    void Fill(PolylineT<float>& polyline, bool keepCached)
    {
        renderer->FillPolygon(polyline, Vx::Color(VxTest::kRed), FloatPoint{0, 0}, FloatPoint{1, 1}, keepCached);
    }

    RCPtr<ProbedRenderer> probed;
};

TEST(RendererCacheShapes, EveryCacheHas256EntriesBehind256Buckets)
{
    const Caches caches;
    EXPECT_EQ(caches.bitmaps.GetCapacity(), 256);
    EXPECT_EQ(caches.paths.GetCapacity(), 256);
    EXPECT_EQ(caches.fonts.GetCapacity(), 256);
    EXPECT_EQ(InspectBitmaps::kBucketCount, 256u);
    EXPECT_EQ(InspectPaths::kBucketCount, 256u);
    EXPECT_EQ(InspectFonts::kBucketCount, 256u);
}

TEST(RendererCacheKeys, BitmapsAreKeyedByBitmapAndSizeAndHashedByTheirPixels)
{
    const RCPtr<Vx::LBitmap> owner = VxTest::PatternBitmap(16, 16);
    const RCPtr<Vx::LBitmap> twin = VxTest::PatternBitmap(16, 16);
    const RCPtr<Vx::LBitmap> part = Vx::LBitmap::CreateSubBitmap(owner, Vx::RectT<std::int32_t>{4, 4, 8, 8});
    const Caches::BitmapKey key{owner, 10, 20};
    EXPECT_TRUE((key == Caches::BitmapKey{owner, 10, 20}));
    EXPECT_FALSE((key == Caches::BitmapKey{owner, 10, 21}));
    EXPECT_FALSE((key == Caches::BitmapKey{owner, 11, 20}));
    EXPECT_FALSE((key == Caches::BitmapKey{twin, 10, 20})) << "the same pixels in another bitmap";
    EXPECT_FALSE((key == Caches::BitmapKey{part, 10, 20}));

    // Bits 4 to 11 of the owner's image: a part of it shares the bucket.
    const auto bucket = [](const RCPtr<Vx::LBitmap>& bitmap, std::int32_t width) {
        return Caches::BitmapKey::GetHashBits(Caches::BitmapKey{bitmap, width, 1});
    };
    const std::uint32_t expected =
        static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(owner->GetImage()) >> 4) & 0xFFu;
    EXPECT_EQ(bucket(owner, 1), expected);
    EXPECT_EQ(bucket(owner, 500), expected);
    EXPECT_EQ(bucket(part, 3), expected);
}

TEST(RendererCacheKeys, PathsAreKeyedByThePolylinesAddress)
{
    const PolylineT<float> polyline;
    const std::intptr_t address = reinterpret_cast<std::intptr_t>(&polyline);
    EXPECT_EQ(Caches::PolylineHandle(polyline), address);
    EXPECT_EQ((Vx::GetBits<8u, 4u, std::intptr_t>(address)), static_cast<std::uint32_t>(address >> 4) & 0xFFu);
}

TEST(RendererCacheKeys, FontsShareAKeyOnlyWhenNameStyleAndSizeToThreeDecimalsAgree)
{
    struct Case
    {
        const char* name;
        std::int32_t style;
        float size;
        bool shared;
    };
    // Each against DejaVu Sans, plain, 10 points.
    const Case cases[] = {
        {"DejaVu Sans", 0, 10.0f, true},    {"DejaVu Sans", 0, 10.0004f, true}, // both print as 10.000
        {"DejaVu Sans", 0, 10.001f, false}, {"DejaVu Sans", 2, 10.0f, false},
        {"DejaVu Serif", 0, 10.0f, false},  {"DejaVu San", 0, 10.0f, false},
    };
    const auto key = [](const char* name, std::int32_t style, float size) {
        return LJUCERenderer::LCachedNativeFont::GetFontKey(Vx::ConstRCPtr<LFont>(LFont::GetFont(name, style, size)));
    };
    const LJUCERenderer::FontKey reference = key("DejaVu Sans", 0, 10.0f);
    for (const Case& c : cases)
        EXPECT_EQ(key(c.name, c.style, c.size) == reference, c.shared) << c.name << " " << c.style << " " << c.size;

    // Halves of a thousandth round to even, as the printed size did.
    EXPECT_TRUE(key("Half", 0, 10.0625f) == key("Half", 0, 10.062f)) << "10.0625 prints as 10.062";
    EXPECT_FALSE(key("Half", 0, 10.0625f) == key("Half", 0, 10.063f));
    EXPECT_EQ(LJUCERenderer::LCachedNativeFont::GetFontBucketIndex(reference), 0u);
}

// Which entry a new key takes in each of the three caches: filled with 256
// keys, entry 0 used again, the 257th key evicts entry 1, the oldest; an
// entry whose object was dropped is taken first, whatever its age.
template <class Cache>
struct EvictionTraits;

template <>
struct EvictionTraits<Caches::BitmapCache>
{
    RCPtr<Vx::LBitmap> bitmap = VxTest::PatternBitmap(2, 2);
    Caches::BitmapKey Source(int i) const { return Caches::BitmapKey{bitmap, i + 1, 1}; }
    Caches::BitmapKey Key(int i) const { return Source(i); }
    RCPtr<LJUCERenderer::LCachedBitmap> Object(int) const
    {
        return RCPtr<LJUCERenderer::LCachedBitmap>(new LJUCERenderer::LCachedBitmap(juce::Image()));
    }
};

template <>
struct EvictionTraits<Caches::PathCache>
{
    std::vector<PolylineT<float>> polylines = std::vector<PolylineT<float>>(300);
    const PolylineT<float>& Source(int i) const { return polylines[static_cast<std::size_t>(i)]; }
    std::intptr_t Key(int i) const { return Source(i).GetHandle(); }
    RCPtr<LJUCERenderer::LGraphicsPath> Object(int) const
    {
        return RCPtr<LJUCERenderer::LGraphicsPath>(new LJUCERenderer::LGraphicsPath());
    }
};

template <>
struct EvictionTraits<Caches::FontCache>
{
    Vx::ConstRCPtr<LFont> Source(int i) const
    {
        return Vx::ConstRCPtr<LFont>(LFont::GetFont("Eviction", 0, static_cast<float>(i + 1)));
    }
    LJUCERenderer::FontKey Key(int i) const { return LJUCERenderer::LCachedNativeFont::GetFontKey(Source(i)); }
    RCPtr<LJUCERenderer::LCachedNativeFont> Object(int i) const
    {
        return RCPtr<LJUCERenderer::LCachedNativeFont>(new LJUCERenderer::LCachedNativeFont(*Source(i)));
    }
};

template <class Cache>
class CacheEviction : public ::testing::Test
{
};
using CacheTypes = ::testing::Types<Caches::BitmapCache, Caches::PathCache, Caches::FontCache>;
TYPED_TEST_SUITE(CacheEviction, CacheTypes);

TYPED_TEST(CacheEviction, TheOldestEntryGoesUnlessOneIsEmpty)
{
    using Look = Inspect<TypeParam>;
    const EvictionTraits<TypeParam> keys;
    TypeParam cache;
    for (int i = 0; i < 256; ++i)
    {
        auto& object = cache.GetEntry(keys.Source(i), false);
        ASSERT_TRUE(object.IsNull());
        object = keys.Object(i);
    }
    // Found again, with the object stored the first time.
    EXPECT_FALSE(cache.GetEntry(keys.Source(0), false).IsNull());
    EXPECT_EQ(Look::At(cache, 0).mUseCount, 2u);

    auto& evicted = cache.GetEntry(keys.Source(256), false);
    EXPECT_TRUE(evicted.IsNull()) << "the old object went with the old key";
    evicted = keys.Object(256);
    EXPECT_EQ(Look::IndexOfKey(cache, keys.Key(256)), 1) << "the least recently used";
    EXPECT_EQ(Look::IndexOfKey(cache, keys.Key(1)), -1);
    EXPECT_EQ(Look::ListCount(cache), 256);

    Look::At(cache, 200).mObject = nullptr;
    cache.GetEntry(keys.Source(257), false);
    EXPECT_EQ(Look::IndexOfKey(cache, keys.Key(257)), 200) << "the keyed empty entry, not the older entry 2";
    EXPECT_EQ(Look::IndexOfKey(cache, keys.Key(2)), 2);
}

TEST_F(RendererCaches, APathNotKeptLeavesAKeyedEmptyEntryThatIsReusedFirst)
{
    std::vector<PolylineT<float>> polylines(257, Square(2, 8));
    PaintInClient([&] {
        Fill(polylines[0], true);
        Fill(polylines[1], false);
        for (std::size_t i = 2; i < 256; ++i)
            Fill(polylines[i], true);
    });
    Caches::PathCache& paths = probed->Get().paths;
    EXPECT_EQ(InspectPaths::ListCount(paths), 256);
    EXPECT_EQ(InspectPaths::At(paths, 1).mKey, polylines[1].GetHandle());
    EXPECT_TRUE(InspectPaths::At(paths, 1).IsEmpty());

    PaintInClient([&] { Fill(polylines[256], true); });
    EXPECT_EQ(InspectPaths::At(paths, 1).mKey, polylines[256].GetHandle());
    EXPECT_EQ(InspectPaths::At(paths, 0).mKey, polylines[0].GetHandle()) << "the oldest stays";
    EXPECT_FALSE(InspectPaths::At(paths, 0).IsEmpty());
}

TEST_F(RendererCaches, APolylineAtAReusedAddressIsBuiltAgain)
{
    alignas(PolylineT<float>) unsigned char storage[sizeof(PolylineT<float>)];
    auto* first = new (storage) PolylineT<float>(Square(2, 8));
    EXPECT_TRUE(VxTest::OnlyAreaIs(PaintInClient([&] { Fill(*first, true); }), IntRect{2, 2, 8, 8}, VxTest::kRed));
    first->~PolylineT<float>();

    // Another polyline at the same address finds the old entry; new, it is
    // marked changed, so its own path is built.
    auto* second = new (storage) PolylineT<float>(Square(20, 8));
    EXPECT_TRUE(VxTest::OnlyAreaIs(PaintInClient([&] { Fill(*second, true); }), IntRect{20, 20, 8, 8}, VxTest::kRed));
    EXPECT_EQ(InspectPaths::ListCount(probed->Get().paths), 1);
    second->~PolylineT<float>();
}

TEST_F(RendererCaches, FontsOfSizesThatPrintAlikeShareAnEntry)
{
    std::int32_t height = 0;
    std::int32_t top = 0;
    std::int32_t descent = 0;
    renderer->GetFontMetrics(LFont::GetFont("DejaVu Sans", 0, 30.0f), height, top, descent);
    std::int32_t sameHeight = 0;
    renderer->GetFontMetrics(LFont::GetFont("DejaVu Sans", 0, 30.0004f), sameHeight, top, descent);
    EXPECT_EQ(InspectFonts::ListCount(probed->Get().fonts), 1);
    EXPECT_EQ(sameHeight, height);
    renderer->GetFontMetrics(LFont::GetFont("DejaVu Sans", 0, 30.001f), height, top, descent);
    EXPECT_EQ(InspectFonts::ListCount(probed->Get().fonts), 2);
}

TEST_F(RendererCaches, APurgedBitmapKeepsItsEntryAndIsPreparedThereAgain)
{
    const RCPtr<Vx::LBitmap> bitmap = VxTest::PatternBitmap(10, 10);
    const RCPtr<Vx::LBitmap> other = VxTest::PatternBitmap(4, 4);
    const auto draw = [&](const RCPtr<Vx::LBitmap>& drawn) {
        PaintInClient([&] { renderer->DrawBitmap(drawn, IntRect{0, 0, 10, 10}, 0); });
    };
    Caches::BitmapCache& bitmaps = probed->Get().bitmaps;
    const Caches::BitmapKey key{bitmap, 10, 10};
    draw(bitmap);
    const int index = InspectBitmaps::IndexOfKey(bitmaps, key);
    ASSERT_GE(index, 0);

    // The first purge starts the period; the second drops what was not drawn since.
    for (int purge = 0; purge < 2; ++purge)
    {
        EXPECT_FALSE(InspectBitmaps::At(bitmaps, index).IsEmpty()) << purge;
        sNow += LJUCERenderer::kPurgeInterval + 1;
        draw(other);
    }
    EXPECT_TRUE(InspectBitmaps::At(bitmaps, index).IsEmpty());
    EXPECT_EQ(InspectBitmaps::IndexOfKey(bitmaps, key), index) << "the key stays";
    draw(bitmap);
    EXPECT_FALSE(InspectBitmaps::At(bitmaps, index).IsEmpty());
    EXPECT_EQ(InspectBitmaps::ListCount(bitmaps), 2);
}
} // namespace
