#include "DeviceControl/GeneratedCode/Engine/Inc/DeviceControlClientInterface.h"

#include "sim/SimDeviceControl.h"
#include "tests/support/ChildProcess.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <sys/wait.h>
#include <thread>

namespace
{
using Sim::SimDeviceControlLibrary;
using Vx::DeviceControlEntry;

// A data callback that holds the first batch until opened.
struct HeldDelivery
{
    static void Call(void* userData, void*, const Vx::ParamValues*)
    {
        auto* self = static_cast<HeldDelivery*>(userData);
        std::unique_lock<std::mutex> guard(self->lock);
        self->entered = true;
        self->changed.notify_all();
        self->changed.wait(guard, [self] { return self->open; });
        self->finished = true;
    }

    std::mutex lock;
    std::condition_variable changed;
    bool entered = false;
    bool open = false;
    bool finished = false;
};

// Two disconnections at once while a batch is being handed over: each returns
// only after the hand-over has, and the library's thread still ends.  The
// child's time limit catches a stop that leaves the thread waiting on.
TEST(SimDeviceControl, StopsFromTwoThreadsAtOnceBothWaitForTheDeliveryInProgress)
{
    const auto result = VxTest::RunInChild(
        [] {
            const SimDeviceControlLibrary library;
            Vx::DeviceControlClientInterface client(SimDeviceControlLibrary::getLibraryPath().c_str());
            Vx::Variant device;
            device.SetString("unit-1");
            HeldDelivery held;
            if (client.ConnectDevice(device, &HeldDelivery::Call, &held) != 0)
                return 2;
            Vx::ParamValues batch;
            batch.SetValue(Vx::ParamDescriptor(1), Vx::Variant(10));
            library.script().sendBatch(&batch);
            {
                std::unique_lock<std::mutex> guard(held.lock);
                held.changed.wait(guard, [&] { return held.entered; });
            }

            std::atomic<int> returnedEarly{0};
            const auto disconnect = [&] {
                client.DisconnectDevice(device);
                const std::lock_guard<std::mutex> guard(held.lock);
                if (!held.finished)
                    ++returnedEarly;
            };
            std::thread first(disconnect);
            std::thread second(disconnect);
            while (library.script().getCallCount(DeviceControlEntry::DisconnectDevice) < 2)
                std::this_thread::yield();
            {
                const std::lock_guard<std::mutex> guard(held.lock);
                held.open = true;
                held.changed.notify_all();
            }
            first.join();
            second.join();
            return returnedEarly == 0 ? 0 : 1;
        },
        std::chrono::seconds(20));
    EXPECT_FALSE(result.timedOut);
    EXPECT_TRUE(WIFEXITED(result.status) && WEXITSTATUS(result.status) == 0) << result.status;
}
} // namespace
