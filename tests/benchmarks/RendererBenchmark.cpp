// What the JUCE renderer costs for a typical 1280 x 800 screen: a panel of
// labelled tiles, each with a framed look, an icon and two lines of text,
// painted whole and presented into the window, and one small dirty rectangle
// of it painted and presented; beside them, one frame copied with memcpy, the
// floor of any whole-frame painting.  The window's graphics draws with the
// display backend's renderer, as a window's paint on the device does.  Items
// are frames.

#include "JuceBackend/native/juce_linuxfb_SoftwareRenderer.h"
#include "VxFramework/Renderer/JUCE/JUCERenderContextInfo.h"
#include "VxFramework/Renderer/JUCE/JUCERenderer.h"
#include "VxFramework/Utilities/Graphics/Bitmap.h"
#include "VxFramework/Utilities/Graphics/Font.h"

#include <benchmark/benchmark.h>
#include <juce_graphics/juce_graphics.h>

#include <cstring>
#include <vector>

namespace
{
constexpr int kWidth = 1280;
constexpr int kHeight = 800;
constexpr int kColumns = 8;
constexpr int kRows = 10;

using IntRect = Vx::RectT<std::int32_t>;
using Rect = Vx::RectT<double>;

// A window context presenting into a screen image, and the screen's tiles.
class Screen
{
public:
    Screen()
        : screen(juce::Image::ARGB, kWidth, kHeight, true), screenRenderer(screen), graphics(screenRenderer),
          renderer(new Vx::LJUCERenderer()), font(Vx::LFont::GetFont("DejaVu Sans", 0, 11.0f)),
          smallFont(Vx::LFont::GetFont("DejaVu Sans", 0, 8.0f)),
          icon(Vx::LBitmap::CreateFilled(Vx::PointT<std::int32_t>{24, 24}, Vx::Color(0xFF3060A0u))),
          background(Vx::LBitmap::CreateFilled(Vx::PointT<std::int32_t>{16, 16}, Vx::Color(0xFF202428u)))
    {
        Vx::RCPtr<Vx::LRenderContextInfo> made;
        renderer->CreateRenderContext(IntRect{0, 0, kWidth, kHeight}, 0, false, made);
        context = Vx::RCPtr<Vx::LJUCERenderContextInfo>(made);
        // A few icons with soft edges, as skins have them.
        for (int i = 0; i < 24; ++i)
            *Vx::LBitmap::GetWritablePixelBuffer(icon)->GetPixel(i, 0) = 0x40000000;
        for (int row = 0; row < kRows; ++row)
            for (int column = 0; column < kColumns; ++column)
                tiles.push_back(IntRect{8 + column * (kWidth - 16) / kColumns, 8 + row * (kHeight - 16) / kRows,
                                        (kWidth - 16) / kColumns - 8, (kHeight - 16) / kRows - 8});
        Paint(IntRect{0, 0, kWidth, kHeight});
    }

    // Paints the tiles that meet the area, clipped to it, as the root window
    // does, and presents the area.
    void Paint(const IntRect& area)
    {
        context->GetDirtyRegion().Clear();
        context->GetDirtyRegion().AddRect(area);
        context->SetTargetGraphics(&graphics);
        renderer->RenderStart(context);
        const Rect clip{static_cast<double>(area.x), static_cast<double>(area.y), static_cast<double>(area.width),
                        static_cast<double>(area.height)};
        renderer->PushClip(Rect{0, 0, kWidth, kHeight}, clip, nullptr, false);
        renderer->DrawBitmap(background, IntRect{0, 0, kWidth, kHeight}, Vx::LRenderer::kTile);
        int index = 0;
        for (const IntRect& tile : tiles)
        {
            ++index;
            if (tile.x >= area.x + area.width || tile.x + tile.width <= area.x || tile.y >= area.y + area.height ||
                tile.y + tile.height <= area.y)
                continue;
            const Rect bounds{static_cast<double>(tile.x), static_cast<double>(tile.y), static_cast<double>(tile.width),
                              static_cast<double>(tile.height)};
            renderer->PushClip(bounds, bounds, nullptr, true);
            renderer->DrawFramedRectangle(IntRect{0, 0, tile.width, tile.height}, Vx::Color(0xFF404850u),
                                          Vx::Color(0xFF8090A0u), 1.0f);
            renderer->DrawBitmap(icon, IntRect{6, 6, 24, 24}, Vx::LRenderer::kStretch);
            renderer->DrawText(names[index % 2], font, Vx::PointT<std::int32_t>{36, 6}, Vx::Color(0xFFF0F0F0u));
            renderer->DrawText(states[index % 3 == 0 ? 0 : 1], smallFont, Vx::PointT<std::int32_t>{36, 24},
                               Vx::Color(0xFF90C090u));
            renderer->PopClip();
        }
        renderer->PopClip();
        renderer->RenderFinish(context);
        context->SetTargetGraphics(nullptr);
    }

    juce::Image screen;
    juce::LinuxFbSoftwareRenderer screenRenderer;
    juce::Graphics graphics;
    Vx::RCPtr<Vx::LJUCERenderer> renderer;
    Vx::RCPtr<Vx::LJUCERenderContextInfo> context;
    Vx::RCPtr<Vx::LFont> font;
    Vx::RCPtr<Vx::LFont> smallFont;
    Vx::RCPtr<Vx::LBitmap> icon;
    Vx::RCPtr<Vx::LBitmap> background;
    std::vector<IntRect> tiles;
    // The labels' texts, which controls keep between paints.
    const Vx::LRenderer::Text names[2] = {"Audio output", "MIDI loopback"};
    const Vx::LRenderer::Text states[2] = {"Passed", "Untested"};
};

void PaintFullFrame(benchmark::State& state)
{
    Screen screen;
    for (auto _ : state)
        screen.Paint(IntRect{0, 0, kWidth, kHeight});
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(PaintFullFrame)->Unit(benchmark::kMicrosecond);

// One label's worth of a tile, as when a test status changes.
void PaintDirtyRectangle(benchmark::State& state)
{
    Screen screen;
    const IntRect& tile = screen.tiles[13];
    const IntRect area{tile.x + 36, tile.y + 24, 80, 14};
    for (auto _ : state)
        screen.Paint(area);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(PaintDirtyRectangle)->Unit(benchmark::kMicrosecond);

// Presenting the whole frame alone: JUCE blends the surface into the window.
void PresentFullFrame(benchmark::State& state)
{
    Screen screen;
    for (auto _ : state)
    {
        screen.context->GetDirtyRegion().Clear();
        screen.context->GetDirtyRegion().AddRect(IntRect{0, 0, kWidth, kHeight});
        screen.context->SetTargetGraphics(&screen.graphics);
        screen.renderer->RenderStart(screen.context);
        screen.renderer->RenderFinish(screen.context);
        screen.context->SetTargetGraphics(nullptr);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(PresentFullFrame)->Unit(benchmark::kMicrosecond);

void CopyFrame(benchmark::State& state)
{
    std::vector<std::uint32_t> from(static_cast<std::size_t>(kWidth) * kHeight, 0xFF202428u);
    std::vector<std::uint32_t> to(from.size());
    for (auto _ : state)
    {
        std::memcpy(to.data(), from.data(), from.size() * sizeof(std::uint32_t));
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(CopyFrame)->Unit(benchmark::kMicrosecond);
} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    // JUCE's font and glyph caches are deleted at shutdown.
    juce::DeletedAtShutdown::deleteAll();
    return 0;
}
