#pragma once

#include "VxFramework/ControlBase/ControlParams.h"
#include "VxFramework/ControlBase/LayoutDescriptor.h"
#include "VxFramework/ControlBase/Look.h"
#include "VxFramework/ControlBase/SkinDescriptors.h"
#include "VxFramework/ControlBase/StringTable.h"
#include "VxFramework/ControlBase/UITarget.h"
#include "VxFramework/Controls/MenuDescriptor.h"
#include "VxFramework/Notification/NotificationClient.h"
#include "VxFramework/Notification/NotificationDistributor.h"
#include "VxFramework/Notification/NotificationHandler.h"
#include "VxFramework/ObjectBase/Result.h"
#include "VxFramework/ObjectBase/TaggableObject.h"
#include "VxFramework/Renderer/RenderState.h"
#include "VxFramework/System/HotKeyManager.h"
#include "VxFramework/Utilities/Graphics/CTTypes.h"
#include "VxFramework/Utilities/Graphics/Font.h"
#include "VxFramework/Utilities/Graphics/RgnLight.h"
#include "VxFramework/Utilities/Storage/ArrayBuffer.h"
#include "VxFramework/Utilities/Storage/RCPtrArray.h"
#include "VxFramework/Utilities/Storage/StringT.h"

#include <cstdint>

namespace juce
{
class MouseCursor;
} // namespace juce

namespace Vx
{
class LControl;
class LNotificationCenter;
class LRenderer;
class LRootWindow;

// The steps a creator runs on the control it has just constructed under its
// parent: ApplyDescriptor, CreateChildren, Initialize and OnCreated, each
// always run (a failing step logs an assertion), then the control counts as
// created.  Returns the control.
RCPtr<LControl> CompleteControlCreation(const RCPtr<LControl>& control, const RCPtr<LControlDescriptor>& descriptor);

// Holds the control that a menu belongs to, so that the menu can ask it for
// the state of its items.  The control counts this back reference as its own
// and clears it when its tree is torn down.
class LMenuItemUpdater : public virtual LRefCountedObject
{
public:
    explicit LMenuItemUpdater(const RCPtr<LControl>& control);
    ~LMenuItemUpdater() override;

    const RCPtr<LControl>& GetControl() const noexcept { return mControl; }
    void ClearControl();

private:
    RCPtr<LControl> mControl;
};

// The base of every control and view: a distributor its children and owners
// register with, and a client of the distributors it listens to.  A control
// owns its children, its layout (a clone of its descriptor's) and its looks;
// its bounds are doubles in its parent's content coordinates.
//
// Frames: the own frame has its origin at the control's top-left corner; the
// client area is the current look's client rectangle (the whole control
// without look); content coordinates start at the client origin minus the
// scroll offset, and the children's bounds are given in them.
//
// A control is constructed (added to its parent), described (ApplyDescriptor),
// populated (CreateChildren), initialised (Initialize) and created
// (OnCreated); only a created control dispatches notifications, and applying
// a descriptor to a created control re-skins it in place.  Control trees are
// used on the user-interface thread only.
class LControl : public UITarget, public LNotificationDistributor, public LNotificationClient, public LTaggableObject
{
public:
    using Text = StringT<char, unsigned short>;

    // The condition mask.
    static constexpr std::uint32_t kHasFocus = 0x1;
    static constexpr std::uint32_t kContainsFocus = 0x2;
    static constexpr std::uint32_t kHover = 0x4;
    static constexpr std::uint32_t kCapture = 0x8;
    static constexpr std::uint32_t kLeftPressed = 0x10;
    static constexpr std::uint32_t kMiddlePressed = 0x20;
    static constexpr std::uint32_t kRightPressed = 0x40;
    static constexpr std::uint32_t kLeftDragging = 0x80;
    static constexpr std::uint32_t kMiddleDragging = 0x100;
    static constexpr std::uint32_t kRightDragging = 0x200;
    static constexpr std::uint32_t kEnabled = 0x400;
    static constexpr std::uint32_t kVisible = 0x800;
    static constexpr std::uint32_t kHoverOrHighlight = 0x1000;

    // A control's children in insertion order, and in the two sibling orders
    // of their layouts, sorted again on the first ordered access after a
    // change.  Each child holds its parent; the parent counts that reference
    // as contained.
    class ChildControlList
    {
    public:
        enum Order
        {
            kInsertionOrder = 0,
            kZOrder = 1,
            kTabOrder = 2,
        };

        explicit ChildControlList(LControl* owner) : mOwner(owner) {}
        virtual ~ChildControlList();
        ChildControlList(const ChildControlList&) = delete;
        ChildControlList& operator=(const ChildControlList&) = delete;

        std::uint32_t GetCount() const noexcept { return mChildren.GetCount(); }
        // An index at or past the count, or an unknown order, throws the
        // framework's runtime error.
        const RCPtr<LControl>& GetAt(std::uint32_t index, int order) const;
        // The index in the order; -1 when not a child.
        std::int32_t IndexOf(const RCPtr<LControl>& child, int order) const;
        // Null: 0x80000003.  A child of the same name already present: an
        // assertion and 0x80000008.  A control that already has a parent, or
        // that would become its own ancestor: an assertion and 0x80000003.
        VxRESULT Add(const RCPtr<LControl>& child);
        // The same for a control under construction, which no smart pointer
        // holds yet: nothing here takes and drops a reference to it.
        VxRESULT Add(LControl* child);
        // The child's former insertion index, -1 when it is not a child.  The
        // owner hears of it through OnChildRemoved.
        std::int32_t Remove(const RCPtr<LControl>& child);
        // Last to first.
        void RemoveAll();
        // Copies the children out (insertion order), then RemoveAll.
        void TakeAll(RCPtrArray<LControl>& out);
        // 0 renamed; 1 the same name; an assertion and 0x80000008 when a
        // sibling has the name, 0x80000003 when not a child.  Later siblings'
        // layouts that named the child follow the new name.
        VxRESULT RenameChild(const RCPtr<LControl>& child, const Text& name);
        // The controls at the two insertion indices exchange their names,
        // their places and their layouts' contents (with keep, each layout
        // keeps what LLayoutDescriptor::SwapContents keeps).  0x80000003 for
        // an index out of range; 0x80000008 (after an assertion) when either
        // has no layout.
        VxRESULT SwapChildren(std::int32_t a, std::int32_t b, bool keep);
        // The sibling orders are sorted again on the next ordered access.
        void Invalidate() noexcept { ++mModificationCount; }

    private:
        void SortIfChanged() const;

        RCPtrArray<LControl> mChildren;
        mutable ArrayBuffer<std::uint32_t> mTabOrder;
        mutable ArrayBuffer<std::uint32_t> mZOrder;
        std::int32_t mModificationCount = 1;
        mutable std::int32_t mSortedAt = 0;
        LControl* mOwner;
    };

