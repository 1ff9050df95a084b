#pragma once

#include "VxFramework/ControlBase/ControlParams.h"
#include "VxFramework/ControlBase/LayoutDescriptor.h"
#include "VxFramework/ControlBase/Look.h"
#include "VxFramework/Notification/NotificationClient.h"
#include "VxFramework/Notification/NotificationDistributor.h"
#include "VxFramework/ObjectBase/Result.h"
#include "VxFramework/Utilities/Graphics/CTTypes.h"
#include "VxFramework/Utilities/Storage/ArrayBuffer.h"
#include "VxFramework/Utilities/Storage/RCPtrArray.h"
#include "VxFramework/Utilities/Storage/StringT.h"

#include <cstdint>

namespace Vx
{
class LControl;

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
// its bounds are doubles in its parent's content coordinates.  Control trees
// are used on the user-interface thread only.
class LControl : public LNotificationDistributor, public LNotificationClient
{
public:
    using Text = StringT<char, unsigned short>;

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
        // Null: 0x80000003.  A child of the same name already present: an
        // assertion and 0x80000008.
        VxRESULT Add(const RCPtr<LControl>& child);
        // The same for a control under construction, which no smart pointer
        // holds yet: nothing here takes and drops a reference to it.
        VxRESULT Add(LControl* child);
        // The child's former insertion index, -1 when it is not a child.
        std::int32_t Remove(const RCPtr<LControl>& child);
        // Last to first.
        void RemoveAll();
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

    ~LControl() override;

    // Lets go of every child, last to first, then of every registration.
    VxRESULT RemoveContainedReferences() override;

    const Text& GetName() const noexcept { return m_name; }
    // Null for a top control.
    const RCPtr<LControl>& GetParent() const noexcept { return m_parent; }
    const ChildControlList& GetChildren() const noexcept { return m_children; }
    // The last child in insertion order with exactly that name; null when none.
    RCPtr<LControl> FindChild(const Text& name) const;

    // Null until a descriptor was applied.
    const RCPtr<LLayoutDescriptor>& GetLayout() const noexcept { return m_layout; }
    const RectT<double>& GetBounds() const noexcept { return m_bounds; }
    const PointT<double>& GetScrollOffset() const noexcept { return m_scrollOffset; }
    // Kind 0: X docked; 1: Y docked; 2: exactly one; 3: both; 4: either.  Any
    // other kind logs an assertion; a control without layout is not docked.
    bool IsDocked(int kind) const;

    std::uint32_t GetLookCount() const noexcept { return m_looks.GetCount(); }
    // The look at the index (which may be null); any index outside the looks
    // means the current look: the first present look with a weight above 0,
    // else the first present look, else null.  No looks: an assertion, null.
    RCPtr<LLook> GetLook(std::int32_t index) const;
    // The client rectangle of the look at the index (-1: the current look) in
    // the control's own frame; (0, 0, width, height) without such a look.
    RectT<double> GetLookBounds(std::int32_t index) const;
    // The bounds in the parent's own frame: moved by minus the parent's
    // scroll offset and by the origin of its look rectangle.  Without a
    // parent, the bounds.
    RectT<double> GetClippedBoundsInParent() const;

    // The two size-limit passes of a layout, run after CalcRectangle on its
    // result (the left/top corner and the size, both updated in place), X
    // before Y.  The minimum pass grows the control to its minimum, to fit its
    // text and to hold the children it names; the maximum pass shrinks it to
    // its maximum.  0 when nothing changed, 1 when something did; the minimum
    // pass gives 0x80000008 when its last acting axis was refused.
    VxRESULT ApplyMinimumSize(PointT<double>& position, PointT<double>& size);
    VxRESULT ApplyMaximumSize(PointT<double>& position, PointT<double>& size);

protected:
    // The base-object form for controls made outside a tree.
    LControl();
    // A control named name, added to the parent's children when there is a
    // parent (a second child of the same name is refused with an assertion).
    LControl(const RCPtr<LControl>& parent, const Text& name);

    Text m_name;
    // The control's own clone of its descriptor's layout.
    RCPtr<LLayoutDescriptor> m_layout;
    // In the parent's content coordinates.
    RectT<double> m_bounds{0.0, 0.0, 0.0, 0.0};
    // Shifts the children's content.
    PointT<double> m_scrollOffset{0.0, 0.0};
    // One blend weight per look, 0..1.
    RCPtrArray<LLook> m_looks;
    ArrayBuffer<float> m_lookWeights;
    RCPtr<LControl> m_parent;
    ChildControlList m_children{this};

private:
    // The current look without the assertion of an empty look list.
    RCPtr<LLook> FindCurrentLook() const;
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
