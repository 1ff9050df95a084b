#include "VxFramework/Renderer/JUCE/JUCERenderContextInfo.h"

#include "JuceBackend/native/juce_linuxfb_SoftwareRenderer.h"
#include "VxFramework/ObjectBase/Exception.h"
#include "VxFramework/Renderer/JUCE/OutputStreamImpl.h"
#include "VxFramework/Utilities/Storage/VxArray.h"

#include <juce_graphics/juce_graphics.h>

#include <algorithm>
#include <cstring>
#include <utility>

namespace Vx
{
namespace
{
// Copies a row of pixels.  The gaps between a screen's panels are rows of a
// few pixels, too short for the C library's block copy to pay for its call.
void CopyPixels(std::uint8_t* to, const std::uint8_t* from, int count)
{
    constexpr int kBlock = 4;
    constexpr std::size_t kBlockBytes = kBlock * sizeof(juce::PixelARGB);
    if (count > 64)
    {
        std::memcpy(to, from, static_cast<std::size_t>(count) * sizeof(juce::PixelARGB));
        return;
    }
    int x = 0;
    for (; x + kBlock <= count; x += kBlock)
        std::memcpy(to + x * sizeof(juce::PixelARGB), from + x * sizeof(juce::PixelARGB), kBlockBytes);
    for (; x < count; ++x)
        std::memcpy(to + x * sizeof(juce::PixelARGB), from + x * sizeof(juce::PixelARGB), sizeof(juce::PixelARGB));
}
} // namespace

struct LJUCERenderContextInfo::DeferredCopy
{
    juce::Image source;
    juce::Point<int> sourceOffset;
    int rowPeriod = 0;
    // Front-surface pixels still to be copied.
    juce::RectangleList<int> area;
    // An area known to hold none of them: drawing within it needs no write.
    juce::Rectangle<int> clean;

    // Copies the rectangle's rows, which lie within the source once moved.
    // The target by reference: a copy's reference count would be changed
    // after the rows' stores, waiting for every one of them to complete.
    void Write(juce::Image& target, const juce::Rectangle<int>& rect) const
    {
        const juce::Image::BitmapData to(target, rect.getX(), rect.getY(), rect.getWidth(), rect.getHeight(),
                                         juce::Image::BitmapData::readWrite);
        const juce::Image::BitmapData from(source, juce::Image::BitmapData::readOnly);
        const bool periodic = rowPeriod > 0 && rowPeriod < from.height;
        const int column = rect.getX() - sourceOffset.x;
        for (int row = 0; row < rect.getHeight(); ++row)
        {
            int sourceRow = rect.getY() + row - sourceOffset.y;
            if (periodic)
                sourceRow %= rowPeriod;
            CopyPixels(to.getLinePointer(row), from.getPixelPointer(column, sourceRow), rect.getWidth());
        }
    }
};

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
    : LRenderContextInfo(rect, windowHandle, offscreen), mDeferred(std::make_unique<DeferredCopy>())
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
    WriteDeferred();
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
        // Whatever was deferred belonged to the picture that is dropped.
        mDeferred->area.clear();
        VX_ASSERT(wanted.x >= GetContextRect().width && wanted.y >= GetContextRect().height);
        mFrontSurface->Resize(wanted);
        mBackSurface->Resize(wanted);
    }
    mFrontSurface->BeginDrawing();
}

void LJUCERenderContextInfo::Present()
{
    WriteDeferred();
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
    WriteDeferred();
    mFrontSurface->EndDrawing();
    std::swap(mFrontSurface, mBackSurface);
    mFrontSurface->BeginDrawing();
}

void LJUCERenderContextInfo::DeferOpaqueCopy(const juce::Image& source, const juce::Point<int>& sourceOffset,
                                             int rowPeriod, const juce::Rectangle<int>& area)
{
    // One deferred source at a time: the previous one is written where the
    // new one does not replace it.
    mDeferred->area.subtract(area);
    WriteDeferred();
    mDeferred->source = source;
    mDeferred->sourceOffset = sourceOffset;
    mDeferred->rowPeriod = rowPeriod;
    mDeferred->area = area;
    mDeferred->clean = {};
}

void LJUCERenderContextInfo::CoverDeferred(const juce::Rectangle<int>& area)
{
    if (!mDeferred->clean.contains(area))
        mDeferred->area.subtract(area);
}

void LJUCERenderContextInfo::WriteDeferred(const juce::Rectangle<int>& area) const
{
    DeferredCopy& deferred = *mDeferred;
    if (deferred.area.isEmpty() || deferred.clean.contains(area))
        return;
    if (deferred.area.intersectsRectangle(area))
    {
        juce::Image* target = mFrontSurface.IsNull() ? nullptr : mFrontSurface->GetImage();
        juce::RectangleList<int> part(deferred.area);
        part.clipTo(area);
        deferred.area.subtract(area);
        if (target != nullptr)
            for (const juce::Rectangle<int>& rect : part)
                deferred.Write(*target, rect);
    }
    deferred.clean = area;
}

void LJUCERenderContextInfo::WriteDeferred() const
{
    DeferredCopy& deferred = *mDeferred;
    juce::Image* target = mFrontSurface.IsNull() ? nullptr : mFrontSurface->GetImage();
    if (target != nullptr)
        for (const juce::Rectangle<int>& rect : deferred.area)
            deferred.Write(*target, rect);
    deferred.area.clear();
    deferred.source = juce::Image();
}

void LJUCERenderContextInfo::SaveAsPng(const Text& name)
{
    WriteDeferred();
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