    // A control named name, added to the parent's children when there is a
    // parent (a second child of the same name is refused with an assertion),
    // with the per-instance create parameters the factory holds for it.
    LControl(const RCPtr<LControl>& parent, const Text& name);
    ~LControl() override;

    // ---- Virtual operations ------------------------------------------------
    // The input operations, first and in this order (the root window's
    // interface).

    VxRESULT OnPointerEnter() override;
    VxRESULT OnPointerMove(const RCPtr<LPointWithModifiersParam>& param) override;
    VxRESULT OnPointerDown(const RCPtr<LMouseButtonParam>& param) override;
    VxRESULT OnPointerUp(const RCPtr<LMouseButtonParam>& param) override;
    VxRESULT OnPointerLeave() override;
    VxRESULT BeginCapture(std::int32_t button, const PointT<int>& point) override;
    // Not captured: an assertion and 1.  Clears the capture and every pressed
    // and dragging flag and tells the root window.
    VxRESULT OnCaptureLost() override;
    VxRESULT OnKey(const RCPtr<LKeyParam>& key) override;
    VxRESULT OnMouseWheel(const RCPtr<LMouseWheelParam>& param) override;
    VxRESULT OnMouseWheelHorizontal(const RCPtr<LMouseWheelParam>& param) override;
    // RecalcLayout; 0.
    VxRESULT OnWindowResized() override;
    // Asked before the focus moves away; true accepts.
    bool Validate(bool forward) override;
    // Gives up the focus, or the focus inside it; 1.
    VxRESULT OnFocusLost() override;
    // 0 changed, 1 unchanged.
    virtual VxRESULT SetText(const Text& text);
    // Clamped to 0..1 (an assertion outside); a change sends
    // NID_VALUE_CHANGE.  The stored value.
    virtual double SetValue(double normalized);
    virtual VxRESULT OnValueChanged() { return VXR_OK; }
    // Scale 0 linear with any range, 1 logarithmic with both ends above 0;
    // anything else: an assertion and 0x80000003.
    virtual VxRESULT SetValueRange(std::int32_t scale, double minimum, double maximum);
    virtual VxRESULT OnBoundsChanging();
    virtual VxRESULT OnBoundsChanged();
    virtual VxRESULT OnScrollOffsetChanged(const PointT<double>& oldOffset, const PointT<double>& newOffset);
    virtual VxRESULT InvalidateChild(const RCPtr<LControl>& child);
    // The size with automatic sizing on both axes: only the minimum limits
    // (text fit, children) give it.
    virtual PointT<double> GetAutoSize();
    // The Abs terms of minimums that refer to the control itself; 0 (after an
    // assertion) for an axis whose minimum refers to another control.
    virtual PointT<double> GetMinimumSize();
    // The new flag.
    virtual bool SetClipToParent(bool clip);
    // Rounded half away from zero; a change is announced once with
    // NID_SCROLL_OFFSET_CHANGE.  The offset now in effect.
    virtual PointT<double> SetScrollOffset(const PointT<double>& offset);
    virtual RCPtr<LStringTable> GetCreateParams() { return m_createParams; }
    virtual bool IsEditTarget(std::int32_t /*editKind*/) { return false; }
    // This control when it is an edit target of the kind, else the parent's
    // answer, else null.
    virtual RCPtr<LControl> FindEditTarget(std::int32_t editKind);
    // Edit targets override these two.
    virtual bool CanPerformEdit(std::int32_t editKind);
    virtual VxRESULT PerformEdit(std::int32_t editKind);
    // Unbounded: (0, 0, 2^52, 2^52).
    virtual RectT<double> GetScrollBounds();
    // Takes the focus or passes it on to a child.  0x80000008 when the
    // focused control refuses to let it go.
    virtual VxRESULT SetFocus(bool forward);
    virtual VxRESULT SetNotFocusable(bool notFocusable);
    // Whether the focus given to this control goes on to a child.
    virtual bool FocusFirstFocusable();
    // Called on every change of the conditions.
    virtual VxRESULT OnActivate(const RCPtr<LConditionsParam>& /*conditions*/) { return VXR_OK; }
    // Hides the control and takes it out of its tree (or from its root
    // window), releasing its idle requests.
    virtual VxRESULT Detach();
    // Registers the idle handlers of this control and of every descendant
    // that asked for idle time with the top control's root window.
    virtual VxRESULT RegisterIdleHandlers();
    virtual VxRESULT OnChildRemoved(const RCPtr<LControl>& /*child*/, std::int32_t /*formerIndex*/) { return VXR_OK; }
    // Visible with the ancestors.
    virtual bool SetVisible(bool visible);
    // True when no look with a weight above 0 shows anything at the point
    // (own frame); true without looks.
    virtual bool IsTransparentAt(const PointT<std::int32_t>& point);
    // The packed colour of GetLook(index) at the point (own frame);
    // 0x00ffffff without that look.  The base ignores the weight, which
    // blending controls may use.
    virtual std::uint32_t GetLookPixel(const PointT<std::int32_t>& point, std::int32_t index, float weight);
    // 1: not handled.
    virtual VxRESULT HandleEditRequest(std::int32_t /*request*/) { return VXR_NOTHING_DONE; }
    // Shows the look alone.
    virtual VxRESULT SetLook(std::int32_t index);
    // Appends the look with weight 0; its index.
    virtual std::int32_t AddLook(const RCPtr<LLook>& look);
    // A top control that wants its root window to take a changed rectangle
    // changes it and returns true.
    virtual bool AdjustRootWindowRect(RectT<int>& /*rectangle*/) { return false; }
    virtual VxRESULT SetEnabled(bool enabled);
    // First application to a new control, or re-application (a new skin) to
    // a created one: keeps the visibility and the enabled flag and re-attaches
    // the children by name.  A null descriptor, or one without layout or
    // skin, is refused with an assertion (0x80000003, 0x80000008).
    virtual VxRESULT ApplyDescriptor(const RCPtr<LControlDescriptor>& descriptor);
    // The rectangle (own frame) towards the root window's dirty region.
    virtual VxRESULT InvalidateRect(const RectT<double>& rectangle, bool clip);
    // 0 reached the root window; 1 clipped away or invisible.
    virtual VxRESULT InvalidateInParent(const RectT<double>& rootRectangle, bool clip, const RectT<double>& rectangle);
    // Paints the control, its looks and its children into the renderer's
    // current context, limited to the dirty region (the context's
    // coordinates; the renderer's origin is the parent's content origin).
    // Children that do not clip to their parents are not painted but
    // appended to nonClipping, to be painted in the second pass
    // (nonClippingPass true), which is the only pass that paints a
    // non-clipping control: the wrong pass is an assertion and 0x80000003.
    // An invisible control paints and collects nothing.
    virtual VxRESULT Paint(const RCPtr<LRenderer>& renderer, const RgnLight& dirty, RCPtrArray<LControl>& nonClipping,
                           bool nonClippingPass);
    // The deepest control under the point (own frame; parent coordinates for
    // ContainsPoint) whose effective z lies above z, or any when z is the
    // lowest int and flag is set.  hitPoint receives the point in the found
    // control's frame, z its effective z.  Null when none.
    virtual RCPtr<LControl> HitTest(const PointT<int>& point, bool flag, PointT<int>& hitPoint, std::int32_t& z);
    virtual VxRESULT OnFontChanged() { return VXR_OK; }
    // Takes the focus, or asks the parent for it when the control cannot
    // hold it.  0.
    virtual VxRESULT RequestFocus(const RCPtr<LControl>& requester);
    // The point in the control's own frame lies inside its bounds.
    virtual bool ContainsPoint(const PointT<int>& point);
    // From the child's place in tab order, the next child (previous when
    // backward, wrapping around) that can receive input; null when the walk
    // comes back.
    virtual RCPtr<LControl> GetNextTabChild(const RCPtr<LControl>& from, bool backward);
    // Takes the parent's font again after it changed.
    virtual VxRESULT UpdateFont();
    // RecalcLayout when docked on either axis.
    virtual VxRESULT OnParentScrolled(const PointT<double>& oldOffset, const PointT<double>& newOffset);
    // RecalcLayout, or InvalidateChild while the children are being laid out.
    virtual VxRESULT OnChildChanged(const RCPtr<LControl>& child);
    // The end of every idle pass of the control.
    virtual VxRESULT ProcessIdle() { return VXR_OK; }
    // Drawing hooks of Paint, called once per dirty rectangle with the clip
    // set to it (own frame): the overlay after the looks' parts, the content
    // after the text and the children.
    virtual VxRESULT PaintOverlay(const RCPtr<LRenderer>& /*renderer*/) { return VXR_OK; }
    virtual VxRESULT PaintContent(const RCPtr<LRenderer>& /*renderer*/) { return VXR_OK; }
    // Creates the sub-controls of the descriptor, except the deferred ones.
    virtual VxRESULT CreateChildren(const RCPtr<LControlDescriptor>& descriptor);
    // Lets go of every registration and every child, last to first.
    VxRESULT RemoveContainedReferences() override;
    // Handler table, notification centre, create parameters, tool tip.
    virtual VxRESULT Initialize();
    // INITIAL_VALUE, NOT_FOCUSABLE, USE_PARENT_TOOLTIP and WANTS_TAB.
    virtual VxRESULT ApplyCreateParams();
    // Adopts the child and applies the descriptor to it.  A null child or
    // descriptor: an assertion and 0x80000008.  The adoption's result.
    virtual VxRESULT AttachChild(const RCPtr<LControl>& child, const RCPtr<LControlDescriptor>& descriptor);
    virtual VxRESULT OnCreated() { return VXR_OK; }
    // Dispatches through the handler table once the control is created.
    NotificationHandlerResultCode Receive(const RCPtr<LNotificationDistributor>& from,
                                          const ConstRCPtr<LNotification>& notification) override;
    VxRESULT Unregister(const RCPtr<LNotificationDistributor>& from, const char* id) override;
    virtual Text GetToolTipText(std::int32_t /*argument*/) { return m_toolTipText; }
    // Shows the tool tip (the skin's "toolTip" descriptor as a child) or
    // hides and removes it.
    virtual VxRESULT ShowToolTip(bool show, std::int32_t argument);
    // (scroll x, scroll y, look width, look height) of the current look.
    virtual RectT<double> GetVisibleContentRect();

