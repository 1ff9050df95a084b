#pragma once

#include "VxFramework/Utilities/Storage/ArrayBuffer.h"
#include "VxFramework/Utilities/Storage/StringT.h"

#include <cstdint>

namespace Vx
{
// One MIDI function of the device: which controller board, found on which
// ports, with which identity and protocol options.  A plain value: copies
// copy every field.
struct MidiPortProperties
{
    using Bytes = ArrayBuffer<signed char, 1, 0, true, 8, GetSystemAllocator>;

    // With functionIndex, the key by which views and tests find the port.
    std::int32_t functionID = -1;
    std::int32_t functionIndex = 0;
    // System Exclusive manufacturer id: 1 byte, or 00 and two bytes.
    Bytes manufacturerID;
    // As the board's identity reply gives them.
    signed char productID = static_cast<signed char>(0xFF);
    signed char deviceID = static_cast<signed char>(0xFF);
    // The device id byte of the identity request that looks for this function.
    signed char inquiryDeviceID = static_cast<signed char>(0xFF);
    Bytes firmwareVersion;
    Bytes manufacturingData;
    // Empty: not found or not used.
    StringT<char, unsigned short> inputPortName;
    StringT<char, unsigned short> outputPortName;
    // Command byte of the set-RGB-LED message; negative means 0x03.
    signed char rgbLedCommand = static_cast<signed char>(0xFF);
    // RGB LED and calibration payloads begin with an LED index byte.
    bool rgbLedIndexed = false;
    // The board takes the RN19 form of the calibration message.
    bool rn19Variant = false;
};
} // namespace Vx
