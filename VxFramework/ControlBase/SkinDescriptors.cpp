#include "VxFramework/ControlBase/SkinDescriptors.h"

#include "VxFramework/ObjectBase/Exception.h"

#include <algorithm>
#include <new>
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
