#pragma once

#include "VxFramework/ObjectBase/RefCountedObject.h"
#include "VxFramework/ObjectBase/Result.h"
#include "VxFramework/Utilities/Graphics/CTTypes.h"
#include "VxFramework/Utilities/Storage/StringT.h"

#include <cstdint>

namespace Vx
{
class LControl;

// What an axis's position is measured from.
struct PositionReference
{
    enum : std::int32_t
    {
        Parent = 0,       // "Parent", "Screen": the parent's whole rectangle
        Client = 1,       // "Client", "Active Window": the parent's client area
        NamedControl = 2, // any other word: the sibling of that name
    };
    // The value of a skin word; for NamedControl the word is the name.
    static std::int32_t FromWord(const StringT<char, unsigned short>& word);
};

// What an axis's size (its far edge) is measured from.
struct SizeReference
{
    enum : std::int32_t
    {
        Parent = 0,       // "Parent", "Screen"
        Client = 1,       // "Client", "Active Window"
        Self = 2,         // "Self": the Abs term is the size
        NamedControl = 3, // any other word: the sibling of that name
    };
    static std::int32_t FromWord(const StringT<char, unsigned short>& word);
};

// What a minimum or maximum size is measured from.
struct LimitReference
{
    enum : std::uint8_t
    {
        Self = 0,         // "Self": the Abs term is the limit
        NamedControl = 1, // any other word: a child of that name, or "Children"
    };
    static std::uint8_t FromWord(const StringT<char, unsigned short>& word);
};

// What happens when a control's text does not fit its text area.
struct TextOverflowType
{
    enum : std::int32_t
    {
        Clip = 0,   // "Clip"
        Expand = 1, // "Expand": the control grows to the text
        Wrap = 2,   // "Wrap" (X only): the text wraps
    };
    // -1 for a word that names no type.
    static std::int32_t FromWord(const StringT<char, unsigned short>& word);
};

// Where a control sits and how large it is, per axis and relative to its
// parent, its parent's client area, itself or a named sibling; its size
// limits, text overflow, visibility and the orders among its siblings.  Read
// from the skin or set by the control's placement operations.  Lengths are
// pixels.  The fields carry the names of the skin's attributes.
class LLayoutDescriptor : public virtual LRefCountedObject
{
public:
    using Text = StringT<char, unsigned short>;

    // One axis's position, as the placement operations read and write it.
    struct PositionSpec
    {
        float anchor = 0.0f;
        std::int32_t reference = PositionReference::Client;
        Text controlName;
        float rel = 0.0f;
        double abs = 0.0;
        bool docked = false;

        // Names count only for a named reference; numbers compare exactly.
        bool operator==(const PositionSpec& other) const;
        bool operator!=(const PositionSpec& other) const { return !(*this == other); }
    };

    struct SizeSpec
    {
        std::int32_t reference = SizeReference::Self;
        Text controlName;
        float rel = 0.0f;
        double abs = 0.0;

        bool operator==(const SizeSpec& other) const;
        bool operator!=(const SizeSpec& other) const { return !(*this == other); }
    };

    // A minimum or a maximum.
    struct LimitSpec
    {
        std::uint8_t reference = LimitReference::Self;
        Text controlName;
        float rel = 0.0f;
        double abs = 0.0;

        bool operator==(const LimitSpec& other) const;
        bool operator!=(const LimitSpec& other) const { return !(*this == other); }
    };

    // A default control: 16 wide and 40 high at the client area's origin.
    LLayoutDescriptor();
    LLayoutDescriptor(const LLayoutDescriptor& other);
    LLayoutDescriptor& operator=(const LLayoutDescriptor&) = delete;
    ~LLayoutDescriptor() override;

    // A new descriptor with every field copied; the two are independent.
    void Clone(RCPtr<LLayoutDescriptor>& out) const;

    // Axis 0 is X, 1 is Y; any other axis logs an assertion and reads X (the
    // setters write nothing).
    PositionSpec GetPositionSpec(int axis) const;
    SizeSpec GetSizeSpec(int axis) const;
    LimitSpec GetMinimumSpec(int axis) const;
    LimitSpec GetMaximumSpec(int axis) const;
    VxRESULT SetPositionSpec(int axis, const PositionSpec& spec);
    VxRESULT SetSizeSpec(int axis, const SizeSpec& spec);
    VxRESULT SetMinimumSpec(int axis, const LimitSpec& spec);
    VxRESULT SetMaximumSpec(int axis, const LimitSpec& spec);
    bool IsDockedOn(int axis) const;
    std::int32_t GetTextOverflowType(int axis) const;

