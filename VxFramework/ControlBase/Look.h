#pragma once

#include "VxFramework/ControlBase/SkinDescriptors.h"
#include "VxFramework/ControlBase/VisualPart.h"
#include "VxFramework/ObjectBase/RefCountedObject.h"
#include "VxFramework/ObjectBase/Result.h"
#include "VxFramework/Utilities/Graphics/CTTypes.h"
#include "VxFramework/Utilities/Graphics/Font.h"
#include "VxFramework/Utilities/Graphics/FontText.h"
#include "VxFramework/Utilities/Graphics/RgnLight.h"
#include "VxFramework/Utilities/Storage/ConstRCPtrArray.h"
#include "VxFramework/Utilities/Storage/StringT.h"
#include "VxFramework/Utilities/Storage/VxArray.h"

#include <cstdint>

namespace Vx
{
class LBitmap;
class LRenderer;
class LStencil;

// The appearance of one state of a control, built from a look descriptor of
// the skin and laid out for the control's size: a client part filling the
// client rectangle, docked parts along the edges and, when the descriptor has
// a text area, the control's text laid out in that area and drawn in the
// colour of the text-foreground part.  The look keeps no reference to its
// control.  User-interface thread only.
//
// A descriptor without a client part lays the look out as if the client
// part's offsets were all 0, draws no client part and shows nothing (0x00ffffff)
// where the other parts show nothing.
class LLook : public virtual LRefCountedObject
{
public:
    LLook();
    ~LLook() override;

    // A new look with the descriptor (see SetDescriptor).
    static VxRESULT Create(const RCPtr<LLookDescriptor>& descriptor, bool wordWrap, RCPtr<LLook>& out);

    // Draw the docked parts, the client part (and the client bitmap), or the
    // text, each limited to the dirty region (in the render context's
    // coordinates), the look's own region when it has one, and the
    // renderer's clip.  The first two return 0.  DrawTextForeground returns 1
    // without a text area, else 0; a text-foreground part that is a bitmap or
    // a gradient throws a domain error once some dirty rectangle meets the
    // text area.  offset is subtracted from every line's position (the
    // control's scroll offset when its text scrolls).
    virtual std::int32_t DrawNonClientParts(const RCPtr<LRenderer>& renderer, const RgnLight& dirty);
    virtual std::int32_t DrawClientPart(const RCPtr<LRenderer>& renderer, const RgnLight& dirty);
    virtual std::int32_t DrawTextForeground(const RCPtr<LRenderer>& renderer, const RgnLight& dirty,
                                            const PointT<double>& offset);

    // Takes the descriptor and the visual parts of its parts: a text object
    // when it has a text area (wrapping as asked, aligned as the descriptor
    // says), none otherwise; then lays everything out again at the current
    // size.  Returns 0; 0x80000003 without a descriptor.  When a visual part
    // cannot be built its domain error passes through and the look keeps
    // what it had.
    VxRESULT SetDescriptor(const RCPtr<LLookDescriptor>& descriptor, bool wordWrap);
    // Lays the look out for the size in whole pixels: the client rectangle
    // from the client part's edge offsets, the docked parts' rectangles and
    // the text area.  Returns 1.
    VxRESULT SetSize(const PointT<std::int32_t>& size);
    // 1 without a text object; 0 when the text is the current one; else the
    // text is stored, its layout discarded, and 1.
    VxRESULT SetText(const StringT<char, unsigned short>& text);
    // 1 without a text object; else whether the font differs from the
    // current one (name, size or style; or only one of them missing).
    VxRESULT SetFont(const RCPtr<LFont>& font);
    // A picture shown in the client rectangle at the resize type, over the
    // client part or, with replacesClientPart, instead of it: returns 0.  A
    // null bitmap removes the picture: 0 when there was one, else 1.
    VxRESULT SetClientBitmap(const RCPtr<LBitmap>& bitmap, std::int32_t resizeType, bool replacesClientPart);
    // The text takes its colour from this part from the next drawing on.
    // Returns 0; 0x80000003 (after an assertion) for a null part.
    VxRESULT SetTextForegroundPart(const RCPtr<LVisualPart>& part);

    // The packed colour (0xAARRGGBB) of the look at a point of its own
    // coordinates: the first docked part that shows something there, else
    // the client bitmap when it does, else the client part's colour.  The
    // parts' runtime errors pass through.
    std::uint32_t GetPixel(const PointT<std::int32_t>& point) const;

    const RCPtr<LLookDescriptor>& GetDescriptor() const noexcept { return mDescriptor; }
    const PointT<std::int32_t>& GetSize() const noexcept { return mSize; }
    // In the look's own coordinates.
    const RectT<std::int32_t>& GetClientRect() const noexcept { return mClientRect; }
    // One per docked part of the descriptor, in its order.
    const Array<RectT<std::int32_t>>& GetNonClientRects() const noexcept { return mNonClientRects; }
    const ConstRCPtrArray<LVisualPart>& GetNonClientParts() const noexcept { return mNonClientParts; }
    const RCPtr<LVisualPart>& GetClientPart() const noexcept { return mClientPart; }
    const RCPtr<LVisualPart>& GetClientBitmapPart() const noexcept { return mClientBitmapPart; }
    const RCPtr<LVisualPart>& GetTextForegroundPart() const noexcept { return mTextForegroundPart; }
    // Null when the descriptor has no text area.
    const RCPtr<LFontText>& GetText() const noexcept { return mText; }
    // The top-left corner of the text area.
    const PointT<std::int32_t>& GetTextOrigin() const noexcept { return mTextOrigin; }
    // When not empty the look paints only inside it (look coordinates).  The
    // control sets it directly.
    RgnLight& GetRegion() noexcept { return mRegion; }
    const RgnLight& GetRegion() const noexcept { return mRegion; }

private:
    // The rectangles to paint: the dirty region, or the part of it inside the
    // look's region moved by the renderer's origin.
    void GetPaintRegion(const RCPtr<LRenderer>& renderer, const RgnLight& dirty, RgnLight& out) const;
    // The clip of one dirty rectangle for a target rectangle: false when
    // nothing of the target is dirty or the renderer's clip misses it.
    static bool GetPaintClip(const RCPtr<LRenderer>& renderer, const RgnLight::Rect& dirtyRect,
                             const RectT<std::int32_t>& target, RectT<double>& clip);
    // Draws every line of the text in the foreground part's colour.
    void DrawTextLines(const RCPtr<LRenderer>& renderer, const LVisualPart& part, const PointT<double>& offset);
    RectT<std::int32_t> GetTextRect() const;

    RCPtr<LLookDescriptor> mDescriptor;
    RCPtr<LVisualPart> mTextForegroundPart;
    PointT<std::int32_t> mSize{0, 0};
    RectT<std::int32_t> mClientRect{0, 0, 0, 0};
    Array<RectT<std::int32_t>> mNonClientRects;
    ConstRCPtrArray<LVisualPart> mNonClientParts;
    RCPtr<LVisualPart> mClientPart;
    RCPtr<LVisualPart> mClientBitmapPart;
    bool mClientBitmapReplaces = false;
    // Passed with the pushes of the client part and the text; reset on every
    // size change.
    RCPtr<LStencil> mStencil;
    RCPtr<LFontText> mText;
    PointT<std::int32_t> mTextOrigin{0, 0};
    RgnLight mRegion;
};
} // namespace Vx
