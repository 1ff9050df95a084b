#include "VxFramework/ControlBase/Control.h"

#include "VxFramework/ObjectBase/Exception.h"
#include "VxFramework/ObjectBase/NoDestructor.h"

#include <algorithm>

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
// What a child without a layout counts as in the sibling orders.
const LLayoutDescriptor& LayoutOf(const RCPtr<LControl>& child)
{
    static const NoDestructor<LLayoutDescriptor> defaults;
    const RCPtr<LLayoutDescriptor>& layout = child->GetLayout();
    return layout.IsNull() ? *defaults : *layout;
}
} // namespace

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
        return LLayoutDescriptor::CompareTabOrder(LayoutOf(mChildren[a]), LayoutOf(mChildren[b])) < 0;
    });
    std::stable_sort(mZOrder.GetData(), mZOrder.GetData() + count, [this](std::uint32_t a, std::uint32_t b) {
        return LLayoutDescriptor::CompareZOrder(LayoutOf(mChildren[a]), LayoutOf(mChildren[b])) < 0;
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

VxRESULT LControl::ChildControlList::Add(const RCPtr<LControl>& child)
{
    return Add(child.Get());
}

VxRESULT LControl::ChildControlList::Add(LControl* child)
{
    if (child == nullptr)
        return VXR_E_INVALIDARG;
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
        mOwner->AdjustContainedRefCount(-1);
        removed->m_parent = nullptr;
        mChildren.RemoveSpace(i, 1);
        ++mModificationCount;
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

LControl::LControl() = default;

LControl::LControl(const RCPtr<LControl>& parent, const Text& name) : m_name(name)
{
    if (!parent.IsNull())
        parent->m_children.Add(this);
}

LControl::~LControl() = default;

VxRESULT LControl::RemoveContainedReferences()
{
    RemoveAllClients();
    m_children.RemoveAll();
    return LNotificationClient::RemoveContainedReferences();
}

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

bool LControl::IsDocked(int kind) const
{
    if (kind < 0 || kind > 4)
    {
        VX_ASSERT_FALSE();
        return false;
    }
    if (m_layout.IsNull())
        return false;
    const bool x = m_layout->XIsDocked;
    const bool y = m_layout->YIsDocked;
    switch (kind)
    {
    case 0:
        return x;
    case 1:
        return y;
    case 2:
        return x != y;
    case 3:
        return x && y;
    default:
        return x || y;
    }
}

RCPtr<LLook> LControl::FindCurrentLook() const
{
    const std::uint32_t count = m_looks.GetCount();
    for (std::uint32_t i = 0; i < count; ++i)
    {
        if (!m_looks[i].IsNull() && i < m_lookWeights.GetCount() && m_lookWeights[i] > 0.0f)
            return m_looks[i];
    }
    for (std::uint32_t i = 0; i < count; ++i)
    {
        if (!m_looks[i].IsNull())
            return m_looks[i];
    }
    return nullptr;
}

RCPtr<LLook> LControl::GetLook(std::int32_t index) const
{
    const std::uint32_t count = m_looks.GetCount();
    if (count == 0)
    {
        VX_ASSERT_FALSE();
        return nullptr;
    }
    if (index < 0 || static_cast<std::uint32_t>(index) >= count)
        return FindCurrentLook();
    return m_looks[static_cast<std::uint32_t>(index)];
}

RectT<double> LControl::GetLookBounds(std::int32_t index) const
{
    const RCPtr<LLook> look = m_looks.GetCount() == 0 ? RCPtr<LLook>() : GetLook(index);
    if (look.IsNull())
        return RectT<double>{0.0, 0.0, m_bounds.width, m_bounds.height};
    return static_cast<RectT<double>>(look->GetClientRect());
}

RectT<double> LControl::GetClippedBoundsInParent() const
{
    if (m_parent.IsNull())
        return m_bounds;
    const RectT<double> client = m_parent->GetLookBounds(-1);
    const PointT<double>& scroll = m_parent->GetScrollOffset();
    return RectT<double>{m_bounds.x - scroll.x + client.x, m_bounds.y - scroll.y + client.y, m_bounds.width,
                         m_bounds.height};
}
} // namespace Vx
