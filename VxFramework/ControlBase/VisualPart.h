#pragma once

#include "VxFramework/ObjectBase/RefCountedObject.h"
#include "VxFramework/ObjectBase/Result.h"
#include "VxFramework/Utilities/Graphics/CTTypes.h"
#include "VxFramework/Utilities/Graphics/RgnLight.h"
#include "VxFramework/Utilities/Storage/StringT.h"

#include <cstdint>

namespace Vx
{
class LBitmap;
class LColorizer;
class LRenderer;
class LVisualPartDescriptor;

// The drawable form of one skin part: a bitmap (colourised and masked when
// built) or a plain colour.  Shared by every look that shows the part and
// read-only once built; the descriptor that built it keeps it for as long as
// anybody else holds it.  User-interface thread only.
class LVisualPart : public virtual LRefCountedObject
{
public:
    using Text = StringT<char, unsigned short>;

    // How the part fills a size other than its own.
    enum ResizeType : std::int32_t
    {
        kStretch = 0,
        kTile = 1,
        kCenter = 2,
    };

    // 0x00ffffff: what a part shows where it shows nothing.
    static constexpr std::uint32_t kNothing = 0x00FFFFFFu;

    // A bitmap part takes the bitmap's size (after an assertion when the
    // given size differs).  A colorizer together with a bitmap, a mask or a
    // gradient makes the part a colourised bitmap, built here once; a
    // colorizer with both a bitmap and a mask throws a domain error and no
    // part is made.
    LVisualPart(const Text& name, const RCPtr<LBitmap>& bitmap, std::int32_t resizeType, float alphaModulation,
                const RCPtr<LColorizer>& colorizer, const PointT<std::int32_t>& size, const RCPtr<LBitmap>& mask);
    ~LVisualPart() override;

    // Draws the part into (0, 0, size) of the renderer's current
    // coordinates.  A colour part without a colorizer throws a runtime error.
    // Returns 0.
    virtual std::int32_t Draw(const RCPtr<LRenderer>& renderer, const PointT<float>& size) const;

    // Lets go of the descriptor's cache once nobody else holds the part.
    VxRESULT RemoveContainedReferences() override;

    // The packed colour (0xAARRGGBB) of the part drawn at size, at a point of
    // the drawn area; kNothing outside it.  Runtime errors as GetSourcePixel,
    // and for an unknown resize type.
    std::uint32_t GetPixel(const PointT<float>& point, const PointT<float>& size) const;
    // The packed colour at a point of the part at its own size; kNothing
    // outside it.  A colour part without a colorizer, or with one that is not
    // a solid colour, throws a runtime error.
    std::uint32_t GetSourcePixel(const PointT<std::int32_t>& point) const;

    // Called by the descriptor that caches the part: the back reference that
    // closes the cycle the contained-reference count accounts for.
    void SetDescriptor(const RCPtr<LVisualPartDescriptor>& descriptor);

    const Text& GetName() const noexcept { return mName; }
    // Null for a colour part.
    const RCPtr<LBitmap>& GetBitmap() const noexcept { return mBitmap; }
    const PointT<std::int32_t>& GetSize() const noexcept { return mSize; }
    std::int32_t GetResizeType() const noexcept { return mResizeType; }
    const RCPtr<LColorizer>& GetColorizer() const noexcept { return mColorizer; }
    float GetAlphaModulation() const noexcept { return mAlphaModulation; }
    const RCPtr<LBitmap>& GetMask() const noexcept { return mMask; }
    const RCPtr<LVisualPartDescriptor>& GetDescriptor() const noexcept { return mDescriptor; }

protected:
    Text mName;
    RCPtr<LBitmap> mBitmap;
    PointT<std::int32_t> mSize;
    std::int32_t mResizeType;
    RCPtr<LColorizer> mColorizer;
    float mAlphaModulation;
    RCPtr<LBitmap> mMask;
    // Not used by any operation here.
    RgnLight mRegion;
    RCPtr<LVisualPartDescriptor> mDescriptor;
};
} // namespace Vx
