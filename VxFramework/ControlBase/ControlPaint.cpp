// How a control paints itself, its looks and its children, directly or
// through an offscreen surface that keeps the pixels of its scrolling
// children between passes.

#include "VxFramework/ControlBase/Control.h"
#include "VxFramework/ControlBase/RootWindow.h"
#include "VxFramework/ObjectBase/Exception.h"
#include "VxFramework/Renderer/Renderer.h"
#include "VxFramework/Utilities/DebugTracer.h"

#include <algorithm>

namespace Vx
{
namespace
{
// Empty when the two do not overlap.
RectT<double> Intersect(const RectT<double>& a, const RectT<double>& b)
{
    const double left = std::max(a.x, b.x);
    const double top = std::max(a.y, b.y);
    const double right = std::min(a.GetRight(), b.GetRight());
    const double bottom = std::min(a.GetBottom(), b.GetBottom());
    if (!(right > left) || !(bottom > top))
        return RectT<double>::Empty;
    return RectT<double>{left, top, right - left, bottom - top};
}

bool ClipsToParent(const LControl& control)
{
    return control.GetLayout().IsNull() || control.GetLayout()->ClipToParent;
}

// 0, 1 or 2 docked axes.
int DockedAxes(const LControl& control)
{
    const RCPtr<LLayoutDescriptor>& layout = control.GetLayout();
    if (layout.IsNull())
        return 0;
    return (layout->XIsDocked ? 1 : 0) + (layout->YIsDocked ? 1 : 0);
}

// A control reaches the second pass once, however many ways lead to it.
void AppendOnce(RCPtrArray<LControl>& list, const RCPtr<LControl>& control)
{
    for (std::uint32_t i = 0; i < list.GetCount(); ++i)
    {
        if (list[i] == control)
            return;
    }
    list.Add(control);
}

void SetFactor(const RCPtr<LRenderer>& renderer, float factor)
{
    const RCPtr<LRenderContextInfo> context = renderer->GetCurrentContext();
    if (!context.IsNull())
        context->GetState().factor = factor;
}

// The state moved by the offset, the clip staying where it is.
PushClipRequest Offset(const PointT<double>& offset)
{
    PushClipRequest request;
    request.flavor = 2;
    request.offset = offset;
    return request;
}

// One pass over a surface.  Left by an exception, the pass still ends, so
// that the surface does not stay the renderer's current context and make
// every later paint fail.
class SurfacePass
{
public:
    SurfacePass(const RCPtr<LRenderer>& renderer, const RCPtr<LRenderContextInfo>& surface)
        : mRenderer(renderer), mSurface(surface)
    {
        mRenderer->RenderStart(mSurface);
    }

    ~SurfacePass()
    {
        if (mFinished)
            return;
        try
        {
            mRenderer->RenderFinish(mSurface);
        }
        catch (...)
        {
            // A destructor must not throw; the mismatch was asserted.
        }
    }

    SurfacePass(const SurfacePass&) = delete;
    SurfacePass& operator=(const SurfacePass&) = delete;

