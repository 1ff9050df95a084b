# Audio: the ALSA audio backend on the simulated sound cards, the framework's
# audio device types on JUCE and the audio device wrapper.
vx_add_test(audio
  SOURCES
    JuceBackend/native/ALSATest.cpp
    VxFramework/MidiAndAudio/Audio/AudioDeviceTest.cpp
    VxFramework/MidiAndAudio/Audio/JuceAudioDeviceTest.cpp
  LIBS DeviceSimAlsa)