    // ---- Pointer, drag and key handling --------------------------------------
    // Drag modes: 0 none (a release over the control still clicks), 1 move
    // freely with drop targets, 2 move inside the parent's drag bounds, 3 as
    // 2 with auto-scroll, 4 resize by the edges of the axes, 5 as 4 with
    // auto-scroll, 6 and above scroll the content (6 also flings).  Axes:
    // 0x1 X, 0x2 Y; edges 0x4 right, 0x8 left, 0x10 top, 0x20 bottom.  Every
    // left press resets the mode to 0.
    virtual VxRESULT SetDragMode(std::int32_t mode, std::uint32_t axes);
    // Left dragging with a drag mode; records where the drag starts from.
    virtual VxRESULT OnDragStart();
    virtual VxRESULT SaveDragStartState();
    virtual VxRESULT OnDragMove(const RCPtr<LPointWithModifiersParam>& param);
    virtual VxRESULT OnDragMoved(const RCPtr<LPointWithModifiersParam>& /*param*/) { return VXR_OK; }
    virtual VxRESULT OnDragEnd();
    // From this control (the one under the pointer, root coordinates) the
    // first that accepts the dragged control; null when none.
    virtual RCPtr<LControl> FindDropTarget(const RCPtr<LControl>& dragged, const PointT<int>& point);
    virtual bool AcceptsDrop(const RCPtr<LControl>& /*dragged*/) { return false; }
    // 0x4 towards the right edge, 0x8 left, 0x10 top, 0x20 bottom; 0 none.
    virtual std::uint32_t WantsDragAutoScroll(const RCPtr<LControl>& /*dragged*/) { return 0; }
    // Where a child may be dragged, in this control's own frame: the current
    // look's rectangle.
    virtual RectT<double> GetDragBounds(const RCPtr<LControl>& child);
    virtual VxRESULT ConstrainDrag(RectT<double>& /*rectangle*/) { return VXR_OK; }
    virtual VxRESULT OnDragEnter(const RCPtr<LControl>& /*dragged*/) { return VXR_OK; }
    virtual VxRESULT OnDragOver(const RCPtr<LControl>& /*dragged*/, const PointT<int>& /*point*/) { return VXR_OK; }
    virtual VxRESULT OnDragLeave(const RCPtr<LControl>& /*dragged*/) { return VXR_OK; }
    // Drop targets override it: an assertion and 0x80000008 here.
    virtual VxRESULT OnDrop(const RCPtr<LControl>& dragged);
    virtual VxRESULT OnLeftButtonDown(const RCPtr<LMouseButtonParam>& /*param*/) { return VXR_OK; }
    virtual VxRESULT OnMiddleButtonDown(const RCPtr<LMouseButtonParam>& /*param*/) { return VXR_OK; }
    virtual VxRESULT OnRightButtonDown(const RCPtr<LMouseButtonParam>& /*param*/) { return VXR_OK; }
    virtual VxRESULT OnLeftButtonUp(const RCPtr<LMouseButtonParam>& /*param*/) { return VXR_OK; }
    virtual VxRESULT OnMiddleButtonUp(const RCPtr<LMouseButtonParam>& /*param*/) { return VXR_OK; }
    virtual VxRESULT OnRightButtonUp(const RCPtr<LMouseButtonParam>& /*param*/) { return VXR_OK; }
    virtual VxRESULT OnPointerMoved(const RCPtr<LPointWithModifiersParam>& /*param*/) { return VXR_OK; }
    // 1: not handled, the wheel goes on to the control behind.
    virtual VxRESULT ProcessMouseWheel(const RCPtr<LMouseWheelParam>& /*param*/) { return VXR_NOTHING_DONE; }
    virtual VxRESULT ProcessHorizontalMouseWheel(const RCPtr<LMouseWheelParam>& /*param*/) { return VXR_NOTHING_DONE; }
    // By button; null or another button: an assertion and 0x80000003.
    virtual VxRESULT OnClick(const RCPtr<LMouseButtonParam>& param);
    virtual VxRESULT OnLeftClick(const RCPtr<LMouseButtonParam>& param);
    virtual VxRESULT OnMiddleClick(const RCPtr<LMouseButtonParam>& param);
    // Also opens the context menu when there is one.
    virtual VxRESULT OnRightClick(const RCPtr<LMouseButtonParam>& param);
    virtual VxRESULT LeftClicked(const RCPtr<LMouseButtonParam>& /*param*/) { return VXR_OK; }
    virtual VxRESULT MiddleClicked(const RCPtr<LMouseButtonParam>& /*param*/) { return VXR_OK; }
    virtual VxRESULT RightClicked(const RCPtr<LMouseButtonParam>& /*param*/) { return VXR_OK; }
    virtual const RCPtr<LMenuDescriptor>& GetContextMenu() { return m_contextMenu; }
    // The pop-up of the context menu is about to show.
    virtual VxRESULT OnContextMenuOpening(const RCPtr<LControl>& /*popup*/) { return VXR_OK; }
    // 1: the key is not used; subclasses return 0 for a key they used.
    virtual VxRESULT ProcessKey(const RCPtr<LKeyParam>& /*key*/) { return VXR_NOTHING_DONE; }
    // 0 a sibling took the key, 1 none did.
    virtual VxRESULT DispatchSiblingKey(const RCPtr<LKeyParam>& key);
    // A key a child did not use: the siblings' hot keys, then the root
    // window's, then the application's.
    virtual VxRESULT OnUnhandledChildKey(const RCPtr<LKeyParam>& key);
    // A Tab that left a child: the focus moves to the next child, or the key
    // leaves this control.
    virtual VxRESULT OnTabKey(const RCPtr<LKeyParam>& key);
    // The order (client indices) in which the key is offered to the pool's
    // clients, walked from the last entry to the first.
    virtual VxRESULT SortSiblingKeyClients(const RCPtr<LKeyParam>& key,
                                           const RCPtr<LNotificationDistributor::LNotificationClientPool>& pool,
                                           ArrayBuffer<std::int32_t>& order);

