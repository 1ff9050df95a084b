#pragma once

#include "VxFramework/Notification/NotificationCenter.h"
#include "VxFramework/Notification/NotificationClient.h"
#include "VxFramework/Notification/NotificationDistributor.h"

#include <atomic>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace VxTest
{
// A client that writes "<name>:<id>" into a shared log for every notification
// it receives and then runs an optional action.
class RecordingClient : public Vx::LNotificationClient
{
public:
    using Action = std::function<void(RecordingClient& self, const Vx::RCPtr<Vx::LNotificationDistributor>& from,
                                      const Vx::ConstRCPtr<Vx::LNotification>& notification)>;

    RecordingClient(std::string name, std::vector<std::string>* log, int* destroyed = nullptr)
        : mName(std::move(name)), mLog(log), mDestroyed(destroyed)
    {
    }
    ~RecordingClient() override
    {
        if (mDestroyed != nullptr)
            ++*mDestroyed;
    }

    Vx::NotificationHandlerResultCode Receive(const Vx::RCPtr<Vx::LNotificationDistributor>& from,
                                              const Vx::ConstRCPtr<Vx::LNotification>& notification) override
    {
        ++mReceived;
        if (mLog != nullptr)
            mLog->push_back(mName + ":" + notification->GetId());
        if (mAction)
            mAction(*this, from, notification);
        return 1;
    }

    std::string mName;
    std::vector<std::string>* mLog;
    int* mDestroyed;
    std::atomic<int> mReceived{0};
    Action mAction;
};

// A bare distributor that counts its destruction.
class CountedDistributor : public Vx::LNotificationDistributor
{
public:
    explicit CountedDistributor(int* destroyed = nullptr) : mDestroyed(destroyed) {}
    ~CountedDistributor() override
    {
        if (mDestroyed != nullptr)
            ++*mDestroyed;
    }

private:
    int* mDestroyed;
};

// A parameter that counts its destruction.
class CountedParam : public virtual Vx::LRefCountedObject
{
public:
    explicit CountedParam(int* destroyed, int value = 0) : mValue(value), mDestroyed(destroyed) {}
    ~CountedParam() override
    {
        if (mDestroyed != nullptr)
            ++*mDestroyed;
    }
    int mValue;

private:
    int* mDestroyed;
};

inline Vx::RCPtr<Vx::LNotification> MakeNotification(const char* id,
                                                     const Vx::RCPtr<Vx::LRefCountedObject>& param = nullptr)
{
    Vx::RCPtr<Vx::LNotification> notification;
    Vx::LNotification::Create(notification, id, param);
    return notification;
}

inline Vx::RCPtr<Vx::LNotificationReceiver> AsReceiver(const Vx::RCPtr<RecordingClient>& client)
{
    return Vx::RCPtr<Vx::LNotificationReceiver>(client);
}
} // namespace VxTest