    // Exchanges every field of the two.  With keep, each keeps its
    // visibility, its enabled flag, every Abs term, its text decoration and
    // its two text overflow types.
    static void SwapContents(LLayoutDescriptor& a, LLayoutDescriptor& b, bool keep);
    // Every reference to a control named oldName (positions, sizes, limits)
    // names newName instead.
    void RenameControlReferences(const Text& oldName, const Text& newName);

    // Sibling orders, as three-way comparisons (negative: a first).  Equal
    // keys compare 0: the caller keeps the insertion order for them.
    // Tab order: TabStop ascending.
    static int CompareTabOrder(const LLayoutDescriptor& a, const LLayoutDescriptor& b);
    // Paint order: clipping to the parent before not clipping, then fewer
    // docked axes, then Z_Order ascending.
    static int CompareZOrder(const LLayoutDescriptor& a, const LLayoutDescriptor& b);

    bool ClipToParent = true;
    std::int32_t Z_Order = 0;
    // A negative value makes the control not focusable.
    std::int32_t TabStop = 0;
    bool IsVisible = true;
    bool IsEnabled = true;
    // A docked axis does not scroll with the parent's content.
    bool XIsDocked = false;
    bool YIsDocked = false;

    // Fraction of the width at which the X position point lies: 0 left edge,
    // 0.5 centre, 1 right edge.
    float XPlacementAnchor = 0.0f;
    std::int32_t XPositionReference = PositionReference::Client;
    Text XPositionControlName;
    float XPositionRel = 0.0f;
    double XPositionAbs = 0.0;
    float YPlacementAnchor = 0.0f;
    std::int32_t YPositionReference = PositionReference::Client;
    Text YPositionControlName;
    float YPositionRel = 0.0f;
    double YPositionAbs = 0.0;

    std::int32_t XSizeReference = SizeReference::Self;
    Text XSizeControlName;
    float XSizeRel = 0.0f;
    double XSizeAbs = 16.0;
    std::int32_t YSizeReference = SizeReference::Self;
    Text YSizeControlName;
    float YSizeRel = 0.0f;
    double YSizeAbs = 40.0;

    std::uint8_t XMinSizeReference = LimitReference::Self;
    Text XMinSizeControlName;
    float XMinSizeRel = 0.0f;
    double XMinSizeAbs = 0.0;
    std::uint8_t YMinSizeReference = LimitReference::Self;
    Text YMinSizeControlName;
    float YMinSizeRel = 0.0f;
    double YMinSizeAbs = 0.0;

    // With Self, an Abs term of 0 means no maximum.
    std::uint8_t XMaxSizeReference = LimitReference::Self;
    Text XMaxSizeControlName;
    float XMaxSizeRel = 0.0f;
    double XMaxSizeAbs = 0.0;
    std::uint8_t YMaxSizeReference = LimitReference::Self;
    Text YMaxSizeControlName;
    float YMaxSizeRel = 0.0f;
    double YMaxSizeAbs = 0.0;

    // Kept and copied; nothing in the control base reads it.
    Text TextDecoration;
    std::int32_t TextOverflowXType = TextOverflowType::Clip;
    std::int32_t TextOverflowYType = TextOverflowType::Clip;
    // Orders sibling descriptors when a skin is read.
    std::int32_t LayoutOrder = 0;
};

// The rectangle of a control from its layout, in its parent's client
// coordinates, with edges on whole pixels.  The reference control is the
// parent; for a top-level control it is null and the outer rectangle (the
// screen in window-client coordinates), the client extent (the window's
// client size) and the free origin (the pointer) stand in for it.  0, or
// 0x80000003 for a null descriptor (out is not written then).
VxRESULT CalcRectangle(const RCPtr<LLayoutDescriptor>& descriptor, const RCPtr<LControl>& reference,
                       const RectT<double>& outerRectangle, const PointT<double>& clientExtent,
                       const PointT<double>& freeOrigin, RectT<double>& out);
} // namespace Vx
