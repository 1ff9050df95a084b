#pragma once

#include "VxFramework/ControlBase/Colorizer.h"
#include "VxFramework/ControlBase/LayoutDescriptor.h"
#include "VxFramework/ControlBase/StringTable.h"
#include "VxFramework/ControlBase/VisualPart.h"
#include "VxFramework/ObjectBase/RefCountedObject.h"
#include "VxFramework/ObjectBase/Result.h"
#include "VxFramework/Utilities/Graphics/CTTypes.h"
#include "VxFramework/Utilities/Storage/RCPtrArray.h"
#include "VxFramework/Utilities/Storage/StringT.h"

#include <cstdint>

// The in-memory model of the skin file: which controls exist (a tree of
// control descriptors per skin), where they sit (a layout descriptor each),
// how they are configured (create parameters) and how they look (looks made of
// docked visual parts, visual parts made of images, masks and colorizers, a
// text area).  The skin reader builds it and the control factory owns it for
// the whole run.  Looks, visual parts, colorizers and look lists are defined
// once by name and shared by reference; every skin has its own tree of control
// descriptors.
//
// Once loaded, descriptors do not change, with two exceptions: a control
// descriptor caches its resolved creator, and a top-level control is always
// created visible.  Whoever needs to change a layout works on a clone of it.

namespace Vx
{
class LControl;
class LControlDescriptor;
class LLookDescriptor;
class LVisualPartDescriptor;

using LookList = LRCPtrArray<LLookDescriptor>;

// The creator of a control class: constructs the control under the parent
// (which may be null) and runs the creation steps with the descriptor.
using ControlCreator = RCPtr<LControl> (*)(const RCPtr<LControl>& parent, const RCPtr<LControlDescriptor>& descriptor);

// An image file and the rectangle of it that is used; an empty file is no
// image.
struct BitmapSource
{
    StringT<char, unsigned short> file;
    std::int32_t x = 0;
    std::int32_t y = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
};

// Where a docked part sits against the edges of a control.  Edge mask: 1
// left, 2 top, 4 right, 8 bottom, set for each offset that is given; offsets
// of the other edges are 0.  Width and height count only when flagged.
struct DockInfo
{
    static constexpr std::uint32_t kLeft = 1;
    static constexpr std::uint32_t kTop = 2;
    static constexpr std::uint32_t kRight = 4;
    static constexpr std::uint32_t kBottom = 8;

    std::uint32_t edgeMask = 0;
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;
    bool hasWidth = false;
    std::int32_t width = 0;
    bool hasHeight = false;
    std::int32_t height = 0;
};

// One visual part of the skin: an image, a colour fill or both, with its
// natural size and how it fills a larger area.  The drawable part is built on
// first request and kept while anybody else holds it.
class LVisualPartDescriptor : public virtual LRefCountedObject
{
public:
    using Text = StringT<char, unsigned short>;

    enum ResizeType : std::int32_t
    {
        kStretch = 0,
        kTile = 1,
        kCenter = 2,
    };

    // With an image, the size is the image rectangle's (an assertion first
    // when the given size differs).  A mask whose rectangle differs in size
    // from the part logs an assertion.
    LVisualPartDescriptor(const Text& name, const BitmapSource& image, const PointT<std::int32_t>& size,
                          std::int32_t resizeType, const RCPtr<LColorizer>& colorizer, float alphaModulation,
                          const BitmapSource& mask);
    ~LVisualPartDescriptor() override;

    const Text& GetName() const noexcept { return mName; }
    const BitmapSource& GetImage() const noexcept { return mImage; }
    const PointT<std::int32_t>& GetSize() const noexcept { return mSize; }
    std::int32_t GetResizeType() const noexcept { return mResizeType; }
    const RCPtr<LColorizer>& GetColorizer() const noexcept { return mColorizer; }
    // 1.0 when the skin gives none.
    float GetColorizerAlphaModulation() const noexcept { return mAlphaModulation; }
    const BitmapSource& GetMask() const noexcept { return mMask; }

