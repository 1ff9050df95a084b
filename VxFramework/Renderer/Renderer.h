#pragma once

#include "VxFramework/ObjectBase/RefCountedObject.h"
#include "VxFramework/ObjectBase/Result.h"
#include "VxFramework/Renderer/MeasurementRenderer.h"
#include "VxFramework/Renderer/RenderState.h"
#include "VxFramework/Utilities/Graphics/CTTypes.h"
#include "VxFramework/Utilities/Storage/StringT.h"
#include "VxFramework/Utilities/Storage/VxArray.h"

#include <cstdint>
#include <vector>

namespace Vx
{
class LBitmap;
class LFont;

// Rectangles filled each in its own colour, at a scale: the pieces of a region fill.
struct ColoredRectList
{
    Array<RectT<float>> rects;
    // 0xAARRGGBB, one per rectangle.
    Array<std::uint32_t> colors;
    float scaleX = 1.0f;
    float scaleY = 1.0f;
};

// A push described as data: flavor 0 saves the state, flavor 1 pushes bounds,
// clip, stencil and relative, flavor 2 the offset.
struct PushClipRequest
{
    std::int32_t flavor = 0;
    RectT<double> bounds{0.0, 0.0, 0.0, 0.0};
    RectT<double> clip{0.0, 0.0, 0.0, 0.0};
    RCPtr<LStencil> stencil;
    bool relative = false;
    PointT<double> offset{0.0, 0.0};
};

// The drawing interface that controls, looks and root windows paint through.
// It keeps the stack of render contexts being painted (innermost last) and the
// render state of each; the drawing itself is the concrete renderer's.  State
// operations work on the current context, between RenderStart and
// RenderFinish.  Main thread only.
class LRenderer : public LMeasurementRenderer
{
public:
    using Text = StringT<char, unsigned short>;

    static constexpr std::int32_t kJUCERendererKind = 3;

    // How DrawBitmap fits a bitmap into a destination of another size.
    enum ResizeType : std::int32_t
    {
        kStretch = 0,
        kTile = 1,
        kCenter = 2,
    };

    // Kind 3 makes the JUCE renderer (rect and handle are not used); any other
    // kind throws a domain error.
    static RCPtr<LRenderer> CreateRenderer(std::int32_t kind, const RectT<std::int32_t>& rect,
                                           std::intptr_t windowHandle);

    ~LRenderer() override;

    virtual std::int32_t GetRendererKind() const = 0;
    virtual VxRESULT CreateRenderContext(const RectT<std::int32_t>& rect, std::intptr_t windowHandle, bool offscreen,
                                         RCPtr<LRenderContextInfo>& context) = 0;

    virtual VxRESULT SetContextRect(const RectT<std::int32_t>& rect);
    virtual VxRESULT SetStencil(const RCPtr<LStencil>& stencil);

    // Makes the context current.  A null context or one already being
    // rendered throws a runtime error.
    virtual VxRESULT RenderStart(const RCPtr<LRenderContextInfo>& context);
    // Ends the pass of the current context; any other context throws a
    // runtime error and changes nothing.
    virtual VxRESULT RenderFinish(const RCPtr<LRenderContextInfo>& context);

