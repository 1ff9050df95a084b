#pragma once

#include "VxFramework/ObjectBase/AtomicCounter.h"
#include "VxFramework/ObjectBase/Exception.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <type_traits>
#include <typeinfo>
#include <utility>

namespace Vx
{
template <class T, class P> class RCPtr;
template <class C, class O> class StringT;
class LRefCountedObject;

class IStringable
{
public:
    // The object's text form, in UTF-8.
    virtual StringT<char, unsigned short> ToString() const = 0;
    virtual ~IStringable() = default;
};

class IUndoable : public IStringable
{
public:
    virtual void Undo() = 0;
};

// The type-information name of a dynamic type, without a leading '*'.
const char* GetTypeName(const std::type_info& type) noexcept;

// Intrusive, thread-safe reference counting.  Derive from it virtually.
// The contained-reference count says how many of the references are held by
// the object's own parts (registrations, children's back pointers); when the
// last outside reference goes, RemoveContainedReferences runs once so that the
// parts let go and the cycle is broken.
class LRefCountedObject : public IUndoable
{
public:
    LRefCountedObject() noexcept;
    LRefCountedObject(const LRefCountedObject&) noexcept;
    LRefCountedObject& operator=(const LRefCountedObject&);

    StringT<char, unsigned short> ToString() const override;
    void Undo() override;
    virtual std::uint32_t AddRef() noexcept;
    virtual std::uint32_t Release();
    virtual VxRESULT RemoveContainedReferences();
    virtual RCPtr<LRefCountedObject, LRefCountedObject*> CreateCopy() const;
    ~LRefCountedObject() override;

    bool IsShared() const noexcept { return mRefCount.GetValue() > 1; }
    // While exclusive, a smart pointer that takes the object from another holder
    // gets a copy instead.  Making a shared object exclusive throws.
    void SetExclusive(bool exclusive);
    bool IsShareable() const noexcept { return mShareable; }
    void AdjustContainedRefCount(std::int32_t delta) noexcept { mContainedRefCount.Add(delta); }

    std::uint32_t GetRefCount() const noexcept { return static_cast<std::uint32_t>(mRefCount.GetValue()); }
    std::uint32_t GetContainedRefCount() const noexcept
    {
        return static_cast<std::uint32_t>(mContainedRefCount.GetValue());
    }
    const char* GetTypeName() const noexcept { return Vx::GetTypeName(typeid(*this)); }

private:
    void CleanUpBeforeLastOutsideRelease();

    AtomicCounter mRefCount;
    AtomicCounter mContainedRefCount;
    std::atomic<std::int32_t> mCleanupFlag{0};
    bool mShareable = true;
};

[[noreturn]] void ThrowBadCopyType(const std::type_info& type, const char* path, int line);

// Read-only intrusive smart pointer.
template <class T, class P = T*>
class ConstRCPtr
{
public:
    using element_type = T;

    ConstRCPtr() noexcept = default;
    ConstRCPtr(std::nullptr_t) noexcept {}
    ConstRCPtr(T* pointer) : mPointer(pointer) { Acquire(); }
    ConstRCPtr(const ConstRCPtr& other) : mPointer(other.mPointer) { Acquire(); }
    ConstRCPtr(ConstRCPtr&& other) noexcept : mPointer(other.mPointer) { other.mPointer = nullptr; }

    // Upward conversion.
    template <class U, class Q, std::enable_if_t<std::is_convertible_v<U*, T*>, int> = 0>
    ConstRCPtr(const ConstRCPtr<U, Q>& other) : mPointer(other.GetMutable()) { Acquire(); }

    // Downward or sideways conversion, checked at run time: null when the
    // object is not a T.
    template <class U, class Q, std::enable_if_t<!std::is_convertible_v<U*, T*>, int> = 0>
    explicit ConstRCPtr(const ConstRCPtr<U, Q>& other) : mPointer(dynamic_cast<T*>(other.GetMutable()))
    {
        Acquire();
    }

    ~ConstRCPtr() { ReleasePointee(mPointer); }

    ConstRCPtr& operator=(const ConstRCPtr& other) { Assign(other.mPointer); return *this; }
    ConstRCPtr& operator=(ConstRCPtr&& other) noexcept
    {
        if (this != &other)
        {
            T* old = mPointer;
            mPointer = other.mPointer;
            other.mPointer = nullptr;
            ReleasePointee(old);
        }
        return *this;
    }
    ConstRCPtr& operator=(T* pointer) { Assign(pointer); return *this; }
    ConstRCPtr& operator=(std::nullptr_t) { Assign(nullptr); return *this; }