    // The drawable part, built when there is none: from the image (and mask)
    // files, or a colour part when there is no image file.  Null without
    // image and colorizer, and (after an assertion) when an image or mask
    // file gives no picture.  The construction's domain error (colorizer,
    // image and mask together) passes to the caller, and nothing is cached.
    RCPtr<LVisualPart> GetVisualPart();
    // Takes the cached part out when it is that part; null, and the cache
    // untouched, otherwise.  For the part's clean-up.
    RCPtr<LVisualPart> TakeVisualPart(const LVisualPart* part) noexcept;

private:
    Text mName;
    BitmapSource mImage;
    PointT<std::int32_t> mSize;
    std::int32_t mResizeType;
    RCPtr<LColorizer> mColorizer;
    float mAlphaModulation;
    BitmapSource mMask;
    // Holds the part while anybody else does: the part's descriptor reference
    // closes a cycle, which the part's contained-reference count marks.
    RCPtr<LVisualPart> mVisualPart;
};

// A visual part placed against the edges of a control.
class LDockedPart : public virtual LRefCountedObject
{
public:
    // An edge mask above 15 logs an assertion and is kept.
    LDockedPart(const RCPtr<LVisualPartDescriptor>& part, const DockInfo& dock);
    ~LDockedPart() override;

    const RCPtr<LVisualPartDescriptor>& GetPart() const noexcept { return mPart; }
    const DockInfo& GetDock() const noexcept { return mDock; }

private:
    RCPtr<LVisualPartDescriptor> mPart;
    DockInfo mDock;
};

// One look: the part of the client area, the docked parts around it and the
// text area.
class LLookDescriptor : public virtual LRefCountedObject
{
public:
    using Text = StringT<char, unsigned short>;

    // Each edge of the text area is a fraction of the look's extent plus
    // pixels; the alignments place the text in the area (0 left or top).
    struct TextArea
    {
        float leftRel = 0.0f;
        std::int32_t leftAbs = 0;
        float rightRel = 0.0f;
        std::int32_t rightAbs = 0;
        float horizontalAlignment = 0.0f;
        float topRel = 0.0f;
        std::int32_t topAbs = 0;
        float bottomRel = 0.0f;
        std::int32_t bottomAbs = 0;
        float verticalAlignment = 0.0f;
    };

    explicit LLookDescriptor(const Text& name);
    ~LLookDescriptor() override;

    // A new look without parts or text area; null when it cannot be made.
    static RCPtr<LLookDescriptor> Create(const Text& name);

    const Text& GetName() const noexcept { return mName; }
    // Null when the look has none.
    const RCPtr<LDockedPart>& GetClientPart() const noexcept { return mClientPart; }
    // In declaration order.
    const RCPtrArray<LDockedPart>& GetNonClientParts() const noexcept { return mNonClientParts; }
    bool HasTextArea() const noexcept { return mHasTextArea; }
    // Counts only when HasTextArea.
    const TextArea& GetTextArea() const noexcept { return mTextArea; }
    // The part whose colour the text takes.
    const RCPtr<LVisualPartDescriptor>& GetTextForegroundPart() const noexcept { return mTextForegroundPart; }

    // For the skin reader, while it reads the look.
    void SetClientPart(const RCPtr<LDockedPart>& part) { mClientPart = part; }
    VxRESULT AddNonClientPart(const RCPtr<LDockedPart>& part);
    // The text area counts from here on, drawn with the foreground part.
    void SetTextArea(const TextArea& area, const RCPtr<LVisualPartDescriptor>& foregroundPart);

private:
    Text mName;
    RCPtr<LDockedPart> mClientPart;
    RCPtrArray<LDockedPart> mNonClientParts;
    bool mHasTextArea = false;
    TextArea mTextArea;
    RCPtr<LVisualPartDescriptor> mTextForegroundPart;
};

// A skin, or the skin of one control: its looks by look index and its font.
class LSkinDescriptor : public virtual LRefCountedObject
{
public:
    using Text = StringT<char, unsigned short>;

