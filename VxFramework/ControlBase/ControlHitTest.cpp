#include "VxFramework/ControlBase/Control.h"

namespace Vx
{
RCPtr<LControl> LControl::HitTest(const PointT<int>&, bool, PointT<int>& hitPoint, std::int32_t&)
{
    hitPoint = PointT<int>{0, 0};
    return nullptr;
}

bool LControl::ContainsPoint(const PointT<int>&)
{
    return false;
}

RCPtr<LControl> LControl::ChildAtPoint(const PointT<int>&) const
{
    return nullptr;
}

std::int32_t LControl::GetEffectiveZ() const
{
    return INT32_MIN;
}

RCPtr<LControl> LControl::GetToolTipSource()
{
    return RCPtr<LControl>(this);
}

VxRESULT LControl::ShowToolTip(bool, std::int32_t)
{
    return VXR_OK;
}
} // namespace Vx
