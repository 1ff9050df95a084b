#pragma once

#include "VxFramework/Renderer/Renderer.h"
#include "VxFramework/Utilities/Threading/Thread.h"

#include <cstdint>
#include <memory>

namespace juce
{
class Font;
class Graphics;
class Image;
template <typename ValueType>
class Rectangle;
} // namespace juce

namespace Vx
{
class LJUCERenderContextInfo;

// The renderer on JUCE's 2-D graphics.  It draws into the JUCE graphics of the
// current render context and keeps that graphics' origin and clip in step with
// the render state; the state's factor is the opacity of everything drawn.
// Fonts, paths built from polylines and bitmaps scaled to a size are cached
// from one paint to the next.  Main thread only.
class LJUCERenderer : public LRenderer
{
public:
    // Milliseconds of one monotonic clock: the clock of the bitmap purge.
    using TickSource = std::uint32_t (*)();

    // Scaled bitmaps not drawn for this long are dropped.
    static constexpr std::uint32_t kPurgeInterval = 300000;
    // The wrapping width of multi-line text.
    static constexpr int kMultiLineWidth = 2048;

    explicit LJUCERenderer(TickSource ticks = &GetMilliseconds);
    ~LJUCERenderer() override;

    // height, and top above the baseline (negative), and descent, each
    // rounded up from the JUCE font's; 0x80000003 without a font.
    VxRESULT GetFontMetrics(const RCPtr<LFont>& font, std::int32_t& height, std::int32_t& top,
                            std::int32_t& descent) override;
    // (0, top, width, height) around the baseline at the origin; all zero for
    // an empty text.
    RectT<float> MeasureText(const Text& text, const RCPtr<LFont>& font) override;

    std::int32_t GetRendererKind() const override { return kJUCERendererKind; }
    // 0x80000008 when the context's surfaces cannot be made.
    VxRESULT CreateRenderContext(const RectT<std::int32_t>& rect, std::intptr_t windowHandle, bool offscreen,
                                 RCPtr<LRenderContextInfo>& context) override;

    // Only contexts of this renderer: another kind throws a logic error.
    VxRESULT RenderStart(const RCPtr<LRenderContextInfo>& context) override;
    VxRESULT RenderFinish(const RCPtr<LRenderContextInfo>& context) override;

    void DrawText(const Text& text, const RCPtr<LFont>& font, const PointT<std::int32_t>& position,
                  const Color& color) override;
    // The outline lies inside the rectangle, the line width truncated.
    void DrawRectangle(const RectT<std::int32_t>& rect, const Color& color, float lineWidth) override;
    void FillRectangle(const RectT<std::int32_t>& rect, const Color& color, bool flag) override;
    void ClearRectangle(const RectT<std::int32_t>& rect) override;
    // A fill or frame colour with no alpha is not drawn.
    void DrawFramedRectangle(const RectT<std::int32_t>& rect, const Color& fillColor, const Color& frameColor,
                             float frameWidth) override;
    void FillRegion(const ColoredRectList& list, const PointT<double>& offset) override;
    void DrawLine(const PointT<float>& from, const PointT<float>& to, const Color& color, float width) override;
    // Each pair of points is a segment as wide as the polyline's thickness;
    // an odd last point is ignored.
    void DrawLineSegments(PolylineT<float>& polyline, const Color& color, const PointT<float>& offset,
                          const PointT<float>& scale, bool keepCached) override;
    void DrawPath(PolylineT<float>& polyline, const Color& color, const PointT<float>& offset,
                  const PointT<float>& scale, bool keepCached) override;
    // Closed back to the first point when the last one differs from it.
    void DrawPolygon(PolylineT<float>& polyline, const Color& color, const PointT<float>& offset,
                     const PointT<float>& scale, bool keepCached) override;
    void FillPolygon(PolylineT<float>& polyline, const Color& color, const PointT<float>& offset,
                     const PointT<float>& scale, bool keepCached) override;
    // Without a current context a runtime error; a resize type other than 0, 1
    // and 2 for a bitmap of another size than the destination an
    // invalid-argument error.
    void DrawBitmap(const RCPtr<LBitmap>& bitmap, const RectT<std::int32_t>& destination,
                    std::int32_t resizeType) override;
    // The source must be an offscreen context of this renderer (else
    // 0x80000003); 0x80000008 without a current context.
    VxRESULT DrawRenderContext(const RCPtr<LRenderContextInfo>& source, const PointT<std::int32_t>& destination,
                               const RectT<std::int32_t>& sourceRect) override;
    // Moves the offscreen context's picture by delta; what is uncovered becomes
    // transparent.  0x80000003 for another context.
    VxRESULT ScrollRenderContext(const RCPtr<LRenderContextInfo>& context, const PointT<std::int32_t>& delta) override;

    // The graphics takes the state's origin and the new clip.
    void SetClipRect(const RectT<double>& clip) override;
    // The graphics moves to the new origin and keeps the stored clip where it
    // was before the move; a push then shifts the stored clip to match.
    void Translate(const PointT<double>& delta) override;

    // The cache entries: a bitmap scaled to a size, the path built from a
    // polyline, the pixel height of a font.
    class LCachedBitmap;
    class LGraphicsPath;
    class LCachedNativeFont;
    // The key of a scaled bitmap: the bitmap and the size it was scaled to.
    template <std::uint32_t Bits>
    struct CashableBitmapDescriptor;
    // The key of a font: its fields, not their text.
    struct FontKey;
    // The three caches (JUCERendererCaches.h).
    struct Caches;

protected:
    // For tests that look into the entries.
    Caches& GetCaches() noexcept { return *mCaches; }

private:
    enum class PolylineKind;

    // Runs draw with the origin moved by offset, then puts origin and clip
    // back as they were.
    template <class Draw>
    void DrawWithOffset(const PointT<double>& offset, Draw&& draw);

    // The open graphics of the current context, for drawing that blends with
    // what is below: copies deferred within the clip are written first.  Null
    // after an assertion.
    juce::Graphics* DrawingGraphics() const;
    // The same for fills that set their pixels whatever is below them.
    juce::Graphics* FillingGraphics() const;
    // The graphics' clip in the surface's pixels.
    juce::Rectangle<int> SurfaceClip(const juce::Graphics& graphics) const;
    // The current context's front image, as drawn so far.
    juce::Image& TargetImage() const;
    // The same without the assertion, for the state mirroring.
    juce::Graphics* OpenGraphics() const noexcept;
    // Brings the graphics to the current state's origin and clip.
    void ApplyState(juce::Graphics& graphics) const;
    float GetOpacity() const noexcept;
    // The JUCE font of the description, its pixel height cached.
    juce::Font GetNativeFont(const RCPtr<LFont>& font);
    // Its cache entry; null after an assertion.
    RCPtr<LCachedNativeFont> GetNativeFontEntry(const RCPtr<LFont>& font);
    void DrawPolyline(PolylineKind kind, PolylineT<float>& polyline, const Color& color, const PointT<float>& offset,
                      const PointT<float>& scale, bool keepCached);

    RCPtr<LJUCERenderContextInfo> mCurrentContext;
    std::unique_ptr<Caches> mCaches;
    TickSource mTicks;
    std::uint32_t mLastPurgeTime;
};
} // namespace Vx
