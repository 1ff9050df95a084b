#pragma once

#include "VxFramework/MidiAndAudio/Midi/MidiMessage.h"
#include "VxFramework/Utilities/Storage/ArrayUtils.h"
#include "VxFramework/Utilities/Storage/StringT.h"
#include "VxFramework/Utilities/Storage/VxArray.h"

#include <cstdint>
#include <initializer_list>

namespace Vx
{
// One control of a hardware-control test page and the messages it must send,
// step by step.
struct MidiInputTestBinding
{
    using String = StringT<char, unsigned short>;

    // Group and control name on the test page.
    StringArrayT<char, unsigned short> controlPath;
    // Step i: the messages (or prefixes) accepted as that step.
    Array<Array<MidiMessage>> expectedSteps;
    // Messages that begin with one of these are ignored by the control's label.
    Array<MidiMessage> toleratedPrefixes;
    // Handed to the label under keys 1 and 0.
    Array<MidiMessage> key1Messages;
    Array<MidiMessage> key0Messages;
    // Handed to the label, which takes a first value of 0 as 20.
    std::int32_t labelValueA = 0;
    std::int32_t labelValueB = 0;
};

// The device's tables of the platter, button, potentiometer and encoder tests,
// and the prefixes each of those pages filters out.
class SwitchesTestDeviceSpecificInfo : public Array<MidiInputTestBinding>
{
public:
    using String = MidiInputTestBinding::String;

    // Button kinds and step orders.
    static constexpr std::int32_t kNote = 0;
    static constexpr std::int32_t kControlChange = 1;
    static constexpr std::int32_t kReleaseFirst = 0;
    static constexpr std::int32_t kPressFirst = 1;

    // Each empties the array and appends its table in order.
    void AddPlatterGroup();
    void AddButtonGroup();
    void AddPotGroup();
    void AddEncoderGroup();

    static Array<MidiMessage> CreatePlatterDenyList();
    static Array<MidiMessage> CreateButtonDenyList();
    static Array<MidiMessage> CreateEncoderDenyList();

    // Two 3-byte steps: value 7F then 00 of a control change, or a note-on
    // (velocity 7F) and a note-off (velocity 0) in the order given.  Another
    // kind is asserted and built as a note, another order as release first.
    static MidiInputTestBinding CreateButtonBinding(const String& group, const String& control, std::int32_t kind,
                                                    std::int32_t order, std::uint8_t channel, std::uint8_t number);
    // Two steps, each a 2-byte control-change prefix.
    static MidiInputTestBinding CreateControlChangePairBinding(const String& group, const String& control,
                                                               std::uint8_t channel, std::uint8_t first,
                                                               std::uint8_t second);
    // One step, a 2-byte control-change prefix.
    static MidiInputTestBinding CreateControlChangeBinding(const String& group, const String& control,
                                                           std::uint8_t channel, std::uint8_t number);
    // A control-change pair with the tolerated prefixes given as hex texts.
    static MidiInputTestBinding CreatePlatterBinding(const String& group, const String& control, std::uint8_t channel,
                                                     std::uint8_t first, std::uint8_t second,
                                                     std::initializer_list<const char*> toleratedHex);
};
} // namespace Vx