    // 0, or 0x80000003 (the threshold kept) for a negative one.
    VxRESULT SetDragThreshold(std::int32_t pixels);
    std::int32_t GetDragThreshold() const noexcept { return m_dragThreshold; }
    std::int32_t GetDragMode() const noexcept { return m_dragMode; }
    std::uint32_t GetDragAxes() const noexcept { return m_dragAxes; }
    const RCPtr<LControl>& GetDropTarget() const noexcept { return m_dropTarget; }
    // Axis 0 X, 1 Y: the scroll offset moves at velocity pixels a second
    // between minimum and maximum on each idle pass; the feedback control
    // follows the pointer on each step.  0.
    VxRESULT StartInertialScroll(int axis, const RCPtr<LControl>& feedback, double velocity, double maximum,
                                 double minimum);
    // 0 stopped, 1 none running.
    VxRESULT StopInertialScroll(int axis);
    bool IsInertialScrolling(int axis) const noexcept;
    double GetInertialVelocity(int axis) const noexcept;
    const PointT<double>& GetFlingVelocity() const noexcept { return m_flingVelocity; }
    // Stores the menu; a right click opens it.
    void SetContextMenu(const RCPtr<LMenuDescriptor>& menu) { m_contextMenu = menu; }
    // Creates the skin's "contextMenu" control under this one for the menu.
    VxRESULT ShowContextMenu(const RCPtr<LMenuDescriptor>& menu);
    bool HasHotKey(const char* id) const;
    // A copy; empty when the id has no key.
    ArrayBuffer<KeyCode> GetHotKeys(const char* id) const;
    // The first key bound to the id; {0x80000000, 0, 0} when none.
    KeyCode GetFirstHotKey(const char* id) const;

    // ---- The tree ----------------------------------------------------------

    const Text& GetName() const noexcept { return m_name; }
    // Null for a top control.
    const RCPtr<LControl>& GetParent() const noexcept { return m_parent; }
    const ChildControlList& GetChildren() const noexcept { return m_children; }
    ChildControlList& GetChildren() noexcept { return m_children; }
    // The last child in insertion order with exactly that name; null when none.
    RCPtr<LControl> FindChild(const Text& name) const;
    // -1 when not a child.
    std::int32_t GetChildIndex(const RCPtr<LControl>& child, int order) const;
    // The ancestor without parent (this control when it has none).
    RCPtr<LControl> GetTopLevelControl() const;
    // True when the control is a proper ancestor.
    bool IsDescendantOf(const RCPtr<LControl>& control) const;
    // Depth first, pre-order, children in insertion order; the number added.
    std::uint32_t CollectDescendants(RCPtrArray<LControl>& out) const;
    // For each child from last to first: the child when the name matches,
    // then its matching descendants.  The number added.
    std::uint32_t FindDescendantsByName(const Text& name, RCPtrArray<LControl>& out) const;
    // Leaves the old parent (or the root window) and joins the new one.  1
    // when the parent is the same; a parent that is this control or one of
    // its descendants: an assertion and 0x80000003; a refused adoption: its
    // error (the control is then without parent).
    VxRESULT SetParent(const RCPtr<LControl>& parent);
    // Top controls only (an assertion and 0x80000008 otherwise).  The OS
    // window takes the control's text as its title and the tree's idle
    // requests are registered.
    VxRESULT SetRootWindow(const RCPtr<LRootWindow>& rootWindow);
    // Set on a top control only.
    const RCPtr<LRootWindow>& GetRootWindow() const noexcept { return m_rootWindow; }
    // The root window of the top control; null when none.
    RCPtr<LRootWindow> FindRootWindow() const;
    // The child list's swap; then the earlier of the two is laid out again,
    // and both are invalidated when that changed nothing.
    VxRESULT SwapChildren(std::int32_t a, std::int32_t b, bool keep);
    // The child, created from the descriptor's sub-descriptors of that name
    // when missing (deferred ones too); null when there is none.
    RCPtr<LControl> FindOrCreateChild(const Text& name);
    // FindOrCreateChild and SetVisible(true); a missing child: an assertion
    // and 0x80000008.
    VxRESULT ShowChild(const Text& name);
    // Missing: 0x80000008.  A deferred child is detached (1), any other hidden
    // (0).
    VxRESULT HideChild(const Text& name);
    // Hides the child at once; it stays in the tree (its name reserved) until
    // the next idle pass or the next adoption of a child.  0x80000003 (after
    // an assertion) when it is not a child.
    VxRESULT RemoveChildDeferred(const RCPtr<LControl>& child);
    VxRESULT ProcessDeferredRemovals();
    // Counted; the first one registers the idle handler with the top
    // control's root window, or when the root window arrives.
    VxRESULT RequestIdle();
    VxRESULT ReleaseIdle();
    std::int32_t GetIdleRequestCount() const noexcept { return m_idleRequests; }
    // Z-order among the siblings; 1 without parent, 0x80000008 without layout.
    VxRESULT BringToFront();
    VxRESULT SendToBack();

