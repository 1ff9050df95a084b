#include "VxFramework/Utilities/Graphics/FontText.h"

#include "VxFramework/ObjectBase/Exception.h"
#include "VxFramework/Renderer/MeasurementRenderer.h"
#include "VxFramework/Utilities/Computation/MathUtils.h"

#include <algorithm>
#include <cmath>

namespace Vx
{
namespace
{
using Text = LFontText::Text;

// Index of the last occurrence of the character among the first `length`
// bytes of the text, -1 when none.
std::int32_t LastIndexOf(const Text& text, char character, std::int32_t length)
{
    const char* const bytes = text.GetCString();
    for (std::int32_t i = length; i > 0; --i)
    {
        if (bytes[i - 1] == character)
            return i - 1;
    }
    return -1;
}

bool IsBlank(char character)
{
    return character == ' ' || character == '\t' || character == '\r' || character == '\n';
}

// The length of the first character of a non-empty UTF-8 text.
std::int32_t FirstCharacterLength(const Text& text)
{
    const char* const bytes = text.GetCString();
    const std::int32_t length = text.GetLength();
    std::int32_t end = 1;
    while (end < length && (static_cast<unsigned char>(bytes[end]) & 0xC0u) == 0x80u)
        ++end;
    return end;
}
} // namespace

LFontText::LFontText(const Text& text, const RCPtr<LFont>& font) : mText(text), mFont(font) {}

LFontText::~LFontText() = default;

void LFontText::Invalidate()
{
    mLines.RemoveAll();
    mLineRects.RemoveAll();
}

void LFontText::SetText(const Text& text)
{
    if (text == mText)
        return;
    mText = text;
    Invalidate();
}

void LFontText::SetFont(const RCPtr<LFont>& font)
{
    if (font == mFont)
        return;
    mFont = font;
    Invalidate();
}

void LFontText::SetHorizontalAlignment(float factor)
{
    if (factor == mHorizontalAlignment)
        return;
    mHorizontalAlignment = factor;
    // The lines stay as they were broken; only where they sit changes.
    mLineRects.RemoveAll();
}

void LFontText::SetVerticalAlignment(float factor)
{
    if (factor == mVerticalAlignment)
        return;
    mVerticalAlignment = factor;
    // The lines stay as they were broken; only where they sit changes.
    mLineRects.RemoveAll();
}

void LFontText::SetWordWrap(bool wordWrap)
{
    mWordWrap = wordWrap;
    Invalidate();
}

void LFontText::SetBoxSize(const PointT<std::int32_t>& size)
{
    if (size.x == mBoxWidth && size.y == mBoxHeight)
        return;
    mBoxWidth = size.x;
    mBoxHeight = size.y;
    Invalidate();
}

RectT<float> LFontText::Measure(const RCPtr<LMeasurementRenderer>& renderer, const Text& text) const
{
    if (renderer.IsNull())
        return RectT<float>::Empty;
    RectT<float> rect = renderer->MeasureText(text, mFont);
    if (rect.x != 0.0f)
    {
        rect.width += rect.x;
        rect.x = 0.0f;
    }
    return rect;
}

float LFontText::MeasureWidth(const RCPtr<LMeasurementRenderer>& renderer, const Text& text) const
{
    return Measure(renderer, text).width;
}

std::int32_t LFontText::GetFontHeight() const
{
    VX_ASSERT(!mFont.IsNull());
    return mFont.IsNull() ? 0 : mFont->GetHeight();
}

std::int32_t LFontText::FindBreak(const RCPtr<LMeasurementRenderer>& renderer, float width, const Text& text) const
{
    Text rest = text;
    if (width > MeasureWidth(renderer, rest))
        return rest.GetLength();
    // Every round shortens the text, so the loop ends.
    for (;;)
    {
        const std::int32_t length = rest.GetLength();
        const std::int32_t space = LastIndexOf(rest, ' ', length);
        if (space <= 0)
        {
            const std::int32_t hyphen = LastIndexOf(rest, '-', length - 1);
            if (hyphen < 0)
                return length;
            Text head = rest.Mid(0, hyphen + 1);
            if (MeasureWidth(renderer, head) <= width)
                return hyphen + 1;
            rest = head;
            continue;
        }
        Text head = rest.Mid(0, space);
        if (width < MeasureWidth(renderer, head))
        {
            rest = head;
            continue;
        }
        const std::int32_t hyphen = LastIndexOf(rest, '-', length);
        if (hyphen > space && MeasureWidth(renderer, rest.Mid(0, hyphen + 1)) <= width)
            return hyphen + 1;
        return space;
    }
}

void LFontText::WrapLines(const RCPtr<LMeasurementRenderer>& renderer, std::int32_t width, Lines& lines) const
{
    lines.RemoveAll();
    const float lineWidth = static_cast<float>(width);
    const Lines paragraphs(mText, "\n");
    for (std::uint32_t p = 0; p < paragraphs.GetCount(); ++p)
    {
        Text paragraph = paragraphs[p];
        std::int32_t length = paragraph.GetLength();
        std::int32_t end = FindBreak(renderer, lineWidth, paragraph);
        Text line = end < length ? paragraph.Mid(0, end) : paragraph;
        while (end < length)
        {
            Text rest = paragraph.Mid(end);
            std::int32_t blanks = 0;
            const char* const bytes = rest.GetCString();
            while (blanks < rest.GetLength() && IsBlank(bytes[blanks]))
                ++blanks;
            // Blanks alone stay: they are the next line.
            if (blanks < rest.GetLength())
                rest = rest.Mid(blanks);
            if (rest.IsEmpty())
                break;
            lines.Add(line);
            end = FindBreak(renderer, lineWidth, rest);
            // Each line takes at least one character, whatever the measurements.
            if (end <= 0)
                end = FirstCharacterLength(rest);
            line = rest.Mid(0, end);
            paragraph = rest;
            length = paragraph.GetLength();
        }
        lines.Add(line);
    }
}

void LFontText::LayoutLines(const RCPtr<LMeasurementRenderer>& renderer)
{
    mLineRects.RemoveAll();
    if (mLines.IsEmpty())
    {
        VX_ASSERT_FALSE();
        mLines.Add(Text());
    }
    const std::uint32_t count = mLines.GetCount();
    const std::int32_t lineHeight = GetFontHeight();
    const float free = static_cast<float>(mBoxHeight) - static_cast<float>(count) * static_cast<float>(lineHeight);
    for (std::uint32_t i = 0; i < count; ++i)
    {
        const RectT<float> measured = Measure(renderer, mLines[i]);
        RectT<float> rect;
        rect.x = (static_cast<float>(mBoxWidth) - measured.width) * mHorizontalAlignment;
        rect.y = static_cast<float>(i) * static_cast<float>(lineHeight) + free * mVerticalAlignment;
        rect.width = measured.width;
        rect.height = measured.height;
        mLineRects.Add(rect);
    }
}

std::uint32_t LFontText::GetLineCount()
{
    if (mLines.IsEmpty())
    {
        if (mWordWrap)
            WrapLines(GetApplicationMeasurementRenderer(), mBoxWidth, mLines);
        else
            mText.Split(mLines, "\n");
    }
    if (mLineRects.IsEmpty())
        LayoutLines(GetApplicationMeasurementRenderer());
    return mLineRects.GetCount();
}

Text LFontText::GetLineText(std::uint32_t index)
{
    if (index >= GetLineCount())
    {
        VX_ASSERT_FALSE();
        return Text();
    }
    return mLines[index];
}

RectT<float> LFontText::GetLineRect(std::uint32_t index)
{
    if (index >= GetLineCount())
    {
        VX_ASSERT_FALSE();
        return RectT<float>::Empty;
    }
    return mLineRects[index];
}

PointT<std::int32_t> LFontText::GetTextSize()
{
    const std::uint32_t count = GetLineCount();
    float left = 0.0f;
    float top = 0.0f;
    float right = 0.0f;
    float bottom = 0.0f;
    for (std::uint32_t i = 0; i < count; ++i)
    {
        const RectT<float>& rect = mLineRects[i];
        left = std::min(left, rect.x);
        top = std::min(top, rect.y);
        right = std::max(right, rect.x + rect.width);
        bottom = std::max(bottom, rect.y + rect.height);
    }
    return PointT<std::int32_t>{RangeCheckedCast<std::int32_t>(right - left),
                                RangeCheckedCast<std::int32_t>(bottom - top)};
}

std::int32_t LFontText::GetWrappedHeight(std::int32_t width)
{
    Lines lines;
    if (mWordWrap)
        WrapLines(GetApplicationMeasurementRenderer(), width, lines);
    else
        mText.Split(lines, "\n");
    return GetFontHeight() * static_cast<std::int32_t>(lines.GetCount());
}

std::int32_t LFontText::GetMaxLineWidth()
{
    const RCPtr<LMeasurementRenderer> renderer = GetApplicationMeasurementRenderer();
    const Lines lines(mText, "\n");
    float widest = 0.0f;
    for (std::uint32_t i = 0; i < lines.GetCount(); ++i)
        widest = std::max(widest, MeasureWidth(renderer, lines[i]));
    // Truncated after adding 0.99: a fraction of a pixel counts as a pixel.
    return RangeCheckedCast<std::int32_t>(std::trunc(static_cast<double>(widest) + 0.99));
}
} // namespace Vx
