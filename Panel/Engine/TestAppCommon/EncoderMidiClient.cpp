#include "Panel/Engine/TestAppCommon/EncoderMidiClient.h"

#include "Panel/Engine/TestAppCommon/MidiManager.h"
#include "VxFramework/ObjectBase/Exception.h"

namespace Vx
{
namespace
{
bool ContainsEqual(const Array<MidiMessage>& list, const MidiMessage& message)
{
    for (std::uint32_t i = 0; i < list.GetCount(); ++i)
    {
        if (list.GetAtConst(i)->IsEqual(message))
            return true;
    }
    return false;
}
} // namespace

LEncoderMidiClient::LEncoderMidiClient(const String& inputPortName)
{
    mClient = LMidiClient::Create(inputPortName, String(), RCPtr<LMidiClientCallbackReceiver>(this));
    VX_THROW_IF_NULL(mClient.Get(), "Failed to create LMidiClient instance");
    // The client's reference to this object is this object's own.
    AdjustContainedRefCount(1);
}

LEncoderMidiClient::~LEncoderMidiClient()
{
    Close();
}

RCPtr<LEncoderMidiClient> LEncoderMidiClient::Create(const String& inputPortName,
                                                     const RCPtr<LEncoderMidiClientCallbackReceiver>& receiver)
{
    RCPtr<LEncoderMidiClient> client(new LEncoderMidiClient(inputPortName));
    client->SetReceiver(receiver);
    return client;
}

RCPtr<LEncoderMidiClient>
LEncoderMidiClient::CreateForFunction(std::int32_t functionID, std::int32_t functionIndex,
                                      const RCPtr<LEncoderMidiClientCallbackReceiver>& receiver)
{
    return Create(GetMidiInputPortNameByFunction(functionID, functionIndex), receiver);
}

void LEncoderMidiClient::SetPatterns(const MidiMessage& decrement, const MidiMessage& increment)
{
    Array<MidiMessage> decrements, increments;
    decrements.Add(decrement);
    increments.Add(increment);
    SetPatternLists(decrements, increments);
}

void LEncoderMidiClient::SetPatternLists(const Array<MidiMessage>& decrement, const Array<MidiMessage>& increment)
{
    Array<MidiMessage> allow = decrement;
    allow.AppendAll(increment);
    const RCPtr<LMidiFilterByDenyAllowPrefixLists> filter = LMidiFilterByDenyAllowPrefixLists::Create();
    filter->SetAllowList(allow);
    {
        const std::lock_guard<std::mutex> lock(mLock);
        mDecrement = decrement;
        mIncrement = increment;
        mFilter = filter;
    }
    mClient->SetFilter(RCPtr<LIMidiFilter>(filter));
}

void LEncoderMidiClient::SetReceiver(const RCPtr<LEncoderMidiClientCallbackReceiver>& receiver)
{
    RCPtr<LEncoderMidiClientCallbackReceiver> previous;
    const std::lock_guard<std::mutex> lock(mLock);
    previous = mReceiver;
    mReceiver = receiver;
}

VxRESULT LEncoderMidiClient::Open()
{
    mClient->EnableCapture(true);
    return mClient->Open();
}

void LEncoderMidiClient::Close()
{
    if (mClient == nullptr)
        return;
    mClient->EnableCapture(false);
    mClient->Close();
}

void LEncoderMidiClient::HandleMidiMessage(const MidiMessage& message, std::uint32_t /*timeStampMs*/)
{
    RCPtr<LEncoderMidiClientCallbackReceiver> receiver;
    bool decrement = false;
    bool increment = false;
    {
        const std::lock_guard<std::mutex> lock(mLock);
        if (mReceiver == nullptr)
            return;
        receiver = mReceiver;
        decrement = ContainsEqual(mDecrement, message);
        increment = !decrement && ContainsEqual(mIncrement, message);
    }
    if (decrement)
        receiver->OnEncoderDecrement();
    else if (increment)
        receiver->OnEncoderIncrement();
}

VxRESULT LEncoderMidiClient::RemoveContainedReferences()
{
    mClient->SetReceiver(nullptr);
    AdjustContainedRefCount(-1);
    return LMidiClientCallbackReceiver::RemoveContainedReferences();
}
} // namespace Vx