    // Null until a descriptor was applied.
    const RCPtr<LControlDescriptor>& GetDescriptor() const noexcept { return m_descriptor; }
    bool IsCreated() const noexcept { return m_created != 0; }
    // Null until Initialize.
    const RCPtr<LNotificationHandler<LControl>>& GetHandler() const noexcept { return m_handler; }

    // ---- Geometry ----------------------------------------------------------

    // Null until a descriptor was applied.
    const RCPtr<LLayoutDescriptor>& GetLayout() const noexcept { return m_layout; }
    const RectT<double>& GetBounds() const noexcept { return m_bounds; }
    const PointT<double>& GetScrollOffset() const noexcept { return m_scrollOffset; }
    // Kind 0: X docked; 1: Y docked; 2: exactly one; 3: both; 4: either.  Any
    // other kind logs an assertion; a control without layout is not docked.
    bool IsDocked(int kind) const;
    // The client rectangle of the look at the index (-1: the current look) in
    // the control's own frame; (0, 0, width, height) without such a look.
    RectT<double> GetLookBounds(std::int32_t index) const;
    // The bounds in the parent's own frame: moved by minus the parent's
    // scroll offset and by the origin of its look rectangle.  Without a
    // parent, the bounds.
    RectT<double> GetClippedBoundsInParent() const;
    // The rectangle in the top control's frame (the top control's own
    // origin included).
    RectT<double> GetRectInRootWindow() const;
    // The last child (insertion order) that is not transparent at the point
    // (own content frame) converted into its frame; null when none.
    RCPtr<LControl> ChildAtPoint(const PointT<int>& point) const;
    // The largest Z_Order of this control and its ancestors that do not clip
    // to their parents; the lowest int when all clip.
    std::int32_t GetEffectiveZ() const;
    // Where the control's tool tip comes from: its parent (recursively) when
    // its text is empty and it uses the parent's tool tip, else itself.
    RCPtr<LControl> GetToolTipSource();
    // While set, hit tests look through the control (a wheel event passed on
    // to what lies below it).
    void SetHitTestExcluded(bool excluded) noexcept { m_hitTestExcluded = excluded ? 1 : 0; }
    bool IsHitTestExcluded() const noexcept { return m_hitTestExcluded != 0; }
    // A point in from's own frame into this control's own frame.
    PointT<double> ConvertPointFromControl(const RCPtr<LControl>& from, const PointT<double>& point) const;
    RectT<double> LocalRectToRoot(const RectT<double>& rectangle) const;
    RectT<double> RootRectToLocal(const RectT<double>& rectangle) const;
    // The origin of the content coordinates in the top control's frame.
    PointT<double> GetContentOriginInRoot() const;
    // The union of the rounded bounds of the children docked on neither
    // axis; without any, the inverted rectangle (2147483647, 2147483647) to
    // (-2147483648, -2147483648).
    RgnLight::Rect GetChildrenBounds() const;

    // ---- Layout ------------------------------------------------------------

    // The bounds from the layout: 0 changed, 1 unchanged, 0x80000008 (after
    // an assertion) without layout, or for a created top control without a
    // root window.  The previous bounds stay on failure.
    VxRESULT RecalcLayout();
    // 0 changed (the change ripples to the children, the later siblings, the
    // parent or the root window), 1 unchanged.
    VxRESULT SetBounds(const RectT<double>& bounds);
    // RecalcLayout of every child from the index on; the last result (the
    // child count when there is none).
    VxRESULT RecalcLayoutFrom(std::uint32_t index);
    // Axis 0 X, 1 Y; another axis: an assertion and 0x80000003.
    VxRESULT GetAxisPlacement(int axis, LLayoutDescriptor::PositionSpec& position,
                              LLayoutDescriptor::SizeSpec& size) const;
    // 0 when both read back equal after the layout ran, else nonzero.
    VxRESULT SetAxisPlacement(int axis, const LLayoutDescriptor::PositionSpec& position,
                              const LLayoutDescriptor::SizeSpec& size);
    // Both axes with one layout run; 0 when all four read back equal, else 1.
    VxRESULT SetPlacement(const LLayoutDescriptor::PositionSpec& xPosition, const LLayoutDescriptor::SizeSpec& xSize,
                          const LLayoutDescriptor::PositionSpec& yPosition, const LLayoutDescriptor::SizeSpec& ySize);
    VxRESULT GetAxisSizeLimits(int axis, LLayoutDescriptor::LimitSpec& minimum,
                               LLayoutDescriptor::LimitSpec& maximum) const;
    VxRESULT SetAxisSizeLimits(int axis, const LLayoutDescriptor::LimitSpec& minimum,
                               const LLayoutDescriptor::LimitSpec& maximum);

    // The two size-limit passes of a layout, run after CalcRectangle on its
    // result (the left/top corner and the size, both updated in place), X
    // before Y.  The minimum pass grows the control to its minimum, to fit its
    // text and to hold the children it names; the maximum pass shrinks it to
    // its maximum.  0 when nothing changed, 1 when something did; the minimum
    // pass gives 0x80000008 when its last acting axis was refused.
    VxRESULT ApplyMinimumSize(PointT<double>& position, PointT<double>& size);
    VxRESULT ApplyMaximumSize(PointT<double>& position, PointT<double>& size);

    // SetScrollOffset with the other axis unchanged.
    PointT<double> SetScrollOffsetAxis(int axis, double value);

