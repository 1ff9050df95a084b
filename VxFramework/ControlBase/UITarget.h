#pragma once

#include "VxFramework/ControlBase/ControlParams.h"
#include "VxFramework/ObjectBase/RefCountedObject.h"
#include "VxFramework/ObjectBase/Result.h"
#include "VxFramework/Utilities/Graphics/CTTypes.h"

#include <cstdint>

namespace Vx
{
// The input interface of a control: what the root window calls for pointer,
// wheel and key events and for focus changes.  Results are status codes:
// 0 handled, 1 not handled, negative codes for errors.
class UITarget
{
public:
    virtual VxRESULT OnPointerEnter() = 0;
    virtual VxRESULT OnPointerMove(const RCPtr<LPointWithModifiersParam>& param) = 0;
    virtual VxRESULT OnPointerDown(const RCPtr<LMouseButtonParam>& param) = 0;
    virtual VxRESULT OnPointerUp(const RCPtr<LMouseButtonParam>& param) = 0;
    virtual VxRESULT OnPointerLeave() = 0;
    // button 0 captures without a press; point in the control's own frame.
    virtual VxRESULT BeginCapture(std::int32_t button, const PointT<int>& point) = 0;
    virtual VxRESULT OnCaptureLost() = 0;
    virtual VxRESULT OnKey(const RCPtr<LKeyParam>& key) = 0;
    virtual VxRESULT OnMouseWheel(const RCPtr<LMouseWheelParam>& param) = 0;
    virtual VxRESULT OnMouseWheelHorizontal(const RCPtr<LMouseWheelParam>& param) = 0;
    virtual VxRESULT OnWindowResized() = 0;
    virtual bool Validate(bool forward) = 0;
    virtual VxRESULT OnFocusLost() = 0;

protected:
    UITarget() = default;
    ~UITarget() = default;
    UITarget(const UITarget&) = default;
    UITarget& operator=(const UITarget&) = default;
};
} // namespace Vx
