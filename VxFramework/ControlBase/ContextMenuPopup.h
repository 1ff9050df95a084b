#pragma once

#include "VxFramework/Controls/MenuDescriptor.h"
#include "VxFramework/ObjectBase/RefCountedObject.h"
#include "VxFramework/ObjectBase/Result.h"

namespace Vx
{
// What a right click asks of the control the skin's "contextMenu" descriptor
// makes: the pop-up menu takes the menu to show.  The stock pop-up menu
// implements it; a control that does not cannot open a context menu.
class IContextMenuPopup
{
public:
    virtual VxRESULT SetMenu(const RCPtr<LMenuDescriptor>& menu) = 0;

protected:
    ~IContextMenuPopup() = default;
};
} // namespace Vx
