#include "VxFramework/ControlBase/Control.h"

namespace Vx
{
// Key handling and focus traversal; until it lands a control handles no key.

VxRESULT LControl::OnKey(const RCPtr<LKeyParam>& /*key*/)
{
    return VXR_NOTHING_DONE;
}
} // namespace Vx