    // position is the top left of the text's first line box.
    virtual void DrawText(const Text& text, const RCPtr<LFont>& font, const PointT<std::int32_t>& position,
                          const Color& color) = 0;
    virtual void DrawRectangle(const RectT<std::int32_t>& rect, const Color& color, float lineWidth) = 0;
    virtual void FillRectangle(const RectT<std::int32_t>& rect, const Color& color, bool flag) = 0;
    // Makes the rectangle (within the clip) transparent, whatever it held: an
    // offscreen surface is cleared this way before its dirty parts are drawn
    // again.
    virtual void ClearRectangle(const RectT<std::int32_t>& rect) = 0;
    virtual void DrawFramedRectangle(const RectT<std::int32_t>& rect, const Color& fillColor, const Color& frameColor,
                                     float frameWidth) = 0;
    virtual void FillRegion(const ColoredRectList& list, const PointT<double>& offset) = 0;
    virtual void DrawLine(const PointT<float>& from, const PointT<float>& to, const Color& color, float width) = 0;
    // The polyline operations cache the path they build from the polyline and
    // clear its changed flag.
    virtual void DrawLineSegments(PolylineT<float>& polyline, const Color& color, const PointT<float>& offset,
                                  const PointT<float>& scale, bool keepCached) = 0;
    virtual void DrawPath(PolylineT<float>& polyline, const Color& color, const PointT<float>& offset,
                          const PointT<float>& scale, bool keepCached) = 0;
    virtual void DrawPolygon(PolylineT<float>& polyline, const Color& color, const PointT<float>& offset,
                             const PointT<float>& scale, bool keepCached) = 0;
    virtual void FillPolygon(PolylineT<float>& polyline, const Color& color, const PointT<float>& offset,
                             const PointT<float>& scale, bool keepCached) = 0;
    virtual void DrawBitmap(const RCPtr<LBitmap>& bitmap, const RectT<std::int32_t>& destination,
                            std::int32_t resizeType) = 0;
    virtual VxRESULT DrawRenderContext(const RCPtr<LRenderContextInfo>& source, const PointT<std::int32_t>& destination,
                                       const RectT<std::int32_t>& sourceRect) = 0;
    virtual VxRESULT ScrollRenderContext(const RCPtr<LRenderContextInfo>& context,
                                         const PointT<std::int32_t>& delta) = 0;

    // Saves the current state.
    virtual void PushClip();
    // Saves the state, then moves the origin to the bounds' position (rounded
    // to whole pixels; absolute bounds are relative to the context) and clips
    // to the clip snapped to whole pixels.  A relative push intersects the clip
    // with the bounds and the current clip; an empty intersection clips
    // everything away.
    virtual void PushClip(const RectT<double>& bounds, const RectT<double>& clip, const RCPtr<LStencil>& stencil,
                          bool relative);
    // Saves the state and moves the origin by the rounded offset, the clip
    // staying where it was.  Only inside another push.
    virtual void PushClip(const PointT<double>& offset);
    // Restores origin, factor, clip, stencil and stencil flag, in that order.
    virtual void PopClip();
    virtual void SetClipRect(const RectT<double>& clip);
    virtual void Translate(const PointT<double>& delta);

    // The current context; null after an assertion when there is none.
    RCPtr<LRenderContextInfo> GetCurrentContext() const;
    // The current state's fields; the defaults after an assertion without a
    // current context.
    RectT<double> GetClipRect() const;
    PointT<double> GetOrigin() const;
    void MultiplyFactor(float factor);
    // Saved states of the current context; 0 without one.
    std::int32_t GetStateDepth() const;

protected:
    LRenderer() = default;

    // The current context, or null after an assertion.
    LRenderContextInfo* CurrentContext() const;
    // Without an assertion: for the renderer's own bookkeeping.
    LRenderContextInfo* CurrentContextOrNull() const noexcept;
    bool IsRendering(const LRenderContextInfo* context) const noexcept;

private:
    std::vector<RCPtr<LRenderContextInfo>> mContextStack;
};

// Pushes on construction and pops on destruction.
class ScopedRenderClip
{
public:
    // PushClip flavor 0.
    explicit ScopedRenderClip(const RCPtr<LRenderer>& renderer);
    // PushClip flavor 1.
    ScopedRenderClip(const RCPtr<LRenderer>& renderer, const RectT<double>& bounds, const RectT<double>& clip,
                     const RCPtr<LStencil>& stencil, bool relative = true);
    // The request's flavor; another flavor throws "Unknown PushClip flavor"
    // and pushes nothing.
    ScopedRenderClip(const RCPtr<LRenderer>& renderer, const PushClipRequest& request);
    ~ScopedRenderClip();

    ScopedRenderClip(const ScopedRenderClip&) = delete;
    ScopedRenderClip& operator=(const ScopedRenderClip&) = delete;

private:
    RCPtr<LRenderer> mRenderer;
};
} // namespace Vx
