#pragma once

#include "Panel/Engine/TestAppCommon/MidiClient.h"
#include "Panel/Engine/TestAppCommon/MidiProtocol.h"
#include "VxFramework/MidiAndAudio/Midi/MidiMessage.h"
#include "VxFramework/MidiAndAudio/Midi/MidiPortProperties.h"
#include "VxFramework/Utilities/Storage/StringT.h"
#include "VxFramework/Utilities/Threading/EventData.h"

#include <atomic>
#include <cstdint>
#include <mutex>

namespace Vx
{
// A board's identity reply, parsed.
struct MidiInquiryResult
{
    using Bytes = MidiPortProperties::Bytes;

    // Ids and channel 0, every array empty.
    void Reset();

    // The channel the board answered on.
    signed char sysExChannel = 0;
    // 1 byte, or 00 and two bytes.
    Bytes manufacturerID;
    signed char productID = 0;
    signed char deviceID = 0;
    // 4 bytes each.
    Bytes firmwareVersion;
    Bytes reserved;
    // 16 bytes: the programmed serial number.
    Bytes manufacturingData;
    // The rest of the reply, possibly nothing.
    Bytes additionalData;
};

// The Universal Identity Request and the maker's reply layout.
class IMidiInquiryProtocol
{
public:
    using String = StringT<char, unsigned short>;
    using Bytes = MidiInquiryResult::Bytes;

    // F0 7E dd 06 01 F7; 0x7F addresses every board.
    virtual MidiMessage CreateIdentityRequest(signed char deviceID) const = 0;
    // 0, or 0x80000003 for a message that is not a whole reply; the fields
    // read before the failure stay in the result.
    virtual VxRESULT ParseIdentityReply(const MidiMessage& message, MidiInquiryResult& result) const = 0;
    // "%d%d.%d%d" of 4 bytes; "N/A" for none; "UNKNOWN FORMAT" otherwise.
    virtual String FormatFirmwareVersion(const Bytes& bytes) const = 0;
    // The same with "%d.%d.%d.%d".
    virtual String FormatFirmwareVersionDotted(const Bytes& bytes) const = 0;
    // Upper-case hexadecimal; empty for none.
    virtual String FormatManufacturingData(const Bytes& bytes) const = 0;
    // "%d" of exactly 1 byte; "N/A" for none; "UNKNOWN FORMAT" otherwise.
    virtual String FormatByte(const Bytes& bytes) const = 0;

protected:
    ~IMidiInquiryProtocol() = default;
};

class MidiInquiryProtocol : public IMidiInquiryProtocol
{
public:
    MidiMessage CreateIdentityRequest(signed char deviceID) const override;
    VxRESULT ParseIdentityReply(const MidiMessage& message, MidiInquiryResult& result) const override;
    String FormatFirmwareVersion(const Bytes& bytes) const override;
    String FormatFirmwareVersionDotted(const Bytes& bytes) const override;
    String FormatManufacturingData(const Bytes& bytes) const override;
    String FormatByte(const Bytes& bytes) const override;
};

// Opens a port pair, sends the identity request and waits for a valid reply.
// Inquire runs on the caller's thread; replies are parsed on the MIDI
// service's worker, which ends the wait.
class LMidiInquirer : public LMidiClientCallbackReceiver
{
public:
    using String = StringT<char, unsigned short>;

    // Firmware version texts: "12.34" (0) or "1.2.3.4" (1).
    static constexpr std::int32_t kVersionFormatCompact = 0;
    static constexpr std::int32_t kVersionFormatDotted = 1;

    static RCPtr<LMidiInquirer> Create();
    ~LMidiInquirer() override;

    void SetVersionFormat(std::int32_t format) { mVersionFormat.store(format); }

    // 0 once a valid reply came; 0x80000008 when no attempt got one in time
    // or every send failed; the code of ports that cannot be opened.  No
    // attempts: nothing is sent and the open's code is returned; a negative
    // count is refused (0x80000003) before anything is opened.
    VxRESULT Inquire(const String& inputPortName, const String& outputPortName, signed char deviceID,
                     std::int32_t attempts, std::uint32_t timeoutMs);

