#include "VxFramework/ObjectBase/RefCountedObject.h"

#include "VxFramework/Utilities/DebugTracer.h"
#include "VxFramework/Utilities/Storage/StringT.h"

namespace Vx
{
const char* GetTypeName(const std::type_info& type) noexcept
{
    const char* name = type.name();
    return *name == '*' ? name + 1 : name;
}

void ThrowBadCopyType(const std::type_info& type, const char* path, int line)
{
    ThrowException<std::logic_error>(
        MakeExceptionText(ExceptionKind<std::logic_error>::kText, GetTypeName(type), path, line));
}

LRefCountedObject::LRefCountedObject() noexcept = default;

// A copy is a new object: it starts unreferenced and shareable.
LRefCountedObject::LRefCountedObject(const LRefCountedObject&) noexcept : IUndoable() {}

LRefCountedObject& LRefCountedObject::operator=(const LRefCountedObject&)
{
    VX_THROW(std::domain_error, "Invalid Assignment of RefCountedObject");
}

LRefCountedObject::~LRefCountedObject() = default;

void LRefCountedObject::SetExclusive(bool exclusive)
{
    if (exclusive)
    {
        if (mRefCount.GetValue() > 1)
            VX_THROW(std::runtime_error, "");
        mShareable = false;
    }
    else
    {
        mShareable = true;
    }
}

StringT<char, unsigned short> LRefCountedObject::ToString() const
{
    StringT<char, unsigned short> text("LRefCountedObject::ToString() not overridden. Returning TypeName: ");
    text.Append(GetTypeName());
    return text;
}

void LRefCountedObject::Undo()
{
    VX_THROW(std::logic_error, "Undo() not implemented for RefCountedObject");
}

std::uint32_t LRefCountedObject::AddRef() noexcept
{
    return static_cast<std::uint32_t>(mRefCount.Increment());
}

std::uint32_t LRefCountedObject::Release()
{
    std::int32_t remaining;
    for (;;)
    {
        const std::int32_t count = mRefCount.GetValue();
        const std::int32_t contained = mContainedRefCount.GetValue();
        if (count - contained == 1)
        {
            CleanUpBeforeLastOutsideRelease();
            remaining = mRefCount.Decrement();
            break;
        }
        // Two holders releasing at once must not both see "not the last" and
        // leave only the contained references behind: the decrement succeeds
        // only against the count this decision was made on.
        if (mRefCount.CompareExchange(count, count - 1))
        {
            remaining = count - 1;
            break;
        }
    }
    if (remaining == 0)
        delete this;
    return static_cast<std::uint32_t>(remaining);
}

void LRefCountedObject::CleanUpBeforeLastOutsideRelease()
{
    std::int32_t expected = 0;
    // Only the first release that meets the condition cleans up; nested
    // releases from inside RemoveContainedReferences only decrement.
    if (!mCleanupFlag.compare_exchange_strong(expected, 1))
        return;
    if (mContainedRefCount.GetValue() > 0)
        RemoveContainedReferences();
    if (mRefCount.GetValue() != 1)
    {
        DebugTracer::Get().Trace(1, "%s RefCount == %u after RemoveContainedReferences (ContainedRefCount == %u)",
                                 GetTypeName(), GetRefCount(), GetContainedRefCount());
        VX_ASSERT_FALSE();
        expected = 1;
        mCleanupFlag.compare_exchange_strong(expected, 0);
    }
}

VxRESULT LRefCountedObject::RemoveContainedReferences()
{
    if (mContainedRefCount.GetValue() == 0 && mRefCount.GetValue() == 1)
        return VXR_OK;
    VX_ASSERT_FALSE();
    return VXR_E_FAIL;
}

RCPtr<LRefCountedObject, LRefCountedObject*> LRefCountedObject::CreateCopy() const
{
    VX_THROW(std::logic_error, "CreateCopy() not implemented for RefCountedObject");
}
} // namespace Vx
