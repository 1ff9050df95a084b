#pragma once

#include "VxFramework/ObjectBase/RefCountedObject.h"
#include "VxFramework/Utilities/Graphics/CTTypes.h"
#include "VxFramework/Utilities/Graphics/RgnLight.h"
#include "VxFramework/Utilities/Storage/StringT.h"

#include <cstdint>
#include <deque>

namespace Vx
{
// A stencil carried in the render state.  Only its size is used: drawing does
// not consult it.
class LStencil : public virtual LRefCountedObject
{
public:
    explicit LStencil(const PointT<std::int32_t>& size) noexcept
        : mWidth(size.x), mHeight(size.y), mBounds{0, 0, size.x, size.y}
    {
    }

    PointT<std::int32_t> GetSize() const noexcept { return PointT<std::int32_t>{mWidth, mHeight}; }
    const RectT<std::int32_t>& GetBounds() const noexcept { return mBounds; }

private:
    std::int32_t mWidth;
    std::int32_t mHeight;
    RectT<std::int32_t> mBounds;
};

// Where and through what the next drawing goes: the translation of the current
// coordinates, the clip in those coordinates, the opacity factor and the stencil.
class RenderState
{
public:
    // The unbounded clip: the single-precision constants -5e15 and 1e16 widened.
    static constexpr double kUnboundedClipOrigin = static_cast<double>(-5e15f);
    static constexpr double kUnboundedClipSize = static_cast<double>(1e16f);

    RenderState() = default;
    RenderState(const RenderState&) = default;
    RenderState& operator=(const RenderState&) = default;
    virtual ~RenderState() = default;

    // Every field; stencils by identity.
    bool operator==(const RenderState& other) const noexcept
    {
        return origin == other.origin && clipRect == other.clipRect && factor == other.factor &&
               stencilActive == other.stencilActive && stencil.Get() == other.stencil.Get();
    }
    bool operator!=(const RenderState& other) const noexcept { return !(*this == other); }

    PointT<double> origin{0.0, 0.0};
    RectT<double> clipRect{kUnboundedClipOrigin, kUnboundedClipOrigin, kUnboundedClipSize, kUnboundedClipSize};
    // The opacity drawing is given (1 draws as is); painting code multiplies it.
    float factor = 1.0f;
    bool stencilActive = false;
    RCPtr<LStencil> stencil;
};

// One render target (a window, or a control's own surface): its current render
// state and the states saved by the pushes still open.  The state survives
// from one pass to the next.  Main thread only.
class LRenderContextInfo : public LRefCountedObject
{
public:
    using Text = StringT<char, unsigned short>;

    LRenderContextInfo(const LRenderContextInfo&) = delete;
    LRenderContextInfo& operator=(const LRenderContextInfo&) = delete;
    ~LRenderContextInfo() override;

    // The largest surface the context can have.
    virtual PointT<std::int32_t> GetMaxSurfaceSize() const = 0;
    // Writes the context's picture to the file name + ".png".
    virtual void SaveAsPng(const Text& name) = 0;

    // Saves a copy of the current state.
    void PushState() { mStateStack.push_back(mState); }
    // Takes the last saved state into out; with none saved an assertion, and
    // out stays as it was.
    void PopState(RenderState& out);
    std::int32_t GetStateDepth() const noexcept { return static_cast<std::int32_t>(mStateStack.size()); }

    RenderState& GetState() noexcept { return mState; }
    const RenderState& GetState() const noexcept { return mState; }

    // Opaque to drawing: for a window context the window's native handle.
    std::intptr_t GetWindowHandle() const noexcept { return mWindowHandle; }
    // Renders into its own surface only, rather than presenting into a window.
    bool IsOffscreen() const noexcept { return mOffscreen; }
    // What the end of a pass presents.
    RgnLight& GetDirtyRegion() noexcept { return mDirtyRegion; }
    const RgnLight& GetDirtyRegion() const noexcept { return mDirtyRegion; }
    // Its size is the surface size the context needs.
    const RectT<std::int32_t>& GetContextRect() const noexcept { return mContextRect; }
    void SetContextRect(const RectT<std::int32_t>& rect) noexcept { mContextRect = rect; }

protected:
    LRenderContextInfo(const RectT<std::int32_t>& rect, std::intptr_t windowHandle, bool offscreen);

private:
    std::intptr_t mWindowHandle;
    bool mOffscreen;
    RgnLight mDirtyRegion;
    RectT<std::int32_t> mContextRect;
    RenderState mState;
    std::deque<RenderState> mStateStack;
};
} // namespace Vx
