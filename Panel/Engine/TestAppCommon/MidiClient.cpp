#include "Panel/Engine/TestAppCommon/MidiClient.h"

#include "Panel/Engine/TestAppCommon/MidiManager.h"
#include "VxFramework/MidiAndAudio/Midi/MidiNotificationData.h"
#include "VxFramework/Notification/NotificationCenter.h"
#include "VxFramework/ObjectBase/Exception.h"

namespace Vx
{
namespace
{
using Lock = std::lock_guard<std::recursive_mutex>;

// The "application" centre, which carries the connection notices.
RCPtr<LNotificationDistributor> GetApplicationCenter(bool create)
{
    const RCPtr<LNotificationCenterManager> manager = LNotificationCenterManager::GetInstance();
    if (manager == nullptr)
        return nullptr;
    const auto& name = LNotificationCenterManager::GetDefaultCenterName();
    return RCPtr<LNotificationDistributor>(create ? manager->GetCenter(name) : manager->FindCenter(name));
}
} // namespace

LMidiClient::LMidiClient(const String& inputPortName, const String& outputPortName,
                         const RCPtr<LMidiClientCallbackReceiver>& receiver)
    : mHandler(new LNotificationHandler<LMidiClient>(this)), mInputPortName(inputPortName),
      mOutputPortName(outputPortName), mReceiver(receiver)
{
    VX_THROW_IF_NULL(mHandler.Get(), "Failed to create LNotificationHandler");
}

LMidiClient::~LMidiClient()
{
    Close();
}

RCPtr<LMidiClient> LMidiClient::Create(const String& inputPortName, const String& outputPortName,
                                       const RCPtr<LMidiClientCallbackReceiver>& receiver)
{
    return RCPtr<LMidiClient>(new LMidiClient(inputPortName, outputPortName, receiver));
}

RCPtr<LMidiClient> LMidiClient::CreateForFunction(std::int32_t functionID, std::int32_t functionIndex,
                                                  const RCPtr<LMidiClientCallbackReceiver>& receiver)
{
    MidiPortProperties properties;
    if (Failed(GetMidiPortPropertiesByFunction(functionID, functionIndex, properties)))
        VX_ASSERT_FALSE();
    // Without a receiver nothing would take the input's messages.
    return Create(receiver != nullptr ? properties.inputPortName : String(), properties.outputPortName, receiver);
}

VxRESULT LMidiClient::Open()
{
    const VxRESULT result = OpenPorts();
    mOpen = Succeeded(result);
    if (!mOpen)
        return result;

    const RCPtr<LNotificationDistributor> center = GetApplicationCenter(true);
    if (mComm == nullptr || center == nullptr)
        return result;
    if (Failed(RegisterHandler(&LMidiClient::OnConnectionStatusChanged, center,
                               kNidMidiInputDeviceConnectionStatusChanged)))
        VX_ASSERT_FALSE();
    return result;
}

void LMidiClient::Close()
{
    const RCPtr<LNotificationDistributor> center = GetApplicationCenter(false);
    if (center != nullptr)
        UnregisterHandler(center, kNidMidiInputDeviceConnectionStatusChanged);
    ClosePorts();
    mOpen = false;
}

void LMidiClient::EnableCapture(bool enable)
{
    mCaptureEnabled = enable;
    if (!mOpen)
        return;
    if (enable)
        SubscribeToCapturedData();
    else
        UnsubscribeFromCapturedData();
}

void LMidiClient::SetFilter(const RCPtr<LIMidiFilter>& filter)
{
    if (mComm != nullptr)
        mComm->SetMidiFilter(this, filter);
    mFilter = filter;
}

void LMidiClient::SetReceiver(const RCPtr<LMidiClientCallbackReceiver>& receiver)
{
    RCPtr<LMidiClientCallbackReceiver> previous;
    {
        const Lock lock(mDispatchLock);
        previous = mReceiver;
        mReceiver = receiver;
    }
    // The old receiver may go with this reference: not under the lock.
}

VxRESULT LMidiClient::Send(const MidiMessage& message)
{
    if (mComm == nullptr || mRenderPort == nullptr)
        return VXR_E_NOTAVAILABLE;
    return mComm->Send(mRenderPort, message);
}

VxRESULT LMidiClient::SendMessages(const IArray<MidiMessage>& messages)
{
    VxRESULT result = VXR_NOTHING_DONE;
    for (std::uint32_t i = 0; i < messages.GetCount(); ++i)
    {
        result = Send(*messages.GetAtConst(i));
        if (Failed(result))
            break;
    }
    return result;
}

VxRESULT LMidiClient::SendHexString(const String& text)
{
    return Send(MidiMessage::FromHexString(text));
}

NotificationHandlerResultCode LMidiClient::Receive(const RCPtr<LNotificationDistributor>& from,
                                                   const ConstRCPtr<LNotification>& notification)
{
    if (notification != nullptr)
    {
        // Looked up under the lock, called without it: a handler reopens
        // ports, which takes the service's filter lock, while the service's
        // worker holds that lock when it comes here.
        LNotificationHandler<LMidiClient>::Handler handler = nullptr;
        {
            const Lock lock(mDispatchLock);
            std::uint32_t flags = 0;
            if (Failed(mHandler->GetRegistration(from, notification->GetId(), handler, flags)))
                handler = nullptr;
        }
        if (handler != nullptr)
            return (this->*handler)(from, notification);
    }
    return LNotificationClient::Receive(from, notification);
}

VxRESULT LMidiClient::Unregister(const RCPtr<LNotificationDistributor>& from, const char* id)
{
    {
        const Lock lock(mDispatchLock);
        mHandler->RemoveEntry(from, id);
    }
    return LNotificationClient::Unregister(from, id);
}

VxRESULT LMidiClient::RemoveContainedReferences()
{
    Close();
    return LNotificationClient::RemoveContainedReferences();
}

NotificationHandlerResultCode LMidiClient::OnMidiDataCaptured(const RCPtr<LNotificationDistributor>& /*from*/,
                                                              const ConstRCPtr<LNotification>& notification)
{
    const RCPtr<LMidiCaptureNotificationData> data(notification->GetParam());
    if (data == nullptr || data->capturePortId != mCapturePortId.load())
        return 1;
    RCPtr<LMidiClientCallbackReceiver> receiver;
    {
        const Lock lock(mDispatchLock);
        receiver = mReceiver;
    }
    if (receiver != nullptr)
        receiver->HandleMidiMessage(MidiMessage(data->message), data->timeStampMs);
    return 1;
}

NotificationHandlerResultCode LMidiClient::OnConnectionStatusChanged(const RCPtr<LNotificationDistributor>& /*from*/,
                                                                     const ConstRCPtr<LNotification>& notification)
{
    if (!mOpen)
        return 1;
    const RCPtr<LMidiDeviceConnectionStatusChangedNotification> change(notification->GetParam());
    if (change == nullptr)
    {
        VX_ASSERT_FALSE();
        return 1;
    }
    if (!(change->portName == mInputPortName))
        return 1;
    if (change->status == LMidiDeviceConnectionStatusChangedNotification::kConnected)
        OpenPorts();
    else if (change->status == LMidiDeviceConnectionStatusChangedNotification::kDisconnected)
        ClosePorts();
    return 1;
}

VxRESULT LMidiClient::OpenPorts()
{
    ClosePorts();
    if (mInputPortName.IsEmpty() && mOutputPortName.IsEmpty())
        return VXR_E_INVALIDARG;

    const RCPtr<LMidiManager> manager = GetApplicationMidiManager();
    if (manager == nullptr)
    {
        VX_ASSERT_FALSE();
        return VXR_E_FAIL;
    }
    mComm = manager->GetCommInterface();
    if (mComm == nullptr)
    {
        VX_ASSERT_FALSE();
        return VXR_E_FAIL;
    }

    VxRESULT result = VXR_OK;
    if (!mOutputPortName.IsEmpty())
    {
        result = manager->OpenRenderPort(mOutputPortName, mRenderPort);
        if (Failed(result))
        {
            ClosePorts();
            return result;
        }
    }
    if (mInputPortName.IsEmpty())
    {
        mComm->SetMidiFilter(this, mFilter);
        return result;
    }

    result = manager->OpenCapturePort(mInputPortName, mCapturePort);
    mCapturePortId = mCapturePort != nullptr ? mComm->GetCapturePortId(mCapturePort) : 0;
    if (Failed(result))
    {
        ClosePorts();
        return result;
    }
    if (mCaptureEnabled)
    {
        result = SubscribeToCapturedData();
        if (Failed(result))
        {
            ClosePorts();
            return result;
        }
    }
    mComm->SetMidiFilter(this, mFilter);
    return result;
}

void LMidiClient::ClosePorts()
{
    UnsubscribeFromCapturedData();
    if (mComm != nullptr)
        mComm->SetMidiFilter(this, nullptr);
    mCapturePortId = 0;
    mRenderPort = nullptr;
    mCapturePort = nullptr;
    mComm = nullptr;
}

VxRESULT LMidiClient::SubscribeToCapturedData()
{
    if (mComm == nullptr)
        return VXR_E_FAIL;
    const VxRESULT result =
        RegisterHandler(&LMidiClient::OnMidiDataCaptured, RCPtr<LNotificationDistributor>(mComm), kNidMidiDataCaptured);
    if (Failed(result))
        VX_ASSERT_FALSE();
    return result;
}

void LMidiClient::UnsubscribeFromCapturedData()
{
    if (mComm != nullptr)
        UnregisterHandler(RCPtr<LNotificationDistributor>(mComm), kNidMidiDataCaptured);
}

VxRESULT LMidiClient::RegisterHandler(LNotificationHandler<LMidiClient>::Handler handler,
                                      const RCPtr<LNotificationDistributor>& distributor, const char* id)
{
    const Lock lock(mDispatchLock);
    return mHandler->Register(handler, distributor, id, 0);
}

void LMidiClient::UnregisterHandler(const RCPtr<LNotificationDistributor>& distributor, const char* id)
{
    // The entry goes first, so that the worker finds no handler for what
    // may still be on its way.
    bool registered = false;
    {
        const Lock lock(mDispatchLock);
        registered = mHandler->RemoveEntry(distributor, id);
    }
    if (registered)
        LNotificationClient::Unregister(distributor, id);
}
} // namespace Vx
