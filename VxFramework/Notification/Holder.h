#pragma once

#include "VxFramework/ObjectBase/RefCountedObject.h"

#include <utility>

namespace Vx
{
// Carries a structure as a reference-counted object: the receiver reads the
// structure's fields directly.
template <class T, class Base = LRefCountedObject>
class LWrapper : public T, public virtual Base
{
public:
    LWrapper() = default;
    explicit LWrapper(const T& value) : T(value) {}
    ~LWrapper() override = default;
};

// Carries one plain value as a reference-counted object.  The value lives in
// its own heap cell, so the holder's layout is the same whatever T is.
template <class T>
class LHolder : public virtual LRefCountedObject
{
public:
    LHolder() : mValue(new T()) {}
    explicit LHolder(const T& value) : mValue(new T(value)) {}
    LHolder(const LHolder& other) : LRefCountedObject(other), mValue(new T(*other.mValue)) {}
    LHolder& operator=(const LHolder& other)
    {
        *mValue = *other.mValue;
        return *this;
    }
    // Frees the cell only: a held resource (a stream, say) stays its owner's.
    ~LHolder() override { delete mValue; }

    T& GetValue() noexcept { return *mValue; }
    const T& GetValue() const noexcept { return *mValue; }
    void SetValue(const T& value) { *mValue = value; }

private:
    T* mValue;
};
} // namespace Vx
