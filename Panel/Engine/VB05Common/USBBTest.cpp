#include "Panel/Engine/VB05Common/USBBTest.h"

#include "Panel/Engine/VB05Common/Platform/VB05BlockDevice.h"
#include "Panel/Engine/VB05Common/Platform/VB05Device.h"
#include "Panel/Engine/VB05Common/Platform/VB05Multiplexer.h"
#include "Panel/Engine/VB05Common/Platform/VB05USBHub.h"
#include "VxFramework/ObjectBase/Exception.h"

#include <chrono>
#include <thread>

namespace Vx::VB05
{
namespace
{
using String = StringT<char, unsigned short>;

// The SATA bridge on the hub resets when the lines switch over.
constexpr std::int32_t kBridgeResetMilliseconds = 2000;
constexpr auto kBeforeQuery = std::chrono::milliseconds(100);
constexpr auto kEnumerationTime = std::chrono::milliseconds(1000);

constexpr const char* kRequirementNames[] = {"NotConnected", "USB2Connection", "USB3Connection", "USB2orUSB3Connection",
                                             "DontCare"};

bool IsKnown(LUSBBTestImpl::ConnectionRequirement requirement)
{
    return requirement >= LUSBBTestImpl::NotConnected && requirement <= LUSBBTestImpl::DontCare;
}
} // namespace

LUSBBTestImpl::LUSBBTestImpl(const Array<PortStatusRequirement>& requirements, std::int32_t finalMuxState)
    : mRequirements(requirements), mFinalMuxState(finalMuxState)
{
}

LUSBBTestImpl::~LUSBBTestImpl()
{
    Abort();
}

RCPtr<LUSBBTestImpl> LUSBBTestImpl::Create(const Array<PortStatusRequirement>& requirements, std::int32_t finalMuxState)
{
    return MakeRCPtr<LUSBBTestImpl>(requirements, finalMuxState);
}

bool LUSBBTestImpl::IsRequirementMet(ConnectionRequirement requirement, std::uint32_t status)
{
    switch (requirement)
    {
    case NotConnected:
        return status == 0;
    case USB2Connection:
        return (status & kUSBPortUSB2Connected) != 0;
    case USB3Connection:
        return (status & kUSBPortUSB3Connected) != 0;
    case USB2orUSB3Connection:
        return (status & (kUSBPortUSB2Connected | kUSBPortUSB3Connected)) != 0;
    case DontCare:
        return true;
    }
    VX_ASSERT_FALSE();
    return false;
}

String LUSBBTestImpl::GetRequirementName(ConnectionRequirement requirement)
{
    if (!IsKnown(requirement))
    {
        VX_ASSERT_FALSE();
        return String("None");
    }
    return String(kRequirementNames[requirement]);
}

void LUSBBTestImpl::UnmountHubPortPartitions()
{
    const DeviceModel model = GetDeviceModel();
    if (model != DEVICE_MODEL_KS52 && model != DEVICE_MODEL_KS56)
        return;
    for (const BlockDeviceConnector connector :
         {BLOCK_DEVICE_CONNECTOR_USB_HOST0_HUB_PORT1, BLOCK_DEVICE_CONNECTOR_USB_HOST0_HUB_PORT2,
          BLOCK_DEVICE_CONNECTOR_USB_HOST0_HUB_PORT3, BLOCK_DEVICE_CONNECTOR_USB_HOST0_HUB_PORT4})
        UnmountAllPartitions(connector);
}

std::int32_t LUSBBTestImpl::Run()
{
    UnmountHubPortPartitions();
    const std::int32_t result = CheckPorts();
    RestoreMux();
    UnmountHubPortPartitions();
    return result;
}

std::int32_t LUSBBTestImpl::CheckPorts()
{
    Log(String("Setting USB mux to external"));
    if (!SetUSBMuxState(MUX_STATE_EXTERNAL))
    {
        Log(String("Failed to switch USB mux to external state"));
        return kResultFailed;
    }
    Log(String::Format("Waiting %d ms for SATA bridge to reset", kBridgeResetMilliseconds));
    std::this_thread::sleep_for(std::chrono::milliseconds(kBridgeResetMilliseconds));

    Log(String("Reading USB mux state"));
    MuxState state = MUX_STATE_UNKNOWN;
    if (!GetUSBMuxState(state))
    {
        Log(String("Failed to read USB mux state"));
        return kResultFailed;
    }
    if (state != MUX_STATE_EXTERNAL)
    {
        Log(String("USB mux state is not external"));
        return kResultFailed;
    }

    std::this_thread::sleep_for(kBeforeQuery);
    Log(String("Querying hub ports status"));
    USBHubStatus& hub = USBHubStatus::GetInstance();
    if (!hub.Query())
    {
        Log(String("Failed to read ports status"));
        return kResultFailed;
    }

    for (std::int32_t port = 0; port < kUSBHubPortCount; ++port)
    {
        std::uint32_t status = 0;
        hub.GetPortStatus(port, status);
        Log(String::Format("Port #%d (%s) status: %s", port, GetUSBPortDirectionName(port).GetCString(),
                           FormatUSBPortStatus(status).GetCString()));
    }

    bool allMet = true;
    for (std::uint32_t i = 0; i < mRequirements.GetCount(); ++i)
    {
        const PortStatusRequirement& requirement = mRequirements[i];
        std::uint32_t status = 0;
        if (!hub.GetPortStatus(requirement.port, status))
        {
            // No such port: judged as showing nothing.
            VX_ASSERT_FALSE();
            status = 0;
        }
        const bool met = IsRequirementMet(requirement.requirement, status);
        Log(String::Format("Connection requirement for port #%d (%s): %s (%s)", requirement.port,
                           GetUSBPortDirectionName(requirement.port).GetCString(),
                           GetRequirementName(requirement.requirement).GetCString(), met ? "PASSED" : "FAILED"));
        allMet = allMet && met;
    }
    return allMet ? kResultSucceeded : kResultFailed;
}

void LUSBBTestImpl::RestoreMux()
{
    const MuxState target = mFinalMuxState != 0 ? MUX_STATE_EXTERNAL : MUX_STATE_INTERNAL;
    MuxState current = MUX_STATE_UNKNOWN;
    if (GetUSBMuxState(current) && current == target)
        return;
    String name;
    GetUSBMuxStateName(target, name);
    Log(String::Format("Setting USB mux state to %s", name.GetCString()));
    if (SetUSBMuxState(target))
    {
        Log(String("Waiting 1 second for devices to enumerate"));
        std::this_thread::sleep_for(kEnumerationTime);
    }
}
} // namespace Vx::VB05