    void Finish()
    {
        mFinished = true;
        mRenderer->RenderFinish(mSurface);
    }

private:
    RCPtr<LRenderer> mRenderer;
    RCPtr<LRenderContextInfo> mSurface;
    bool mFinished = false;
};
} // namespace

VxRESULT LControl::Paint(const RCPtr<LRenderer>& renderer, const RgnLight& dirty, RCPtrArray<LControl>& nonClipping,
                         bool nonClippingPass)
{
    // A clipping control belongs to the normal pass, a non-clipping one to
    // the second.
    if (renderer.IsNull() || nonClippingPass == ClipsToParent(*this))
    {
        VX_ASSERT_FALSE();
        return VXR_E_INVALIDARG;
    }
    if (!IsVisible(false))
        return VXR_OK;
    const RCPtr<LControl> self(this);

    // The second pass paints the whole control; the clip there is the
    // control's bounds, so intersecting changes nothing but keeps the push
    // from meeting an empty intersection.
    const RectT<double> area = Intersect(m_bounds, renderer->GetClipRect());
    if (area.IsEmpty())
    {
        CollectNonClippingDescendants(nonClipping);
        return VXR_OK;
    }

    {
        const ScopedRenderClip own(renderer, m_bounds, area, nullptr, true);
        SetFactor(renderer, m_opacity);
        const PointT<double> origin = renderer->GetOrigin();
        if (!dirty.IntersectsArea(renderer->GetClipRect(), origin))
        {
            CollectNonClippingDescendants(nonClipping);
        }
        else
        {
            RgnLight surfaceDirt;
            if (m_offscreen != 0 && !m_surface.IsNull())
                TakeVisibleSurfaceDirt(renderer, surfaceDirt);

            if (m_looks.GetCount() != m_lookWeights.GetCount())
                VX_ASSERT_FALSE();
            const std::uint32_t lookCount = std::min(m_looks.GetCount(), m_lookWeights.GetCount());
            const auto shown = [this](std::uint32_t i) { return !m_looks[i].IsNull() && m_lookWeights[i] > 0.0f; };

            for (std::uint32_t i = 0; i < lookCount; ++i)
            {
                if (!shown(i))
                    continue;
                SetFactor(renderer, m_opacity * m_lookWeights[i]);
                m_looks[i]->DrawClientPart(renderer, dirty);
            }
            for (std::uint32_t i = 0; i < lookCount; ++i)
            {
                if (!shown(i))
                    continue;
                SetFactor(renderer, m_opacity * m_lookWeights[i]);
                m_looks[i]->DrawNonClientParts(renderer, dirty);
            }
            SetFactor(renderer, m_opacity);

            // The hooks draw once per dirty rectangle, clipped to it.
            const auto eachDirtyRectangle = [&](VxRESULT (LControl::*hook)(const RCPtr<LRenderer>&)) {
                const RectT<double> whole{0.0, 0.0, m_bounds.width, m_bounds.height};
                for (const RgnLight::Node* node = dirty.GetFirstNode(); node != nullptr; node = node->next)
                {
                    const RectT<double> local = static_cast<RectT<double>>(node->ToRectT()) - origin;
                    if (Intersect(local, renderer->GetClipRect()).IsEmpty())
                        continue;
                    const ScopedRenderClip rectangle(renderer, whole, local, nullptr, true);
                    (this->*hook)(renderer);
                }
            };
            eachDirtyRectangle(&LControl::PaintOverlay);

            const PointT<double> textOffset = m_textScrolls != 0 ? m_scrollOffset : PointT<double>{0.0, 0.0};
            bool anyShown = false;
            for (std::uint32_t i = 0; i < lookCount; ++i)
            {
                if (!shown(i))
                    continue;
                anyShown = true;
                SetFactor(renderer, m_opacity * m_lookWeights[i]);
                m_looks[i]->DrawTextForeground(renderer, dirty, textOffset);
                if (m_children.GetCount() > 0)
                    PaintChildren(renderer, dirty, nonClipping, static_cast<std::int32_t>(i), surfaceDirt);
            }
            // Without a look to show, the children still show, in the whole
            // control.
            if (!anyShown && m_children.GetCount() > 0)
            {
                SetFactor(renderer, m_opacity);
                PaintChildren(renderer, dirty, nonClipping, -1, surfaceDirt);
            }
            SetFactor(renderer, m_opacity);
            eachDirtyRectangle(&LControl::PaintContent);

            for (std::uint32_t i = 0; i < m_children.GetCount(); ++i)
            {
                const RCPtr<LControl>& child = m_children.GetAt(i, ChildControlList::kZOrder);
                if (child->IsVisible(false) && !ClipsToParent(*child))
                    AppendOnce(nonClipping, child);
            }
        }
    }
    ++m_paintCount;
    return VXR_OK;
}

void LControl::PaintChildren(const RCPtr<LRenderer>& renderer, const RgnLight& dirty, RCPtrArray<LControl>& nonClipping,
                             std::int32_t lookIndex, RgnLight& surfaceDirt)
{
    if (m_children.GetCount() == 0)
    {
        VX_ASSERT_FALSE();
        return;
    }
    const bool throughSurface = m_offscreen != 0 && !m_surface.IsNull();
    std::uint32_t next = 0;
    if (throughSurface)
        next = PaintChildrenIntoSurface(renderer, nonClipping, surfaceDirt);

    const RectT<double> client = GetLookBounds(lookIndex);
    const bool canPaint = !Intersect(client, renderer->GetClipRect()).IsEmpty();
    if (!canPaint)
    {
        for (int group = throughSurface ? 1 : 0; group < 3; ++group)
            next = PaintChildGroup(renderer, dirty, nonClipping, next, group, false);
        return;
    }
    // The content frame: the client origin less the scroll offset, clipped
    // to the client area.  Children docked on an axis have the scroll offset
    // in their bounds, so they stay where they are on screen.
    const ScopedRenderClip clientArea(renderer, client, client, nullptr, true);
    const ScopedRenderClip content(renderer, Offset(-m_scrollOffset));
    if (throughSurface)
    {
        // The surface's pixels where the control is dirty, at their content
        // positions.
        const PointT<double> origin = renderer->GetOrigin();
        const RectT<double> clip = renderer->GetClipRect();
        for (const RgnLight::Node* node = dirty.GetFirstNode(); node != nullptr; node = node->next)
        {
            const RectT<double> part =
                Intersect(Intersect(static_cast<RectT<double>>(node->ToRectT()) - origin, clip), m_surfaceContent);
            if (part.IsEmpty())
                continue;
            const RectT<std::int32_t> target = part.Round();
            const RectT<std::int32_t> source = target - m_surfaceContent.GetOrigin().Round();
            renderer->DrawRenderContext(m_surface, target.GetOrigin(), source);
        }
    }
    for (int group = throughSurface ? 1 : 0; group < 3; ++group)
        next = PaintChildGroup(renderer, dirty, nonClipping, next, group, true);
}

std::uint32_t LControl::PaintChildrenIntoSurface(const RCPtr<LRenderer>& renderer, RCPtrArray<LControl>& nonClipping,
                                                 RgnLight& surfaceDirt)
{
    // Nothing to render: the surface already holds the children.
    if (surfaceDirt.IsEmpty())
        return PaintChildGroup(renderer, surfaceDirt, nonClipping, 0, 0, false);

    std::uint32_t next = 0;
    try
    {
        SurfacePass pass(renderer, m_surface);
        DumpSurface(0x4, 0);
        {
            const PointT<std::int32_t> size = m_surface->GetContextRect().GetSize();
            const RectT<double> surface{0.0, 0.0, static_cast<double>(size.x), static_cast<double>(size.y)};
            const ScopedRenderClip surfaceArea(renderer, surface, surface, nullptr, true);
            const ScopedRenderClip content(renderer, Offset(-m_surfaceContent.GetOrigin()));
            next = PaintChildGroup(renderer, surfaceDirt, nonClipping, 0, 0, true);
        }
        DumpSurface(0x4, 1);
        pass.Finish();
    }
    catch (...)
    {
        // What was cleared but not drawn is still to be drawn.
        const PointT<std::int32_t> held = m_surfaceContent.GetOrigin().Round();
        for (const RgnLight::Node* node = surfaceDirt.GetFirstNode(); node != nullptr; node = node->next)
            m_surfaceDirty.UnionRect(
                RgnLight::Rect{node->left + held.x, node->top + held.y, node->right + held.x, node->bottom + held.y});
        throw;
    }
    // A further look copies the same pixels.
    surfaceDirt.Clear();
    return next;
}

std::uint32_t LControl::PaintChildGroup(const RCPtr<LRenderer>& renderer, const RgnLight& dirty,
                                        RCPtrArray<LControl>& nonClipping, std::uint32_t from, int group, bool paint)
{
    // Z-order puts the clipping children first, undocked before docked on
    // one axis before docked on both; each group ends where the next begins.
    std::uint32_t i = from;
    for (; i < m_children.GetCount(); ++i)
    {
        const RCPtr<LControl> child = m_children.GetAt(i, ChildControlList::kZOrder);
        if (!ClipsToParent(*child) || DockedAxes(*child) != group)
            break;
        if (paint)
            child->Paint(renderer, dirty, nonClipping, false);
        else if (child->IsVisible(false))
            child->CollectNonClippingDescendants(nonClipping);
    }
    return i;
}

void LControl::CollectNonClippingDescendants(RCPtrArray<LControl>& out) const
{
    if (m_nonClippingDescendants <= 0)
        return;
    // A collected control collects its own when it is painted.
    for (std::uint32_t i = 0; i < m_children.GetCount(); ++i)
    {
        const RCPtr<LControl>& child = m_children.GetAt(i, ChildControlList::kZOrder);
        if (!child->IsVisible(false))
            continue;
        if (!ClipsToParent(*child))
            AppendOnce(out, child);
        else
            child->CollectNonClippingDescendants(out);
    }
}

void LControl::TakeVisibleSurfaceDirt(const RCPtr<LRenderer>& renderer, RgnLight& out)
{
    out.Clear();
    const RgnLight::Rect visible = RgnLight::Rect::FromRectT(GetVisibleContentRect().Round());
    RgnLight kept;
    for (const RgnLight::Node* node = m_surfaceDirty.GetFirstNode(); node != nullptr; node = node->next)
    {
        if (!visible.IsEmpty() && RgnLight::Intersects(visible, *node))
            out.AddRect(*node);
        else
            kept.AddRect(*node);
    }
    m_surfaceDirty = std::move(kept);
    if (out.IsEmpty())
        return;
    const PointT<std::int32_t> held = m_surfaceContent.GetOrigin().Round();
    out.Offset(-held.x, -held.y);

    SurfacePass pass(renderer, m_surface);
    DumpSurface(0x1, 0);
    for (const RgnLight::Node* node = out.GetFirstNode(); node != nullptr; node = node->next)
        renderer->ClearRectangle(node->ToRectT());
    DumpSurface(0x1, 2);
    pass.Finish();
}

void LControl::DumpSurface(std::uint32_t flag, std::int32_t step)
{
    if ((m_debugDumpFlags & flag) == 0 || m_surface.IsNull())
        return;
    const char* phase = flag == 0x1 ? "ClearDirtyRegions" : flag == 0x4 ? "DrawChildren" : "UNKNOWN";
    const Text stepText = Text::Format("%s_%d", phase, step);
    const Text name = Text::Format("%s__%06u__%s", m_debugName.GetCString(), m_paintCount, stepText.GetCString());
    m_surface->SaveAsPng(m_debugDumpFolder + Text("/") + name);
}

void LControl::SetDebugDump(std::uint32_t flags, const Text& folder)
{
    m_debugDumpFlags = flags;
    m_debugDumpFolder = folder;
    Text name = m_name;
    for (const LControl* ancestor = m_parent.Get(); ancestor != nullptr; ancestor = ancestor->m_parent.Get())
        name = ancestor->m_name + Text("_") + name;
    m_debugName = name;
}

// ---- The offscreen surface ----------------------------------------------------------

bool LControl::IsSurfaceTooSmall(const RectT<double>& content) const
{
    return content.width > m_surfaceMaxWidth || content.height > m_surfaceMaxHeight;
}

void LControl::ResetSurface(const RectT<double>& content)
{
    m_surfaceContent = content;
    const RectT<std::int32_t> rounded = content.Round();
    m_surface->SetContextRect(RectT<std::int32_t>{0, 0, rounded.width, rounded.height});
    m_surfaceArea.Clear();
    m_surfaceArea.AddRect(rounded);
    m_surfaceDirty.Clear();
    InvalidateSurface(content, true);
}

VxRESULT LControl::SetOffscreenRendering(bool on)
{
    if (!on)
    {
        if (m_offscreen == 0)
            return VXR_NOTHING_DONE;
        m_offscreen = 0;
        m_surface = nullptr;
        m_surfaceArea.Clear();
        m_surfaceDirty.Clear();
        Invalidate();
        return VXR_OK;
    }
    if (m_offscreen != 0)
        return VXR_NOTHING_DONE;
    const RCPtr<LRootWindow> rootWindow = FindRootWindow();
    const RCPtr<LRenderer> renderer = rootWindow.IsNull() ? RCPtr<LRenderer>() : rootWindow->GetRenderer();
    if (renderer.IsNull())
        return VXR_E_FAIL;
    RCPtr<LRenderContextInfo> surface;
    const VxRESULT created = renderer->CreateRenderContext(RectT<std::int32_t>{0, 0, 128, 128}, 0, true, surface);
    if (Failed(created))
        return created;
    if (surface.IsNull())
        return VXR_E_FAIL;
    const PointT<std::int32_t> largest = surface->GetMaxSurfaceSize();
    m_surfaceMaxWidth = largest.x;
    m_surfaceMaxHeight = largest.y;
    const RectT<double> content = GetVisibleContentRect();
    if (IsSurfaceTooSmall(content))
        return VXR_E_FAIL;
    m_offscreen = 1;
    m_surface = surface;
    ResetSurface(content);
    return VXR_OK;
}

void LControl::UpdateOffscreenSurface()
{
    if (m_offscreen == 0 || m_surface.IsNull())
    {
        VX_ASSERT_FALSE();
        return;
    }
    const RectT<double> content = GetVisibleContentRect();
    if (IsSurfaceTooSmall(content))
    {
        DebugTracer::Get().Trace(1, "Needed offscreen surface size is larger than max size renderer supports.");
        DebugTracer::Get().Trace(1, "Offscreen rendering will be shut off for the control \"%s\"", m_name.GetCString());
        SetOffscreenRendering(false);
        return;
    }
    ResetSurface(content);
}

void LControl::GetSurfaceDirtyRegion(RgnLight& out) const
{
    out.Clear();
    out.Append(m_surfaceDirty);
    const PointT<std::int32_t> held = m_surfaceContent.GetOrigin().Round();
    out.Offset(-held.x, -held.y);
}

VxRESULT LControl::OnBoundsChanged()
{
    m_boundsChanging = 0;
    if (m_offscreen != 0 && !m_surface.IsNull())
    {
        const RectT<double> now = GetLookBounds(-1);
        if (now.width != m_boundsBeforeChange.width || now.height != m_boundsBeforeChange.height)
            UpdateOffscreenSurface();
    }
    return VXR_OK;
}

VxRESULT LControl::OnScrollOffsetChanged(const PointT<double>& /*oldOffset*/, const PointT<double>& /*newOffset*/)
{
    if (m_offscreen == 0 || m_surface.IsNull())
        return VXR_OK;
    const RectT<double> content = GetVisibleContentRect();
    if (IsSurfaceTooSmall(content))
        VX_ASSERT_FALSE();
    const RectT<std::int32_t> rounded = content.Round();

    // The pixels move with the content; without a renderer to move them
    // everything is rendered again.
    const PointT<std::int32_t> shift = m_surfaceContent.GetOrigin().Round() - rounded.GetOrigin();
    const RCPtr<LRootWindow> rootWindow = FindRootWindow();
    const RCPtr<LRenderer> renderer = rootWindow.IsNull() ? RCPtr<LRenderer>() : rootWindow->GetRenderer();
    if (renderer.IsNull() || Failed(renderer->ScrollRenderContext(m_surface, shift)))
        m_surfaceArea.Clear();

    RgnLight now;
    now.AddRect(rounded);
    m_surfaceArea.Intersect(now);
    m_surfaceContent = content;
    RgnLight exposed;
    exposed.AddRect(rounded);
    exposed.Subtract(m_surfaceArea, nullptr);
    m_surfaceArea.Clear();
    m_surfaceArea.AddRect(rounded);
    // The control itself was invalidated by the scroll.
    for (const RgnLight::Node* node = exposed.GetFirstNode(); node != nullptr; node = node->next)
        InvalidateSurface(static_cast<RectT<double>>(node->ToRectT()), false);
    return VXR_OK;
}
} // namespace Vx
