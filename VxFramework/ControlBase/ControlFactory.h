#pragma once

#include "VxFramework/ObjectBase/RefCountedObject.h"

namespace Vx
{
// Creates controls by type name and holds the loaded skins and string tables.
class LControlFactory : public virtual LRefCountedObject
{
public:
    ~LControlFactory() override = default;

protected:
    LControlFactory() = default;
};
} // namespace Vx
