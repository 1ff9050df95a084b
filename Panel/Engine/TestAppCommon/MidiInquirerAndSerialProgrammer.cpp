#include "Panel/Engine/TestAppCommon/MidiInquirerAndSerialProgrammer.h"

#include "VxFramework/ObjectBase/Exception.h"
#include "VxFramework/Utilities/DebugTracer.h"

#include <cstring>

namespace Vx
{
namespace
{
using String = StringT<char, unsigned short>;
using Bytes = MidiInquiryResult::Bytes;

constexpr unsigned char kSysExStart = 0xF0;
constexpr unsigned char kSysExEnd = 0xF7;
constexpr unsigned char kUniversalNonRealTime = 0x7E;
constexpr unsigned char kGeneralInformation = 0x06;
constexpr unsigned char kIdentityRequest = 0x01;
constexpr unsigned char kIdentityReply = 0x02;

// Reply fields from the product id on: product id, two length bytes, the
// firmware version, the device id, reserved bytes, manufacturing data.
constexpr std::uint32_t kFirmwareVersionSize = 4;
constexpr std::uint32_t kReservedSize = 4;
constexpr std::uint32_t kManufacturingDataSize = 16;
constexpr std::uint32_t kFirmwareOffset = 3;
constexpr std::uint32_t kDeviceIdOffset = kFirmwareOffset + kFirmwareVersionSize;
constexpr std::uint32_t kReservedOffset = kDeviceIdOffset + 1;
constexpr std::uint32_t kManufacturingDataOffset = kReservedOffset + kReservedSize;
constexpr std::uint32_t kAdditionalDataOffset = kManufacturingDataOffset + kManufacturingDataSize;

constexpr const char* kNotAvailable = "N/A";
constexpr const char* kUnknownFormat = "UNKNOWN FORMAT";

void Assign(Bytes& out, const signed char* data, std::uint32_t count)
{
    out.SetCount(count);
    if (count > 0)
        std::memcpy(out.GetData(), data, count);
}

String Hex(const IArray<signed char>& bytes)
{
    return String::EncodeBinaryData(0, bytes.GetDataConst(), bytes.GetCount());
}

String FormatFirmwareBytes(bool dotted, const Bytes& bytes)
{
    if (bytes.GetCount() == 0)
        return String(kNotAvailable);
    if (bytes.GetCount() != kFirmwareVersionSize)
        return String(kUnknownFormat);
    const signed char* b = bytes.GetDataConst();
    return dotted ? String::Format("%d.%d.%d.%d", b[0], b[1], b[2], b[3])
                  : String::Format("%d%d.%d%d", b[0], b[1], b[2], b[3]);
}
} // namespace

void MidiInquiryResult::Reset()
{
    sysExChannel = 0;
    productID = 0;
    deviceID = 0;
    manufacturerID.RemoveAll();
    firmwareVersion.RemoveAll();
    reserved.RemoveAll();
    manufacturingData.RemoveAll();
    additionalData.RemoveAll();
}

MidiMessage MidiInquiryProtocol::CreateIdentityRequest(signed char deviceID) const
{
    MidiMessage request;
    for (const unsigned char byte : {kSysExStart, kUniversalNonRealTime, static_cast<unsigned char>(deviceID),
                                     kGeneralInformation, kIdentityRequest, kSysExEnd})
        request.Add(static_cast<signed char>(byte));
    return request;
}

// Every read is bounded by the message's count: a truncated reply fails
// where its bytes end.
VxRESULT MidiInquiryProtocol::ParseIdentityReply(const MidiMessage& message, MidiInquiryResult& result) const
{
    const std::uint32_t n = message.GetCount();
    const signed char* const b = message.GetDataConst();
    const auto at = [b](std::uint32_t index) { return static_cast<unsigned char>(b[index]); };

    if (n < 6 || at(0) != kSysExStart || at(1) != kUniversalNonRealTime)
        return VXR_E_INVALIDARG;
    result.sysExChannel = b[2];
    if (at(3) != kGeneralInformation || at(4) != kIdentityReply || n == 6)
        return VXR_E_INVALIDARG;

    // One non-zero byte, or 00 and two bytes.
    std::uint32_t product = 6;
    if (at(5) != 0)
    {
        Assign(result.manufacturerID, b + 5, 1);
    }
    else
    {
        if (n <= 8)
            return VXR_E_INVALIDARG;
        Assign(result.manufacturerID, b + 5, 3);
        product = 8;
    }

    // From the product id up to, not including, the last byte (F7, not tested).
    if (n - 1 <= product)
        return VXR_E_INVALIDARG;
    const std::uint32_t k = n - 1 - product;
    const signed char* const fields = b + product;

    result.productID = fields[0];
    result.firmwareVersion.RemoveAll();
    result.reserved.RemoveAll();
    result.manufacturingData.RemoveAll();
    result.additionalData.RemoveAll();
    result.deviceID = 0;

    if (k < (product == 6 ? 10u : 12u))
        return VXR_E_INVALIDARG;
    const std::uint32_t length = static_cast<std::uint32_t>(at(product + 1)) * 128 + at(product + 2);
    if (length != k - 3)
        return VXR_E_INVALIDARG;
    Assign(result.firmwareVersion, fields + kFirmwareOffset, kFirmwareVersionSize);
    result.deviceID = fields[kDeviceIdOffset];
    if (k < kManufacturingDataOffset)
        return VXR_E_INVALIDARG;
    Assign(result.reserved, fields + kReservedOffset, kReservedSize);
    if (k < kAdditionalDataOffset)
        return VXR_E_INVALIDARG;
    Assign(result.manufacturingData, fields + kManufacturingDataOffset, kManufacturingDataSize);
    Assign(result.additionalData, fields + kAdditionalDataOffset, k - kAdditionalDataOffset);
    return VXR_OK;
}

String MidiInquiryProtocol::FormatFirmwareVersion(const Bytes& bytes) const
{
    return FormatFirmwareBytes(false, bytes);
}

String MidiInquiryProtocol::FormatFirmwareVersionDotted(const Bytes& bytes) const
{
    return FormatFirmwareBytes(true, bytes);
}

String MidiInquiryProtocol::FormatManufacturingData(const Bytes& bytes) const
{
    return Hex(bytes);
}

String MidiInquiryProtocol::FormatByte(const Bytes& bytes) const
{
    if (bytes.GetCount() == 0)
        return String(kNotAvailable);
    if (bytes.GetCount() != 1)
        return String(kUnknownFormat);
    return String::Format("%d", bytes[0]);
}

//==============================================================================
RCPtr<LMidiInquirer> LMidiInquirer::Create()
{
    return RCPtr<LMidiInquirer>(new LMidiInquirer());
}

LMidiInquirer::~LMidiInquirer() = default;

VxRESULT LMidiInquirer::Inquire(const String& inputPortName, const String& outputPortName, signed char deviceID,
                                std::int32_t attempts, std::uint32_t timeoutMs)
{
    if (attempts < 0)
        return VXR_E_INVALIDARG;

    DebugTracer& tracer = DebugTracer::Get();
    tracer.Trace(-1, "\nStarting MIDI inquiry");
    tracer.Trace(-1, "  Inquiry output  : %s", outputPortName.GetCString());
    tracer.Trace(-1, "  Inquiry input   : %s", inputPortName.GetCString());
    mValid = false;

    RCPtr<LMidiClient> client =
        LMidiClient::Create(inputPortName, outputPortName, RCPtr<LMidiClientCallbackReceiver>(this));
    VxRESULT result = client->Open();
    if (Failed(result))
    {
        tracer.Trace(-1, "  Inquiry error   : failed to open MIDI ports");
        return result;
    }

    // System Exclusive only.
    const RCPtr<LMidiFilterByDenyAllowPrefixLists> filter = LMidiFilterByDenyAllowPrefixLists::Create();
    Array<MidiMessage> allow;
    allow.Add(MidiMessage::Make1(kSysExStart));
    filter->SetAllowList(allow);
    client->SetFilter(RCPtr<LIMidiFilter>(filter));

    {
        const std::lock_guard<std::mutex> lock(mResultLock);
        mResult.Reset();
    }
    const MidiMessage request = mProtocol.CreateIdentityRequest(deviceID);
    const String requestText = MidiMessage::ToHexString(request);

    for (std::int32_t attempt = 1; attempt <= attempts; ++attempt)
    {
        mReplyEvent.Reset();
        {
            const std::lock_guard<std::mutex> lock(mResultLock);
            mListening = true;
        }
        tracer.Trace(-1, "  Inquiry attempt : %d", attempt);
        tracer.Trace(-1, "  Inquiry request : %s", requestText.GetCString());
        result = client->Send(request);
        if (Failed(result))
        {
            tracer.Trace(-1, "  Inquiry error   : inquire request failed");
            result = VXR_E_FAIL;
            continue;
        }
        if (mReplyEvent.Wait(timeoutMs) == 0)
        {
            mValid = true;
            break;
        }
        tracer.Trace(-1, "  Inquiry error   : no valid response");
        result = VXR_E_FAIL;
    }

    {
        const std::lock_guard<std::mutex> lock(mResultLock);
        mListening = false;
    }
    tracer.Trace(-1, "Finished MIDI inquiry\n");
    // Closed here rather than by the last release, which may come from the
    // MIDI worker still returning from the reply's delivery.
    client->Close();
    client = nullptr;
    return result;
}

VxRESULT LMidiInquirer::GetResult(MidiInquiryResult& out) const
{
    if (!mValid)
        return VXR_E_UNEXPECTED;
    const std::lock_guard<std::mutex> lock(mResultLock);
    out = mResult;
    return VXR_OK;
}

String LMidiInquirer::FormatFirmwareVersion(const MidiInquiryResult::Bytes& bytes) const
{
    switch (mVersionFormat.load())
    {
    case kVersionFormatCompact:
        return mProtocol.FormatFirmwareVersion(bytes);
    case kVersionFormatDotted:
        return mProtocol.FormatFirmwareVersionDotted(bytes);
    default:
        VX_ASSERT_FALSE();
        return mProtocol.FormatFirmwareVersion(bytes);
    }
}

String LMidiInquirer::GetFirmwareVersionString() const
{
    const std::lock_guard<std::mutex> lock(mResultLock);
    return FormatFirmwareVersion(mResult.firmwareVersion);
}

String LMidiInquirer::GetManufacturingDataString() const
{
    const std::lock_guard<std::mutex> lock(mResultLock);
    return mProtocol.FormatManufacturingData(mResult.manufacturingData);
}

String LMidiInquirer::GetAdditionalDataString() const
{
    Bytes first;
    {
        const std::lock_guard<std::mutex> lock(mResultLock);
        if (mValid && mResult.additionalData.GetCount() > 0)
            first.Add(mResult.additionalData[0]);
    }
    return mProtocol.FormatByte(first);
}

VxRESULT LMidiInquirer::GetDeviceDescription(MidiDeviceDescription& out) const
{
    if (!mValid)
        return VXR_E_UNEXPECTED;
    const std::lock_guard<std::mutex> lock(mResultLock);
    out = MidiDeviceDescription();
    out.manufacturerID = mResult.manufacturerID;
    out.deviceID = mResult.deviceID;
    out.productID = mResult.productID;
    return VXR_OK;
}

void LMidiInquirer::HandleMidiMessage(const MidiMessage& message, std::uint32_t /*timeStampMs*/)
{
    {
        const std::lock_guard<std::mutex> lock(mResultLock);
        if (!mListening)
            return;
        DebugTracer& tracer = DebugTracer::Get();
        tracer.Trace(-1, "  Parsing message : %s", MidiMessage::ToHexString(message).GetCString());
        // Foreign and partial messages do not end the wait.
        if (Failed(mProtocol.ParseIdentityReply(message, mResult)))
            return;
        tracer.Trace(-1, "    ManufacturerID: %s", Hex(mResult.manufacturerID).GetCString());
        tracer.Trace(-1, "    ProductID     : %02X", static_cast<unsigned char>(mResult.productID));
        tracer.Trace(-1, "    DeviceID      : %02X", static_cast<unsigned char>(mResult.deviceID));
        tracer.Trace(-1, "    FWVersion     : %s", FormatFirmwareVersion(mResult.firmwareVersion).GetCString());
        tracer.Trace(-1, "    Reserved      : %s", Hex(mResult.reserved).GetCString());
        tracer.Trace(-1, "    MfgData       : %s", Hex(mResult.manufacturingData).GetCString());
        tracer.Trace(-1, "    AdditionalData: %s", Hex(mResult.additionalData).GetCString());
    }
    mReplyEvent.Set();
}

//==============================================================================
SetManufacturingDataMIDIMessage::SetManufacturingDataMIDIMessage(const MidiDeviceDescription& description)
    : CommonMIDIHeader(description)
{
}

void SetManufacturingDataMIDIMessage::SetData(const signed char* data)
{
    std::memcpy(mData, data, kDataSize);
}

void SetManufacturingDataMIDIMessage::Serialize(IArray<signed char>& out) const
{
    CommonMIDIHeader::Serialize(out);
    for (const signed char byte : mData)
        out.Add(byte);
}

MidiMessage MidiManufacturingDataProtocol::CreateSetManufacturingDataMessage(const IArray<signed char>& data) const
{
    if (data.GetCount() != SetManufacturingDataMIDIMessage::kDataSize)
        return MidiMessage();
    SetManufacturingDataMIDIMessage message(mDescription);
    message.SetCommand(SetManufacturingDataMIDIMessage::kCommand);
    message.SetLength(SetManufacturingDataMIDIMessage::kDataSize);
    message.SetData(data.GetDataConst());
    return CommonMIDIHeader::BuildMessage(message);
}

MidiManufacturingDataProtocol::Bytes
MidiManufacturingDataProtocol::DecodeSerialNumber(const IArray<signed char>& data) const
{
    Bytes serial;
    if (data.GetCount() == SetManufacturingDataMIDIMessage::kDataSize)
        Assign(serial, data.GetDataConst(), kSerialNumberLength);
    return serial;
}

MidiManufacturingDataProtocol::Bytes
MidiManufacturingDataProtocol::EncodeSerialNumber(const IArray<signed char>& serial) const
{
    Bytes data;
    if (serial.GetCount() == kSerialNumberLength)
    {
        Assign(data, serial.GetDataConst(), kSerialNumberLength);
        data.Add(0);
    }
    return data;
}

MidiManufacturingDataProtocol::String
MidiManufacturingDataProtocol::FormatSerialNumber(const IArray<signed char>& serial) const
{
    if (serial.GetCount() == 0)
        return String(kNotAvailable);
    if (serial.GetCount() != kSerialNumberLength)
        return String(kUnknownFormat);
    return String(
        reinterpret_cast<const char*>(serial.GetDataConst()),
        static_cast<std::int32_t>(strnlen(reinterpret_cast<const char*>(serial.GetDataConst()), kSerialNumberLength)));
}

void MidiManufacturingDataProgrammer::SetPortProperties(const MidiPortProperties& properties)
{
    mPortProperties = properties;
    mProtocol.SetDescription(MidiDeviceDescription(properties));
}

VxRESULT MidiManufacturingDataProgrammer::Program(const IArray<signed char>& data)
{
    // Such a block would build no message: nothing is opened for it.
    if (data.GetCount() != SetManufacturingDataMIDIMessage::kDataSize)
        return VXR_E_INVALIDARG;
    const RCPtr<LMidiClient> client =
        LMidiClient::Create(mPortProperties.inputPortName, mPortProperties.outputPortName, nullptr);
    if (client == nullptr)
        return VXR_E_FAIL;
    const VxRESULT opened = client->Open();
    if (Failed(opened))
        return opened;
    const VxRESULT sent = client->Send(mProtocol.CreateSetManufacturingDataMessage(data));
    // On this thread, not by whichever thread lets go of the client last.
    client->Close();
    return sent;
}
} // namespace Vx
