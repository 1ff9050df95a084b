#include "VxFramework/ControlBase/Look.h"

#include "VxFramework/ControlBase/Colorizer.h"
#include "VxFramework/ObjectBase/Exception.h"
#include "VxFramework/Renderer/Renderer.h"
#include "VxFramework/Utilities/Computation/MathUtils.h"
#include "VxFramework/Utilities/Graphics/Bitmap.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>

namespace Vx
{
namespace
{
// Clamped to 0..high; a negative high gives 0.
std::int32_t ClampTo(std::int64_t value, std::int64_t high)
{
    return static_cast<std::int32_t>(std::max<std::int64_t>(0, std::min(value, high)));
}

// Kept in the int range: edges far outside a control stay far outside.
std::int32_t Saturate(std::int64_t value)
{
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(value, std::numeric_limits<std::int32_t>::min(),
                                                              std::numeric_limits<std::int32_t>::max()));
}

// Towards zero, kept in the int range.
std::int32_t Truncate(double value)
{
    return RangeCheckedCast<std::int32_t>(std::trunc(value));
}

// A look coordinate relative to a corner, for the visual parts' float interface.
float Relative(std::int32_t value, std::int32_t corner)
{
    return RangeCheckedCast<float>(Saturate(static_cast<std::int64_t>(value) - corner));
}

PointT<float> ToFloatSize(const RectT<std::int32_t>& rect)
{
    return PointT<float>{RangeCheckedCast<float>(rect.width), RangeCheckedCast<float>(rect.height)};
}

// The part's colour at a point of the look, the part drawn over rect.
std::uint32_t PixelOf(const LVisualPart& part, const PointT<std::int32_t>& point, const RectT<std::int32_t>& rect)
{
    return part.GetPixel(PointT<float>{Relative(point.x, rect.x), Relative(point.y, rect.y)}, ToFloatSize(rect));
}

bool HasAlpha(std::uint32_t argb)
{
    return (argb & 0xFF000000u) != 0;
}

// One axis of a docked part: the edges from the offsets that are given, the
// others from the part's extent; centred when neither edge is given.
void PlaceDockedAxis(bool hasLow, std::int32_t lowOffset, bool hasHigh, std::int32_t highOffset, std::int64_t extent,
                     std::int64_t partExtent, std::int32_t& position, std::int32_t& length)
{
    std::int64_t low = hasLow ? lowOffset : 0;
    std::int64_t high = hasHigh ? extent + highOffset : extent;
    if (!hasLow)
        low = high - partExtent;
    if (!hasHigh)
        high = low + partExtent;
    if (!hasLow && !hasHigh)
    {
        low = (extent - partExtent) / 2;
        high = low + partExtent;
    }
    position = Saturate(low);
    length = Saturate(high - low);
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
    // The parts first: a part that cannot be built leaves the look as it was.
    const auto partOf = [](const RCPtr<LVisualPartDescriptor>& part) {
        return part.IsNull() ? RCPtr<LVisualPart>() : part->GetVisualPart();
    };
    const auto dockedPartOf = [&partOf](const RCPtr<LDockedPart>& docked) {
        return docked.IsNull() ? RCPtr<LVisualPart>() : partOf(docked->GetPart());
    };
    RCPtr<LVisualPart> textForegroundPart = partOf(descriptor->GetTextForegroundPart());
    RCPtr<LVisualPart> clientPart = dockedPartOf(descriptor->GetClientPart());
    const RCPtrArray<LDockedPart>& docked = descriptor->GetNonClientParts();
    ConstRCPtrArray<LVisualPart> nonClientParts;
    for (std::uint32_t i = 0; i < docked.GetCount(); ++i)
        nonClientParts.Add(dockedPartOf(docked[i]));

    mDescriptor = descriptor;
    mTextForegroundPart = textForegroundPart;
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
    mClientPart = clientPart;
    mNonClientParts = nonClientParts;
    mNonClientRects.SetCount(nonClientParts.GetCount());

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
    const std::int64_t w = size.x;
    const std::int64_t h = size.y;

    // The right and bottom offsets are added: they are 0 or negative.
    DockInfo offsets;
    if (!mDescriptor.IsNull() && !mDescriptor->GetClientPart().IsNull())
        offsets = mDescriptor->GetClientPart()->GetDock();
    mClientRect.x = ClampTo(offsets.left, w);
    mClientRect.y = ClampTo(offsets.top, h);
    mClientRect.width = ClampTo(w + offsets.right - mClientRect.x, w - mClientRect.x);
    mClientRect.height = ClampTo(h + offsets.bottom - mClientRect.y, h - mClientRect.y);

    if (!mDescriptor.IsNull())
    {
        const RCPtrArray<LDockedPart>& docked = mDescriptor->GetNonClientParts();
        const std::uint32_t count = std::min(docked.GetCount(), mNonClientRects.GetCount());
        for (std::uint32_t i = 0; i < count; ++i)
        {
            const DockInfo dock = docked[i].IsNull() ? DockInfo() : docked[i]->GetDock();
            const ConstRCPtr<LVisualPart>& part = mNonClientParts[i];
            const PointT<std::int32_t> partSize = part.IsNull() ? PointT<std::int32_t>{0, 0} : part->GetSize();
            const std::int64_t partWidth = dock.hasWidth ? dock.width : partSize.x;
            const std::int64_t partHeight = dock.hasHeight ? dock.height : partSize.y;
            RectT<std::int32_t>& rect = mNonClientRects[i];
            PlaceDockedAxis((dock.edgeMask & DockInfo::kLeft) != 0, dock.left, (dock.edgeMask & DockInfo::kRight) != 0,
                            dock.right, w, partWidth, rect.x, rect.width);
            PlaceDockedAxis((dock.edgeMask & DockInfo::kTop) != 0, dock.top, (dock.edgeMask & DockInfo::kBottom) != 0,
                            dock.bottom, h, partHeight, rect.y, rect.height);
        }
    }

    if (!mText.IsNull() && !mDescriptor.IsNull())
    {
        const LLookDescriptor::TextArea& area = mDescriptor->GetTextArea();
        const float wf = RangeCheckedCast<float>(size.x);
        const float hf = RangeCheckedCast<float>(size.y);
        const float x0 = wf * area.leftRel + static_cast<float>(area.leftAbs);
        const float x1 = wf * area.rightRel + static_cast<float>(area.rightAbs);
        const float y0 = hf * area.topRel + static_cast<float>(area.topAbs);
        const float y1 = hf * area.bottomRel + static_cast<float>(area.bottomAbs);
        mText->SetBoxSize(
            PointT<std::int32_t>{RangeCheckedCast<std::int32_t>(x1 - x0), RangeCheckedCast<std::int32_t>(y1 - y0)});
        mTextOrigin = PointT<std::int32_t>{Truncate(x0), Truncate(y0)};
    }
    mStencil = nullptr;
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

VxRESULT LLook::SetClientBitmap(const RCPtr<LBitmap>& bitmap, std::int32_t resizeType, bool replacesClientPart)
{
    if (bitmap.IsNull())
    {
        if (mClientBitmapPart.IsNull())
            return VXR_NOTHING_DONE;
        mClientBitmapPart = nullptr;
        return VXR_OK;
    }
    mClientBitmapPart = new LVisualPart(StringT<char, unsigned short>(), bitmap, resizeType, 1.0f, nullptr,
                                        mClientRect.GetSize(), nullptr);
    mClientBitmapReplaces = replacesClientPart;
    return VXR_OK;
}

VxRESULT LLook::SetTextForegroundPart(const RCPtr<LVisualPart>& part)
{
    if (part.IsNull())
    {
        VX_ASSERT_FALSE();
        return VXR_E_INVALIDARG;
    }
    mTextForegroundPart = part;
    return VXR_OK;
}

std::uint32_t LLook::GetPixel(const PointT<std::int32_t>& point) const
{
    const std::uint32_t count = std::min(mNonClientParts.GetCount(), mNonClientRects.GetCount());
    for (std::uint32_t i = 0; i < count; ++i)
    {
        const ConstRCPtr<LVisualPart>& part = mNonClientParts[i];
        if (part.IsNull())
            continue;
        const std::uint32_t colour = PixelOf(*part, point, mNonClientRects[i]);
        if (HasAlpha(colour))
            return colour;
    }
    if (!mClientBitmapPart.IsNull())
    {
        const std::uint32_t colour = PixelOf(*mClientBitmapPart, point, mClientRect);
        if (HasAlpha(colour))
            return colour;
    }
    if (mClientPart.IsNull())
        return LVisualPart::kNothing;
    return PixelOf(*mClientPart, point, mClientRect);
}

void LLook::GetPaintRegion(const RCPtr<LRenderer>& renderer, const RgnLight& dirty, RgnLight& out) const
{
    out.Clear();
    if (mRegion.IsEmpty())
    {
        out.Append(dirty);
        return;
    }
    const PointT<double> origin = renderer->GetOrigin();
    out.Append(mRegion);
    out.Offset(Truncate(origin.x), Truncate(origin.y));
    out.Intersect(dirty);
    out.Optimize();
}

bool LLook::GetPaintClip(const RCPtr<LRenderer>& renderer, const RgnLight::Rect& dirtyRect,
                         const RectT<std::int32_t>& target, RectT<double>& clip)
{
    const PointT<double> origin = renderer->GetOrigin();
    const double left = std::max(static_cast<double>(dirtyRect.left) - origin.x, static_cast<double>(target.x));
    const double top = std::max(static_cast<double>(dirtyRect.top) - origin.y, static_cast<double>(target.y));
    const double right = std::min(static_cast<double>(dirtyRect.right) - origin.x,
                                  static_cast<double>(target.x) + static_cast<double>(target.width));
    const double bottom = std::min(static_cast<double>(dirtyRect.bottom) - origin.y,
                                   static_cast<double>(target.y) + static_cast<double>(target.height));
    if (!(right > left) || !(bottom > top))
        return false;
    clip = RectT<double>{left, top, right - left, bottom - top};
    // On both axes each rectangle must begin before the other ends.
    const RectT<double> current = renderer->GetClipRect();
    return clip.x < current.x + current.width && current.x < right && clip.y < current.y + current.height &&
           current.y < bottom;
}

std::int32_t LLook::DrawNonClientParts(const RCPtr<LRenderer>& renderer, const RgnLight& dirty)
{
    if (renderer.IsNull())
    {
        VX_ASSERT_FALSE();
        return 0;
    }
    RgnLight paint;
    GetPaintRegion(renderer, dirty, paint);
    std::int32_t result = 0;
    const std::uint32_t count = std::min(mNonClientParts.GetCount(), mNonClientRects.GetCount());
    for (std::uint32_t i = 0; i < count; ++i)
    {
        const ConstRCPtr<LVisualPart>& part = mNonClientParts[i];
        if (part.IsNull())
            continue;
        const RectT<std::int32_t>& rect = mNonClientRects[i];
        for (const RgnLight::Node* node = paint.GetFirstNode(); node != nullptr; node = node->next)
        {
            RectT<double> clip;
            if (!GetPaintClip(renderer, *node, rect, clip))
                continue;
            const ScopedRenderClip push(renderer, static_cast<RectT<double>>(rect), clip, nullptr);
            if (part->Draw(renderer, ToFloatSize(rect)) != 0)
                result = 1;
        }
    }
    return result;
}

std::int32_t LLook::DrawClientPart(const RCPtr<LRenderer>& renderer, const RgnLight& dirty)
{
    if (renderer.IsNull())
    {
        VX_ASSERT_FALSE();
        return 0;
    }
    const bool drawsClientPart = !mClientPart.IsNull() && (mClientBitmapPart.IsNull() || !mClientBitmapReplaces);
    if (!drawsClientPart && mClientBitmapPart.IsNull())
        return 0;
    RgnLight paint;
    GetPaintRegion(renderer, dirty, paint);
    std::int32_t result = 0;
    const PointT<float> size = ToFloatSize(mClientRect);
    for (const RgnLight::Node* node = paint.GetFirstNode(); node != nullptr; node = node->next)
    {
        RectT<double> clip;
        if (!GetPaintClip(renderer, *node, mClientRect, clip))
            continue;
        const ScopedRenderClip push(renderer, static_cast<RectT<double>>(mClientRect), clip, mStencil);
        if (drawsClientPart && mClientPart->Draw(renderer, size) != 0)
            result = 1;
        if (!mClientBitmapPart.IsNull() && mClientBitmapPart->Draw(renderer, size) != 0)
            result = 1;
    }
    return result;
}

RectT<std::int32_t> LLook::GetTextRect() const
{
    const PointT<std::int32_t> size = mText.IsNull() ? PointT<std::int32_t>{0, 0} : mText->GetBoxSize();
    return RectT<std::int32_t>{mTextOrigin.x, mTextOrigin.y, size.x, size.y};
}

std::int32_t LLook::DrawTextForeground(const RCPtr<LRenderer>& renderer, const RgnLight& dirty,
                                       const PointT<double>& offset)
{
    if (mText.IsNull())
        return 1;
    if (renderer.IsNull())
    {
        VX_ASSERT_FALSE();
        return 0;
    }
    RgnLight paint;
    GetPaintRegion(renderer, dirty, paint);
    const RectT<std::int32_t> textRect = GetTextRect();
    const RectT<double> textArea = static_cast<RectT<double>>(textRect);
    const RectT<double> lookArea{0.0, 0.0, static_cast<double>(mSize.x), static_cast<double>(mSize.y)};
    for (const RgnLight::Node* node = paint.GetFirstNode(); node != nullptr; node = node->next)
    {
        RectT<double> clip;
        if (!GetPaintClip(renderer, *node, textRect, clip))
            continue;
        const ScopedRenderClip look(renderer, lookArea, clip, mStencil);
        // Text is drawn in one solid colour.
        const RCPtr<LVisualPart> part = mTextForegroundPart;
        if (!part.IsNull() && !part->GetBitmap().IsNull())
            VX_THROW(std::domain_error, "Bitmap fill for text foreground part not yet implemented.");
        if (part.IsNull() || part->GetColorizer().IsNull())
        {
            VX_ASSERT_FALSE();
            continue;
        }
        const std::int32_t type = part->GetColorizer()->GetType();
        if (type == LColorizer::kLinearGradient || type == LColorizer::kRadialGradient)
            VX_THROW(std::domain_error, "Gradient fill for text foreground part not yet implemented.");
        const ScopedRenderClip text(renderer, textArea, textArea, nullptr);
        DrawTextLines(renderer, *part, offset);
    }
    return 0;
}

void LLook::DrawTextLines(const RCPtr<LRenderer>& renderer, const LVisualPart& part, const PointT<double>& offset)
{
    const RCPtr<LFont>& font = mText->GetFont();
    if (font.IsNull())
    {
        VX_ASSERT_FALSE();
        return;
    }
    const std::uint32_t count = mText->GetLineCount();
    const Color colour(part.GetSourcePixel(PointT<std::int32_t>{0, 0}));
    for (std::uint32_t i = 0; i < count; ++i)
    {
        const RectT<float> rect = mText->GetLineRect(i);
        const PointT<std::int32_t> position{RoundToInt(static_cast<double>(rect.x) - offset.x),
                                            RoundToInt(static_cast<double>(rect.y) - offset.y)};
        renderer->DrawText(mText->GetLineText(i), font, position, colour);
    }
}
} // namespace Vx
