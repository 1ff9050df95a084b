#pragma once

#include "VxFramework/Notification/NotificationClient.h"
#include "VxFramework/Notification/NotificationDistributor.h"
#include "VxFramework/ObjectBase/Exception.h"
#include "VxFramework/Utilities/DebugTracer.h"

#include <cstdint>
#include <exception>
#include <functional>
#include <map>

namespace Vx
{
// Key of a handler table: a distributor (null for notifications handed to the
// owner directly) and an interned id.
class Receivable
{
public:
    Receivable(const RCPtr<LNotificationDistributor>& distributor, const char* id)
        : mDistributor(distributor.Get()), mId(InternNotificationId(id))
    {
    }
    virtual ~Receivable() = default;
    Receivable(const Receivable&) = default;
    Receivable& operator=(const Receivable&) = default;

    LNotificationDistributor* GetDistributor() const noexcept { return mDistributor; }
    const char* GetId() const noexcept { return mId; }

    bool operator==(const Receivable& other) const noexcept
    {
        return mDistributor == other.mDistributor && mId == other.mId;
    }
    // By distributor address, then by id address.
    bool operator<(const Receivable& other) const noexcept
    {
        const std::less<const void*> less;
        if (mDistributor != other.mDistributor)
            return less(mDistributor, other.mDistributor);
        return less(mId, other.mId);
    }

private:
    LNotificationDistributor* mDistributor;
    const char* mId;
};

// Maps the (distributor, id) pairs an owner registered to the owner's member
// functions.  No lock: used on the thread that owns the owner.  T derives
// (virtually) from LNotificationClient; the table points back to it without a
// reference.
template <class T>
class LNotificationHandler : public virtual LRefCountedObject
{
public:
    using Handler = NotificationHandlerResultCode (T::*)(const RCPtr<LNotificationDistributor>& from,
                                                         const ConstRCPtr<LNotification>& notification);

    explicit LNotificationHandler(T* owner) : mOwner(owner) {}
    LNotificationHandler(const LNotificationHandler&) = delete;
    LNotificationHandler& operator=(const LNotificationHandler&) = delete;
    // Unregisters nothing: the owner's own teardown does that.
    ~LNotificationHandler() override { mOwner = nullptr; }

    // 0 registered (an existing entry keeps its first handler; the flags are
    // updated); VXR_E_INVALIDARG null distributor; VXR_E_FAIL the client
    // registration failed.
    VxRESULT Register(Handler handler, const RCPtr<LNotificationDistributor>& distributor, const char* id,
                      std::uint32_t flags)
    {
        if (distributor.IsNull())
            return VXR_E_INVALIDARG;
        const char* const interned = Client().LNotificationClient::Register(distributor, id, flags);
        if (interned == nullptr)
            return VXR_E_FAIL;
        mHandlers.emplace(Receivable(distributor, interned), handler);
        return VXR_OK;
    }

    // Register, throwing the failed-result exception on failure.
    void RegisterOrThrow(Handler handler, const RCPtr<LNotificationDistributor>& distributor, const char* id,
                         std::uint32_t flags)
    {
        VX_THROW_IF_FAILED(Register(handler, distributor, id, flags));
    }

    // An entry without a distributor, for notifications the owner is handed
    // directly (by itself, hot keys, menus): no client registration is made.
    // 0, or VXR_E_INVALIDARG for an id that does not intern.
    VxRESULT RegisterLocal(Handler handler, const char* id)
    {
        const Receivable key(nullptr, id);
        if (key.GetId() == nullptr)
            return VXR_E_INVALIDARG;
        mHandlers.emplace(key, handler);
        return VXR_OK;
    }

    // The client's unregistration result when the table had an entry;
    // VXR_E_FAIL when it had none.  For an entry without a distributor only
    // the entry goes.
    VxRESULT Unregister(const RCPtr<LNotificationDistributor>& distributor, const char* id)
    {
        if (distributor.IsNull())
            return RemoveEntry(distributor, id) ? VXR_OK : VXR_E_FAIL;
        const VxRESULT result = Client().LNotificationClient::Unregister(distributor, id);
        return RemoveEntry(distributor, id) ? result : VXR_E_FAIL;
    }

