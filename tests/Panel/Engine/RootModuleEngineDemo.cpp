// Demonstration: a test application starts the device-control engine beside
// the simulated client library and runs its dispatch loop, in which the
// shell's idle timer drives the application's idle pass.  Every notification
// is printed as the idle pass delivers it, and the last one a step waits for
// starts the next: a write, a change request, a batch from the device, then
// the application's exit.  It fails unless each step is heard as printed
// below, in order.

#include "Panel/Engine/TestAppCommon/RootModuleEngine.h"
#include "VxFramework/Notification/NotificationCenter.h"
#include "sim/SimDeviceControl.h"

#include "tests/Panel/Engine/TestAppCommon/EngineApplication.h"

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace
{
std::string Describe(const Vx::LNotification& notification)
{
    const Vx::LRefCountedObject* param = notification.GetParam().Get();
    std::string line = notification.GetId();
    if (const auto* pair = dynamic_cast<const Vx::LParamPair*>(param))
        line +=
            " id " + std::to_string(pair->GetKey().mParamID) + " value " + std::to_string(pair->GetValue().GetInt64());
    else if (const auto* list = dynamic_cast<const Vx::LParamValuesWrapper*>(param))
        line += " " + std::to_string(list->GetEntryCount()) + " values";
    else if (const auto* state = dynamic_cast<const Vx::LHolder<Vx::LRootModuleEngine::DeviceConnectionState>*>(param))
        line += " state " + std::to_string(static_cast<int>(state->GetValue()));
    return line;
}

struct Step
{
    const char* title;
    std::function<void()> act; // on the main thread, from inside the idle pass
    std::vector<std::string> heard;
};

// Prints what the idle pass delivers, checks it against the script and starts
// the next step once a step is heard in full; the application's exit follows
// the last one, or anything unexpected.
class Script : public Vx::LNotificationClient
{
public:
    explicit Script(std::vector<Step> steps) : mSteps(std::move(steps)) {}

    void Begin() { BeginStep(); }

    Vx::NotificationHandlerResultCode Receive(const Vx::RCPtr<Vx::LNotificationDistributor>&,
                                              const Vx::ConstRCPtr<Vx::LNotification>& notification) override
    {
        const std::string line = Describe(*notification);
        std::printf("%s\n", line.c_str());
        if (IsComplete() || mFailed)
            return 0;
        const std::vector<std::string>& heard = mSteps[mStep].heard;
        if (line != heard[mHeard])
        {
            std::fprintf(stderr, "expected: %s\n", heard[mHeard].c_str());
            mFailed = true;
            RequestExit();
            return 0;
        }
        if (++mHeard == heard.size())
        {
            mHeard = 0;
            ++mStep;
            if (IsComplete())
                RequestExit();
            else
                BeginStep();
        }
        return 0;
    }

    bool IsComplete() const { return mStep == mSteps.size(); }
    bool HasFailed() const { return mFailed; }

private:
    void BeginStep()
    {
        std::printf("== %s\n", mSteps[mStep].title);
        std::fflush(stdout);
        if (mSteps[mStep].act)
            mSteps[mStep].act();
    }

    static void RequestExit()
    {
        Vx::PostNotification("NID_APP_EXIT_REQ", nullptr, Vx::LNotificationCenterManager::GetDefaultCenterName());
    }

    std::vector<Step> mSteps;
    std::size_t mStep = 0;
    std::size_t mHeard = 0;
    bool mFailed = false;
};

Vx::VxRESULT Write(std::int32_t id, std::int8_t value)
{
    const Vx::RCPtr<Vx::LRootModuleEngine> engine = Vx::LRootModuleEngine::GetInstance();
    return engine.IsNull() ? Vx::VXR_E_FAIL : engine->SetParamValue(Vx::ParamDescriptor(id), Vx::Variant(value));
}
} // namespace

int main()
{
    const Sim::SimDeviceControlLibrary library;
    const char* const values = Vx::kParamModuleStateChangeId;
    bool acted = true;
    const Vx::RCPtr<Script> script = Vx::MakeRCPtr<Script>(std::vector<Step>{
        {"start",
         nullptr,
         {std::string(values) + " 106 values", std::string(Vx::kDeviceConnectionStateChangeId) + " state 3"}},
        {"a write of id 54",
         [&] { acted = Vx::Succeeded(Write(54, 2)) && acted; },
         {std::string(values) + " id 54 value 2"}},
        {"a change request for id 60",
         [] {
             Vx::PostNotification(Vx::kParamModuleChangeRequestId,
                                  Vx::MakeRCPtr<Vx::LParamPair>(Vx::ParamDescriptor(60), Vx::Variant(std::int8_t{1})),
                                  Vx::LNotificationCenterManager::GetDefaultCenterName());
         },
         {std::string(values) + " id 60 value 1"}},
        {"a batch from the device for id 91",
         [&] {
             Vx::ParamValues batch;
             batch.SetValue(Vx::ParamDescriptor(91), Vx::Variant(std::int8_t{2}));
             library.script().sendBatch(&batch);
         },
         {std::string(values) + " id 91 value 2"}},
    });
    const Vx::RCPtr<Vx::LNotificationDistributor> center(Vx::LNotificationCenterManager::GetInstance()->GetCenter(
        Vx::LNotificationCenterManager::GetDefaultCenterName()));
    for (const char* id : {values, Vx::kDeviceConnectionStateChangeId, Vx::kRemoteDeviceListChangeId})
        script->Register(center, id, 0);

    VxTest::Log log;
    Vx::RCPtr<VxTest::EngineApplication> app = Vx::MakeRCPtr<VxTest::EngineApplication>(&log);
    // No display here: the idle timer is ticked at its own interval until the
    // exit is requested, or the script stalls.
    VxTest::IdleTimer idle;
    bool stalled = false;
    app->mDispatchLoop = [&] {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        idle.Start();
        while (!app->IsExitRequested())
        {
            if (std::chrono::steady_clock::now() > deadline)
            {
                stalled = true;
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(idle.mInterval));
            idle.timerCallback();
        }
    };

    script->Begin();
    const bool started = app->RunApplicationStartup() == Vx::VXR_OK && !app->mEngine.IsNull();
    if (started)
        app->Run();
    app->OnShutdown();
    app = nullptr;
    script->UnregisterAll();

    // The exit went through the application's own agreement.
    const bool exited = log == VxTest::Log{"before-run", "loop", "quit"};
    if (!started || stalled || !acted || !exited || script->HasFailed() || !script->IsComplete())
    {
        std::fprintf(stderr, "the demonstration did not complete%s\n", stalled ? ": a step was not heard in time" : "");
        return 1;
    }
    return 0;
}