    // 0x8000FFFF while no valid reply is held.
    VxRESULT GetResult(MidiInquiryResult& out) const;
    // These format whatever the result holds, valid or not.
    String GetFirmwareVersionString() const;
    String GetManufacturingDataString() const;
    // The first additional byte of a valid reply, else "N/A".
    String GetAdditionalDataString() const;
    // Manufacturer id, device id and product id of a valid reply; 0x8000FFFF
    // without one.
    VxRESULT GetDeviceDescription(MidiDeviceDescription& out) const;

    void HandleMidiMessage(const MidiMessage& message, std::uint32_t timeStampMs) override;

private:
    LMidiInquirer() = default;
    String FormatFirmwareVersion(const MidiInquiryResult::Bytes& bytes) const;

    std::atomic<std::int32_t> mVersionFormat{kVersionFormatCompact};
    MidiInquiryProtocol mProtocol;
    // The worker parses into it while Inquire waits; the getters read it
    // afterwards.  Parsing only while listening, both under this lock, keeps
    // a late reply from changing it under a reader.
    mutable std::mutex mResultLock;
    MidiInquiryResult mResult;
    std::atomic<bool> mValid{false};
    bool mListening = false;
    Event mReplyEvent{Event::kAutoReset};
};

// The controller board's 16-byte manufacturing data written with command 0x79.
class SetManufacturingDataMIDIMessage : public CommonMIDIHeader
{
public:
    static constexpr std::uint32_t kDataSize = 16;
    static constexpr signed char kCommand = 0x79;

    // The header of the description; the data all zero.
    explicit SetManufacturingDataMIDIMessage(const MidiDeviceDescription& description);

    // kDataSize bytes.
    void SetData(const signed char* data);
    void Serialize(IArray<signed char>& out) const override;

private:
    signed char mData[kDataSize] = {};
};

// Between the 15-character serial number and the board's 16-byte block.
class IMidiManufacturingDataProtocol
{
public:
    using String = StringT<char, unsigned short>;
    using Bytes = MidiPortProperties::Bytes;

    // The message for a block of exactly 16 bytes, else an empty message.
    virtual MidiMessage CreateSetManufacturingDataMessage(const IArray<signed char>& data) const = 0;
    // Bytes 0..14 of a 16-byte block, else nothing.
    virtual Bytes DecodeSerialNumber(const IArray<signed char>& data) const = 0;
    // 15 bytes and a 0 byte for exactly 15 bytes, else nothing.
    virtual Bytes EncodeSerialNumber(const IArray<signed char>& serial) const = 0;
    // The characters before the first 0 of 15 bytes; "N/A" for none;
    // "UNKNOWN FORMAT" otherwise.
    virtual String FormatSerialNumber(const IArray<signed char>& serial) const = 0;

protected:
    ~IMidiManufacturingDataProtocol() = default;
};

class MidiManufacturingDataProtocol : public IMidiManufacturingDataProtocol
{
public:
    static constexpr std::uint32_t kSerialNumberLength = 15;

    MidiMessage CreateSetManufacturingDataMessage(const IArray<signed char>& data) const override;
    Bytes DecodeSerialNumber(const IArray<signed char>& data) const override;
    Bytes EncodeSerialNumber(const IArray<signed char>& serial) const override;
    String FormatSerialNumber(const IArray<signed char>& serial) const override;

    void SetDescription(const MidiDeviceDescription& description) { mDescription = description; }
    MidiDeviceDescription GetDescription() const { return mDescription; }

private:
    MidiDeviceDescription mDescription;
};

// Writes a block of manufacturing data into the board of one port pair.  The
// board acknowledges nothing: the caller reads back.
class MidiManufacturingDataProgrammer
{
public:
    using Bytes = MidiPortProperties::Bytes;

    virtual ~MidiManufacturingDataProgrammer() = default;

    // The port pair and the board's description.
    void SetPortProperties(const MidiPortProperties& properties);
    MidiPortProperties GetPortProperties() const { return mPortProperties; }

    Bytes EncodeSerialNumber(const IArray<signed char>& serial) const { return mProtocol.EncodeSerialNumber(serial); }
    Bytes DecodeSerialNumber(const IArray<signed char>& data) const { return mProtocol.DecodeSerialNumber(data); }

    // The send's result; the open's code when the ports cannot be opened;
    // 0x80000003 (from the service) for a block that is not 16 bytes, which
    // sends nothing.
    virtual VxRESULT Program(const IArray<signed char>& data);

private:
    MidiPortProperties mPortProperties;
    MidiManufacturingDataProtocol mProtocol;
};
} // namespace Vx
