#pragma once

#include "VxFramework/ObjectBase/RefCountedObject.h"

namespace Vx
{
// A reference-counted object that carries one tag object for its owner's use.
class LTaggableObject : public virtual LRefCountedObject
{
public:
    LTaggableObject() = default;
    LTaggableObject(const LTaggableObject&) = delete;
    LTaggableObject& operator=(const LTaggableObject&) = delete;
    ~LTaggableObject() override = default;

    const RCPtr<LRefCountedObject>& GetTag() const noexcept { return mTag; }
    void SetTag(const RCPtr<LRefCountedObject>& tag) { mTag = tag; }

private:
    RCPtr<LRefCountedObject> mTag;
};
} // namespace Vx
