#include "Panel/Engine/SwitchesTestDeviceSpecificInfo.h"

#include "VxFramework/ObjectBase/Exception.h"

namespace Vx
{
namespace
{
using String = SwitchesTestDeviceSpecificInfo::String;

constexpr std::uint8_t kChannel1 = 0;
constexpr std::uint8_t kStatusNoteOff = 0x80;
constexpr std::uint8_t kStatusNoteOn = 0x90;
constexpr std::uint8_t kStatusControlChange = 0xB0;
constexpr std::uint8_t kStatusPitchBend = 0xE0;

MidiInputTestBinding Binding(const String& group, const String& control)
{
    MidiInputTestBinding binding;
    binding.controlPath.Add(group);
    binding.controlPath.Add(control);
    return binding;
}

void AddStep(MidiInputTestBinding& binding, const MidiMessage& message)
{
    Array<MidiMessage> step;
    step.Add(message);
    binding.expectedSteps.Add(step);
}

Array<MidiMessage> Prefixes(std::initializer_list<MidiMessage> prefixes)
{
    Array<MidiMessage> list;
    for (const MidiMessage& prefix : prefixes)
        list.Add(prefix);
    return list;
}

struct Button
{
    const char* control;
    std::uint8_t note;
};

// In control order; the notes of three buttons are those of their LEDs.
constexpr Button kButtons[] = {
    {"button01EjectMedia", 15},
    {"button02View", 14},
    {"button03Source", 13},
    {"button04Shortcuts", 12},
    {"button05Layer", 11},
    {"button06Back", 16},
    {"button07Forward", 17},
    {"button08Load", 18},
    {"button09AutoLoopSet", 10},
    {"button10ManualLoopIn", 8},
    {"button11ManualLoopOut", 9},
    {"button12Censor", 7},
    {"button13TrackPrev", 5},
    {"button14TrackNext", 6},
    {"button15BeatJumpBack", 3},
    {"button16BeatJumpForward", 4},
    {"button17Cue", 2},
    {"button18PlayPause", 1},
    {"button19MotorOnOff", 19},
    {"button20Sync", 20},
    {"button21MasterDeck", 21},
    {"button22KeyLock", 22},
    {"button23SlipMode", 23},
    {"button24PitchDown", 24},
    {"button25PitchUp", 25},
    {"button26Shift", 26},
    {"button27HotCueMode", 27},
    {"button28SavedLoop", 30},
    {"button29RollMode", 28},
    {"button30SlicerLoops", 29},
    {"button31ParameterBack", 52},
    {"button32ParameterForward", 53},
    {"button33Pad01", 32},
    {"button34Pad02", 33},
    {"button35Pad03", 34},
    {"button36Pad04", 35},
    {"button37Pad05", 36},
    {"button38Pad06", 37},
    {"button39Pad07", 38},
    {"button40Pad08", 39},
};
} // namespace

void SwitchesTestDeviceSpecificInfo::AddPlatterGroup()
{
    RemoveAll();
    Add(CreatePlatterBinding("platterGroup", "pot", kChannel1, 17, 49, {"B036", "B037", "E0"}));
}

void SwitchesTestDeviceSpecificInfo::AddButtonGroup()
{
    RemoveAll();
    for (const Button& button : kButtons)
        Add(CreateButtonBinding("buttonGroup", button.control, kNote, kPressFirst, kChannel1, button.note));
}

void SwitchesTestDeviceSpecificInfo::AddPotGroup()
{
    RemoveAll();
    Add(CreateControlChangeBinding("potGroup", "pot01StopTime", kChannel1, 7));
    Add(CreateControlChangePairBinding("potGroup", "pot02PitchFader", kChannel1, 8, 40));
}

void SwitchesTestDeviceSpecificInfo::AddEncoderGroup()
{
    RemoveAll();
    Add(CreateControlChangeBinding("encoderGroup", "encoder01Main", kChannel1, 6));
    Add(CreateControlChangeBinding("encoderGroup", "encoder02AutoLoop", kChannel1, 3));
}

Array<MidiMessage> SwitchesTestDeviceSpecificInfo::CreatePlatterDenyList()
{
    return Prefixes({MidiMessage::Make2(kStatusControlChange, 0x36), MidiMessage::Make2(kStatusControlChange, 0x37),
                     MidiMessage::Make1(kStatusPitchBend)});
}

Array<MidiMessage> SwitchesTestDeviceSpecificInfo::CreateButtonDenyList()
{
    return Prefixes({MidiMessage::Make1(kStatusControlChange), MidiMessage::Make1(kStatusPitchBend)});
}

Array<MidiMessage> SwitchesTestDeviceSpecificInfo::CreateEncoderDenyList()
{
    return Prefixes({MidiMessage::Make2(kStatusControlChange, 0x11), MidiMessage::Make2(kStatusControlChange, 0x31),
                     MidiMessage::Make2(kStatusControlChange, 0x36), MidiMessage::Make2(kStatusControlChange, 0x37),
                     MidiMessage::Make1(kStatusPitchBend)});
}

MidiInputTestBinding SwitchesTestDeviceSpecificInfo::CreateButtonBinding(const String& group, const String& control,
                                                                         std::int32_t kind, std::int32_t order,
                                                                         std::uint8_t channel, std::uint8_t number)
{
    MidiInputTestBinding binding = Binding(group, control);
    if (kind == kControlChange)
    {
        AddStep(binding, MidiMessage::Make3(static_cast<std::uint8_t>(kStatusControlChange + channel), number, 0x7F));
        AddStep(binding, MidiMessage::Make3(static_cast<std::uint8_t>(kStatusControlChange + channel), number, 0x00));
        return binding;
    }
    VX_ASSERT(kind == kNote);
    VX_ASSERT(order == kReleaseFirst || order == kPressFirst);
    const MidiMessage press = MidiMessage::Make3(static_cast<std::uint8_t>(kStatusNoteOn + channel), number, 0x7F);
    const MidiMessage release = MidiMessage::Make3(static_cast<std::uint8_t>(kStatusNoteOff + channel), number, 0x00);
    AddStep(binding, order == kPressFirst ? press : release);
    AddStep(binding, order == kPressFirst ? release : press);
    return binding;
}

MidiInputTestBinding SwitchesTestDeviceSpecificInfo::CreateControlChangePairBinding(
    const String& group, const String& control, std::uint8_t channel, std::uint8_t first, std::uint8_t second)
{
    MidiInputTestBinding binding = Binding(group, control);
    AddStep(binding, MidiMessage::Make2(static_cast<std::uint8_t>(kStatusControlChange + channel), first));
    AddStep(binding, MidiMessage::Make2(static_cast<std::uint8_t>(kStatusControlChange + channel), second));
    return binding;
}

MidiInputTestBinding SwitchesTestDeviceSpecificInfo::CreateControlChangeBinding(const String& group,
                                                                                const String& control,
                                                                                std::uint8_t channel,
                                                                                std::uint8_t number)
{
    MidiInputTestBinding binding = Binding(group, control);
    AddStep(binding, MidiMessage::Make2(static_cast<std::uint8_t>(kStatusControlChange + channel), number));
    return binding;
}

MidiInputTestBinding
SwitchesTestDeviceSpecificInfo::CreatePlatterBinding(const String& group, const String& control, std::uint8_t channel,
                                                     std::uint8_t first, std::uint8_t second,
                                                     std::initializer_list<const char*> toleratedHex)
{
    MidiInputTestBinding binding = CreateControlChangePairBinding(group, control, channel, first, second);
    for (const char* hex : toleratedHex)
        binding.toleratedPrefixes.Add(MidiMessage::FromHexString(hex));
    return binding;
}
} // namespace Vx
