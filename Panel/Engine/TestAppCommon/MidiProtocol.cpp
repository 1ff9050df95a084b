#include "Panel/Engine/TestAppCommon/MidiProtocol.h"

#include "VxFramework/ObjectBase/Exception.h"

namespace Vx
{
namespace
{
constexpr signed char kSysExStart = static_cast<signed char>(0xF0);
constexpr signed char kSysExEnd = static_cast<signed char>(0xF7);
} // namespace

MidiDeviceDescription::MidiDeviceDescription(const MidiPortProperties& properties)
    : manufacturerID(properties.manufacturerID), deviceID(properties.deviceID), productID(properties.productID),
      rgbLedCommand(properties.rgbLedCommand), rgbLedIndexed(properties.rgbLedIndexed),
      rn19Variant(properties.rn19Variant)
{
}

CommonMIDIHeader::CommonMIDIHeader(const MidiDeviceDescription& description)
    : mManufacturerID(description.manufacturerID), mDeviceID(description.deviceID), mProductID(description.productID)
{
}

void CommonMIDIHeader::Serialize(IArray<signed char>& out) const
{
    out.AppendAll(mManufacturerID);
    out.Add(mDeviceID);
    out.Add(mProductID);
    out.Add(mCommand);
    out.Add(mLengthHigh);
    out.Add(mLengthLow);
}

void CommonMIDIHeader::SerializeTo(IArray<signed char>& out) const
{
    out.RemoveAll();
    Serialize(out);
}

void CommonMIDIHeader::SetLength(std::uint32_t length)
{
    VX_ASSERT(length < kMaxLength);
    mLengthLow = static_cast<signed char>(length & 0x7F);
    mLengthHigh = static_cast<signed char>((length >> 7) & 0x7F);
}

MidiMessage CommonMIDIHeader::BuildMessage(const CommonMIDIHeader& header)
{
    MidiMessage message;
    message.Add(kSysExStart);
    header.Serialize(message);
    message.Add(kSysExEnd);
    return message;
}
} // namespace Vx
