/*
    JUCE's audio-devices module for the device: JUCE's portable sources from
    the installed package, and this backend's ALSA audio, ALSA MIDI and thread
    priorities in place of JUCE's Linux ALSA audio and MIDI.
*/

#ifdef JUCE_AUDIO_DEVICES_H_INCLUDED
#error "The module unit must be compiled on its own"
#endif

#define JUCE_CORE_INCLUDE_OBJC_HELPERS 1
#define JUCE_CORE_INCLUDE_COM_SMART_PTR 1
#define JUCE_CORE_INCLUDE_JNI_HELPERS 1
#define JUCE_CORE_INCLUDE_NATIVE_HEADERS 1

#include <juce_audio_devices/juce_audio_devices.h>

#include "juce_audio_devices_portable.h"

#include "native/juce_linux_Threads.cpp"
#include "native/juce_linux_ALSA.cpp"
#include "native/juce_linux_Midi.cpp"

namespace juce
{
// The device has no system volume control.
float JUCE_CALLTYPE SystemAudioVolume::getGain()
{
    jassertfalse;
    return 0.0f;
}
bool JUCE_CALLTYPE SystemAudioVolume::setGain (float)
{
    jassertfalse;
    return false;
}
bool JUCE_CALLTYPE SystemAudioVolume::isMuted()
{
    jassertfalse;
    return false;
}
bool JUCE_CALLTYPE SystemAudioVolume::setMuted (bool)
{
    jassertfalse;
    return false;
}
} // namespace juce

#include "juce_audio_devices_portable_tail.h"
