#include "VxFramework/Renderer/Renderer.h"

#include "VxFramework/ObjectBase/Exception.h"
#include "VxFramework/Renderer/JUCE/JUCERenderer.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace Vx
{
namespace
{
// Half away from zero; the result stays a double so that offsets beyond the
// int range are kept.
PointT<double> RoundWhole(const PointT<double>& point) noexcept
{
    return PointT<double>{RoundHalfAwayFromZero<double>(point.x), RoundHalfAwayFromZero<double>(point.y)};
}

// A negative width or height moves the edge, so that the rectangle covers the
// same area with a positive size.
RectT<double> Normalized(RectT<double> rect) noexcept
{
    if (rect.width < 0.0)
    {
        rect.x += rect.width;
        rect.width = -rect.width;
    }
    if (rect.height < 0.0)
    {
        rect.y += rect.height;
        rect.height = -rect.height;
    }
    return rect;
}

// The common area; with none, an empty rectangle at the larger left and top
// edges (never the gap between the two).
RectT<double> Intersection(const RectT<double>& a, const RectT<double>& b) noexcept
{
    const double left = std::max(a.x, b.x);
    const double top = std::max(a.y, b.y);
    const double right = std::min(a.x + a.width, b.x + b.width);
    const double bottom = std::min(a.y + a.height, b.y + b.height);
    return RectT<double>{left, top, right > left ? right - left : 0.0, bottom > top ? bottom - top : 0.0};
}

RectT<double> SnapToPixels(const RectT<double>& rect) noexcept
{
    const double left = FloorTolerant(rect.x);
    const double top = FloorTolerant(rect.y);
    const double right = FloorTolerant(rect.x + rect.width);
    const double bottom = FloorTolerant(rect.y + rect.height);
    return RectT<double>{left, top, right - left, bottom - top};
}
} // namespace

LRenderContextInfo::LRenderContextInfo(const RectT<std::int32_t>& rect, std::intptr_t windowHandle, bool offscreen)
    : mWindowHandle(windowHandle), mOffscreen(offscreen), mContextRect(rect)
{
}

LRenderContextInfo::~LRenderContextInfo()
{
    mDirtyRegion.Clear();
}

void LRenderContextInfo::PopState(RenderState& out)
{
    if (mStateStack.empty())
    {
        VX_ASSERT_FALSE();
        return;
    }
    out = mStateStack.back();
    mStateStack.pop_back();
}

RCPtr<LRenderer> LRenderer::CreateRenderer(std::int32_t kind, const RectT<std::int32_t>&, std::intptr_t)
{
    if (kind != kJUCERendererKind)
        VX_THROW(std::domain_error, "");
    return RCPtr<LRenderer>(new LJUCERenderer());
}

LRenderer::~LRenderer() = default;

LRenderContextInfo* LRenderer::CurrentContextOrNull() const noexcept
{
    return mContextStack.empty() ? nullptr : mContextStack.back().Get();
}

LRenderContextInfo* LRenderer::CurrentContext() const
{
    LRenderContextInfo* context = CurrentContextOrNull();
    VX_ASSERT(context != nullptr);
    return context;
}

bool LRenderer::IsRendering(const LRenderContextInfo* context) const noexcept
{
    return std::any_of(mContextStack.begin(), mContextStack.end(),
                       [context](const RCPtr<LRenderContextInfo>& open) { return open.Get() == context; });
}

RCPtr<LRenderContextInfo> LRenderer::GetCurrentContext() const
{
    return RCPtr<LRenderContextInfo>(CurrentContext());
}

VxRESULT LRenderer::SetContextRect(const RectT<std::int32_t>& rect)
{
    if (LRenderContextInfo* context = CurrentContext())
        context->SetContextRect(rect);
    return VXR_OK;
}

VxRESULT LRenderer::SetStencil(const RCPtr<LStencil>& stencil)
{
    if (LRenderContextInfo* context = CurrentContext())
        context->GetState().stencil = stencil;
    return VXR_OK;
}

VxRESULT LRenderer::RenderStart(const RCPtr<LRenderContextInfo>& context)
{
    if (context.IsNull())
    {
        VX_ASSERT_FALSE();
        VX_THROW(std::runtime_error, "Render context is NULL");
    }
    if (IsRendering(context.Get()))
    {
        VX_ASSERT_FALSE();
        VX_THROW(std::runtime_error, "Render context reentered.");
    }
    mContextStack.push_back(context);
    return VXR_OK;
}

VxRESULT LRenderer::RenderFinish(const RCPtr<LRenderContextInfo>& context)
{
    VX_ASSERT(!mContextStack.empty());
    if (mContextStack.empty() || mContextStack.back().Get() != context.Get())
    {
        VX_ASSERT_FALSE();
        VX_THROW(std::runtime_error, "RenderFinish context does not match RenderStart context");
    }
    mContextStack.pop_back();
    return VXR_OK;
}

void LRenderer::PushClip()
{
    if (LRenderContextInfo* context = CurrentContext())
        context->PushState();
}

void LRenderer::PushClip(const RectT<double>& bounds, const RectT<double>& clip, const RCPtr<LStencil>& stencil,
                         bool relative)
{
    LRenderContextInfo* context = CurrentContext();
    if (context == nullptr)
        return;

    PointT<double> offset{bounds.x, bounds.y};
    if (!relative)
        offset -= context->GetState().origin;
    offset = RoundWhole(offset);

    context->PushState();

    RectT<double> area = Normalized(clip);
    if (relative)
    {
        VX_ASSERT(context->GetStateDepth() > 0);
        area = Intersection(Intersection(area, bounds), context->GetState().clipRect);
    }
    area = SnapToPixels(area);

    // The clip first, in the coordinates before the move: the JUCE renderer's
    // Translate re-applies the clip it finds shifted into the new origin.
    SetClipRect(area);
    Translate(offset);

    RenderState& state = context->GetState();
    if (relative)
    {
        state.clipRect.x -= offset.x;
        state.clipRect.y -= offset.y;
    }

    if (!stencil.IsNull())
    {
        if (!state.stencilActive)
        {
            SetStencil(stencil);
            state.stencilActive = true;
        }
        else
        {
            SetStencil(RCPtr<LStencil>(new LStencil(stencil->GetSize())));
        }
    }
}

void LRenderer::PushClip(const PointT<double>& offset)
{
    LRenderContextInfo* context = CurrentContext();
    if (context == nullptr)
        return;
    if (context->GetStateDepth() == 0)
    {
        VX_ASSERT_FALSE();
        return;
    }
    context->PushState();
    const PointT<double> rounded = RoundWhole(offset);
    Translate(rounded);
    RenderState& state = context->GetState();
    state.clipRect.x -= rounded.x;
    state.clipRect.y -= rounded.y;
}

void LRenderer::PopClip()
{
    LRenderContextInfo* context = CurrentContext();
    if (context == nullptr)
        return;
    if (context->GetStateDepth() == 0)
    {
        VX_ASSERT_FALSE();
        return;
    }
    RenderState saved;
    context->PopState(saved);

    RenderState& state = context->GetState();
    Translate(saved.origin - state.origin);
    // The sum of the origin and the difference can miss the saved origin by a
    // rounding error; the saved value is the one to come back to.
    state.origin = saved.origin;
    state.factor = saved.factor;
    SetClipRect(saved.clipRect);
    SetStencil(saved.stencil);
    state.stencilActive = saved.stencilActive;
}

void LRenderer::SetClipRect(const RectT<double>& clip)
{
    LRenderContextInfo* context = CurrentContext();
    if (context == nullptr)
        return;
    constexpr double kSmallest = 0x1p-52;
    VX_ASSERT(clip.width > kSmallest && clip.height > kSmallest);
    context->GetState().clipRect = clip;
}

void LRenderer::Translate(const PointT<double>& delta)
{
    if (LRenderContextInfo* context = CurrentContext())
        context->GetState().origin += delta;
}

RectT<double> LRenderer::GetClipRect() const
{
    const LRenderContextInfo* context = CurrentContext();
    return context == nullptr ? RenderState().clipRect : context->GetState().clipRect;
}

PointT<double> LRenderer::GetOrigin() const
{
    const LRenderContextInfo* context = CurrentContext();
    return context == nullptr ? RenderState().origin : context->GetState().origin;
}

void LRenderer::MultiplyFactor(float factor)
{
    if (LRenderContextInfo* context = CurrentContext())
        context->GetState().factor *= factor;
}

std::int32_t LRenderer::GetStateDepth() const
{
    const LRenderContextInfo* context = CurrentContext();
    return context == nullptr ? 0 : context->GetStateDepth();
}

ScopedRenderClip::ScopedRenderClip(const RCPtr<LRenderer>& renderer) : mRenderer(renderer)
{
    VX_ASSERT(!mRenderer.IsNull());
    if (!mRenderer.IsNull())
        mRenderer->PushClip();
}

ScopedRenderClip::ScopedRenderClip(const RCPtr<LRenderer>& renderer, const RectT<double>& bounds,
                                   const RectT<double>& clip, const RCPtr<LStencil>& stencil, bool relative)
    : mRenderer(renderer)
{
    VX_ASSERT(!mRenderer.IsNull());
    if (!mRenderer.IsNull())
        mRenderer->PushClip(bounds, clip, stencil, relative);
}

ScopedRenderClip::ScopedRenderClip(const RCPtr<LRenderer>& renderer, const PushClipRequest& request)
    : mRenderer(renderer)
{
    VX_ASSERT(!mRenderer.IsNull());
    if (mRenderer.IsNull())
        return;
    switch (request.flavor)
    {
    case 0:
        mRenderer->PushClip();
        break;
    case 1:
        mRenderer->PushClip(request.bounds, request.clip, request.stencil, request.relative);
        break;
    case 2:
        mRenderer->PushClip(request.offset);
        break;
    default:
        mRenderer = nullptr;
        VX_THROW(std::runtime_error, "Unknown PushClip flavor");
    }
}

ScopedRenderClip::~ScopedRenderClip()
{
    if (!mRenderer.IsNull())
        mRenderer->PopClip();
}
} // namespace Vx