    // Size and position animations at 1 pixel per millisecond of the
    // application's clock, one step per idle pass, ending at the limit (or the
    // target) when a step changes nothing.  0 started, 1 already running,
    // 0x80000008 refused (grow and shrink need a size and the limit measured
    // on the control itself, and a maximum for growing; MoveBy refuses while
    // moving).
    VxRESULT StartGrow(int axis);
    VxRESULT StartShrink(int axis);
    VxRESULT MoveBy(const PointT<double>& offset);

    // ---- State -------------------------------------------------------------

    std::uint32_t ComputeConditions() const;
    // Sends the condition notifications of what changed since the last call.
    void UpdateConditions();
    const RCPtr<LConditionsParam>& GetConditionsParam() const noexcept { return m_conditionsParam; }
    // Shows the control as hovered without the pointer over it (bit 0x1000).
    void SetHoverHighlight(bool highlight);
    // The layout's flag; with the ancestors, false as soon as one is
    // disabled.
    bool IsEnabled(bool withAncestors) const;
    // The layout's flag and a non-empty size, with the ancestors by the same
    // test.
    bool IsVisible(bool withAncestors) const;
    bool CanReceiveInput() const;
    // Has or contains the focus.
    bool HasFocus() const noexcept { return m_hasFocus != 0 || m_containsFocus != 0; }
    bool HasOwnFocus() const noexcept { return m_hasFocus != 0; }
    bool ContainsFocus() const noexcept { return m_containsFocus != 0; }
    bool HoldsCapture() const noexcept { return m_capture != 0; }
    // With inherited, an ancestor that is not focusable makes this one not
    // focusable either, up to a focus boundary.
    bool IsNotFocusable(bool inherited) const;
    bool IsFocusable();
    bool CanTakeFocus();
    // The last child that has or contains the focus.
    RCPtr<LControl> FindFocusedChild() const;
    RCPtr<LControl> GetFirstFocusableTabChild();
    RCPtr<LControl> GetLastFocusableTabChild();

    std::uint32_t GetLookCount() const noexcept { return m_looks.GetCount(); }
    // The look at the index (which may be null); any index outside the looks
    // means the current look: the first present look with a weight above 0,
    // else the first present look, else null.  No looks: an assertion, null.
    RCPtr<LLook> GetLook(std::int32_t index) const;
    // Out of range: an assertion and 0.
    float GetLookWeight(std::int32_t index) const;
    // A weight in 0..1 is stored; exclusive sets every other to 0.  An index
    // out of range: an assertion and 0x80000003.
    VxRESULT SetLookWeight(std::int32_t index, bool exclusive, float weight);
    // Whether the index names a present look.
    bool HasLook(std::int32_t index) const;
    // The first present look with a weight above 0; -1 when none.
    std::int32_t GetFirstVisibleLookIndex() const;
    // Whether the current look cannot show the whole text: without laid-out
    // text any text is clipped (and a text area of negative width is);
    // with it, a text area narrower than the first line.  No look: an
    // assertion and false.
    bool IsTextClipped();
    // The look's client bitmap (LLook::SetClientBitmap); a change of the
    // first visible look is invalidated.  The look's result; an index that
    // names no look: an assertion and 0x80000008.
    VxRESULT SetLookClientBitmap(const RCPtr<LBitmap>& bitmap, std::int32_t resizeType, std::int32_t index,
                                 bool replacesClientPart);
    // Every look, last to first, stopping at a negative result, which is
    // returned; otherwise the last look's result.
    VxRESULT SetAllLookClientBitmaps(const RCPtr<LBitmap>& bitmap, std::int32_t resizeType, bool replacesClientPart);
    // The text colour of the look; a null part: an assertion and 0x80000003;
    // no such look: an assertion and 0x80000008.
    VxRESULT SetLookTextForegroundPart(const RCPtr<LVisualPart>& part, std::int32_t index);
    // The look paints only inside the region (own frame; empty: everywhere).
    // No such look: 0x80000003.
    VxRESULT SetLookRegion(std::int32_t index, const RgnLight& region);
    // The control's rectangle less the other look's region.
    VxRESULT SetLookRegionExcluding(std::int32_t index, std::int32_t otherIndex);
    VxRESULT ClearLookRegions();

    const Text& GetText() const noexcept { return m_text; }
    // Nonzero when the text changed; with relayout, a layout that fits its
    // size to the text runs again.
    VxRESULT SetTextAndLayout(const Text& text, bool relayout);
    const RCPtr<LFont>& GetFont() const noexcept { return m_font; }
    // Null: 0x80000003.  1 unchanged, else 0.
    VxRESULT SetFontObject(const RCPtr<LFont>& font);
    // An empty name, a style of -1 and a relative or missing size take the
    // base font's (the parent's when the control inherits its font, else the
    // application's default font).  0x80000008 when no font can be made.
    VxRESULT SetFont(const Text& name, std::int32_t style, bool relative, float size);

    double GetValue() const noexcept { return m_value; }
    // Logarithmic: min * (max / min)^x; linear: min + (max - min) * x.
    double NormalizedToValue(double normalized) const;
    // The inverse, the value first clamped into the range; 0 for an empty
    // range.
    double ValueToNormalized(double value) const;
    // Every LValueParam arriving with the id from the distributor becomes
    // this control's value.  A null distributor: an assertion and
    // 0x80000003; a registration that fails: an assertion and its error.
    VxRESULT BindValue(const RCPtr<LNotificationDistributor>& distributor, const char* id);
    VxRESULT UnbindValue(const RCPtr<LNotificationDistributor>& distributor, const char* id);

    // Shown by the root window while the pointer is over the control; null
    // for the window's default.
    void SetCursor(juce::MouseCursor* cursor);
    juce::MouseCursor* GetCursor() const noexcept { return m_cursor; }
    // Made on first use; the control counts its back reference as its own.
    const RCPtr<LMenuItemUpdater>& GetMenuItemUpdater();

    // ---- Painting ------------------------------------------------------------

    // Paint calls of a visible control with a non-empty area.
    std::uint32_t GetPaintCount() const noexcept { return m_paintCount; }
    float GetOpacity() const noexcept { return m_opacity; }
    bool IsOffscreenRendering() const noexcept { return m_offscreen != 0; }
    // The parts of the surface still to be rendered, in surface pixels.
    void GetSurfaceDirtyRegion(RgnLight& out) const;
    // The children that scroll (undocked and clipping) are kept in a surface
    // of their own, so that scrolling moves pixels and only what is dirty is
    // rendered again.  0 switched, 1 no change, the renderer's error when no
    // surface could be made, 0x80000008 without a renderer or when the
    // content is larger than the renderer's largest surface (the control
    // then goes on without one).
    VxRESULT SetOffscreenRendering(bool on);
    // After a size change: the surface follows the content, or is switched
    // off (with a trace) when the content outgrows the renderer.
    void UpdateOffscreenSurface();
    // The content rectangle is to be rendered into the surface again; with
    // alsoOnScreen the control's area showing it is invalidated too.
    void InvalidateSurface(const RectT<double>& contentRectangle, bool alsoOnScreen);
    // Surface pictures around the painting steps go to folder as PNG files:
    // flag 0x1 around the clearing of dirty parts, 0x4 around the drawing of
    // the children.  0 switches them off.
    void SetDebugDump(std::uint32_t flags, const Text& folder);

