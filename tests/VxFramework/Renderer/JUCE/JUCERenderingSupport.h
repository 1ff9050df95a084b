#pragma once

// A JUCE renderer on an offscreen context, with a clock the tests set, and
// pixel checks of what it drew.

#include "VxFramework/Renderer/JUCE/JUCERenderContextInfo.h"
#include "VxFramework/Renderer/JUCE/JUCERenderer.h"
#include "VxFramework/Utilities/Graphics/Bitmap.h"
#include "tests/VxFramework/Renderer/RendererTestSupport.h"

#include <juce_graphics/juce_graphics.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <string>

namespace VxTest
{
using Vx::LJUCERenderContextInfo;
using Vx::LJUCERenderer;
using Vx::LRenderContextInfo;
using Vx::RCPtr;
using IntRect = Vx::RectT<std::int32_t>;
using IntPoint = Vx::PointT<std::int32_t>;

constexpr std::uint32_t kTransparent = 0x00000000u;
constexpr std::uint32_t kRed = 0xFFFF0000u;
constexpr std::uint32_t kGreen = 0xFF00FF00u;
constexpr std::uint32_t kBlue = 0xFF0000FFu;
constexpr std::uint32_t kWhite = 0xFFFFFFFFu;

// The premultiplied ARGB value of a pixel.
inline std::uint32_t PixelAt(const juce::Image& image, int x, int y)
{
    return image.getPixelAt(x, y).getPixelARGB().getNativeARGB();
}

// The pixel as stored, premultiplied, without JUCE's round trip through Colour.
inline std::uint32_t RawPixelAt(const juce::Image& image, int x, int y)
{
    const juce::Image::BitmapData data(image, x, y, 1, 1);
    return reinterpret_cast<const juce::PixelARGB*>(data.data)->getNativeARGB();
}

inline std::uint8_t AlphaAt(const juce::Image& image, int x, int y)
{
    return image.getPixelAt(x, y).getAlpha();
}

// The pixels inside the area are colour, all others outside: the first wrong
// pixel is reported.
inline ::testing::AssertionResult OnlyAreaIs(const juce::Image& image, const IntRect& area, std::uint32_t colour,
                                             std::uint32_t outside = kTransparent)
{
    for (int y = 0; y < image.getHeight(); ++y)
    {
        for (int x = 0; x < image.getWidth(); ++x)
        {
            const bool inside = x >= area.x && x < area.x + area.width && y >= area.y && y < area.y + area.height;
            const std::uint32_t wanted = inside ? colour : outside;
            const std::uint32_t actual = PixelAt(image, x, y);
            if (actual != wanted)
                return ::testing::AssertionFailure()
                       << "pixel (" << x << ", " << y << ") is " << std::hex << actual << ", not " << wanted;
        }
    }
    return ::testing::AssertionSuccess();
}

inline int CountPixels(const juce::Image& image, const std::function<bool(std::uint32_t)>& test)
{
    int count = 0;
    for (int y = 0; y < image.getHeight(); ++y)
        for (int x = 0; x < image.getWidth(); ++x)
            if (test(PixelAt(image, x, y)))
                ++count;
    return count;
}

// The pixel at (x, y) of the pattern bitmap.
inline std::uint32_t PatternPixel(int x, int y)
{
    return 0xFF000000u | (static_cast<std::uint32_t>(x * 20 % 256) << 16) |
           (static_cast<std::uint32_t>(y * 20 % 256) << 8) | 100u;
}

// An opaque bitmap whose every pixel tells its position: red 20 x, green 20 y, blue 100.
inline RCPtr<Vx::LBitmap> PatternBitmap(int width, int height)
{
    RCPtr<Vx::LBitmap> bitmap =
        Vx::LBitmap::CreateFilled(Vx::PointT<std::int32_t>{width, height}, Vx::Color(0xFF000000u));
    const RCPtr<Vx::LBitmapData> pixels = Vx::LBitmap::GetWritablePixelBuffer(bitmap);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            *pixels->GetPixel(x, y) = static_cast<std::int32_t>(PatternPixel(x, y));
    return bitmap;
}

// Compares with the reference picture tests/.../golden/<name>.png, each
// channel within tolerance.  With VX_UPDATE_GOLDEN set in the environment the
// picture is written instead.  A mismatch leaves the drawn picture as
// <name>-actual.png in the working directory.
inline void ExpectMatchesGolden(const juce::Image& image, const std::string& name, int tolerance)
{
    const juce::File golden = juce::File(VX_RENDERER_GOLDEN_DIR).getChildFile(juce::String(name) + ".png");
    const auto write = [&image](const juce::File& file) {
        file.deleteFile();
        juce::FileOutputStream stream(file);
        juce::PNGImageFormat().writeImageToStream(image, stream);
    };
    if (std::getenv("VX_UPDATE_GOLDEN") != nullptr)
    {
        write(golden);
        return;
    }
    const juce::Image expected = juce::ImageFileFormat::loadFrom(golden);
    ASSERT_TRUE(expected.isValid()) << golden.getFullPathName();
    ASSERT_EQ(expected.getWidth(), image.getWidth());
    ASSERT_EQ(expected.getHeight(), image.getHeight());
    int mismatches = 0;
    std::string first;
    for (int y = 0; y < image.getHeight(); ++y)
    {
        for (int x = 0; x < image.getWidth(); ++x)
        {
            const juce::Colour a = image.getPixelAt(x, y);
            const juce::Colour b = expected.getPixelAt(x, y);
            const int channels[4][2] = {{a.getAlpha(), b.getAlpha()},
                                        {a.getRed(), b.getRed()},
                                        {a.getGreen(), b.getGreen()},
                                        {a.getBlue(), b.getBlue()}};
            for (const auto& channel : channels)
            {
                if (std::abs(channel[0] - channel[1]) > tolerance)
                {
                    if (mismatches == 0)
                        first = "(" + std::to_string(x) + ", " + std::to_string(y) + ")";
                    ++mismatches;
                    break;
                }
            }
        }
    }
    if (mismatches != 0)
        write(juce::File::getCurrentWorkingDirectory().getChildFile(juce::String(name) + "-actual.png"));
    EXPECT_EQ(mismatches, 0) << "first at " << first << ", picture " << name;
}

// A JUCE renderer whose purge clock the test sets, and an offscreen context.
class JUCERendering : public ::testing::Test
{
protected:
    static std::uint32_t Clock() { return sNow; }

    void SetUp() override
    {
        sNow = 5000;
        renderer = new LJUCERenderer(&Clock);
        context = MakeContext(IntRect{0, 0, 64, 48}, true);
    }

    void TearDown() override { juce::DeletedAtShutdown::deleteAll(); }

    RCPtr<LJUCERenderContextInfo> MakeContext(const IntRect& rect, bool offscreen)
    {
        RCPtr<LRenderContextInfo> made;
        EXPECT_EQ(renderer->CreateRenderContext(rect, 0, offscreen, made), Vx::VXR_OK);
        return RCPtr<LJUCERenderContextInfo>(made);
    }

    // One pass over the context: its picture afterwards, as a copy.
    juce::Image Paint(const std::function<void()>& body) { return Paint(context, body); }
    juce::Image Paint(const RCPtr<LJUCERenderContextInfo>& target, const std::function<void()>& body)
    {
        renderer->RenderStart(target);
        body();
        renderer->RenderFinish(target);
        return target->GetFrontImage()->createCopy();
    }

    static inline std::uint32_t sNow = 0;
    RCPtr<LJUCERenderer> renderer;
    RCPtr<LJUCERenderContextInfo> context;
};
} // namespace VxTest
