#pragma once

#include "VxFramework/ObjectBase/RefCountedObject.h"

namespace Vx
{
// Name and value text pairs: the string tables of the skin resources and the
// create parameters of a control.
class LStringTable : public virtual LRefCountedObject
{
public:
    ~LStringTable() override = default;

protected:
    LStringTable() = default;
};
} // namespace Vx
