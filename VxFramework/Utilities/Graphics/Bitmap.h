#pragma once

#include "VxFramework/ObjectBase/RefCountedObject.h"
#include "VxFramework/ObjectBase/Result.h"
#include "VxFramework/Utilities/Graphics/CTTypes.h"
#include "VxFramework/Utilities/Storage/StringT.h"

#include <cstdint>
#include <memory>

namespace juce
{
class Image;
} // namespace juce

namespace Vx
{
class LColorizer;

// Rows of pixels of type T; GetLineStride is the distance in bytes from one
// row to the next.
template <class T>
class IPixelBuffer
{
public:
    virtual std::int32_t GetWidth() const = 0;
    virtual std::int32_t GetHeight() const = 0;
    virtual std::int32_t GetLineStride() const = 0;
    virtual T* GetPixel(std::int32_t x, std::int32_t y) = 0;
    virtual const T* GetPixel(std::int32_t x, std::int32_t y) const = 0;

protected:
    ~IPixelBuffer() = default;
};

// A reference-counted pixel buffer of another origin than a bitmap.
template <class T>
class LPixelBuffer : public IPixelBuffer<T>, public virtual LRefCountedObject
{
};

class LBitmapData;

// A rectangle of a JUCE image (ARGB): either the whole image the bitmap owns,
// or a part of the image of its parent, which is always an owner.
class LBitmap : public virtual LRefCountedObject
{
public:
    using Text = StringT<char, unsigned short>;

    // An empty bitmap: no image, not valid.
    LBitmap();
    // Loads the image file at path (not for paths beginning with "::"); a
    // file that gives no image leaves the bitmap empty after an assertion.
    LBitmap(const Text& path, const Text& key);
    ~LBitmap() override;

    // A cached bitmap leaves the path cache when its last outside holder lets go.
    VxRESULT RemoveContainedReferences() override;

    // The bitmap of the image file at path, shared while anyone holds it;
    // null when the file gives no image.
    static RCPtr<LBitmap> LoadCached(const Text& path);
    // A bitmap showing rect (in the given bitmap's coordinates; an empty rect
    // means all of it) of the same image.
    static RCPtr<LBitmap> CreateSubBitmap(const RCPtr<LBitmap>& bitmap, RectT<std::int32_t> rect);
    // A new owner of a copy of the bitmap's whole image, showing the same rectangle.
    static RCPtr<LBitmap> DuplicateImage(const RCPtr<LBitmap>& bitmap);
    // A new image of the size in the colour; a size not above 0 throws.
    static RCPtr<LBitmap> CreateFilled(const PointT<std::int32_t>& size, const Color& color);
    // A bitmap of the colorizer's solid fill or linear or radial gradient,
    // every alpha scaled by amount.  A size not above 0 throws, and so do a
    // colorizer of another kind between two colours and gradient points that
    // are not finite.
    static RCPtr<LBitmap> CreateFromColorizer(const RCPtr<LColorizer>& colorizer, const PointT<std::int32_t>& size,
                                              float amount);
    // Moves every pixel of the bitmap's rectangle toward the solid colour by
    // amount (0..1), keeping its alpha.  Returns the bitmap.  A gradient
    // between two colours throws.
    static RCPtr<LBitmap> Colorize(const RCPtr<LBitmap>& bitmap, const RCPtr<LColorizer>& colorizer, float amount);
    // A colourised copy of the one source bitmap given, else the colorizer's
    // fill of the size.  Two sources throw.
    static RCPtr<LBitmap> CreateColorized(const RCPtr<LColorizer>& colorizer, const PointT<std::int32_t>& size,
                                          const RCPtr<LBitmap>& first, float amount, const RCPtr<LBitmap>& second);
    // The colour at (x, y) of the bitmap's rectangle.
    static Color GetPixelColor(const RCPtr<LBitmap>& bitmap, std::int32_t x, std::int32_t y);

    static RCPtr<LBitmapData> GetPixelBuffer(const RCPtr<LBitmap>& bitmap);
    // An external buffer is not supported and throws.
    static RCPtr<LBitmapData> GetWritablePixelBuffer(const RCPtr<LBitmap>& bitmap,
                                                     const RCPtr<LPixelBuffer<std::int32_t>>& external = nullptr);
    // The read-only pixels of the whole rectangle of the bitmap's owner.
    static RCPtr<LBitmapData> GetOwnerPixelBuffer(const RCPtr<LBitmap>& bitmap);

    // The owner's image; null for an empty bitmap.
    juce::Image* GetImage() const;
    // Exactly one of image and parent.
    bool IsValid() const noexcept { return (mImage != nullptr) != !mParent.IsNull(); }

    RectT<std::int32_t> GetRect() const noexcept { return RectT<std::int32_t>{mX, mY, mWidth, mHeight}; }
    std::int32_t GetX() const noexcept { return mX; }
    std::int32_t GetY() const noexcept { return mY; }
    std::int32_t GetWidth() const noexcept { return mWidth; }
    std::int32_t GetHeight() const noexcept { return mHeight; }
    const RCPtr<LBitmap>& GetParent() const noexcept { return mParent; }
    const Text& GetPath() const noexcept { return mPath; }
    const Text& GetKey() const noexcept { return mKey; }

private:
    void TakeImage(std::unique_ptr<juce::Image> image);

    std::int32_t mX = 0;
    std::int32_t mY = 0;
    std::int32_t mWidth = 0;
    std::int32_t mHeight = 0;
    RCPtr<LBitmap> mParent;
    Text mPath;
    Text mKey;
    RCPtr<LBitmapData> mPixelAccess;
    std::unique_ptr<juce::Image> mImage;
};

// Pixel access to a bitmap's rectangle; keeps the bitmap and its image alive.
// GetPixel does no bounds check.
class LBitmapData : public IPixelBuffer<std::int32_t>, public virtual LRefCountedObject
{
public:
    // JUCE's numbering of the access modes.
    enum Mode : std::int32_t
    {
        kReadOnly = 0,
        kReadWrite = 2,
    };

    // An external buffer is not supported and throws.  Without an ARGB image
    // the buffer has no pixels (an assertion, size 0, null pixels).
    LBitmapData(const RCPtr<LBitmap>& bitmap, std::int32_t mode, const RCPtr<LPixelBuffer<std::int32_t>>& external);
    ~LBitmapData() override;

    std::int32_t GetWidth() const override;
    std::int32_t GetHeight() const override;
    std::int32_t GetLineStride() const override;
    std::int32_t* GetPixel(std::int32_t x, std::int32_t y) override;
    const std::int32_t* GetPixel(std::int32_t x, std::int32_t y) const override;

private:
    struct Access;

    std::uint8_t* PixelAddress(std::int32_t x, std::int32_t y) const;

    RCPtr<LBitmap> mBitmap;
    std::unique_ptr<Access> mAccess;
    RCPtr<LPixelBuffer<std::int32_t>> mExternal;
};
} // namespace Vx
