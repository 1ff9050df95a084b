// Demonstration: starts the device-control engine beside the simulated client
// library, writes a value, posts a change request, lets the device send a
// batch, and prints every notification as the main thread receives it.  It
// fails unless each step is heard.

#include "Panel/Engine/TestAppCommon/RootModuleEngine.h"
#include "VxFramework/Notification/NotificationCenter.h"
#include "sim/SimDeviceControl.h"

#include <chrono>
#include <cstdio>
#include <thread>

namespace
{
class Printer : public Vx::LNotificationClient
{
public:
    Vx::NotificationHandlerResultCode Receive(const Vx::RCPtr<Vx::LNotificationDistributor>&,
                                              const Vx::ConstRCPtr<Vx::LNotification>& notification) override
    {
        const Vx::LRefCountedObject* param = notification->GetParam().Get();
        if (const auto* pair = dynamic_cast<const Vx::LParamPair*>(param))
            std::printf("%s id %d value %lld\n", notification->GetId(), pair->GetKey().mParamID,
                        static_cast<long long>(pair->GetValue().GetInt64()));
        else if (const auto* list = dynamic_cast<const Vx::LParamValuesWrapper*>(param))
            std::printf("%s %u values\n", notification->GetId(), list->GetEntryCount());
        else if (const auto* state =
                     dynamic_cast<const Vx::LHolder<Vx::LRootModuleEngine::DeviceConnectionState>*>(param))
            std::printf("%s state %d\n", notification->GetId(), static_cast<int>(state->GetValue()));
        else
            std::printf("%s\n", notification->GetId());
        ++mReceived;
        return 0;
    }

    int mReceived = 0;
};

template <class Done>
bool RunUntil(Done done)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done())
    {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        if (!Vx::LNotificationCenterManager::GetInstance()->ProcessPending(false))
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}
} // namespace

int main()
{
    const Sim::SimDeviceControlLibrary library;
    const Vx::RCPtr<Printer> printer = Vx::MakeRCPtr<Printer>();
    const Vx::RCPtr<Vx::LNotificationDistributor> center(Vx::LNotificationCenterManager::GetInstance()->GetCenter(
        Vx::LNotificationCenterManager::GetDefaultCenterName()));
    for (const char* id :
         {Vx::kParamModuleStateChangeId, Vx::kDeviceConnectionStateChangeId, Vx::kRemoteDeviceListChangeId})
        printer->Register(center, id, 0);

    Vx::RCPtr<Vx::LRootModuleEngine> engine = Vx::MakeRCPtr<Vx::LRootModuleEngine>();
    std::printf("== start\n");
    if (Vx::Failed(engine->Start(0)) || !RunUntil([&] { return printer->mReceived == 2; }))
        return 1;

    std::printf("== a write of id 54\n");
    if (Vx::Failed(engine->SetParamValue(Vx::ParamDescriptor(54), Vx::Variant(std::int8_t{2}))) ||
        !RunUntil([&] { return printer->mReceived == 3; }))
        return 1;

    std::printf("== a change request for id 60\n");
    Vx::PostNotification(Vx::kParamModuleChangeRequestId,
                         Vx::MakeRCPtr<Vx::LParamPair>(Vx::ParamDescriptor(60), Vx::Variant(std::int8_t{1})),
                         Vx::LNotificationCenterManager::GetDefaultCenterName());
    if (!RunUntil([&] { return printer->mReceived == 4; }))
        return 1;

    std::printf("== a batch from the device for id 91\n");
    Vx::ParamValues batch;
    batch.SetValue(Vx::ParamDescriptor(91), Vx::Variant(std::int8_t{2}));
    library.script().sendBatch(&batch);
    if (!RunUntil([&] { return printer->mReceived == 5; }))
        return 1;

    engine = nullptr;
    printer->UnregisterAll();
    return 0;
}
