// The control object: its child list, the creation protocol, attaching and
// detaching, deferred removal, idle requests and teardown.

#include "VxFramework/ControlBase/Control.h"

#include "VxFramework/Application/WindowOSServices.h"
#include "VxFramework/ControlBase/ControlFactory.h"
#include "VxFramework/ControlBase/ControlHost.h"
#include "VxFramework/ControlBase/RootWindow.h"
#include "VxFramework/Notification/Notification.h"
#include "VxFramework/Notification/NotificationCenter.h"
#include "VxFramework/ObjectBase/Exception.h"
#include "VxFramework/ObjectBase/NoDestructor.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <vector>

namespace Vx
{
LMenuItemUpdater::LMenuItemUpdater(const RCPtr<LControl>& control) : mControl(control) {}

LMenuItemUpdater::~LMenuItemUpdater() = default;

void LMenuItemUpdater::ClearControl()
{
    mControl = nullptr;
}

namespace
{
constexpr const char* kIdleId = "NID_IDLE";

// What a child without a layout counts as in the sibling orders.
const LLayoutDescriptor& LayoutOf(const LControl& child)
{
    static const NoDestructor<LLayoutDescriptor> defaults;
    const RCPtr<LLayoutDescriptor>& layout = child.GetLayout();
    return layout.IsNull() ? *defaults : *layout;
}

RCPtr<LControlFactory> GetFactory()
{
    IControlHost* const host = GetControlHost();
    return host == nullptr ? RCPtr<LControlFactory>() : host->GetControlFactory();
}
} // namespace

// ---- Child list -------------------------------------------------------------

LControl::ChildControlList::~ChildControlList() = default;

void LControl::ChildControlList::SortIfChanged() const
{
    if (mSortedAt == mModificationCount)
        return;
    const std::uint32_t count = mChildren.GetCount();
    if (Failed(mTabOrder.SetCount(count)) || Failed(mZOrder.SetCount(count)))
    {
        VX_ASSERT_FALSE();
        return;
    }
    for (std::uint32_t i = 0; i < count; ++i)
    {
        mTabOrder[i] = i;
        mZOrder[i] = i;
    }
    // Stable: siblings with equal keys keep their insertion order.
    std::stable_sort(mTabOrder.GetData(), mTabOrder.GetData() + count, [this](std::uint32_t a, std::uint32_t b) {
        return LLayoutDescriptor::CompareTabOrder(LayoutOf(*mChildren[a]), LayoutOf(*mChildren[b])) < 0;
    });
    std::stable_sort(mZOrder.GetData(), mZOrder.GetData() + count, [this](std::uint32_t a, std::uint32_t b) {
        return LLayoutDescriptor::CompareZOrder(LayoutOf(*mChildren[a]), LayoutOf(*mChildren[b])) < 0;
    });
    mSortedAt = mModificationCount;
}

const RCPtr<LControl>& LControl::ChildControlList::GetAt(std::uint32_t index, int order) const
{
    if (index >= mChildren.GetCount())
        VX_THROW(std::runtime_error, "");
    SortIfChanged();
    switch (order)
    {
    case kInsertionOrder:
        return mChildren[index];
    case kZOrder:
        return mChildren[mZOrder[index]];
    case kTabOrder:
        return mChildren[mTabOrder[index]];
    default:
        VX_THROW(std::runtime_error, "");
    }
}

std::int32_t LControl::ChildControlList::IndexOf(const RCPtr<LControl>& child, int order) const
{
    const std::uint32_t count = mChildren.GetCount();
    for (std::uint32_t i = 0; i < count; ++i)
    {
        if (GetAt(i, order) == child)
            return static_cast<std::int32_t>(i);
    }
    return -1;
}

VxRESULT LControl::ChildControlList::Add(const RCPtr<LControl>& child)
{
    return Add(child.Get());
}

VxRESULT LControl::ChildControlList::Add(LControl* child)
{
    if (child == nullptr)
        return VXR_E_INVALIDARG;
    // A child in two lists, or a tree that contains itself, would be walked
    // forever.
    if (!child->m_parent.IsNull())
    {
        VX_ASSERT_FALSE();
        return VXR_E_INVALIDARG;
    }
    for (const LControl* ancestor = mOwner; ancestor != nullptr; ancestor = ancestor->m_parent.Get())
    {
        if (ancestor == child)
        {
            VX_ASSERT_FALSE();
            return VXR_E_INVALIDARG;
        }
    }
    for (const RCPtr<LControl>& sibling : mChildren)
    {
        if (sibling->m_name == child->m_name)
        {
            VX_ASSERT_FALSE();
            return VXR_E_FAIL;
        }
    }
    // The slot first: a child under construction has no reference yet, and
    // one taken and dropped on failure would destroy it.
    const std::uint32_t count = mChildren.GetCount();
    const VxRESULT grown = mChildren.SetCount(count + 1);
    if (Failed(grown))
        return grown;
    const std::int32_t nonClipping = child->m_nonClippingDescendants + (LayoutOf(*child).ClipToParent ? 0 : 1);
    for (LControl* ancestor = mOwner; ancestor != nullptr; ancestor = ancestor->m_parent.Get())
        ancestor->m_nonClippingDescendants += nonClipping;
    mChildren[count] = child;
    child->m_parent = mOwner;
    mOwner->AdjustContainedRefCount(1);
    ++mModificationCount;
    return VXR_OK;
}

std::int32_t LControl::ChildControlList::Remove(const RCPtr<LControl>& child)
{
    for (std::uint32_t i = mChildren.GetCount(); i-- > 0;)
    {
        if (mChildren[i] != child)
            continue;
        // The child stays alive through this reference until it is out.
        const RCPtr<LControl> removed = mChildren[i];
        const std::int32_t nonClipping = removed->m_nonClippingDescendants + (LayoutOf(*removed).ClipToParent ? 0 : 1);
        for (LControl* ancestor = mOwner; ancestor != nullptr; ancestor = ancestor->m_parent.Get())
            ancestor->m_nonClippingDescendants -= nonClipping;
        mOwner->AdjustContainedRefCount(-1);
        removed->m_parent = nullptr;
        mChildren.RemoveSpace(i, 1);
        ++mModificationCount;
        mOwner->OnChildRemoved(removed, static_cast<std::int32_t>(i));
        return static_cast<std::int32_t>(i);
    }
    return -1;
}

void LControl::ChildControlList::RemoveAll()
{
    while (mChildren.GetCount() > 0)
    {
        const RCPtr<LControl> last = mChildren[mChildren.GetCount() - 1];
        Remove(last);
    }
}

void LControl::ChildControlList::TakeAll(RCPtrArray<LControl>& out)
{
    out.RemoveAll();
    for (const RCPtr<LControl>& child : mChildren)
        out.Add(child);
    RemoveAll();
}

VxRESULT LControl::ChildControlList::RenameChild(const RCPtr<LControl>& child, const Text& name)
{
    const std::int32_t index = IndexOf(child, kInsertionOrder);
    if (index < 0)
    {
        VX_ASSERT_FALSE();
        return VXR_E_INVALIDARG;
    }
    if (child->m_name == name)
        return VXR_NOTHING_DONE;
    for (const RCPtr<LControl>& sibling : mChildren)
    {
        if (sibling->m_name == name)
        {
            VX_ASSERT_FALSE();
            return VXR_E_FAIL;
        }
    }
    const Text oldName = child->m_name;
    child->m_name = name;
    // Only later siblings can name it: a layout refers to earlier siblings.
    for (std::uint32_t i = static_cast<std::uint32_t>(index) + 1; i < mChildren.GetCount(); ++i)
    {
        if (!mChildren[i]->m_layout.IsNull())
            mChildren[i]->m_layout->RenameControlReferences(oldName, name);
    }
    return VXR_OK;
}

VxRESULT LControl::ChildControlList::SwapChildren(std::int32_t a, std::int32_t b, bool keep)
{
    const std::int64_t count = mChildren.GetCount();
    if (a < 0 || b < 0 || a >= count || b >= count)
        return VXR_E_INVALIDARG;
    if (a == b)
        return VXR_OK;
    const RCPtr<LControl> first = mChildren[static_cast<std::uint32_t>(a)];
    const RCPtr<LControl> second = mChildren[static_cast<std::uint32_t>(b)];
    if (first->m_layout.IsNull() || second->m_layout.IsNull())
    {
        VX_ASSERT_FALSE();
        return VXR_E_FAIL;
    }
    // The parent's non-clipping count stays right: the two clip flags only
    // change hands.
    LLayoutDescriptor::SwapContents(*first->m_layout, *second->m_layout, keep);
    const Text firstName = first->m_name;
    first->m_name = second->m_name;
    second->m_name = firstName;
    mChildren[static_cast<std::uint32_t>(a)] = second;
    mChildren[static_cast<std::uint32_t>(b)] = first;
    ++mModificationCount;
    return VXR_OK;
}

// ---- Construction and teardown -----------------------------------------------

LControl::LControl() : LControl(nullptr, Text()) {}

LControl::LControl(const RCPtr<LControl>& parent, const Text& name) : m_name(name)
{
    m_conditionsParam = new LConditionsParam(0, 0, PointT<double>{0.0, 0.0});
    // No smart pointer holds this control yet: the parent's list takes the
    // first reference.
    if (!parent.IsNull())
    {
        parent->ProcessDeferredRemovals();
        parent->m_children.Add(this);
    }
    const RCPtr<LControlFactory> factory = GetFactory();
    if (!factory.IsNull())
        m_createParams = factory->GetInstanceCreateParams(parent, name);
}

LControl::~LControl() = default;

VxRESULT LControl::RemoveContainedReferences()
{
    RemoveAllClients();
    if (!m_menuItemUpdater.IsNull())
    {
        AdjustContainedRefCount(-1);
        m_menuItemUpdater->ClearControl();
        m_menuItemUpdater = nullptr;
    }
    m_pendingRemovals.RemoveAll();
    // A drag or an auto-scroll may hold controls of other branches.
    m_dropTarget = nullptr;
    for (InertialAxis& axis : m_inertial)
        axis.feedback = nullptr;
    m_children.RemoveAll();
    return LNotificationClient::RemoveContainedReferences();
}

RCPtr<LControl> CompleteControlCreation(const RCPtr<LControl>& control, const RCPtr<LControlDescriptor>& descriptor)
{
    if (control.IsNull())
        return nullptr;
    // Every step runs whatever the one before gave.
    if (Failed(control->ApplyDescriptor(descriptor)))
        VX_ASSERT_FALSE();
    if (Failed(control->CreateChildren(descriptor)))
        VX_ASSERT_FALSE();
    if (Failed(control->Initialize()))
        VX_ASSERT_FALSE();
    if (Failed(control->OnCreated()))
        VX_ASSERT_FALSE();
    control->m_created = 1;
    return control;
}

// ---- Notifications ------------------------------------------------------------

void LControl::Send(const char* id, const RCPtr<LRefCountedObject>& parameter)
{
    RCPtr<LNotification> notification;
    LNotification::Create(notification, id, parameter);
    if (notification.IsNull())
    {
        VX_ASSERT_FALSE();
        return;
    }
    Notify(notification);
}

NotificationHandlerResultCode LControl::Receive(const RCPtr<LNotificationDistributor>& from,
                                                const ConstRCPtr<LNotification>& notification)
{
    if (m_handler.IsNull() || m_created == 0)
        return 0;
    return m_handler->Receive(from, notification);
}

VxRESULT LControl::Unregister(const RCPtr<LNotificationDistributor>& from, const char* id)
{
    if (!m_handler.IsNull())
        m_handler->RemoveEntry(from, id);
    if (m_idleWindow != nullptr && from.Get() == static_cast<LNotificationDistributor*>(m_idleWindow) &&
        id != nullptr && std::strcmp(id, kIdleId) == 0)
        m_idleWindow = nullptr;
    return LNotificationClient::Unregister(from, id);
}

// ---- The tree -------------------------------------------------------------------

RCPtr<LControl> LControl::FindChild(const Text& name) const
{
    for (std::uint32_t i = m_children.GetCount(); i-- > 0;)
    {
        const RCPtr<LControl>& child = m_children.GetAt(i, ChildControlList::kInsertionOrder);
        if (child->m_name == name)
            return child;
    }
    return nullptr;
}

std::int32_t LControl::GetChildIndex(const RCPtr<LControl>& child, int order) const
{
    return m_children.IndexOf(child, order);
}

RCPtr<LControl> LControl::GetTopLevelControl() const
{
    const LControl* top = this;
    while (!top->m_parent.IsNull())
        top = top->m_parent.Get();
    return RCPtr<LControl>(const_cast<LControl*>(top));
}

RCPtr<LRootWindow> LControl::FindRootWindow() const
{
    const LControl* top = this;
    while (!top->m_parent.IsNull())
        top = top->m_parent.Get();
    return top->m_rootWindow;
}

bool LControl::IsDescendantOf(const RCPtr<LControl>& control) const
{
    for (const LControl* ancestor = m_parent.Get(); ancestor != nullptr; ancestor = ancestor->m_parent.Get())
    {
        if (ancestor == control.Get())
            return true;
    }
    return false;
}

std::uint32_t LControl::CollectDescendants(RCPtrArray<LControl>& out) const
{
    std::uint32_t added = 0;
    for (std::uint32_t i = 0; i < m_children.GetCount(); ++i)
    {
        const RCPtr<LControl> child = m_children.GetAt(i, ChildControlList::kInsertionOrder);
        out.Add(child);
        added += 1 + child->CollectDescendants(out);
    }
    return added;
}

std::uint32_t LControl::FindDescendantsByName(const Text& name, RCPtrArray<LControl>& out) const
{
    std::uint32_t added = 0;
    for (std::uint32_t i = m_children.GetCount(); i-- > 0;)
    {
        const RCPtr<LControl> child = m_children.GetAt(i, ChildControlList::kInsertionOrder);
        if (child->m_name == name)
        {
            out.Add(child);
            ++added;
        }
        added += child->FindDescendantsByName(name, out);
    }
    return added;
}

VxRESULT LControl::SetParent(const RCPtr<LControl>& parent)
{
    if (parent == m_parent)
        return VXR_NOTHING_DONE;
    for (const LControl* ancestor = parent.Get(); ancestor != nullptr; ancestor = ancestor->m_parent.Get())
    {
        if (ancestor == this)
        {
            VX_ASSERT_FALSE();
            return VXR_E_INVALIDARG;
        }
    }
    const RCPtr<LControl> self(this);
    if (!m_parent.IsNull())
    {
        Invalidate();
        const RCPtr<LControl> oldParent = m_parent;
        oldParent->m_children.Remove(self);
        VX_ASSERT(m_parent.IsNull() && m_rootWindow.IsNull());
    }
    else
    {
        m_rootWindow = nullptr;
    }
    if (!parent.IsNull())
    {
        // A pending child of the same name leaves first, so the name is free.
        parent->ProcessDeferredRemovals();
        const VxRESULT added = parent->m_children.Add(self);
        if (Failed(added))
            return added;
        // Idle time asked for away from this window is registered now.
        if (!FindRootWindow().IsNull())
            RegisterIdleHandlers();
    }
    VX_ASSERT(m_parent == parent);
    return VXR_OK;
}

VxRESULT LControl::SetRootWindow(const RCPtr<LRootWindow>& rootWindow)
{
    if (!m_parent.IsNull())
    {
        VX_ASSERT_FALSE();
        return VXR_E_FAIL;
    }
    m_rootWindow = rootWindow;
    if (rootWindow.IsNull())
        return VXR_OK;
    const RCPtr<LControl> top = rootWindow->GetTopControl();
    if (!top.IsNull())
        top->SetText(m_text);
    if (IWindowOSServices* const window = rootWindow->GetOSWindow())
        window->SetTitle(m_text);
    RegisterIdleHandlers();
    return VXR_OK;
}

VxRESULT LControl::AttachChild(const RCPtr<LControl>& child, const RCPtr<LControlDescriptor>& descriptor)
{
    if (child.IsNull() || descriptor.IsNull())
    {
        VX_ASSERT_FALSE();
        return VXR_E_FAIL;
    }
    const VxRESULT adopted = child->SetParent(RCPtr<LControl>(this));
    if (Failed(adopted))
    {
        VX_ASSERT_FALSE();
        return adopted;
    }
    child->ApplyDescriptor(descriptor);
    return adopted;
}

VxRESULT LControl::SwapChildren(std::int32_t a, std::int32_t b, bool keep)
{
    const VxRESULT swapped = m_children.SwapChildren(a, b, keep);
    if (Failed(swapped) || a == b)
        return swapped;
    const RCPtr<LControl> earlier =
        m_children.GetAt(static_cast<std::uint32_t>(std::min(a, b)), ChildControlList::kInsertionOrder);
    if (earlier->RecalcLayout() == VXR_NOTHING_DONE)
    {
        m_children.GetAt(static_cast<std::uint32_t>(a), ChildControlList::kInsertionOrder)->Invalidate();
        m_children.GetAt(static_cast<std::uint32_t>(b), ChildControlList::kInsertionOrder)->Invalidate();
    }
    return swapped;
}

bool LControl::IsTrue(const RCPtr<LStringTable>& parameters, const char* key, bool& present)
{
    present = false;
    Text value;
    if (parameters.IsNull() || !parameters->Lookup(key, value))
        return false;
    present = true;
    return value.Trim().ToLower() == "true";
}

// ---- Z-order --------------------------------------------------------------------

VxRESULT LControl::SetZOrder(std::int32_t zOrder)
{
    if (m_layout->Z_Order == zOrder)
        return VXR_NOTHING_DONE;
    m_layout->Z_Order = zOrder;
    if (!m_parent.IsNull())
        m_parent->m_children.Invalidate();
    Invalidate();
    return VXR_OK;
}

VxRESULT LControl::BringToFront()
{
    if (m_parent.IsNull())
        return VXR_NOTHING_DONE;
    if (m_layout.IsNull())
    {
        VX_ASSERT_FALSE();
        return VXR_E_FAIL;
    }
    const ChildControlList& siblings = m_parent->m_children;
    const std::uint32_t count = siblings.GetCount();
    std::int32_t highest = m_layout->Z_Order;
    for (std::uint32_t i = 0; i < count; ++i)
        highest = std::max(highest, LayoutOf(*siblings.GetAt(i, ChildControlList::kInsertionOrder)).Z_Order);
    if (highest == std::numeric_limits<std::int32_t>::max())
    {
        // No room above: 0..n-1 in the present order, this one on top.
        RCPtrArray<LControl> ordered;
        for (std::uint32_t i = 0; i < count; ++i)
            ordered.Add(siblings.GetAt(i, ChildControlList::kZOrder));
        for (std::uint32_t i = 0; i < count; ++i)
        {
            if (!ordered[i]->m_layout.IsNull())
                ordered[i]->SetZOrder(static_cast<std::int32_t>(i));
        }
        highest = static_cast<std::int32_t>(count) - 1;
    }
    SetZOrder(highest + 1);
    return VXR_OK;
}

VxRESULT LControl::SendToBack()
{
    if (m_parent.IsNull())
        return VXR_NOTHING_DONE;
    if (m_layout.IsNull())
    {
        VX_ASSERT_FALSE();
        return VXR_E_FAIL;
    }
    const ChildControlList& siblings = m_parent->m_children;
    const std::uint32_t count = siblings.GetCount();
    std::int32_t lowest = m_layout->Z_Order;
    for (std::uint32_t i = 0; i < count; ++i)
        lowest = std::min(lowest, LayoutOf(*siblings.GetAt(i, ChildControlList::kInsertionOrder)).Z_Order);
    if (lowest == std::numeric_limits<std::int32_t>::min())
    {
        // No room below: 1..n in the present order, this one underneath.
        RCPtrArray<LControl> ordered;
        for (std::uint32_t i = 0; i < count; ++i)
            ordered.Add(siblings.GetAt(i, ChildControlList::kZOrder));
        for (std::uint32_t i = 0; i < count; ++i)
        {
            if (!ordered[i]->m_layout.IsNull())
                ordered[i]->SetZOrder(static_cast<std::int32_t>(i) + 1);
        }
        lowest = 1;
    }
    SetZOrder(lowest - 1);
    return VXR_OK;
}

// ---- Creation protocol --------------------------------------------------------

VxRESULT LControl::ApplyDescriptor(const RCPtr<LControlDescriptor>& descriptor)
{
    if (descriptor.IsNull())
    {
        VX_ASSERT_FALSE();
        return VXR_E_INVALIDARG;
    }
    // Looks, font and layout all come from these two.
    if (descriptor->GetLayout().IsNull() || descriptor->GetSkin().IsNull())
    {
        VX_ASSERT_FALSE();
        return VXR_E_FAIL;
    }
    const RCPtr<LControl> self(this);
    const bool reapplying = m_created != 0;
    bool wasVisible = true;
    bool wasEnabled = true;
    if (reapplying)
    {
        if (m_layout.IsNull())
        {
            VX_ASSERT_FALSE();
        }
        else
        {
            wasVisible = m_layout->IsVisible;
            wasEnabled = m_layout->IsEnabled;
        }
        // Takes this control out of its ancestors' non-clipping counts; the
        // new layout puts it back below.
        SetClipToParent(true);
    }

    m_descriptor = descriptor;
    RCPtr<LLayoutDescriptor> layout;
    descriptor->GetLayout()->Clone(layout);
    m_layout = layout;

    if (!m_rootWindow.IsNull())
    {
        m_layout->IsVisible = true;
        if (reapplying)
        {
            RectT<int> client = m_rootWindow->GetClientRect();
            if (AdjustRootWindowRect(client))
            {
                m_rootWindow->SetWindowRect(client);
                client = m_rootWindow->GetClientRect();
            }
            // The client area as it is, until the placement below takes over.
            for (int axis = 0; axis < 2; ++axis)
            {
                LLayoutDescriptor::PositionSpec position = m_layout->GetPositionSpec(axis);
                position.anchor = 0.0f;
                position.reference = PositionReference::Client;
                position.rel = 0.0f;
                position.abs = 0.0;
                LLayoutDescriptor::SizeSpec size = m_layout->GetSizeSpec(axis);
                size.reference = SizeReference::Self;
                size.rel = 0.0f;
                size.abs = axis == 0 ? client.width : client.height;
                m_layout->SetPositionSpec(axis, position);
                m_layout->SetSizeSpec(axis, size);
            }
        }
    }

    if (reapplying)
    {
        if (m_layout->IsVisible != wasVisible)
            SetVisible(wasVisible);
        m_layout->IsEnabled = wasEnabled;
        bool present = false;
        const bool notFocusable = IsTrue(descriptor->GetCreateParams(), "NOT_FOCUSABLE", present);
        SetNotFocusable(present ? notFocusable : m_layout->TabStop < 0);
    }

    const LSkinDescriptor& skin = *descriptor->GetSkin();
    std::vector<float> weights;
    for (std::uint32_t i = 0; i < m_lookWeights.GetCount(); ++i)
        weights.push_back(m_lookWeights[i]);
    m_looks.RemoveAll();
    m_lookWeights.SetCount(0);
    if (!skin.lookList.IsNull())
    {
        const bool wordWrap = m_layout->TextOverflowXType == TextOverflowType::Wrap;
        for (std::uint32_t i = 0; i < skin.lookList->GetCount(); ++i)
        {
            const RCPtr<LLookDescriptor>& entry = (*skin.lookList)[i];
            RCPtr<LLook> look;
            if (!entry.IsNull())
                LLook::Create(entry, wordWrap, look);
            AddLook(look);
        }
    }
    if (reapplying)
    {
        // The new looks show what the old ones showed, look by look: looks
        // of weight 0 are never drawn.
        bool shown = false;
        for (std::uint32_t i = 0; i < m_lookWeights.GetCount() && i < weights.size(); ++i)
        {
            m_lookWeights[i] = weights[i];
            shown = shown || weights[i] > 0.0f;
        }
        if (!shown && m_lookWeights.GetCount() > 0)
            m_lookWeights[0] = 1.0f;
    }

    m_inheritFont = skin.fontInheritsFromParent ? 1 : 0;
    m_fontRelativeFlag = skin.fontSizeIsRelative ? 1 : 0;
    SetFont(skin.fontName, skin.fontStyle, skin.fontSizeIsRelative, skin.fontSize);

    if (reapplying)
    {
        // The stored text must differ for the new looks to be given it.
        const Text previous = m_text;
        m_text = previous + Text("~");
        SetText(previous);
    }
    else if (!m_createParams.IsNull())
    {
        Text label;
        if (m_createParams->Lookup("LABEL", label))
            SetTextAndLayout(label, false);
    }

    if (!m_layout->ClipToParent)
        AdjustAncestorsNonClipping(1);

    RCPtrArray<LControl> children;
    m_children.TakeAll(children);

    m_bounds = RectT<double>::Empty;
    RecalcLayout();

    if (reapplying)
    {
        m_inLayout = 1;
        for (const RCPtr<LControlDescriptor>& sub : descriptor->GetChildren())
        {
            for (std::uint32_t i = 0; i < children.GetCount(); ++i)
            {
                if (children[i]->m_name == sub->GetName())
                {
                    AttachChild(children[i], sub);
                    children.RemoveSpace(i, 1);
                    break;
                }
            }
        }
        // Children the new skin does not describe stay as they are.
        for (const RCPtr<LControl>& child : children)
            child->SetParent(self);
        m_inLayout = 0;
        if (m_children.GetCount() > 0)
            RecalcLayout();
        UpdateConditions();

        OnCreated();
        m_children.Invalidate();
        if (!m_rootWindow.IsNull())
        {
            // A top control fills its window's client area.
            for (int axis = 0; axis < 2; ++axis)
            {
                LLayoutDescriptor::PositionSpec position = m_layout->GetPositionSpec(axis);
                position.anchor = 0.0f;
                position.reference = PositionReference::Client;
                position.rel = 0.0f;
                position.abs = 0.0;
                LLayoutDescriptor::SizeSpec size = m_layout->GetSizeSpec(axis);
                size.reference = SizeReference::Client;
                size.rel = 1.0f;
                size.abs = 0.0;
                m_layout->SetPositionSpec(axis, position);
                m_layout->SetSizeSpec(axis, size);
            }
            RecalcLayout();
            Invalidate();
        }
        return VXR_OK;
    }

    if (children.GetCount() > 0)
    {
        // A control being created has no children yet; keep any anyway.
        VX_ASSERT_FALSE();
        for (const RCPtr<LControl>& child : children)
            child->SetParent(self);
    }
    if (m_looks.GetCount() > 0)
        SetLook(0);
    // The starting conditions, announced to nobody.
    const std::uint32_t conditions = ComputeConditions();
    m_conditionsParam->previous = conditions;
    m_conditionsParam->current = conditions;
    m_conditionsParam->point = m_pressPoint;
    return VXR_OK;
}

VxRESULT LControl::CreateChildren(const RCPtr<LControlDescriptor>& descriptor)
{
    m_children.RemoveAll();
    if (descriptor.IsNull())
    {
        VX_ASSERT_FALSE();
        return VXR_E_INVALIDARG;
    }
    const RCPtr<LControlFactory> factory = GetFactory();
    if (factory.IsNull())
    {
        VX_ASSERT_FALSE();
        return VXR_E_FAIL;
    }
    const RCPtr<LControl> self(this);
    for (const RCPtr<LControlDescriptor>& sub : descriptor->GetChildren())
    {
        bool present = false;
        if (IsTrue(sub->GetCreateParams(), "DEFER_CREATE", present))
            continue;
        const RCPtr<LControl> child = factory->CreateControl(sub, self);
        if (child.IsNull() || child->m_parent != self)
            VX_ASSERT_FALSE();
    }
    RecalcLayout();
    return VXR_OK;
}

VxRESULT LControl::Initialize()
{
    if (IControlHost* const host = GetControlHost())
        m_notificationCenter = host->GetDefaultNotificationCenter();
    // An idle request made earlier may have created the table already.
    if (m_handler.IsNull())
        m_handler = new LNotificationHandler<LControl>(this);
    if (Failed(ApplyCreateParams()))
        VX_ASSERT_FALSE();
    if (!m_createParams.IsNull())
    {
        Text toolTip;
        if (m_createParams->Lookup("TOOLTIP", toolTip))
            m_toolTipText = toolTip;
    }
    LoadHotKeys();
    return VXR_OK;
}

VxRESULT LControl::ApplyCreateParams()
{
    const bool tabStopNegative = !m_layout.IsNull() && m_layout->TabStop < 0;
    const RCPtr<LStringTable> parameters =
        m_descriptor.IsNull() ? RCPtr<LStringTable>() : m_descriptor->GetCreateParams();
    if (parameters.IsNull())
    {
        SetNotFocusable(tabStopNegative);
        return VXR_OK;
    }
    Text value;
    if (parameters->Lookup("INITIAL_VALUE", value))
        SetValue(value.ToDouble());
    bool present = false;
    const bool notFocusable = IsTrue(parameters, "NOT_FOCUSABLE", present);
    SetNotFocusable(present ? notFocusable : tabStopNegative);
    const bool useParentToolTip = IsTrue(parameters, "USE_PARENT_TOOLTIP", present);
    if (present)
        m_useParentToolTip = useParentToolTip ? 1 : 0;
    const bool wantsTab = IsTrue(parameters, "WANTS_TAB", present);
    if (present)
        m_wantsTab = wantsTab ? 1 : 0;
    return VXR_OK;
}

// ---- Named children -----------------------------------------------------------

RCPtr<LControl> LControl::FindOrCreateChild(const Text& name)
{
    const RCPtr<LControl> existing = FindChild(name);
    if (!existing.IsNull() || m_descriptor.IsNull())
        return existing;
    const RCPtr<LControlFactory> factory = GetFactory();
    if (factory.IsNull())
    {
        VX_ASSERT_FALSE();
        return nullptr;
    }
    const RCPtr<LControl> self(this);
    for (const RCPtr<LControlDescriptor>& sub : m_descriptor->GetChildren())
    {
        if (!(sub->GetName() == name))
            continue;
        const RCPtr<LControl> child = factory->CreateControl(sub, self);
        if (!child.IsNull() && child->m_parent != self)
            VX_ASSERT_FALSE();
    }
    return FindChild(name);
}

VxRESULT LControl::ShowChild(const Text& name)
{
    const RCPtr<LControl> child = FindOrCreateChild(name);
    if (child.IsNull())
    {
        VX_ASSERT_FALSE();
        return VXR_E_FAIL;
    }
    child->SetVisible(true);
    return VXR_OK;
}

VxRESULT LControl::HideChild(const Text& name)
{
    const RCPtr<LControl> child = FindChild(name);
    if (child.IsNull())
        return VXR_E_FAIL;
    bool present = false;
    if (!child->m_descriptor.IsNull() && IsTrue(child->m_descriptor->GetCreateParams(), "DEFER_CREATE", present))
    {
        // Made on demand, so given up when hidden.
        child->Detach();
        return VXR_NOTHING_DONE;
    }
    child->SetVisible(false);
    return VXR_OK;
}

// ---- Leaving the tree -------------------------------------------------------------

VxRESULT LControl::Detach()
{
    const RCPtr<LControl> self(this);
    SetVisible(false);
    SetClipToParent(true);
    if (m_capture != 0)
        OnCaptureLost();
    // What the idle requests were for ends with them: pending removals happen
    // now and animations stop, so that none is left waiting for an idle pass
    // that never comes.
    ProcessDeferredRemovals();
    for (int axis = 0; axis < 2; ++axis)
    {
        m_growing[axis] = 0;
        m_shrinking[axis] = 0;
    }
    m_moving = 0;
    while (m_idleRequests > 0)
        ReleaseIdle();
    if (!m_parent.IsNull())
        SetParent(nullptr);
    else
        SetRootWindow(nullptr);
    return VXR_OK;
}

VxRESULT LControl::RemoveChildDeferred(const RCPtr<LControl>& child)
{
    if (child.IsNull() || child->m_parent.Get() != this)
    {
        VX_ASSERT_FALSE();
        return VXR_E_INVALIDARG;
    }
    for (const RCPtr<LControl>& pending : m_pendingRemovals)
    {
        if (pending == child)
            return VXR_OK;
    }
    if (child->m_capture != 0)
        child->OnCaptureLost();
    child->SetVisible(false);
    if (Failed(m_pendingRemovals.Add(child)))
        return VXR_E_INVALIDARG;
    if (m_pendingRemovals.GetCount() == 1)
        RequestIdle();
    return VXR_OK;
}

VxRESULT LControl::ProcessDeferredRemovals()
{
    const std::uint32_t pending = m_pendingRemovals.GetCount();
    if (pending == 0)
        return VXR_NOTHING_DONE;
    const RCPtr<LControl> self(this);
    for (std::uint32_t i = 0; i < pending && m_pendingRemovals.GetCount() > 0; ++i)
    {
        // Out of the list before it is detached, so that a removal started
        // from inside the detach does not meet it again.
        RCPtr<LControl> child;
        m_pendingRemovals.RemoveAt(0, child);
        const Text name = child->m_name;
        child->Detach();
        if (!FindChild(name).IsNull())
            VX_ASSERT_FALSE();
    }
    if (m_pendingRemovals.GetCount() == 0)
        ReleaseIdle();
    return VXR_OK;
}

// ---- Idle requests ------------------------------------------------------------------

VxRESULT LControl::RegisterIdleWith(const RCPtr<LRootWindow>& rootWindow)
{
    if (m_idleWindow == rootWindow.Get())
        return VXR_OK;
    UnregisterIdle();
    if (m_handler.IsNull())
        m_handler = new LNotificationHandler<LControl>(this);
    const VxRESULT registered =
        m_handler->Register(&LControl::OnIdle, RCPtr<LNotificationDistributor>(rootWindow), kIdleId, 0);
    if (Succeeded(registered))
        m_idleWindow = rootWindow.Get();
    return registered;
}

VxRESULT LControl::UnregisterIdle()
{
    if (m_idleWindow == nullptr)
        return VXR_OK;
    // Held for the call: the window may be on its way out.
    const RCPtr<LNotificationDistributor> window{RCPtr<LRootWindow>(m_idleWindow)};
    m_idleWindow = nullptr;
    return m_handler.IsNull() ? VXR_OK : m_handler->Unregister(window, kIdleId);
}

VxRESULT LControl::RequestIdle()
{
    if (m_idleRequests++ != 0)
        return VXR_OK;
    const RCPtr<LRootWindow> rootWindow = FindRootWindow();
    if (rootWindow.IsNull())
        return VXR_OK;
    const VxRESULT registered = RegisterIdleWith(rootWindow);
    if (Failed(registered))
    {
        VX_ASSERT_FALSE();
        m_idleRequests = 0;
    }
    return registered;
}

VxRESULT LControl::ReleaseIdle()
{
    if (m_idleRequests <= 0)
    {
        VX_ASSERT_FALSE();
        m_idleRequests = 0;
        return VXR_NOTHING_DONE;
    }
    if (--m_idleRequests > 0)
        return VXR_OK;
    // The window the handler went to, even when the tree has left it since.
    const VxRESULT unregistered = UnregisterIdle();
    if (Failed(unregistered))
        VX_ASSERT_FALSE();
    return unregistered;
}

VxRESULT LControl::RegisterIdleHandlers()
{
    if (m_idleRequests > 0)
    {
        const RCPtr<LRootWindow> rootWindow = FindRootWindow();
        if (!rootWindow.IsNull() && Failed(RegisterIdleWith(rootWindow)))
        {
            VX_ASSERT_FALSE();
            m_idleRequests = 0;
        }
    }
    for (std::uint32_t i = m_children.GetCount(); i-- > 0;)
    {
        if (i < m_children.GetCount())
            m_children.GetAt(i, ChildControlList::kInsertionOrder)->RegisterIdleHandlers();
    }
    return VXR_OK;
}

NotificationHandlerResultCode LControl::OnIdle(const RCPtr<LNotificationDistributor>& /*from*/,
                                               const ConstRCPtr<LNotification>& /*notification*/)
{
    if (m_idleRequests < 1)
        VX_ASSERT_FALSE();
    const RCPtr<LControl> self(this);
    for (int axis = 0; axis < 2; ++axis)
        StepSizeAnimation(axis);
    StepMoveAnimation();
    StepInertialScrolls();
    ProcessDeferredRemovals();
    ProcessIdle();
    return 0;
}

// ---- Edit targets -----------------------------------------------------------------

RCPtr<LControl> LControl::FindEditTarget(std::int32_t editKind)
{
    if (IsEditTarget(editKind))
        return RCPtr<LControl>(this);
    if (!m_parent.IsNull())
        return m_parent->FindEditTarget(editKind);
    return nullptr;
}

bool LControl::CanPerformEdit(std::int32_t /*editKind*/)
{
    VX_ASSERT_FALSE();
    return false;
}

VxRESULT LControl::PerformEdit(std::int32_t /*editKind*/)
{
    VX_THROW(std::logic_error, "LControl::PerformEdit must be overridden");
}

RectT<double> LControl::GetScrollBounds()
{
    // 2^52: from there on every double is whole, so no scroll offset limits it.
    constexpr double kUnbounded = 4503599627370496.0;
    return RectT<double>{0.0, 0.0, kUnbounded, kUnbounded};
}

void LControl::AdjustAncestorsNonClipping(std::int32_t count)
{
    for (LControl* ancestor = m_parent.Get(); ancestor != nullptr; ancestor = ancestor->m_parent.Get())
        ancestor->m_nonClippingDescendants += count;
}
} // namespace Vx
