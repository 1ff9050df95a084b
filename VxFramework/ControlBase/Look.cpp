#include "VxFramework/ControlBase/Look.h"

#include "VxFramework/ObjectBase/Exception.h"
#include "VxFramework/Utilities/Computation/MathUtils.h"

#include <algorithm>
#include <cmath>

namespace Vx
{
namespace
{
// Clamped to 0..high; a negative high gives 0.
std::int32_t ClampTo(std::int32_t value, std::int32_t high)
{
    return std::max(0, std::min(value, high));
}

// Towards zero, kept in the int range.
std::int32_t Truncate(float value)
{
    return RangeCheckedCast<std::int32_t>(std::trunc(static_cast<double>(value)));
}
} // namespace

LLook::LLook() = default;

LLook::~LLook() = default;

VxRESULT LLook::Create(const RCPtr<LLookDescriptor>& descriptor, bool wordWrap, RCPtr<LLook>& out)
{
    RCPtr<LLook> look(new LLook());
    const VxRESULT result = look->SetDescriptor(descriptor, wordWrap);
    out = look;
    return result;
}

VxRESULT LLook::SetDescriptor(const RCPtr<LLookDescriptor>& descriptor, bool wordWrap)
{
    if (descriptor.IsNull())
    {
        VX_ASSERT_FALSE();
        return VXR_E_INVALIDARG;
    }
    mDescriptor = descriptor;
    if (descriptor->HasTextArea())
    {
        if (mText.IsNull())
            mText = new LFontText(StringT<char, unsigned short>(), nullptr);
        if (mText->GetWordWrap() != wordWrap)
            mText->SetWordWrap(wordWrap);
        const LLookDescriptor::TextArea& area = descriptor->GetTextArea();
        mText->SetHorizontalAlignment(area.horizontalAlignment);
        mText->SetVerticalAlignment(area.verticalAlignment);
    }
    else
    {
        mText = nullptr;
    }
    // Laid out again from scratch at the size it had.
    const PointT<std::int32_t> size = mSize;
    mSize = PointT<std::int32_t>{0, 0};
    SetSize(size);
    return VXR_OK;
}

VxRESULT LLook::SetSize(const PointT<std::int32_t>& size)
{
    if (size == mSize)
        return VXR_NOTHING_DONE;
    mSize = size;
    const std::int32_t w = size.x;
    const std::int32_t h = size.y;

    // The right and bottom offsets are added: they are 0 or negative.
    DockInfo offsets;
    if (!mDescriptor.IsNull() && !mDescriptor->GetClientPart().IsNull())
        offsets = mDescriptor->GetClientPart()->GetDock();
    mClientRect.x = ClampTo(offsets.left, w);
    mClientRect.y = ClampTo(offsets.top, h);
    mClientRect.width = ClampTo(w + offsets.right - mClientRect.x, w - mClientRect.x);
    mClientRect.height = ClampTo(h + offsets.bottom - mClientRect.y, h - mClientRect.y);

    if (!mText.IsNull() && !mDescriptor.IsNull())
    {
        const LLookDescriptor::TextArea& area = mDescriptor->GetTextArea();
        const float wf = RangeCheckedCast<float>(w);
        const float hf = RangeCheckedCast<float>(h);
        const float x0 = wf * area.leftRel + static_cast<float>(area.leftAbs);
        const float x1 = wf * area.rightRel + static_cast<float>(area.rightAbs);
        const float y0 = hf * area.topRel + static_cast<float>(area.topAbs);
        const float y1 = hf * area.bottomRel + static_cast<float>(area.bottomAbs);
        mText->SetBoxSize(
            PointT<std::int32_t>{RangeCheckedCast<std::int32_t>(x1 - x0), RangeCheckedCast<std::int32_t>(y1 - y0)});
        mTextOrigin = PointT<std::int32_t>{Truncate(x0), Truncate(y0)};
    }
    return VXR_NOTHING_DONE;
}

VxRESULT LLook::SetText(const StringT<char, unsigned short>& text)
{
    if (mText.IsNull())
        return VXR_NOTHING_DONE;
    if (mText->GetText() == text)
        return VXR_OK;
    mText->SetText(text);
    return VXR_NOTHING_DONE;
}

VxRESULT LLook::SetFont(const RCPtr<LFont>& font)
{
    if (mText.IsNull())
        return VXR_NOTHING_DONE;
    const RCPtr<LFont>& current = mText->GetFont();
    bool differs = current.IsNull() != font.IsNull();
    if (!differs && !font.IsNull())
        differs = !(current->GetName() == font->GetName()) || current->GetSize() != font->GetSize() ||
                  current->GetStyle() != font->GetStyle();
    mText->SetFont(font);
    return differs ? 1 : 0;
}
} // namespace Vx