    // Whether an entry was erased.
    bool RemoveEntry(const RCPtr<LNotificationDistributor>& distributor, const char* id)
    {
        return mHandlers.erase(Receivable(distributor, id)) > 0;
    }

    // 0 with the handler and the registration's flags (0 for an entry without
    // a distributor); VXR_E_FAIL when there is no entry or no registration.
    VxRESULT GetRegistration(const RCPtr<LNotificationDistributor>& distributor, const char* id, Handler& handler,
                             std::uint32_t& flags)
    {
        const auto found = mHandlers.find(Receivable(distributor, id));
        if (found == mHandlers.end())
            return VXR_E_FAIL;
        handler = found->second;
        if (distributor.IsNull())
        {
            flags = 0;
            return VXR_OK;
        }
        return distributor->GetClientFlags(RCPtr<LNotificationReceiver>(&Client()), id, flags);
    }

    // The handler's result; 0 when no entry matches, so that the owner may
    // pass the notification on to its base class.
    NotificationHandlerResultCode Receive(const RCPtr<LNotificationDistributor>& from,
                                          const ConstRCPtr<LNotification>& notification)
    {
        if (notification.IsNull() || mOwner == nullptr)
            return 0;
        const auto found = mHandlers.find(Receivable(from, notification->GetId()));
        if (found == mHandlers.end())
            return 0;
        return (mOwner->*(found->second))(from, notification);
    }

    std::size_t GetEntryCount() const noexcept { return mHandlers.size(); }

    // Takes one registration away for the life of the scope and puts it back
    // at its end, so that a handler does not see what its owner is about to
    // cause.
    class SuspendRegistration
    {
    public:
        SuspendRegistration(const RCPtr<LNotificationHandler>& table, const RCPtr<LNotificationDistributor>& distributor,
                            const char* id)
            : mTable(table), mDistributor(distributor), mId(InternNotificationId(id)),
              mUncaught(std::uncaught_exceptions())
        {
            VX_THROW_IF_NULL(mTable.Get(), "SuspendRegistration");
            VX_THROW_IF_FAILED(mTable->GetRegistration(mDistributor, mId, mHandler, mFlags));
            VX_THROW_IF_FAILED(mTable->Unregister(mDistributor, mId));
        }

        // Throws when the registration cannot be restored, unless the scope
        // is being left by an exception already: throwing then would end the
        // process, so the failure is reported through the assertion hook.
        ~SuspendRegistration() noexcept(false)
        {
            const VxRESULT result = mDistributor.IsNull() ? mTable->RegisterLocal(mHandler, mId)
                                                          : mTable->Register(mHandler, mDistributor, mId, mFlags);
            mDistributor = nullptr;
            mTable = nullptr;
            if (Succeeded(result))
                return;
            if (std::uncaught_exceptions() > mUncaught)
            {
                DebugTracer::Get().Trace(1, "SuspendRegistration: restoring %s failed: %s", mId,
                                         FormatResultCode(result).c_str());
                VX_ASSERT_FALSE();
                return;
            }
            ThrowFailedResult(result, __FILE__, __LINE__);
        }

        SuspendRegistration(const SuspendRegistration&) = delete;
        SuspendRegistration& operator=(const SuspendRegistration&) = delete;

    private:
        RCPtr<LNotificationHandler> mTable;
        RCPtr<LNotificationDistributor> mDistributor;
        const char* mId;
        std::uint32_t mFlags = 0;
        Handler mHandler = nullptr;
        int mUncaught;
    };

private:
    LNotificationClient& Client() const { return *mOwner; }

    T* mOwner;
    std::map<Receivable, Handler> mHandlers;
};
} // namespace Vx