    explicit LSkinDescriptor(const Text& name) : name(name) {}
    ~LSkinDescriptor() override = default;

    Text name;
    // Null when the skin names none; entries may be null.
    RCPtr<LookList> lookList;
    // The control takes its parent's font.
    bool fontInheritsFromParent = false;
    // The size is relative to the parent's font.
    bool fontSizeIsRelative = false;
    // Empty: not given.
    Text fontName;
    // 0: not given (sizes below 1.0 are not used).
    float fontSize = 0.0f;
    // 1 bold, 2 italic, 4 underlined; -1: not given.
    std::int32_t fontStyle = -1;
};

// One control instance of a skin.
class LControlDescriptor : public virtual LRefCountedObject
{
public:
    using Text = StringT<char, unsigned short>;

    // Orders descriptors by their layouts' LayoutOrder, ascending (a missing
    // layout counts as 0).
    struct LayoutLessFunctor
    {
        bool operator()(const RCPtr<LControlDescriptor>& a, const RCPtr<LControlDescriptor>& b) const;
    };

    // Children empty; skin, layout, create parameters and creator null.
    LControlDescriptor(const Text& className, const Text& name, LControlDescriptor* parent);
    ~LControlDescriptor() override;

    // A new descriptor like the template, named name (the template's name
    // when empty), sharing the template's children, skin, layout and create
    // parameters and its cached creator.  Null (after an assertion) without
    // a template.
    static RCPtr<LControlDescriptor> Clone(const RCPtr<LControlDescriptor>& templateDescriptor, const Text& name);
    // A clone named name with its own layout; the template keeps its layout.
    static RCPtr<LControlDescriptor> Create(const RCPtr<LControlDescriptor>& templateDescriptor, const Text& name,
                                            const RCPtr<LLayoutDescriptor>& layout);

    // Orders the children by layout order; equal orders keep their order of
    // declaration.  Returns 0.
    VxRESULT SortChildren();

    // The registered control class, "Application" for a skin's root.
    const Text& GetClassName() const noexcept { return mClassName; }
    const Text& GetName() const noexcept { return mName; }
    // Null for a root.
    LControlDescriptor* GetParent() const noexcept { return mParent; }
    const RCPtrArray<LControlDescriptor>& GetChildren() const noexcept { return mChildren; }
    // Null until a skin is given.
    const RCPtr<LSkinDescriptor>& GetSkin() const noexcept { return mSkin; }
    const RCPtr<LLayoutDescriptor>& GetLayout() const noexcept { return mLayout; }
    // Null when the control has none.
    const RCPtr<LStringTable>& GetCreateParams() const noexcept { return mCreateParams; }
    // Null until the factory resolved it.
    ControlCreator GetCreator() const noexcept { return mCreator; }
    // The factory caches the creator it resolved.
    void SetCreator(ControlCreator creator) noexcept { mCreator = creator; }

    // For the skin reader, while it reads the control.
    VxRESULT AddChild(const RCPtr<LControlDescriptor>& child);
    void SetSkin(const RCPtr<LSkinDescriptor>& skin) { mSkin = skin; }
    void SetLayout(const RCPtr<LLayoutDescriptor>& layout) { mLayout = layout; }
    void SetCreateParams(const RCPtr<LStringTable>& createParams) { mCreateParams = createParams; }

private:
    Text mClassName;
    Text mName;
    LControlDescriptor* mParent;
    RCPtrArray<LControlDescriptor> mChildren;
    RCPtr<LSkinDescriptor> mSkin;
    RCPtr<LLayoutDescriptor> mLayout;
    RCPtr<LStringTable> mCreateParams;
    ControlCreator mCreator = nullptr;
};
} // namespace Vx