    const T* Get() const noexcept { return mPointer; }
    const T* operator->() const noexcept { return mPointer; }
    const T& operator*() const noexcept { return *mPointer; }
    explicit operator bool() const noexcept { return mPointer != nullptr; }
    bool IsNull() const noexcept { return mPointer == nullptr; }

    template <class U, class Q>
    bool operator==(const ConstRCPtr<U, Q>& other) const noexcept { return mPointer == other.Get(); }
    bool operator==(const T* pointer) const noexcept { return mPointer == pointer; }
    bool operator==(std::nullptr_t) const noexcept { return mPointer == nullptr; }

    // The held pointer without const; for the smart-pointer family only.
    T* GetMutable() const noexcept { return mPointer; }

protected:
    void Assign(T* pointer)
    {
        if (pointer == mPointer)
            return;
        // Acquire the new object before releasing the old one: the new one may
        // be owned by the old one.
        T* old = mPointer;
        mPointer = pointer;
        Acquire();
        ReleasePointee(old);
    }

private:
    static void ReleasePointee(T* pointer)
    {
        if (pointer != nullptr)
            static_cast<LRefCountedObject*>(pointer)->Release();
    }

    void Acquire()
    {
        if (mPointer == nullptr)
            return;
        LRefCountedObject* object = static_cast<LRefCountedObject*>(mPointer);
        object->AddRef();
        if (!object->IsShareable())
            Detach();
    }

    void Detach();

    T* mPointer = nullptr;
};

// Intrusive smart pointer with write access.
template <class T, class P = T*>
class RCPtr : public ConstRCPtr<T, P>
{
    using Base = ConstRCPtr<T, P>;

public:
    RCPtr() noexcept = default;
    RCPtr(std::nullptr_t) noexcept {}
    RCPtr(T* pointer) : Base(pointer) {}
    RCPtr(const RCPtr& other) : Base(other) {}
    RCPtr(RCPtr&& other) noexcept : Base(std::move(other)) {}

    template <class U, class Q, std::enable_if_t<std::is_convertible_v<U*, T*>, int> = 0>
    RCPtr(const RCPtr<U, Q>& other) : Base(other.Get()) {}

    template <class U, class Q, std::enable_if_t<!std::is_convertible_v<U*, T*>, int> = 0>
    explicit RCPtr(const RCPtr<U, Q>& other) : Base(dynamic_cast<T*>(other.Get())) {}

    RCPtr& operator=(const RCPtr& other) { Base::Assign(other.Get()); return *this; }
    RCPtr& operator=(RCPtr&& other) noexcept { Base::operator=(std::move(other)); return *this; }
    RCPtr& operator=(T* pointer) { Base::Assign(pointer); return *this; }
    RCPtr& operator=(std::nullptr_t) { Base::Assign(nullptr); return *this; }

    T* Get() const noexcept { return Base::GetMutable(); }
    T* operator->() const noexcept { return Base::GetMutable(); }
    T& operator*() const noexcept { return *Base::GetMutable(); }
};

// Replaces an exclusive object that someone else holds by a copy of it.
template <class T, class P>
void ConstRCPtr<T, P>::Detach()
{
    LRefCountedObject* object = static_cast<LRefCountedObject*>(mPointer);
    if (object->GetRefCount() <= 1)
        return;
    const RCPtr<LRefCountedObject> copy = object->CreateCopy();
    Assign(dynamic_cast<T*>(copy.Get()));
    if (mPointer == nullptr)
        ThrowBadCopyType(typeid(T), __FILE__, __LINE__);
}

template <class T, class... Args>
RCPtr<T> MakeRCPtr(Args&&... args)
{
    return RCPtr<T>(new T(std::forward<Args>(args)...));
}

// Downward conversion where the caller needs the object: a null result for a
// non-null source throws the logic error naming the wanted type.
template <class T, class U, class Q>
RCPtr<T> CheckedRCPtrCast(const RCPtr<U, Q>& source, const char* path, int line)
{
    RCPtr<T> result(dynamic_cast<T*>(source.Get()));
    if (result == nullptr && source != nullptr)
        ThrowBadCopyType(typeid(T), path, line);
    return result;
}
} // namespace Vx

#define VX_CHECKED_RCPTR_CAST(T, source) ::Vx::CheckedRCPtrCast<T>((source), __FILE__, __LINE__)
