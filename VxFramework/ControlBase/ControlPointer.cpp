#include "VxFramework/ControlBase/Control.h"

namespace Vx
{
// Pointer and wheel handling; until it lands a control handles nothing.

VxRESULT LControl::OnPointerEnter()
{
    return VXR_NOTHING_DONE;
}

VxRESULT LControl::OnPointerMove(const RCPtr<LPointWithModifiersParam>& /*param*/)
{
    return VXR_NOTHING_DONE;
}

VxRESULT LControl::OnPointerDown(const RCPtr<LMouseButtonParam>& /*param*/)
{
    return VXR_NOTHING_DONE;
}

VxRESULT LControl::OnPointerUp(const RCPtr<LMouseButtonParam>& /*param*/)
{
    return VXR_NOTHING_DONE;
}

VxRESULT LControl::OnPointerLeave()
{
    return VXR_NOTHING_DONE;
}

VxRESULT LControl::BeginCapture(std::int32_t /*button*/, const PointT<int>& /*point*/)
{
    return VXR_NOTHING_DONE;
}

VxRESULT LControl::OnMouseWheel(const RCPtr<LMouseWheelParam>& /*param*/)
{
    return VXR_NOTHING_DONE;
}

VxRESULT LControl::OnMouseWheelHorizontal(const RCPtr<LMouseWheelParam>& /*param*/)
{
    return VXR_NOTHING_DONE;
}
} // namespace Vx