    // InvalidateRect of the whole control, clipped as the layout clips.
    // Control trees are walked on the main thread only: from any other
    // thread the invalidations of the control are refused with an assertion
    // and 0x80000008 (such a thread invalidates root-window coordinates or
    // posts to the root window instead).
    VxRESULT Invalidate();
    // The controls of the subtree that do not clip to their parents (parents
    // do not cover them), each invalidated.
    void InvalidateNonClipping();

protected:
    // The base-object form for controls made outside a tree.
    LControl();

    // Field order as in the design of the control; fields of the painting,
    // pointer and key handling come with those.
    RCPtr<LNotificationHandler<LControl>> m_handler;
    Text m_name;
    RCPtr<LControlDescriptor> m_descriptor;
    // The control's own clone of its descriptor's layout.
    RCPtr<LLayoutDescriptor> m_layout;
    // In the parent's content coordinates.
    RectT<double> m_bounds{0.0, 0.0, 0.0, 0.0};
    // Shifts the children's content.
    PointT<double> m_scrollOffset{0.0, 0.0};
    // Descendants at any depth whose layout does not clip to its parent.
    std::int32_t m_nonClippingDescendants = 0;
    RCPtr<LConditionsParam> m_conditionsParam;
    std::uint8_t m_hasFocus = 0;
    std::uint8_t m_containsFocus = 0;
    std::uint8_t m_hover = 0;
    std::uint8_t m_capture = 0;
    std::uint8_t m_leftPressed = 0;
    std::uint8_t m_middlePressed = 0;
    std::uint8_t m_rightPressed = 0;
    std::uint8_t m_leftDragging = 0;
    std::uint8_t m_middleDragging = 0;
    std::uint8_t m_rightDragging = 0;
    std::uint8_t m_hoverHighlight = 0;
    RCPtr<LMouseButtonParam> m_pressParam;
    PointT<double> m_pressPoint{0.0, 0.0};
    double m_value = 0.0;
    double m_rangeMin = 0.0;
    double m_rangeMax = 1.0;
    // 0 linear, 1 logarithmic.
    std::int32_t m_valueScale = 0;
    RCPtrArray<LLook> m_looks;
    // One blend weight per look, 0..1.
    ArrayBuffer<float> m_lookWeights;
    float m_opacity = 1.0f;
    RCPtr<LControl> m_parent;
    // Set on a top control only.
    RCPtr<LRootWindow> m_rootWindow;
    RCPtr<LStringTable> m_createParams;
    std::uint8_t m_wantsTab = 0;
    // Kept in step with the sign of the layout's TabStop.
    std::uint8_t m_notFocusable = 1;
    std::uint8_t m_focusBoundary = 0;
    // Font state: the descriptor says the font comes from the parent; the
    // name, the size and the style follow the base font; the size was given
    // as a factor of the base font's.
    std::uint8_t m_inheritFont = 0;
    std::uint8_t m_fontNameInherited = 0;
    std::uint8_t m_fontSizeRelative = 0;
    std::uint8_t m_fontStyleInherited = 0;
    std::uint8_t m_fontRelativeFlag = 0;
    float m_fontSizeFactor = 1.0f;
    RCPtr<LFont> m_font;
    Text m_text;
    Text m_toolTipText;
    std::uint8_t m_useParentToolTip = 0;
    std::uint8_t m_hitTestExcluded = 0;
    std::uint8_t m_created = 0;
    // Set while the children are laid out after a size change, and while a
    // new descriptor re-attaches them.
    std::uint8_t m_inLayout = 0;
    std::int32_t m_idleRequests = 0;
    // The window the idle handler is registered with; its teardown
    // unregisters the control, which clears this.
    LRootWindow* m_idleWindow = nullptr;
    // Per axis: growing, shrinking and the clock at the last step.
    std::uint8_t m_growing[2] = {0, 0};
    std::uint8_t m_shrinking[2] = {0, 0};
    std::uint32_t m_sizeStepTimeMs[2] = {0, 0};
    std::uint8_t m_moving = 0;
    PointT<double> m_moveTarget{0.0, 0.0};
    std::uint32_t m_moveStepTimeMs = 0;
    RCPtrArray<LControl> m_pendingRemovals;
    RCPtr<LMenuItemUpdater> m_menuItemUpdater;
    RCPtr<LNotificationCenter> m_notificationCenter;
    ChildControlList m_children{this};
    std::uint8_t m_scrolling = 0;
    std::uint8_t m_childDocked = 0;
    std::uint8_t m_boundsChanging = 0;
    RectT<double> m_boundsBeforeChange{0.0, 0.0, 0.0, 0.0};
    // The looks' text is drawn moved by the scroll offset.
    std::uint8_t m_textScrolls = 0;
    // Shown while hovered, and the one it replaced.
    juce::MouseCursor* m_cursor = nullptr;
    juce::MouseCursor* m_previousCursor = nullptr;
    std::uint32_t m_debugDumpFlags = 0;
    Text m_debugDumpFolder;
    Text m_debugName;
    std::uint32_t m_paintCount = 0;
    // The offscreen surface: the content rectangle it holds (content
    // coordinates), the part of the content it covers and the parts still to
    // be rendered (both content coordinates), and the largest size the
    // renderer gives.
    std::uint8_t m_offscreen = 0;
    RCPtr<LRenderContextInfo> m_surface;
    double m_surfaceMaxWidth = 0.0;
    double m_surfaceMaxHeight = 0.0;
    RectT<double> m_surfaceContent{0.0, 0.0, 0.0, 0.0};
    RgnLight m_surfaceArea;
    RgnLight m_surfaceDirty;

