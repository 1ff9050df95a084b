#pragma once

#include "VxFramework/ObjectBase/RefCountedObject.h"

namespace Vx
{
// The description of a menu, independent of any control: what a pop-up menu
// shows and what its activation parameter names.  Its items come with the
// menus that build and show them.
class LMenuDescriptor : public virtual LRefCountedObject
{
public:
    ~LMenuDescriptor() override = default;
};
} // namespace Vx
