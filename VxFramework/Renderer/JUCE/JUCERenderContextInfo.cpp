#include "VxFramework/Renderer/JUCE/JUCERenderContextInfo.h"

#include "JuceBackend/native/juce_linuxfb_SoftwareRenderer.h"
#include "VxFramework/ObjectBase/Exception.h"
#include "VxFramework/Renderer/JUCE/OutputStreamImpl.h"
#include "VxFramework/Utilities/Storage/VxArray.h"

#include <juce_graphics/juce_graphics.h>

#include <algorithm>
#include <utility>

namespace Vx
{
RCPtr<LJUCERendererOffscreenSurface> LJUCERendererOffscreenSurface::Create(const PointT<std::int32_t>& size,
                                                                           std::intptr_t windowHandle)
{
    RCPtr<LJUCERendererOffscreenSurface> surface(new LJUCERendererOffscreenSurface(windowHandle));
    surface->Resize(size);
    return surface;
}

LJUCERendererOffscreenSurface::LJUCERendererOffscreenSurface(std::intptr_t windowHandle) : mWindowHandle(windowHandle)
{
}

LJUCERendererOffscreenSurface::~LJUCERendererOffscreenSurface()
{
    EndDrawing();
    ReleaseImage();
}

void LJUCERendererOffscreenSurface::BeginDrawing()
{
    VX_ASSERT(mImage != nullptr && mGraphics == nullptr);
    if (mImage == nullptr || mGraphics != nullptr)
        return;
    // The screens' renderer: JUCE's pixels, with solid fills and whole-pixel
    // image copies (most of a full paint) written a block at a time.
    mContext = std::make_unique<juce::LinuxFbSoftwareRenderer>(*mImage);
    mGraphics = std::make_unique<juce::Graphics>(*mContext);
}

void LJUCERendererOffscreenSurface::EndDrawing()
{
    mGraphics.reset();
    mContext.reset();
}

void LJUCERendererOffscreenSurface::CreateImage(const PointT<std::int32_t>& size)
{
    VX_ASSERT(mImage == nullptr && mGraphics == nullptr);
    // A graphics open on the old image would draw into freed pixels.
    EndDrawing();
    mImage = std::make_unique<juce::Image>(juce::Image::ARGB, std::max(size.x, 1), std::max(size.y, 1), true,
                                           juce::NativeImageType());
    VX_ASSERT(mImage->isValid());
}

void LJUCERendererOffscreenSurface::ReleaseImage()
{
    mImage.reset();
}

void LJUCERendererOffscreenSurface::Resize(const PointT<std::int32_t>& size)
{
    VX_ASSERT(mGraphics == nullptr);
    EndDrawing();
    ReleaseImage();
    CreateImage(size);
}

PointT<std::int32_t> LJUCERendererOffscreenSurface::GetSize() const
{
    if (mImage == nullptr)
        return PointT<std::int32_t>{0, 0};
    return PointT<std::int32_t>{mImage->getWidth(), mImage->getHeight()};
}

RCPtr<LJUCERenderContextInfo> LJUCERenderContextInfo::Create(const RectT<std::int32_t>& rect,
                                                             std::intptr_t windowHandle, bool offscreen)
{
    RCPtr<LJUCERenderContextInfo> context(new LJUCERenderContextInfo(rect, windowHandle, offscreen));
    const PointT<std::int32_t> size = context->GetSurfaceSize();
    // Larger surfaces are not allocated: their owners keep to the maximum, and
    // what lies beyond it is clipped away.
    VX_ASSERT(size.x >= rect.width && size.y >= rect.height);
    context->mFrontSurface = LJUCERendererOffscreenSurface::Create(size, windowHandle);
    context->mBackSurface = LJUCERendererOffscreenSurface::Create(size, windowHandle);
    return context;
}

LJUCERenderContextInfo::LJUCERenderContextInfo(const RectT<std::int32_t>& rect, std::intptr_t windowHandle,
                                               bool offscreen)
    : LRenderContextInfo(rect, windowHandle, offscreen)
{
}

LJUCERenderContextInfo::~LJUCERenderContextInfo()
{
    VX_ASSERT(mTargetGraphics == nullptr);
}

PointT<std::int32_t> LJUCERenderContextInfo::GetMaxSurfaceSize() const
{
    return PointT<std::int32_t>{kMaxSurfaceSide, kMaxSurfaceSide};
}

PointT<std::int32_t> LJUCERenderContextInfo::GetSurfaceSize() const
{
    const RectT<std::int32_t>& rect = GetContextRect();
    return PointT<std::int32_t>{std::clamp(rect.width, 1, kMaxSurfaceSide),
                                std::clamp(rect.height, 1, kMaxSurfaceSide)};
}

void LJUCERenderContextInfo::SetTargetGraphics(juce::Graphics* graphics)
{
    VX_ASSERT(!IsOffscreen());
    mTargetGraphics = graphics;
}

juce::Graphics* LJUCERenderContextInfo::GetGraphics() const
{
    if (IsOffscreen() || mDoubleBuffered)
    {
        juce::Graphics* graphics = mFrontSurface.IsNull() ? nullptr : mFrontSurface->GetGraphics();
        VX_ASSERT(graphics != nullptr);
        return graphics;
    }
    return mTargetGraphics;
}

juce::Image* LJUCERenderContextInfo::GetFrontImage() const
{
    VX_ASSERT(IsOffscreen() || mDoubleBuffered);
    juce::Image* image = mFrontSurface.IsNull() ? nullptr : mFrontSurface->GetImage();
    VX_ASSERT(image != nullptr);
    return image;
}

void LJUCERenderContextInfo::PrepareSurfaces()
{
    const PointT<std::int32_t> current = mFrontSurface->GetSize();
    const PointT<std::int32_t> wanted = GetSurfaceSize();
    if (current.x < wanted.x || current.y < wanted.y)
    {
        VX_ASSERT(wanted.x >= GetContextRect().width && wanted.y >= GetContextRect().height);
        mFrontSurface->Resize(wanted);
        mBackSurface->Resize(wanted);
    }
    mFrontSurface->BeginDrawing();
}

void LJUCERenderContextInfo::Present()
{
    mFrontSurface->EndDrawing();
    if (IsOffscreen())
        return;

    VX_ASSERT(mTargetGraphics != nullptr);
    const juce::Image* front = mFrontSurface->GetImage();
    if (mTargetGraphics == nullptr || front == nullptr)
        return;

    Array<RectT<std::int32_t>> rects;
    GetDirtyRegion().GetRects(rects);
    const juce::Rectangle<int> bounds = front->getBounds();
    for (std::uint32_t i = rects.GetCount(); i > 0; --i)
    {
        const RectT<std::int32_t>& rect = rects[i - 1];
        // Only what the front image holds: JUCE would stretch a source
        // rectangle that it has to cut.
        const juce::Rectangle<int> area = juce::Rectangle<int>::leftTopRightBottom(
            std::clamp(rect.x, 0, bounds.getRight()), std::clamp(rect.y, 0, bounds.getBottom()),
            static_cast<int>(
                std::clamp<std::int64_t>(static_cast<std::int64_t>(rect.x) + rect.width, 0, bounds.getRight())),
            static_cast<int>(
                std::clamp<std::int64_t>(static_cast<std::int64_t>(rect.y) + rect.height, 0, bounds.getBottom())));
        if (area.isEmpty())
            continue;
        mTargetGraphics->drawImage(*front, area.getX(), area.getY(), area.getWidth(), area.getHeight(), area.getX(),
                                   area.getY(), area.getWidth(), area.getHeight(), false);
    }
}

void LJUCERenderContextInfo::SwapSurfaces()
{
    mFrontSurface->EndDrawing();
    std::swap(mFrontSurface, mBackSurface);
    mFrontSurface->BeginDrawing();
}

void LJUCERenderContextInfo::SaveAsPng(const Text& name)
{
    const juce::Image* image = mFrontSurface.IsNull() ? nullptr : mFrontSurface->GetImage();
    VX_ASSERT(image != nullptr);
    if (image == nullptr)
        return;
    OutputStreamImpl stream(std::string(name.GetCString()) + ".png");
    juce::PNGImageFormat png;
    const bool written = stream.IsOpen() && png.writeImageToStream(*image, stream);
    stream.flush();
    VX_ASSERT(written && stream.IsGood());
}
} // namespace Vx
