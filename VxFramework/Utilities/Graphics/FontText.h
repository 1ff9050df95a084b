#pragma once

#include "VxFramework/ObjectBase/RefCountedObject.h"
#include "VxFramework/Utilities/Graphics/CTTypes.h"
#include "VxFramework/Utilities/Graphics/Font.h"
#include "VxFramework/Utilities/Storage/ArrayUtils.h"
#include "VxFramework/Utilities/Storage/StringT.h"
#include "VxFramework/Utilities/Storage/VxArray.h"

#include <cstdint>

namespace Vx
{
class LMeasurementRenderer;

// A text laid out for a box: split into lines at line ends (and by word wrap
// when enabled), each line placed by the horizontal and vertical alignment
// factors (0 left or top, 0.5 centred, 1 right or bottom).  The layout is made
// on demand with the application's measurement renderer and kept until a
// setter changes something it depends on.  Main thread only.
class LFontText : public virtual LRefCountedObject
{
public:
    using Text = StringT<char, unsigned short>;
    using Lines = StringArrayT<char, unsigned short>;

    LFontText(const Text& text, const RCPtr<LFont>& font);
    ~LFontText() override;

    const Text& GetText() const noexcept { return mText; }
    const RCPtr<LFont>& GetFont() const noexcept { return mFont; }
    float GetHorizontalAlignment() const noexcept { return mHorizontalAlignment; }
    float GetVerticalAlignment() const noexcept { return mVerticalAlignment; }
    bool GetWordWrap() const noexcept { return mWordWrap; }
    PointT<std::int32_t> GetBoxSize() const noexcept { return PointT<std::int32_t>{mBoxWidth, mBoxHeight}; }

    void SetText(const Text& text);
    void SetFont(const RCPtr<LFont>& font);
    void SetHorizontalAlignment(float factor);
    void SetVerticalAlignment(float factor);
    void SetWordWrap(bool wordWrap);
    void SetBoxSize(const PointT<std::int32_t>& size);

    // The number of laid-out lines.
    std::uint32_t GetLineCount();
    // Empty (after an assertion) for a line that does not exist.
    Text GetLineText(std::uint32_t index);
    // Empty (after an assertion) for a line that does not exist.
    RectT<float> GetLineRect(std::uint32_t index);
    // The size of the smallest rectangle holding the origin and every line.
    PointT<std::int32_t> GetTextSize();
    // The height the text would take at the width: the font's height per line.
    std::int32_t GetWrappedHeight(std::int32_t width);
    // The widest line ending of the unwrapped text, rounded up.
    std::int32_t GetMaxLineWidth();

    // The text broken into lines no wider than width where breaks allow.
    void WrapLines(const RCPtr<LMeasurementRenderer>& renderer, std::int32_t width, Lines& lines) const;
    // How many leading bytes of text go on a line of the width: a break falls
    // before the last space that lets the rest fit, or just after a hyphen; a
    // word too wide for the line stays whole.
    std::int32_t FindBreak(const RCPtr<LMeasurementRenderer>& renderer, float width, const Text& text) const;
    // Places every line in the box.
    void LayoutLines(const RCPtr<LMeasurementRenderer>& renderer);

private:
    // Forgets the layout.
    void Invalidate();
    // The width of the text on one line, its left offset folded in.
    float MeasureWidth(const RCPtr<LMeasurementRenderer>& renderer, const Text& text) const;
    RectT<float> Measure(const RCPtr<LMeasurementRenderer>& renderer, const Text& text) const;
    std::int32_t GetFontHeight() const;

    Text mText;
    RCPtr<LFont> mFont;
    float mHorizontalAlignment = 0.0f;
    float mVerticalAlignment = 0.0f;
    bool mWordWrap = false;
    std::int32_t mBoxWidth = 0;
    std::int32_t mBoxHeight = 0;
    Lines mLines;
    Array<RectT<float>> mLineRects;
};
} // namespace Vx
