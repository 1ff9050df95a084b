#include "VxFramework/MidiAndAudio/Midi/Juce/MidiComm.h"

#include "JuceBackend/native/juce_linux_Midi.h"

#include <cmath>
#include <cstring>

namespace Vx
{
namespace
{
using String = LMidiCommInterface::String;

juce::String ToJuce(const String& text)
{
    return juce::String::fromUTF8(text.GetCString());
}

// The device JUCE lists under exactly this name, case and all.
template <class Device>
juce::String FindIdentifier(const String& name)
{
    const juce::String wanted = ToJuce(name);
    for (const auto& device : Device::getAvailableDevices())
    {
        if (device.name == wanted)
            return device.identifier;
    }
    return {};
}

// JUCE's time stamp (seconds) in whole milliseconds; outside the 32-bit range
// it wraps as the millisecond counter does.
std::uint32_t ToMilliseconds(double seconds)
{
    const double milliseconds = std::floor(seconds * 1000.0);
    if (!(milliseconds >= 0.0))
        return 0;
    return static_cast<std::uint32_t>(std::fmod(milliseconds, 4294967296.0));
}

bool ContainsIgnoringCase(const String& portName, const String& wanted)
{
    return portName.ToLower().Find(wanted.ToLower().GetCString()) >= 0;
}

// Shares an open port whose name contains the wanted one, or opens a new one.
template <class Port>
VxRESULT OpenPort(RCPtrArray<Port, 1, 0>& ports, const String& name, const RCPtr<LMidiComm>& owner,
                  RCPtr<LRefCountedObject>& out)
{
    // Every name contains the empty one: it would hand out whatever port
    // was opened last.
    if (name.IsEmpty())
    {
        VX_ASSERT_FALSE();
        return VXR_E_FAIL;
    }
    for (std::uint32_t i = ports.GetCount(); i-- > 0;)
    {
        const RCPtr<Port> port = ports[i];
        if (!ContainsIgnoringCase(port->GetName(), name))
            continue;
        VxRESULT result = VXR_OK;
        if (!port->IsConnected())
        {
            port->Close();
            if (!port->Open())
                result = VXR_E_FAIL;
        }
        // Handed out even when closed, so that a later open retries it.
        out = RCPtr<LRefCountedObject>(port);
        return result;
    }

    const RCPtr<Port> port = Port::Create(name, owner);
    if (port == nullptr || !port->Open())
        return VXR_E_FAIL;
    ports.Add(port);
    // The array's reference is the port's own: its release logic must see
    // when only the service still holds it.
    port->AdjustContainedRefCount(1);
    out = RCPtr<LRefCountedObject>(port);
    return VXR_OK;
}

template <class Port>
VxRESULT RemovePort(RCPtrArray<Port, 1, 0>& ports, const Port* port)
{
    for (std::uint32_t i = ports.GetCount(); i-- > 0;)
    {
        if (ports[i].Get() == port)
        {
            RCPtr<Port> removed;
            ports.RemoveAt(i, removed);
            return VXR_OK;
        }
    }
    VX_ASSERT_FALSE();
    return VXR_E_FAIL;
}
} // namespace

// --- LMidiComm ---------------------------------------------------------------

LMidiComm::LMidiComm() : mThreadPool(new LThreadPool(1, kThreadPriorityHigher)) {}

LMidiComm::~LMidiComm() = default;

VxRESULT LMidiComm::OpenCapturePort(const String& name, RCPtr<LRefCountedObject>& port)
{
    const ScopedLock lock(mPortsLock);
    return OpenPort(mCapturePorts, name, RCPtr<LMidiComm>(this), port);
}

VxRESULT LMidiComm::OpenRenderPort(const String& name, RCPtr<LRefCountedObject>& port)
{
    const ScopedLock lock(mPortsLock);
    return OpenPort(mRenderPorts, name, RCPtr<LMidiComm>(this), port);
}

VxRESULT LMidiComm::Send(const RCPtr<LRefCountedObject>& port, const MidiMessage& message)
{
    const RCPtr<LMidiRenderPort> render(port);
    if (render == nullptr || message.GetCount() == 0)
        return VXR_E_INVALIDARG;
    return render->Send(message.GetDataConst(), message.GetCount());
}

VxRESULT LMidiComm::SendBuffer(const RCPtr<LRefCountedObject>& port, const RCPtr<LIBuffer>& buffer)
{
    const RCPtr<LMidiRenderPort> render(port);
    if (render == nullptr || buffer == nullptr || buffer->GetSize() == 0)
        return VXR_E_INVALIDARG;
    return render->Send(static_cast<const signed char*>(buffer->GetData()), buffer->GetSize());
}

std::int32_t LMidiComm::ThreadMain(RCPtr<LRefCountedObject>& parameter)
{
    const RCPtr<LMidiCaptureNotificationData> data(parameter);
    if (data == nullptr)
    {
        VX_ASSERT_FALSE();
        return VXR_E_INVALIDARG;
    }
    return DistributeCapturedData(data);
}

VxRESULT LMidiComm::GetInputPortNames(StringArray& names)
{
    names.RemoveAll();
    for (const auto& device : juce::MidiInput::getAvailableDevices())
        names.Add(String(device.name.toRawUTF8()));
    return VXR_OK;
}

VxRESULT LMidiComm::GetOutputPortNames(StringArray& names)
{
    names.RemoveAll();
    for (const auto& device : juce::MidiOutput::getAvailableDevices())
        names.Add(String(device.name.toRawUTF8()));
    return VXR_OK;
}

void LMidiComm::QueueCapturedData(const RCPtr<LMidiCaptureNotificationData>& data)
{
    mThreadPool->QueueWork(RCPtr<LThreadWorker>(this), RCPtr<LRefCountedObject>(data), kCapturePriority);
}

VxRESULT LMidiComm::RemoveCapturePort(const LMidiCapturePort* port)
{
    const ScopedLock lock(mPortsLock);
    return RemovePort(mCapturePorts, port);
}

VxRESULT LMidiComm::RemoveRenderPort(const LMidiRenderPort* port)
{
    const ScopedLock lock(mPortsLock);
    return RemovePort(mRenderPorts, port);
}

std::uint32_t LMidiComm::GetCapturePortCount()
{
    const ScopedLock lock(mPortsLock);
    return mCapturePorts.GetCount();
}

std::uint32_t LMidiComm::GetRenderPortCount()
{
    const ScopedLock lock(mPortsLock);
    return mRenderPorts.GetCount();
}

// --- LMidiCapturePort --------------------------------------------------------

LMidiCapturePort::LMidiCapturePort(const String& name, const RCPtr<LMidiComm>& owner) : mName(name), mOwner(owner) {}

LMidiCapturePort::~LMidiCapturePort()
{
    Close();
}

RCPtr<LMidiCapturePort> LMidiCapturePort::Create(const String& name, const RCPtr<LMidiComm>& owner)
{
    if (name.IsEmpty() || owner == nullptr)
    {
        VX_ASSERT_FALSE();
        return nullptr;
    }
    return RCPtr<LMidiCapturePort>(new LMidiCapturePort(name, owner));
}

bool LMidiCapturePort::Open()
{
    const juce::String identifier = FindIdentifier<juce::MidiInput>(mName);
    if (identifier.isEmpty())
        return false;
    mInput = juce::MidiInput::openDevice(identifier, this);
    if (mInput == nullptr)
        return false;
    mInput->start();
    return true;
}

void LMidiCapturePort::Close()
{
    if (mInput == nullptr)
        return;
    // Once stopped, no delivery to this port runs or starts.
    mInput->stop();
    mInput.reset();
}

bool LMidiCapturePort::IsConnected() const
{
    return mInput != nullptr && juce::isConnected(*mInput);
}

void LMidiCapturePort::handleIncomingMidiMessage(juce::MidiInput*, const juce::MidiMessage& message)
{
    const RCPtr<LMidiCaptureNotificationData> data(new LMidiCaptureNotificationData());
    data->capturePortId = reinterpret_cast<std::intptr_t>(static_cast<LRefCountedObject*>(this));
    data->portName = mName;
    data->timeStampMs = ToMilliseconds(message.getTimeStamp());
    const int size = message.getRawDataSize();
    if (size > 0 && Succeeded(data->message.SetCount(static_cast<std::uint32_t>(size))))
        std::memcpy(data->message.GetData(), message.getRawData(), static_cast<std::size_t>(size));
    mOwner->QueueCapturedData(data);
}

VxRESULT LMidiCapturePort::RemoveContainedReferences()
{
    mOwner->RemoveCapturePort(this);
    AdjustContainedRefCount(-1);
    return LRefCountedObject::RemoveContainedReferences();
}

// --- LMidiRenderPort ---------------------------------------------------------

LMidiRenderPort::LMidiRenderPort(const String& name, const RCPtr<LMidiComm>& owner) : mName(name), mOwner(owner) {}

LMidiRenderPort::~LMidiRenderPort()
{
    Close();
}

RCPtr<LMidiRenderPort> LMidiRenderPort::Create(const String& name, const RCPtr<LMidiComm>& owner)
{
    if (name.IsEmpty() || owner == nullptr)
    {
        VX_ASSERT_FALSE();
        return nullptr;
    }
    return RCPtr<LMidiRenderPort>(new LMidiRenderPort(name, owner));
}

bool LMidiRenderPort::Open()
{
    const juce::String identifier = FindIdentifier<juce::MidiOutput>(mName);
    if (identifier.isEmpty())
        return false;
    auto output = juce::MidiOutput::openDevice(identifier);
    if (output == nullptr)
        return false;
    const ScopedLock lock(mOutputLock);
    mOutput = std::move(output);
    return true;
}

void LMidiRenderPort::Close()
{
    std::unique_ptr<juce::MidiOutput> closed;
    {
        const ScopedLock lock(mOutputLock);
        closed = std::move(mOutput);
    }
}

bool LMidiRenderPort::IsConnected() const
{
    const ScopedLock lock(mOutputLock);
    return mOutput != nullptr && juce::isConnected(*mOutput);
}

VxRESULT LMidiRenderPort::Send(const signed char* data, std::uint32_t length)
{
    const ScopedLock lock(mOutputLock);
    if (mOutput == nullptr || length == 0 || length > 0x7FFFFFFFu)
        return VXR_E_FAIL;
    mOutput->sendMessageNow(juce::MidiMessage(data, static_cast<int>(length), 0.0));
    return VXR_OK;
}

VxRESULT LMidiRenderPort::RemoveContainedReferences()
{
    mOwner->RemoveRenderPort(this);
    AdjustContainedRefCount(-1);
    return LRefCountedObject::RemoveContainedReferences();
}
} // namespace Vx
