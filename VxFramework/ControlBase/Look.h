#pragma once

#include "VxFramework/ControlBase/SkinDescriptors.h"
#include "VxFramework/ObjectBase/RefCountedObject.h"
#include "VxFramework/ObjectBase/Result.h"
#include "VxFramework/Utilities/Graphics/CTTypes.h"
#include "VxFramework/Utilities/Graphics/Font.h"
#include "VxFramework/Utilities/Graphics/FontText.h"
#include "VxFramework/Utilities/Storage/StringT.h"

#include <cstdint>

namespace Vx
{
// The appearance of one state of a control, built from a look descriptor of
// the skin and laid out for the control's size: the client rectangle that its
// client part fills and, when the descriptor has a text area, the control's
// text laid out in that area.  Layout only; the look keeps no reference to its
// control.  User-interface thread only.
class LLook : public virtual LRefCountedObject
{
public:
    LLook();
    ~LLook() override;

    // A new look with the descriptor (see SetDescriptor).
    static VxRESULT Create(const RCPtr<LLookDescriptor>& descriptor, bool wordWrap, RCPtr<LLook>& out);

    // Takes the descriptor: a text object when it has a text area (wrapping
    // as asked, aligned as the descriptor says), none otherwise; then lays
    // everything out again at the current size.  Returns 0.
    VxRESULT SetDescriptor(const RCPtr<LLookDescriptor>& descriptor, bool wordWrap);
    // Lays the look out for the size in whole pixels: the client rectangle
    // from the client part's edge offsets and the text area.  Returns 1.
    VxRESULT SetSize(const PointT<std::int32_t>& size);
    // 1 without a text object; 0 when the text is the current one; else the
    // text is stored, its layout discarded, and 1.
    VxRESULT SetText(const StringT<char, unsigned short>& text);
    // 1 without a text object; else whether the font differs from the
    // current one (name, size or style; or only one of them missing).
    VxRESULT SetFont(const RCPtr<LFont>& font);

    const RCPtr<LLookDescriptor>& GetDescriptor() const noexcept { return mDescriptor; }
    const PointT<std::int32_t>& GetSize() const noexcept { return mSize; }
    // In the look's own coordinates.
    const RectT<std::int32_t>& GetClientRect() const noexcept { return mClientRect; }
    // Null when the descriptor has no text area.
    const RCPtr<LFontText>& GetText() const noexcept { return mText; }
    // The top-left corner of the text area.
    const PointT<std::int32_t>& GetTextOrigin() const noexcept { return mTextOrigin; }

private:
    RCPtr<LLookDescriptor> mDescriptor;
    PointT<std::int32_t> mSize{0, 0};
    RectT<std::int32_t> mClientRect{0, 0, 0, 0};
    RCPtr<LFontText> mText;
    PointT<std::int32_t> mTextOrigin{0, 0};
};
} // namespace Vx
