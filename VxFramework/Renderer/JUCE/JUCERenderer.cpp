#include "VxFramework/Renderer/JUCE/JUCERenderer.h"

#include "JuceBackend/native/juce_linuxfb_SoftwareRenderer.h"
#include "VxFramework/ObjectBase/Exception.h"
#include "VxFramework/Renderer/JUCE/JUCERenderContextInfo.h"
#include "VxFramework/Renderer/JUCE/JUCERendererCaches.h"
#include "VxFramework/Utilities/Computation/MathUtils.h"
#include "VxFramework/Utilities/Graphics/Bitmap.h"
#include "VxFramework/Utilities/Graphics/Font.h"

#include <juce_graphics/juce_graphics.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>
#include <stdexcept>

namespace Vx
{
namespace
{
// No surface is wider than 4096 pixels.  Origins, clip edges and positions
// handed to JUCE stay within this bound, far outside every surface, so that
// JUCE's int and 24.8 fixed-point arithmetic on them cannot overflow.
constexpr double kCoordinateLimit = 2097152.0;
constexpr std::int64_t kIntCoordinateLimit = 2097152;

// Truncated towards zero and limited to the coordinate bound; NaN gives 0.
int ToJuceCoordinate(double value) noexcept
{
    if (std::isnan(value))
        return 0;
    return static_cast<int>(std::clamp(std::trunc(value), -kCoordinateLimit, kCoordinateLimit));
}

// A clip from whole-number edges: both edges limited, so that an unbounded
// clip stays unbounded rather than collapsing to one side.
juce::Rectangle<int> ToJuceClip(double left, double top, double width, double height) noexcept
{
    const int x0 = ToJuceCoordinate(left);
    const int y0 = ToJuceCoordinate(top);
    const int x1 = ToJuceCoordinate(left + width);
    const int y1 = ToJuceCoordinate(top + height);
    return juce::Rectangle<int>(x0, y0, std::max(x1 - x0, 0), std::max(y1 - y0, 0));
}

juce::Colour ToJuceColour(const Color& color, float opacity)
{
    return juce::Colour(color.ToARGB()).withMultipliedAlpha(opacity);
}

juce::String ToJuceString(const StringT<char, unsigned short>& text)
{
    return juce::String::fromUTF8(text.GetCString());
}

// A line width for JUCE's int outlines: truncated, not below 0.
int ToLineThickness(float width) noexcept
{
    if (!(width > 0.0f))
        return 0;
    return static_cast<int>(std::min(static_cast<double>(width), kCoordinateLimit));
}

// The origin JUCE is given for the state.
juce::Point<int> JuceOrigin(const RenderState& state) noexcept
{
    return juce::Point<int>(ToJuceCoordinate(state.origin.x), ToJuceCoordinate(state.origin.y));
}

// Replaces the graphics' working state by the pass's base state moved to the
// origin and clipped to the clip (around the origin).
void SetOriginAndClip(juce::Graphics& graphics, const juce::Point<int>& origin, const juce::Rectangle<int>& clip)
{
    // The working state is replaced, never changed: the pass's base state
    // below it keeps the whole surface.  The screens' renderer replaces it in
    // place; every drawing sets the fill and font it draws with.
    auto* software = dynamic_cast<juce::LinuxFbSoftwareRenderer*>(&graphics.getInternalContext());
    if (software != nullptr && software->resetOriginAndClip(origin, clip))
        return;
    graphics.restoreState();
    graphics.saveState();
    graphics.setOrigin(origin);
    graphics.reduceClipRegion(clip);
}

// Whether a position, moved by the origin, lies within the coordinate bound;
// what lies beyond it is far outside every surface and shows nothing.
bool IsNearSurface(const juce::Point<int>& origin, std::int64_t x, std::int64_t y) noexcept
{
    return std::abs(x + origin.x) <= kIntCoordinateLimit && std::abs(y + origin.y) <= kIntCoordinateLimit;
}

bool IsFinite(const PointT<float>& point) noexcept
{
    return std::isfinite(point.x) && std::isfinite(point.y);
}

// The part of a rectangle that lies within the coordinate bound once moved by
// the origin, in the rectangle's own coordinates.  False for a negative size.
bool ToJuceRect(const RectT<std::int32_t>& rect, const juce::Point<int>& origin, juce::Rectangle<int>& out) noexcept
{
    if (rect.width < 0 || rect.height < 0)
        return false;
    const auto span = [](std::int64_t start, std::int64_t length, std::int64_t shift, int& first, int& extent) {
        const std::int64_t from = std::clamp(start + shift, -kIntCoordinateLimit, kIntCoordinateLimit);
        const std::int64_t to = std::clamp(start + length + shift, -kIntCoordinateLimit, kIntCoordinateLimit);
        first = static_cast<int>(from - shift);
        extent = static_cast<int>(to - from);
    };
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    span(rect.x, rect.width, origin.x, x, width);
    span(rect.y, rect.height, origin.y, y, height);
    out = juce::Rectangle<int>(x, y, width, height);
    return true;
}

// Whether an area in float coordinates is finite and, moved by the origin,
// within the coordinate bound.
bool IsWithinBound(const juce::Rectangle<float>& area, const juce::Point<int>& origin) noexcept
{
    const double left = static_cast<double>(area.getX()) + origin.x;
    const double top = static_cast<double>(area.getY()) + origin.y;
    const double right = static_cast<double>(area.getRight()) + origin.x;
    const double bottom = static_cast<double>(area.getBottom()) + origin.y;
    return std::isfinite(left) && std::isfinite(top) && std::isfinite(right) && std::isfinite(bottom) &&
           left >= -kCoordinateLimit && top >= -kCoordinateLimit && right <= kCoordinateLimit &&
           bottom <= kCoordinateLimit;
}

// Whether every pixel of an ARGB image is at full alpha.
bool IsOpaque(const juce::Image& image)
{
    if (image.getFormat() != juce::Image::ARGB)
        return false;
    const juce::Image::BitmapData pixels(image, juce::Image::BitmapData::readOnly);
    for (int y = 0; y < pixels.height; ++y)
    {
        const auto* row = reinterpret_cast<const juce::PixelARGB*>(pixels.getLinePointer(y));
        std::uint32_t all = 0xff000000u;
        for (int x = 0; x < pixels.width; ++x)
            all &= row[x].getNativeARGB();
        if (all != 0xff000000u)
            return false;
    }
    return true;
}

// What drawImageAt does at full opacity on a surface of this renderer, whose
// graphics holds no more than a translation by origin and a rectangular clip:
// the same pixels, but opaque ones copied and empty ones skipped where JUCE's
// generic loop blends every pixel.  False, and nothing drawn, when the images
// are not both ARGB or share their pixels.  A source whose rows repeat every
// rowPeriod rows (a tiled bitmap) is read from its first period only, which
// stays in the processor's cache while the target is written.
bool BlitAt(const juce::Graphics& graphics, const juce::Point<int>& origin, juce::Image& target,
            const juce::Image& source, const juce::Rectangle<int>& sourceArea, int x, int y, int rowPeriod = 0)
{
    if (target.getFormat() != juce::Image::ARGB || source.getFormat() != juce::Image::ARGB ||
        target.getPixelData() == source.getPixelData())
        return false;
    const juce::Rectangle<int> placed(x + origin.x, y + origin.y, sourceArea.getWidth(), sourceArea.getHeight());
    const juce::Rectangle<int> area =
        placed.getIntersection(graphics.getClipBounds() + origin).getIntersection(target.getBounds());
    if (area.isEmpty())
        return true;
    const juce::Image::BitmapData to(target, area.getX(), area.getY(), area.getWidth(), area.getHeight(),
                                     juce::Image::BitmapData::readWrite);
    const int firstRow = sourceArea.getY() + area.getY() - placed.getY();
    const bool periodic = rowPeriod > 0 && rowPeriod < source.getHeight();
    const juce::Image::BitmapData from(source, sourceArea.getX() + area.getX() - placed.getX(), 0, area.getWidth(),
                                       source.getHeight());
    for (int row = 0; row < area.getHeight(); ++row)
    {
        const int sourceRow = periodic ? (firstRow + row) % rowPeriod : firstRow + row;
        juce::LinuxFbSoftwareRenderer::blendRow(
            reinterpret_cast<juce::PixelARGB*>(to.getLinePointer(row)),
            reinterpret_cast<const juce::PixelARGB*>(from.getLinePointer(sourceRow)), area.getWidth());
    }
    return true;
}
} // namespace

enum class LJUCERenderer::PolylineKind
{
    kSegments,
    kPath,
    kPolygon,
    kFilledPolygon,
};

LJUCERenderer::LJUCERenderer(TickSource ticks)
    : mCaches(std::make_unique<Caches>()), mTicks(ticks != nullptr ? ticks : &GetMilliseconds), mLastPurgeTime(mTicks())
{
}

LJUCERenderer::~LJUCERenderer()
{
    mCaches.reset();
    mCurrentContext = nullptr;
}

juce::Graphics* LJUCERenderer::OpenGraphics() const noexcept
{
    if (mCurrentContext.IsNull() || mCurrentContext->GetFrontSurface().IsNull())
        return nullptr;
    return mCurrentContext->GetFrontSurface()->GetGraphics();
}

juce::Graphics* LJUCERenderer::FillingGraphics() const
{
    VX_ASSERT(!mCurrentContext.IsNull());
    if (mCurrentContext.IsNull())
        return nullptr;
    return mCurrentContext->GetGraphics();
}

juce::Graphics* LJUCERenderer::DrawingGraphics() const
{
    juce::Graphics* graphics = FillingGraphics();
    if (graphics != nullptr)
        mCurrentContext->WriteDeferred(SurfaceClip(*graphics));
    return graphics;
}

juce::Rectangle<int> LJUCERenderer::SurfaceClip(const juce::Graphics& graphics) const
{
    // The graphics' clip is always one rectangle, the surface's bounds reduced
    // by single rectangles, so its bounds are the clip; they are given around
    // the origin.
    return graphics.getClipBounds() + JuceOrigin(mCurrentContext->GetState());
}

juce::Image& LJUCERenderer::TargetImage() const
{
    // Drawn into directly: copies deferred elsewhere stay deferred.
    return *mCurrentContext->GetFrontSurface()->GetImage();
}

float LJUCERenderer::GetOpacity() const noexcept
{
    if (mCurrentContext.IsNull())
        return 1.0f;
    const float factor = mCurrentContext->GetState().factor;
    if (!(factor > 0.0f))
        return 0.0f;
    return std::min(factor, 1.0f);
}

void LJUCERenderer::ApplyState(juce::Graphics& graphics) const
{
    const RenderState& state = mCurrentContext->GetState();
    const RectT<double>& clip = state.clipRect;
    SetOriginAndClip(
        graphics, JuceOrigin(state),
        ToJuceClip(std::trunc(clip.x), std::trunc(clip.y), std::trunc(clip.width), std::trunc(clip.height)));
}

template <class Draw>
void LJUCERenderer::DrawWithOffset(const PointT<double>& offset, Draw&& draw)
{
    // Undoing the move by the opposite Translate would re-apply the clip
    // shifted by the offset: the saved origin and clip are put back instead.
    struct Restore
    {
        LJUCERenderer& renderer;
        RenderState saved;
        ~Restore()
        {
            if (renderer.mCurrentContext.IsNull())
                return;
            RenderState& state = renderer.mCurrentContext->GetState();
            state.origin = saved.origin;
            state.clipRect = saved.clipRect;
            if (juce::Graphics* graphics = renderer.OpenGraphics())
                renderer.ApplyState(*graphics);
        }
    } restore{*this, mCurrentContext->GetState()};
    Translate(offset);
    draw();
}

VxRESULT LJUCERenderer::CreateRenderContext(const RectT<std::int32_t>& rect, std::intptr_t windowHandle, bool offscreen,
                                            RCPtr<LRenderContextInfo>& context)
{
    try
    {
        context = LJUCERenderContextInfo::Create(rect, windowHandle, offscreen);
    }
    catch (const std::bad_alloc&)
    {
        context = nullptr;
    }
    return context.IsNull() ? VXR_E_FAIL : VXR_OK;
}

VxRESULT LJUCERenderer::RenderStart(const RCPtr<LRenderContextInfo>& context)
{
    const RCPtr<LJUCERenderContextInfo> juceContext = VX_CHECKED_RCPTR_CAST(LJUCERenderContextInfo, context);
    LRenderer::RenderStart(context);

    const RCPtr<LJUCERenderContextInfo> outer = mCurrentContext;
    mCurrentContext = juceContext;
    try
    {
        juceContext->PrepareSurfaces();
    }
    catch (...)
    {
        mCurrentContext = outer;
        LRenderer::RenderFinish(context);
        throw;
    }

    juce::Graphics* graphics = juceContext->GetGraphics();
    if (graphics == nullptr)
        return VXR_OK;
    graphics->setImageResamplingQuality(juce::Graphics::highResamplingQuality);
    // The first save is the pass's base state, the second the working state
    // that every state change replaces.
    graphics->saveState();
    graphics->saveState();
    const RenderState& state = juceContext->GetState();
    VX_ASSERT(state.origin == PointT<double>::Zero);
    // A context's state outlives its passes: the graphics starts from it.
    ApplyState(*graphics);
    return VXR_OK;
}

VxRESULT LJUCERenderer::RenderFinish(const RCPtr<LRenderContextInfo>& context)
{
    // A context that is not the current one is refused before anything is
    // presented or released.
    if (mCurrentContext.IsNull() || context.Get() != static_cast<LRenderContextInfo*>(mCurrentContext.Get()))
        return LRenderer::RenderFinish(context);

    mCurrentContext->Present();
    mCurrentContext = nullptr;
    LRenderer::RenderFinish(context);

    if (LRenderContextInfo* outer = CurrentContextOrNull())
    {
        mCurrentContext = RCPtr<LJUCERenderContextInfo>(dynamic_cast<LJUCERenderContextInfo*>(outer));
        VX_ASSERT(!mCurrentContext.IsNull());
        if (juce::Graphics* graphics = OpenGraphics())
            ApplyState(*graphics);
    }

    const std::uint32_t now = mTicks();
    if (static_cast<std::int32_t>(now - mLastPurgeTime) > static_cast<std::int32_t>(kPurgeInterval))
    {
        mCaches->bitmaps.PurgeUnused();
        mLastPurgeTime = now;
    }
    return VXR_OK;
}

void LJUCERenderer::SetClipRect(const RectT<double>& clip)
{
    LRenderer::SetClipRect(clip);
    // With the origin too: after a pop the graphics is at the restored origin.
    if (juce::Graphics* graphics = OpenGraphics())
        ApplyState(*graphics);
}

void LJUCERenderer::Translate(const PointT<double>& delta)
{
    LRenderer::Translate(delta);
    juce::Graphics* graphics = OpenGraphics();
    if (graphics == nullptr)
        return;
    // The clip stored before the move is re-applied in the new coordinates.
    const RenderState& state = mCurrentContext->GetState();
    const RectT<double>& clip = state.clipRect;
    SetOriginAndClip(*graphics, JuceOrigin(state),
                     ToJuceClip(std::trunc(clip.x) - std::trunc(delta.x), std::trunc(clip.y) - std::trunc(delta.y),
                                std::trunc(clip.width), std::trunc(clip.height)));
}

RCPtr<LJUCERenderer::LCachedNativeFont> LJUCERenderer::GetNativeFontEntry(const RCPtr<LFont>& font)
{
    RCPtr<LCachedNativeFont>& cached = mCaches->fonts.GetEntry(ConstRCPtr<LFont>(font), false);
    if (cached.IsNull())
        cached = new LCachedNativeFont(*font);
    VX_ASSERT(!cached.IsNull());
    return cached;
}

juce::Font LJUCERenderer::GetNativeFont(const RCPtr<LFont>& font)
{
    const RCPtr<LCachedNativeFont> cached = GetNativeFontEntry(font);
    if (cached.IsNull())
        return juce::Font(ToJuceString(font->GetName()), font->GetSize() * 96.0f / 72.0f, font->GetStyle() & 7);
    // A copy shares the font's typeface: JUCE finds it again by identity, not
    // by comparing names.
    return cached->native;
}

VxRESULT LJUCERenderer::GetFontMetrics(const RCPtr<LFont>& font, std::int32_t& height, std::int32_t& top,
                                       std::int32_t& descent)
{
    if (font.IsNull())
    {
        VX_ASSERT_FALSE();
        height = 0;
        top = 0;
        descent = 0;
        return VXR_E_INVALIDARG;
    }
    const RCPtr<LCachedNativeFont> cached = GetNativeFontEntry(font);
    if (!cached.IsNull())
    {
        height = cached->height;
        top = cached->top;
        descent = cached->descent;
        return VXR_OK;
    }
    const LCachedNativeFont uncached(*font);
    height = uncached.height;
    top = uncached.top;
    descent = uncached.descent;
    return VXR_OK;
}

RectT<float> LJUCERenderer::MeasureText(const Text& text, const RCPtr<LFont>& font)
{
    if (text.IsEmpty())
        return RectT<float>{0.0f, 0.0f, 0.0f, 0.0f};
    if (font.IsNull())
    {
        VX_ASSERT_FALSE();
        return RectT<float>{0.0f, 0.0f, 0.0f, 0.0f};
    }
    const juce::Font native = GetNativeFont(font);
    std::int32_t height = 0;
    std::int32_t top = 0;
    std::int32_t descent = 0;
    GetFontMetrics(font, height, top, descent);
    return RectT<float>{0.0f, static_cast<float>(top), native.getStringWidthFloat(ToJuceString(text)),
                        static_cast<float>(height)};
}

void LJUCERenderer::DrawText(const Text& text, const RCPtr<LFont>& font, const PointT<std::int32_t>& position,
                             const Color& color)
{
    juce::Graphics* graphics = DrawingGraphics();
    if (graphics == nullptr)
        return;
    if (font.IsNull())
    {
        VX_ASSERT_FALSE();
        return;
    }
    const RCPtr<LCachedNativeFont> cached = GetNativeFontEntry(font);
    const juce::Font native = cached.IsNull() ? GetNativeFont(font) : cached->native;
    std::int32_t height = 0;
    std::int32_t top = 0;
    std::int32_t descent = 0;
    if (cached.IsNull())
        GetFontMetrics(font, height, top, descent);
    else
        top = cached->top;

    const std::int64_t x = position.x;
    const std::int64_t baseline = static_cast<std::int64_t>(position.y) + std::abs(static_cast<std::int64_t>(top)) - 1;
    if (!IsNearSurface(JuceOrigin(mCurrentContext->GetState()), x, baseline))
        return;

    // The colour and font stay in the working state: every drawing sets what
    // it draws with, and the next state change replaces the working state.
    graphics->setColour(ToJuceColour(color, GetOpacity()));
    graphics->setFont(native);
    if (std::strchr(text.GetCString(), '\n') != nullptr)
    {
        graphics->drawMultiLineText(ToJuceString(text), static_cast<int>(x), static_cast<int>(baseline),
                                    kMultiLineWidth);
    }
    else if (cached.IsNull())
    {
        graphics->drawSingleLineText(ToJuceString(text), static_cast<int>(x), static_cast<int>(baseline),
                                     juce::Justification::left);
    }
    else if (x <= graphics->getClipBounds().getRight() && !text.IsEmpty())
    {
        // drawSingleLineText's glyphs at the same positions, without looking
        // the line up by font and text among all lines JUCE has laid out.
        const LCachedNativeFont::Line& line = cached->GetLine(text.GetCString());
        auto* software = dynamic_cast<juce::LinuxFbSoftwareRenderer*>(&graphics->getInternalContext());
        if (software != nullptr && line.placed)
            software->drawGlyphs(line.glyphs.data(), static_cast<int>(line.glyphs.size()), static_cast<float>(x),
                                 static_cast<float>(baseline), &line.coverage);
        else
            line.arrangement.draw(
                *graphics, juce::AffineTransform::translation(static_cast<float>(x), static_cast<float>(baseline)));
    }
}

void LJUCERenderer::DrawRectangle(const RectT<std::int32_t>& rect, const Color& color, float lineWidth)
{
    juce::Graphics* graphics = DrawingGraphics();
    juce::Rectangle<int> area;
    if (graphics == nullptr || !ToJuceRect(rect, JuceOrigin(mCurrentContext->GetState()), area))
        return;
    graphics->setColour(ToJuceColour(color, GetOpacity()));
    graphics->drawRect(area, ToLineThickness(lineWidth));
}

void LJUCERenderer::FillRectangle(const RectT<std::int32_t>& rect, const Color& color, bool)
{
    juce::Graphics* graphics = FillingGraphics();
    const juce::Point<int> origin =
        mCurrentContext.IsNull() ? juce::Point<int>() : JuceOrigin(mCurrentContext->GetState());
    juce::Rectangle<int> area;
    if (graphics == nullptr || !ToJuceRect(rect, origin, area))
        return;
    const juce::Colour colour = ToJuceColour(color, GetOpacity());
    // An opaque colour sets every pixel it fills.
    const juce::Rectangle<int> clip = SurfaceClip(*graphics);
    if (colour.isOpaque())
        mCurrentContext->CoverDeferred((area + origin).getIntersection(clip));
    else
        mCurrentContext->WriteDeferred(clip);
    graphics->setColour(colour);
    graphics->fillRect(area);
}

void LJUCERenderer::ClearRectangle(const RectT<std::int32_t>& rect)
{
    juce::Graphics* graphics = FillingGraphics();
    const juce::Point<int> origin =
        mCurrentContext.IsNull() ? juce::Point<int>() : JuceOrigin(mCurrentContext->GetState());
    juce::Rectangle<int> area;
    if (graphics == nullptr || !ToJuceRect(rect, origin, area))
        return;
    mCurrentContext->CoverDeferred((area + origin).getIntersection(SurfaceClip(*graphics)));
    const juce::Graphics::ScopedSaveState save(*graphics);
    graphics->setColour(juce::Colours::transparentBlack);
    // Replacing, not blending: a transparent fill would leave the pixels.
    graphics->getInternalContext().fillRect(area, true);
}

void LJUCERenderer::DrawFramedRectangle(const RectT<std::int32_t>& rect, const Color& fillColor,
                                        const Color& frameColor, float frameWidth)
{
    if (fillColor.alpha > 0.0f)
        FillRectangle(rect, fillColor, true);
    if (frameColor.alpha > 0.0f)
        DrawRectangle(rect, frameColor, frameWidth);
}

void LJUCERenderer::FillRegion(const ColoredRectList& list, const PointT<double>& offset)
{
    if (FillingGraphics() == nullptr)
        return;
    const std::uint32_t rectCount = list.rects.GetCount();
    const std::uint32_t colorCount = list.colors.GetCount();
    // A rectangle without a colour is not filled.
    VX_ASSERT(rectCount == colorCount);
    const std::uint32_t count = std::min(rectCount, colorCount);
    DrawWithOffset(offset, [&] {
        for (std::uint32_t i = count; i > 0; --i)
        {
            const RectT<float>& rect = list.rects[i - 1];
            const RectT<std::int32_t> area{RangeCheckedCast<std::int32_t>(list.scaleX * rect.x),
                                           RangeCheckedCast<std::int32_t>(list.scaleY * rect.y),
                                           RangeCheckedCast<std::int32_t>(list.scaleX * rect.width),
                                           RangeCheckedCast<std::int32_t>(list.scaleY * rect.height)};
            FillRectangle(area, Color(list.colors[i - 1]), true);
        }
    });
}

void LJUCERenderer::DrawLine(const PointT<float>& from, const PointT<float>& to, const Color& color, float width)
{
    juce::Graphics* graphics = DrawingGraphics();
    if (graphics == nullptr)
        return;
    const juce::Line<float> line(from.x, from.y, to.x, to.y);
    const float reach = std::isfinite(width) ? std::fabs(width) : width;
    if (!IsWithinBound(juce::Rectangle<float>(line.getStart(), line.getEnd()).expanded(reach),
                       JuceOrigin(mCurrentContext->GetState())))
    {
        VX_ASSERT_FALSE();
        return;
    }
    const juce::Graphics::ScopedSaveState save(*graphics);
    graphics->setColour(ToJuceColour(color, GetOpacity()));
    graphics->drawLine(line, width);
}

namespace
{
// The outline of each pair of points as a segment of the polyline's
// thickness, an open path through the points closed as a sub-path, or a
// polygon closed back to its first point.  Points that are not finite leave
// the path empty.
void BuildPath(int shape, const PolylineT<float>& polyline, juce::Path& path)
{
    const std::uint32_t count = polyline.GetCount();
    const PointT<float>* points = polyline.GetPointData();
    const float thickness = polyline.GetThickness();
    bool finite = std::isfinite(thickness) || shape != 0;
    for (std::uint32_t i = 0; i < count && finite; ++i)
        finite = IsFinite(points[i]);
    if (!finite)
    {
        VX_ASSERT_FALSE();
        return;
    }
    if (shape == 0)
    {
        for (std::uint32_t i = 0; i + 1 < count; i += 2)
            path.addLineSegment(juce::Line<float>(points[i].x, points[i].y, points[i + 1].x, points[i + 1].y),
                                thickness);
        return;
    }
    if (count == 0)
        return;
    path.startNewSubPath(points[0].x, points[0].y);
    for (std::uint32_t i = 1; i < count; ++i)
        path.lineTo(points[i].x, points[i].y);
    const PointT<float>& last = points[count - 1];
    if (shape == 2 && (points[0].x != last.x || points[0].y != last.y))
        path.lineTo(points[0].x, points[0].y);
    path.closeSubPath();
}
} // namespace

void LJUCERenderer::DrawPolyline(PolylineKind kind, PolylineT<float>& polyline, const Color& color,
                                 const PointT<float>& offset, const PointT<float>& scale, bool keepCached)
{
    juce::Graphics* graphics = DrawingGraphics();
    if (graphics == nullptr)
        return;

    // A filled polygon and an outlined one share their path.
    const int shape = kind == PolylineKind::kSegments ? 0 : kind == PolylineKind::kPath ? 1 : 2;
    RCPtr<LGraphicsPath>& cached = mCaches->paths.GetEntry(polyline, false);
    if (polyline.TakeChanged() || (!cached.IsNull() && cached->shape != shape))
        cached = nullptr;
    if (cached.IsNull())
    {
        cached = new LGraphicsPath();
        cached->shape = shape;
        BuildPath(shape, polyline, cached->path);
    }
    const RCPtr<LGraphicsPath> path = cached;

    constexpr float kScaleTolerance = 1.1920929e-06f;
    const bool scaled = !(std::fabs(scale.x - 1.0f) < kScaleTolerance && std::fabs(scale.y - 1.0f) < kScaleTolerance);
    const juce::AffineTransform transform =
        scaled ? juce::AffineTransform::scale(scale.x, scale.y) : juce::AffineTransform();

    DrawWithOffset(PointT<double>{static_cast<double>(offset.x), static_cast<double>(offset.y)}, [&] {
        if (path->path.isEmpty())
            return;
        if (!IsWithinBound(path->path.getBoundsTransformed(transform).expanded(1.0f),
                           JuceOrigin(mCurrentContext->GetState())))
        {
            VX_ASSERT_FALSE();
            return;
        }
        const juce::Graphics::ScopedSaveState save(*graphics);
        if (kind == PolylineKind::kFilledPolygon)
        {
            graphics->setFillType(juce::FillType(ToJuceColour(color, GetOpacity())));
            graphics->fillPath(path->path, transform);
        }
        else
        {
            graphics->setColour(ToJuceColour(color, GetOpacity()));
            graphics->strokePath(path->path, path->strokeType, transform);
        }
    });

    if (!keepCached)
        cached = nullptr;
}

void LJUCERenderer::DrawLineSegments(PolylineT<float>& polyline, const Color& color, const PointT<float>& offset,
                                     const PointT<float>& scale, bool keepCached)
{
    DrawPolyline(PolylineKind::kSegments, polyline, color, offset, scale, keepCached);
}

void LJUCERenderer::DrawPath(PolylineT<float>& polyline, const Color& color, const PointT<float>& offset,
                             const PointT<float>& scale, bool keepCached)
{
    DrawPolyline(PolylineKind::kPath, polyline, color, offset, scale, keepCached);
}

void LJUCERenderer::DrawPolygon(PolylineT<float>& polyline, const Color& color, const PointT<float>& offset,
                                const PointT<float>& scale, bool keepCached)
{
    DrawPolyline(PolylineKind::kPolygon, polyline, color, offset, scale, keepCached);
}

void LJUCERenderer::FillPolygon(PolylineT<float>& polyline, const Color& color, const PointT<float>& offset,
                                const PointT<float>& scale, bool keepCached)
{
    DrawPolyline(PolylineKind::kFilledPolygon, polyline, color, offset, scale, keepCached);
}

namespace
{
// The bitmap's rectangle of its owner's image fitted into width x height.
juce::Image PrepareBitmap(const juce::Image& source, const RectT<std::int32_t>& rect, int width, int height,
                          std::int32_t resizeType)
{
    juce::Image image(juce::Image::ARGB, width, height, true, juce::NativeImageType());
    juce::Graphics graphics(image);
    const int sx = rect.x;
    const int sy = rect.y;
    const int sw = rect.width;
    const int sh = rect.height;
    if ((width == sw && height == sh) || resizeType == LRenderer::kStretch)
    {
        graphics.drawImage(source, 0, 0, width, height, sx, sy, sw, sh, false);
    }
    else if (resizeType == LRenderer::kCenter)
    {
        // Unscaled in the middle, cropped when the destination is smaller.
        const int dx = static_cast<int>(static_cast<float>(width - sw) * 0.5f);
        const int dy = static_cast<int>(static_cast<float>(height - sh) * 0.5f);
        graphics.drawImage(source, dx, dy, sw, sh, sx, sy, sw, sh, false);
    }
    else if (resizeType == LRenderer::kTile)
    {
        if (static_cast<float>(width) / static_cast<float>(sw) >= 3.0f ||
            static_cast<float>(height) / static_cast<float>(sh) >= 3.0f)
        {
            // Many tiles: one fill with the tile as its pattern.
            juce::Image tile(juce::Image::ARGB, sw, sh, true, juce::NativeImageType());
            {
                juce::Graphics tileGraphics(tile);
                tileGraphics.drawImage(source, 0, 0, sw, sh, sx, sy, sw, sh, false);
            }
            graphics.setFillType(juce::FillType(tile, juce::AffineTransform()));
            graphics.fillRect(0, 0, width, height);
        }
        else
        {
            // At most three tiles a side.
            for (float x = 0.0f; x < static_cast<float>(width); x += static_cast<float>(sw))
                for (float y = 0.0f; y < static_cast<float>(height); y += static_cast<float>(sh))
                    graphics.drawImage(source, static_cast<int>(x), static_cast<int>(y), sw, sh, sx, sy, sw, sh, false);
        }
    }
    else
    {
        VX_THROW(std::invalid_argument, "Invalid ResizeType passed to DrawBitmap.");
    }
    return image;
}
} // namespace

void LJUCERenderer::DrawBitmap(const RCPtr<LBitmap>& bitmap, const RectT<std::int32_t>& destination,
                               std::int32_t resizeType)
{
    if (mCurrentContext.IsNull())
    {
        VX_ASSERT_FALSE();
        VX_THROW(std::runtime_error, "");
    }
    juce::Graphics* graphics = FillingGraphics();
    if (graphics == nullptr)
        return;

    const juce::Image* source = bitmap.IsNull() ? nullptr : bitmap->GetImage();
    const RectT<std::int32_t> rect = bitmap.IsNull() ? RectT<std::int32_t>::Empty : bitmap->GetRect();
    if (source == nullptr || rect.IsEmpty())
    {
        VX_ASSERT_FALSE();
        return;
    }
    const int width = destination.width;
    const int height = destination.height;
    if (width <= 0 || height <= 0)
        return;
    // JUCE sizes an image's pixels in int.
    if (static_cast<std::int64_t>(width) * height > std::numeric_limits<int>::max() / 4)
    {
        VX_ASSERT_FALSE();
        return;
    }
    const juce::Point<int> origin = JuceOrigin(mCurrentContext->GetState());
    const std::int64_t left = static_cast<std::int64_t>(destination.x) + origin.x;
    const std::int64_t top = static_cast<std::int64_t>(destination.y) + origin.y;
    // Entirely beyond the coordinate bound: far outside every surface.
    if (left > kIntCoordinateLimit || top > kIntCoordinateLimit || left + width < -kIntCoordinateLimit ||
        top + height < -kIntCoordinateLimit)
        return;

    RCPtr<LCachedBitmap>& cached = mCaches->bitmaps.GetEntry(Caches::BitmapKey{bitmap, width, height}, false);
    if (cached.IsNull())
    {
        cached = new LCachedBitmap(PrepareBitmap(*source, rect, width, height, resizeType));
        // Tiles repeat down the picture every tile height.
        if (resizeType == kTile && (width != rect.width || height != rect.height))
            cached->rowPeriod = rect.height;
        cached->opaque = IsOpaque(cached->image);
    }
    VX_ASSERT(!cached.IsNull());
    if (cached.IsNull())
        return;

    const float opacity = GetOpacity();
    juce::Image& target = TargetImage();
    const juce::Rectangle<int> clip = SurfaceClip(*graphics);
    // An opaque picture under the whole clip is a background: written only
    // where nothing opaque is filled over it later in the pass.
    // Within the int range: left and top lie near the bound, and the size is
    // limited above.
    const juce::Rectangle<int> placed(static_cast<int>(left), static_cast<int>(top), cached->image.getWidth(),
                                      cached->image.getHeight());
    if (opacity >= 1.0f && cached->opaque && !clip.isEmpty() && placed.contains(clip) &&
        target.getFormat() == juce::Image::ARGB && target.getBounds().contains(clip))
    {
        mCurrentContext->DeferOpaqueCopy(cached->image, placed.getPosition(), cached->rowPeriod, clip);
        return;
    }
    mCurrentContext->WriteDeferred(clip);
    if (opacity >= 1.0f && BlitAt(*graphics, origin, target, cached->image, cached->image.getBounds(), destination.x,
                                  destination.y, cached->rowPeriod))
        return;
    const juce::Graphics::ScopedSaveState save(*graphics);
    graphics->setOpacity(opacity);
    graphics->drawImageAt(cached->image, destination.x, destination.y, false);
}

VxRESULT LJUCERenderer::DrawRenderContext(const RCPtr<LRenderContextInfo>& source,
                                          const PointT<std::int32_t>& destination,
                                          const RectT<std::int32_t>& sourceRect)
{
    const LJUCERenderContextInfo* from = dynamic_cast<const LJUCERenderContextInfo*>(source.Get());
    if (from == nullptr || !from->IsOffscreen())
    {
        VX_ASSERT_FALSE();
        return VXR_E_INVALIDARG;
    }
    juce::Graphics* graphics = DrawingGraphics();
    const juce::Image* image = from->GetFrontImage();
    if (graphics == nullptr || image == nullptr)
        return VXR_E_FAIL;

    // Only what the source holds, at the place it would have had: JUCE would
    // stretch a source rectangle that it has to cut.
    const std::int64_t left = std::max<std::int64_t>(sourceRect.x, 0);
    const std::int64_t top = std::max<std::int64_t>(sourceRect.y, 0);
    const std::int64_t right =
        std::min<std::int64_t>(static_cast<std::int64_t>(sourceRect.x) + sourceRect.width, image->getWidth());
    const std::int64_t bottom =
        std::min<std::int64_t>(static_cast<std::int64_t>(sourceRect.y) + sourceRect.height, image->getHeight());
    if (right <= left || bottom <= top)
        return VXR_OK;
    const std::int64_t x = static_cast<std::int64_t>(destination.x) + (left - sourceRect.x);
    const std::int64_t y = static_cast<std::int64_t>(destination.y) + (top - sourceRect.y);
    if (!IsNearSurface(JuceOrigin(mCurrentContext->GetState()), x, y))
        return VXR_OK;

    const int width = static_cast<int>(right - left);
    const int height = static_cast<int>(bottom - top);
    const float opacity = GetOpacity();
    if (opacity >= 1.0f && BlitAt(*graphics, JuceOrigin(mCurrentContext->GetState()), TargetImage(), *image,
                                  juce::Rectangle<int>(static_cast<int>(left), static_cast<int>(top), width, height),
                                  static_cast<int>(x), static_cast<int>(y)))
        return VXR_OK;
    const juce::Graphics::ScopedSaveState save(*graphics);
    graphics->setOpacity(opacity);
    graphics->drawImage(*image, static_cast<int>(x), static_cast<int>(y), width, height, static_cast<int>(left),
                        static_cast<int>(top), width, height, false);
    return VXR_OK;
}

VxRESULT LJUCERenderer::ScrollRenderContext(const RCPtr<LRenderContextInfo>& context, const PointT<std::int32_t>& delta)
{
    LJUCERenderContextInfo* juceContext = dynamic_cast<LJUCERenderContextInfo*>(context.Get());
    if (juceContext == nullptr || !juceContext->IsOffscreen())
    {
        VX_ASSERT_FALSE();
        return VXR_E_INVALIDARG;
    }
    RenderStart(context);
    const juce::Image* oldFront = juceContext->GetFrontImage();
    const juce::Image old = oldFront != nullptr ? *oldFront : juce::Image();
    juceContext->SwapSurfaces();
    juce::Image* front = juceContext->GetFrontImage();
    juce::Graphics* graphics = juceContext->GetGraphics();
    if (front != nullptr && graphics != nullptr && old.isValid())
    {
        front->clear(front->getBounds());
        // A shift as large as the picture leaves nothing of it.
        const int width = old.getWidth();
        const int height = old.getHeight();
        if (std::abs(static_cast<std::int64_t>(delta.x)) < width &&
            std::abs(static_cast<std::int64_t>(delta.y)) < height &&
            !BlitAt(*graphics, juce::Point<int>(), *front, old, old.getBounds(), delta.x, delta.y))
            graphics->drawImage(old, delta.x, delta.y, width, height, 0, 0, width, height, false);
    }
    RenderFinish(context);
    return VXR_OK;
}
} // namespace Vx
