#include "VxFramework/ControlBase/SkinDescriptors.h"

#include "VxFramework/ObjectBase/Exception.h"
#include "VxFramework/Utilities/Graphics/Bitmap.h"

#include <algorithm>
#include <new>
#include <utility>
#include <vector>

namespace Vx
{
LVisualPartDescriptor::LVisualPartDescriptor(const Text& name, const BitmapSource& image,
                                             const PointT<std::int32_t>& size, std::int32_t resizeType,
                                             const RCPtr<LColorizer>& colorizer, float alphaModulation,
                                             const BitmapSource& mask)
    : mName(name), mImage(image), mSize(size), mResizeType(resizeType), mColorizer(colorizer),
      mAlphaModulation(alphaModulation), mMask(mask)
{
    if (!mImage.file.IsEmpty())
    {
        const PointT<std::int32_t> imageSize{mImage.width, mImage.height};
        VX_ASSERT(imageSize == mSize);
        mSize = imageSize;
    }
    if (!mMask.file.IsEmpty())
        VX_ASSERT(mMask.width == mSize.x && mMask.height == mSize.y);
}

LVisualPartDescriptor::~LVisualPartDescriptor() = default;

namespace
{
// The rectangle of the image file; null (after an assertion) when the file
// gives no picture.
RCPtr<LBitmap> LoadSource(const BitmapSource& source)
{
    const RCPtr<LBitmap> image = LBitmap::LoadCached(source.file);
    if (image.IsNull())
    {
        VX_ASSERT_FALSE();
        return nullptr;
    }
    return LBitmap::CreateSubBitmap(image, RectT<std::int32_t>{source.x, source.y, source.width, source.height});
}
} // namespace

RCPtr<LVisualPart> LVisualPartDescriptor::GetVisualPart()
{
    if (!mVisualPart.IsNull())
        return mVisualPart;

    RCPtr<LBitmap> mask;
    if (!mMask.file.IsEmpty())
    {
        mask = LoadSource(mMask);
        if (mask.IsNull())
            return nullptr;
    }
    RCPtr<LVisualPart> part;
    if (mImage.file.IsEmpty())
    {
        if (mColorizer.IsNull())
            return nullptr;
        part = new LVisualPart(mName, nullptr, mResizeType, mAlphaModulation, mColorizer, mSize, mask);
    }
    else
    {
        const RCPtr<LBitmap> bitmap = LoadSource(mImage);
        if (bitmap.IsNull())
            return nullptr;
        part = new LVisualPart(mName, bitmap, mResizeType, mAlphaModulation, mColorizer,
                               PointT<std::int32_t>{bitmap->GetWidth(), bitmap->GetHeight()}, mask);
    }
    mVisualPart = part;
    part->SetDescriptor(RCPtr<LVisualPartDescriptor>(this));
    // The cache's reference belongs to the cycle through the back reference.
    part->AdjustContainedRefCount(1);
    return part;
}

RCPtr<LVisualPart> LVisualPartDescriptor::TakeVisualPart(const LVisualPart* part) noexcept
{
    if (mVisualPart.Get() != part || part == nullptr)
        return nullptr;
    return std::move(mVisualPart);
}

LDockedPart::LDockedPart(const RCPtr<LVisualPartDescriptor>& part, const DockInfo& dock) : mPart(part), mDock(dock)
{
    VX_ASSERT(dock.edgeMask <= 15);
}

LDockedPart::~LDockedPart() = default;

LLookDescriptor::LLookDescriptor(const Text& name) : mName(name) {}

LLookDescriptor::~LLookDescriptor() = default;

RCPtr<LLookDescriptor> LLookDescriptor::Create(const Text& name)
{
    try
    {
        return RCPtr<LLookDescriptor>(new LLookDescriptor(name));
    }
    catch (const std::bad_alloc&)
    {
        return nullptr;
    }
}

VxRESULT LLookDescriptor::AddNonClientPart(const RCPtr<LDockedPart>& part)
{
    const VxRESULT index = mNonClientParts.Add(part);
    return Failed(index) ? index : VXR_OK;
}

void LLookDescriptor::SetTextArea(const TextArea& area, const RCPtr<LVisualPartDescriptor>& foregroundPart)
{
    mTextArea = area;
    mTextForegroundPart = foregroundPart;
    mHasTextArea = true;
}

bool LControlDescriptor::LayoutLessFunctor::operator()(const RCPtr<LControlDescriptor>& a,
                                                       const RCPtr<LControlDescriptor>& b) const
{
    const auto order = [](const RCPtr<LControlDescriptor>& descriptor) {
        if (descriptor.IsNull() || descriptor->GetLayout().IsNull())
            return std::int32_t{0};
        return descriptor->GetLayout()->LayoutOrder;
    };
    return order(a) < order(b);
}

LControlDescriptor::LControlDescriptor(const Text& className, const Text& name, LControlDescriptor* parent)
    : mClassName(className), mName(name), mParent(parent)
{
}

LControlDescriptor::~LControlDescriptor() = default;

RCPtr<LControlDescriptor> LControlDescriptor::Clone(const RCPtr<LControlDescriptor>& templateDescriptor,
                                                    const Text& name)
{
    if (templateDescriptor.IsNull())
    {
        VX_ASSERT_FALSE();
        return nullptr;
    }
    const LControlDescriptor& source = *templateDescriptor;
    RCPtr<LControlDescriptor> clone(
        new LControlDescriptor(source.mClassName, name.IsEmpty() ? source.mName : name, source.mParent));
    // The child array is copied; the children themselves are shared.
    clone->mChildren = source.mChildren;
    clone->mSkin = source.mSkin;
    clone->mLayout = source.mLayout;
    clone->mCreateParams = source.mCreateParams;
    clone->mCreator = source.mCreator;
    return clone;
}

RCPtr<LControlDescriptor> LControlDescriptor::Create(const RCPtr<LControlDescriptor>& templateDescriptor,
                                                     const Text& name, const RCPtr<LLayoutDescriptor>& layout)
{
    RCPtr<LControlDescriptor> descriptor = Clone(templateDescriptor, name);
    if (!descriptor.IsNull())
        descriptor->mLayout = layout;
    return descriptor;
}

VxRESULT LControlDescriptor::SortChildren()
{
    const std::uint32_t count = mChildren.GetCount();
    if (count < 2)
        return VXR_OK;
    std::vector<RCPtr<LControlDescriptor>> sorted;
    sorted.reserve(count);
    for (std::uint32_t i = 0; i < count; ++i)
        sorted.push_back(mChildren[i]);
    std::stable_sort(sorted.begin(), sorted.end(), LayoutLessFunctor());
    for (std::uint32_t i = 0; i < count; ++i)
        mChildren[i] = sorted[i];
    return VXR_OK;
}

VxRESULT LControlDescriptor::AddChild(const RCPtr<LControlDescriptor>& child)
{
    if (child.IsNull())
    {
        VX_ASSERT_FALSE();
        return VXR_E_INVALIDARG;
    }
    const VxRESULT index = mChildren.Add(child);
    return Failed(index) ? index : VXR_OK;
}
} // namespace Vx
