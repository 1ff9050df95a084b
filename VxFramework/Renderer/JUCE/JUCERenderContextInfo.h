#pragma once

#include "VxFramework/ObjectBase/RefCountedObject.h"
#include "VxFramework/Renderer/RenderState.h"
#include "VxFramework/Utilities/Graphics/CTTypes.h"

#include <cstdint>
#include <memory>

namespace juce
{
class Graphics;
class Image;
class LowLevelGraphicsContext;
template <typename ValueType>
class Point;
template <typename ValueType>
class Rectangle;
} // namespace juce

namespace Vx
{
// An ARGB image with a JUCE graphics open on it while a pass draws into it.
class LJUCERendererOffscreenSurface : public virtual LRefCountedObject
{
public:
    // A surface with a cleared image of the size.
    static RCPtr<LJUCERendererOffscreenSurface> Create(const PointT<std::int32_t>& size, std::intptr_t windowHandle);

    LJUCERendererOffscreenSurface(const LJUCERendererOffscreenSurface&) = delete;
    LJUCERendererOffscreenSurface& operator=(const LJUCERendererOffscreenSurface&) = delete;
    ~LJUCERendererOffscreenSurface() override;

    // Opens a graphics on the image, drawing with the display's renderer.
    void BeginDrawing();
    void EndDrawing();
    // A transparent image of the size; JUCE has no empty images, so a side
    // below 1 becomes 1.
    void CreateImage(const PointT<std::int32_t>& size);
    void ReleaseImage();
    // A new transparent image: the picture is lost.
    void Resize(const PointT<std::int32_t>& size);
    // (0, 0) without an image.
    PointT<std::int32_t> GetSize() const;
    juce::Image* GetImage() const noexcept { return mImage.get(); }
    // Null outside BeginDrawing and EndDrawing.
    juce::Graphics* GetGraphics() const noexcept { return mGraphics.get(); }
    std::intptr_t GetWindowHandle() const noexcept { return mWindowHandle; }

private:
    explicit LJUCERendererOffscreenSurface(std::intptr_t windowHandle);

    std::intptr_t mWindowHandle;
    std::unique_ptr<juce::LowLevelGraphicsContext> mContext;
    std::unique_ptr<juce::Graphics> mGraphics;
    std::unique_ptr<juce::Image> mImage;
};

// A render context of the JUCE renderer.  Every pass draws into the front
// surface.  A window context then copies the dirty rectangles into the
// window's graphics (double buffering); an offscreen context keeps its picture
// for drawing onto other contexts, and scrolls it through the back surface.
class LJUCERenderContextInfo : public LRenderContextInfo
{
public:
    // The largest surface side: larger context rectangles get surfaces of
    // this side.
    static constexpr std::int32_t kMaxSurfaceSide = 4096;

    // Front and back surfaces of the rectangle's size.
    static RCPtr<LJUCERenderContextInfo> Create(const RectT<std::int32_t>& rect, std::intptr_t windowHandle,
                                                bool offscreen);
    ~LJUCERenderContextInfo() override;

    PointT<std::int32_t> GetMaxSurfaceSize() const override;
    // The front image as a PNG file; a file that cannot be written is
    // reported by an assertion.
    void SaveAsPng(const Text& name) override;

    // The window's graphics for one paint, null after it; window contexts only.
    void SetTargetGraphics(juce::Graphics* graphics);
    juce::Graphics* GetTargetGraphics() const noexcept { return mTargetGraphics; }
    // What a pass draws into: the front surface's open graphics.
    juce::Graphics* GetGraphics() const;
    // The front picture, with every deferred copy written into it.
    juce::Image* GetFrontImage() const;
    const RCPtr<LJUCERendererOffscreenSurface>& GetFrontSurface() const noexcept { return mFrontSurface; }
    const RCPtr<LJUCERendererOffscreenSurface>& GetBackSurface() const noexcept { return mBackSurface; }

    // At the start of a pass: surfaces grown to the context rectangle when it
    // outgrew them, and the front one opened.
    void PrepareSurfaces();
    // At the end of a pass: the front surface closed and, for a window, the
    // dirty rectangles copied into the target graphics.
    void Present();
    // The back surface becomes the open front one.
    void SwapSurfaces();

    // A copy of an opaque picture into an area of the front surface, written
    // only where no later opaque fill covers it: a background that a screen's
    // panels paint over is then never written under them.  Pixel at (x, y) of
    // the area comes from (x - sourceOffset.x, y - sourceOffset.y) of the
    // source, whose rows repeat every rowPeriod rows when it is above 0.  A
    // copy deferred before is written now, except where the new one replaces it.
    void DeferOpaqueCopy(const juce::Image& source, const juce::Point<int>& sourceOffset, int rowPeriod,
                         const juce::Rectangle<int>& area);
    // The area of the front surface is about to be set by an opaque fill:
    // deferred copies are dropped there.
    void CoverDeferred(const juce::Rectangle<int>& area);
    // Deferred copies written into the area, before something draws there
    // that depends on what is below it.
    void WriteDeferred(const juce::Rectangle<int>& area) const;
    // Every deferred copy written.
    void WriteDeferred() const;

private:
    struct DeferredCopy;
    LJUCERenderContextInfo(const RectT<std::int32_t>& rect, std::intptr_t windowHandle, bool offscreen);

    // The context rectangle's size within 1 .. kMaxSurfaceSide.
    PointT<std::int32_t> GetSurfaceSize() const;

    bool mDoubleBuffered = true;
    juce::Graphics* mTargetGraphics = nullptr;
    RCPtr<LJUCERendererOffscreenSurface> mFrontSurface;
    RCPtr<LJUCERendererOffscreenSurface> mBackSurface;
    // Written on reading the picture, which leaves it logically unchanged.
    mutable std::unique_ptr<DeferredCopy> mDeferred;
};
} // namespace Vx
