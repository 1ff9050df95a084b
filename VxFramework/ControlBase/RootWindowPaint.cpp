#include "VxFramework/ControlBase/Control.h"
#include "VxFramework/ControlBase/ControlHost.h"
#include "VxFramework/ControlBase/LayoutDescriptor.h"
#include "VxFramework/ControlBase/RootWindow.h"
#include "VxFramework/ObjectBase/Exception.h"
#include "VxFramework/ObjectBase/NoDestructor.h"
#include "VxFramework/Renderer/RenderState.h"
#include "VxFramework/Renderer/Renderer.h"

#include <algorithm>
#include <vector>

namespace Vx
{
namespace
{
// Shared by every paint pass of every window: painting runs on the message
// thread only.
RCPtrArray<LControl>& ScratchList()
{
    static NoDestructor<RCPtrArray<LControl>> list;
    return *list;
}

constexpr double kSmallestClip = 2.220446049250313e-16;

RenderState CurrentState(const RCPtr<LRenderer>& renderer)
{
    const RCPtr<LRenderContextInfo> context = renderer->GetCurrentContext();
    return context.IsNull() ? RenderState() : context->GetState();
}
} // namespace

// ---- Invalidation ------------------------------------------------------------------

void LRootWindow::Invalidate(const RectT<int>& rectangle)
{
    // Another thread must not ask the OS window: it takes the size the
    // message thread stored last.
    RectT<int> client;
    if (IsControlThread())
        client = RefreshClientRect();
    else
    {
        const ScopedLock lock(m_mutex);
        client = m_clientRect;
    }
    // 64-bit sums: a huge rectangle must not wrap around into the client area.
    const std::int64_t left = std::max<std::int64_t>(rectangle.x, 0);
    const std::int64_t top = std::max<std::int64_t>(rectangle.y, 0);
    const std::int64_t width = std::min<std::int64_t>(std::int64_t{rectangle.x} + rectangle.width, client.width) - left;
    const std::int64_t height =
        std::min<std::int64_t>(std::int64_t{rectangle.y} + rectangle.height, client.height) - top;
    if (width <= 0 || height <= 0)
        return;
    const RectT<int> clipped{static_cast<int>(left), static_cast<int>(top), static_cast<int>(width),
                             static_cast<int>(height)};
    {
        const ScopedLock lock(m_mutex);
        m_dirtyRegion.UnionRect(clipped);
    }
    if (IWindowOSServices* const window = m_osWindow.load())
        window->InvalidateRect(clipped);
}

void LRootWindow::InvalidateAll()
{
    const PointT<int> size = GetClientSize();
    Invalidate(RectT<int>{0, 0, size.x, size.y});
}

void LRootWindow::InvalidateRegion(const RgnLight& region)
{
    for (const RgnLight::Node* node = region.GetFirstNode(); node != nullptr; node = node->next)
        Invalidate(RectT<int>{node->left, node->top, node->right - node->left, node->bottom - node->top});
}

void LRootWindow::TakeDirtyRegion(RgnLight& region)
{
    const ScopedLock lock(m_mutex);
    region.Clear();
    region.Append(m_dirtyRegion);
    m_dirtyRegion.Clear();
}

// ---- Painting ----------------------------------------------------------------------

void LRootWindow::Paint(const RgnLight& region)
{
    if (m_topControl.IsNull() || region.IsEmpty() || m_renderer.IsNull())
        return;
    const RCPtr<LRenderer> renderer = m_renderer;
    if (renderer->GetStateDepth() != 0)
    {
        // Another paint is in progress: repeat the whole client area later.
        if (IWindowOSServices* const window = m_osWindow.load())
            window->InvalidateClient();
        return;
    }
    const RCPtr<LControl> top = m_topControl;

    RgnLight::Rect box{0, 0, 0, 0};
    region.GetBounds(box);
    const RectT<double> bounds = top->GetBounds();
    const double left = std::max(bounds.x, static_cast<double>(box.left));
    const double upper = std::max(bounds.y, static_cast<double>(box.top));
    const double right = std::min(bounds.GetRight(), static_cast<double>(box.right));
    const double bottom = std::min(bounds.GetBottom(), static_cast<double>(box.bottom));
    const RectT<double> paintRect{left, upper, std::max(right - left, 0.0), std::max(bottom - upper, 0.0)};

    const RectT<double> currentClip = CurrentState(renderer).clipRect;
    if (!(currentClip.width > kSmallestClip) || !(currentClip.height > kSmallestClip))
        VX_ASSERT_FALSE();

    const PointT<int> client = GetClientSize();
    {
        const ScopedRenderClip clip(
            renderer, RectT<double>{0.0, 0.0, static_cast<double>(client.x), static_cast<double>(client.y)}, paintRect,
            nullptr, false);
        const RenderState before = CurrentState(renderer);
        PaintControls(top, region, false);
        if (CurrentState(renderer) != before)
            VX_ASSERT_FALSE();
        if (renderer->GetStateDepth() != 1)
            VX_ASSERT_FALSE();
    }
}

void LRootWindow::PaintControls(const RCPtr<LControl>& control, const RgnLight& region, bool nonClippingPass)
{
    RCPtrArray<LControl>& scratch = ScratchList();
    scratch.RemoveAll();
    if (control->Paint(m_renderer, region, scratch, nonClippingPass) < 0)
        VX_ASSERT_FALSE();

    const std::uint32_t count = scratch.GetCount();
    if (count == 1)
    {
        const RCPtr<LControl> only = scratch[0];
        PaintSeparately(only, region);
    }
    else if (count > 1)
    {
        std::vector<SortControl> order;
        order.reserve(count);
        for (std::uint32_t i = 0; i < count; ++i)
        {
            const RCPtr<LLayoutDescriptor>& layout = scratch[i]->GetLayout();
            order.push_back(SortControl{static_cast<int>(i), layout.IsNull() ? 0 : layout->Z_Order});
        }
        std::stable_sort(order.begin(), order.end(),
                         [](const SortControl& a, const SortControl& b) { return a.zOrder < b.zOrder; });
        // The nested passes empty the scratch list.
        std::vector<RCPtr<LControl>> copy;
        copy.reserve(count);
        for (std::uint32_t i = 0; i < count; ++i)
            copy.push_back(scratch[i]);
        for (const SortControl& entry : order)
            PaintSeparately(copy[static_cast<std::size_t>(entry.index)], region);
    }
    ScratchList().RemoveAll();
}

void LRootWindow::PaintSeparately(const RCPtr<LControl>& control, const RgnLight& region)
{
    const RCPtr<LControl> parent = control->GetParent();
    if (parent.IsNull())
    {
        VX_ASSERT_FALSE();
        return;
    }
    PointT<int> origin = parent->GetRectInRootWindow().GetOrigin().Round();
    origin += parent->GetLookBounds(-1).GetOrigin().Round();
    const PointT<double> scroll = parent->GetScrollOffset();
    const PointT<double> at{origin.x - scroll.x, origin.y - scroll.y};

    const ScopedRenderClip clip(m_renderer, RectT<double>{at.x, at.y, 0.0, 0.0}, control->GetBounds(), nullptr, false);
    if (const RCPtr<LRenderContextInfo> context = m_renderer->GetCurrentContext(); !context.IsNull())
    {
        context->GetState().factor = control->GetOpacity();
        context->GetState().stencilActive = false;
    }
    PaintControls(control, region, true);
}
} // namespace Vx