    // Pointer, drag and key state.  m_pressPoint (above) is in the parent's
    // content coordinates.
    PointT<double> m_dragStartParentScroll{0.0, 0.0};
    std::int32_t m_dragMode = 0;
    std::uint32_t m_dragAxes = 0;
    PointT<double> m_dragStartSize{0.0, 0.0};
    // XPositionAbs, YPositionAbs, XSizeAbs, YSizeAbs.
    double m_dragStartPlacement[4] = {0.0, 0.0, 0.0, 0.0};
    std::uint8_t m_dragWasUnclipped = 0;
    std::uint8_t m_dragXWasDocked = 0;
    std::uint8_t m_dragYWasDocked = 0;
    RCPtr<LControl> m_dropTarget;
    PointT<double> m_dragOffset{0.0, 0.0};
    std::int32_t m_dragThreshold = 1;
    std::uint8_t m_inDragMove = 0;
    std::uint32_t m_lastMoveTimeMs = 0;
    std::uint32_t m_previousMoveTimeMs = 0;
    std::uint32_t m_pressTimeMs = 0;
    std::uint32_t m_releaseTimeMs = 0;
    // Content pixels a second, smoothed over the moves of a kinetic drag.
    PointT<double> m_flingVelocity{0.0, 0.0};
    std::uint8_t m_decelerating[2] = {0, 0};
    struct InertialAxis
    {
        std::uint8_t running = 0;
        double lastTick = 0.0;
        double velocity = 0.0;
        double minimum = 0.0;
        double maximum = 0.0;
        RCPtr<LControl> feedback;
    };
    InertialAxis m_inertial[2];
    double m_deceleration = 1000.0;
    RCPtr<LMenuDescriptor> m_contextMenu;
    // The control's own hot keys ("LHK." create parameters).
    HotKeyManager m_hotKeys;

private:
    // Pointer, drag and key helpers.  The NID_SIBLING_KEY handler: fires the
    // id bound to the key when it is one of this control's hot keys.
    NotificationHandlerResultCode OnSiblingKey(const RCPtr<LNotificationDistributor>& from,
                                               const ConstRCPtr<LNotification>& notification);
    // Binds the "LHK." create parameters and registers the sibling-key handler.
    void LoadHotKeys();
    // One idle step of each running inertial scroll.
    void StepInertialScrolls();
    // The Tab leaves the top control: the root window moves the focus on.
    VxRESULT PassTabUp(const RCPtr<LKeyParam>& key);
    // A key nobody in the tree used: the root window's hot keys, then the
    // application's.
    VxRESULT OfferToGlobalHotKeys(const RCPtr<LKeyParam>& key);
    // The control the walk of a wheel event goes on with; null at the end.
    RCPtr<LControl> NextWheelTarget(const PointT<int>& rootPoint, RCPtrArray<LControl>& excluded);
    // Sets the root window's cursor to the named one.
    void ShowNamedCursor(const char* name);

    friend RCPtr<LControl> CompleteControlCreation(const RCPtr<LControl>& control,
                                                   const RCPtr<LControlDescriptor>& descriptor);

    // The NID_IDLE handler: the animation steps, the deferred removals, then
    // ProcessIdle.
    NotificationHandlerResultCode OnIdle(const RCPtr<LNotificationDistributor>& from,
                                         const ConstRCPtr<LNotification>& notification);
    // The idle handler moves to the window (from the one it was registered
    // with, if another), or leaves its window.
    VxRESULT RegisterIdleWith(const RCPtr<LRootWindow>& rootWindow);
    VxRESULT UnregisterIdle();
    // Sends the notification with the parameter through the control's own
    // distributor.
    void Send(const char* id, const RCPtr<LRefCountedObject>& parameter);
    // Adds (or takes away) count at every ancestor's non-clipping count.
    void AdjustAncestorsNonClipping(std::int32_t count);
    // The first text of the key in the create parameters, and whether it is
    // "true" (lower-cased and trimmed).
    static bool IsTrue(const RCPtr<LStringTable>& parameters, const char* key, bool& present);
    VxRESULT SetZOrder(std::int32_t zOrder);
    // The focus passes to the parent, or goes when there is none.
    void PassFocusUp();
    void SetFocusWithin(const RCPtr<LControl>& child);
    // The font the control's font is relative to; null when there is none.
    RCPtr<LFont> GetBaseFont() const;
    // One step of the animations of an idle pass.
    void StepSizeAnimation(int axis);
    void StepMoveAnimation();
    void StopSizeAnimation(int axis, bool growing);
    // The current look without the assertion of an empty look list.
    RCPtr<LLook> FindCurrentLook() const;
    // The NID handler of BindValue.
    NotificationHandlerResultCode OnBoundValue(const RCPtr<LNotificationDistributor>& from,
                                               const ConstRCPtr<LNotification>& notification);
    // Paint's steps.  The children of the look at the index, directly or
    // with the scrolling ones from the surface (rendered there first where
    // surfaceDirt, in surface pixels, says; emptied once rendered).
    void PaintChildren(const RCPtr<LRenderer>& renderer, const RgnLight& dirty, RCPtrArray<LControl>& nonClipping,
                       std::int32_t lookIndex, RgnLight& surfaceDirt);
    // The z-order index after the undocked children.
    std::uint32_t PaintChildrenIntoSurface(const RCPtr<LRenderer>& renderer, RCPtrArray<LControl>& nonClipping,
                                           RgnLight& surfaceDirt);
    // From the z-order index, the children of the group (0 undocked, 1
    // docked on one axis, 2 on both) painted, or only their non-clipping
    // descendants collected; the index after the group.
    std::uint32_t PaintChildGroup(const RCPtr<LRenderer>& renderer, const RgnLight& dirty,
                                  RCPtrArray<LControl>& nonClipping, std::uint32_t from, int group, bool paint);
    // The visible non-clipping descendants, without entering those.
    void CollectNonClippingDescendants(RCPtrArray<LControl>& out) const;
    // The surface's dirt inside the visible content, taken out, cleared in
    // the surface and handed back in surface pixels.
    void TakeVisibleSurfaceDirt(const RCPtr<LRenderer>& renderer, RgnLight& out);
    void DumpSurface(std::uint32_t flag, std::int32_t step);
    bool IsSurfaceTooSmall(const RectT<double>& content) const;
    // The surface holds the content rectangle, all of it to be rendered.
    void ResetSurface(const RectT<double>& content);
    // Content coordinates from the own frame and back.
    RectT<double> LocalRectToContent(const RectT<double>& rectangle) const;
    RectT<double> ContentRectToLocal(const RectT<double>& rectangle) const;
    // The minimum on the axis grown to fit the current look's text.
    double FitText(int axis, double minimum, const PointT<double>& size);
    // The rectangle a named size limit measures against, in the parent's
    // coordinates; empty when there is none.
    RectT<double> GetLimitRectangle(const LLayoutDescriptor::LimitSpec& spec, int axis, const PointT<double>& position,
                                    bool maximumPass) const;
    // The non-client margin of the axis for a limit measured on "Children";
    // 0 otherwise.
    double GetChildrenMargin(const LLayoutDescriptor::LimitSpec& spec, int axis) const;
};
} // namespace Vx
