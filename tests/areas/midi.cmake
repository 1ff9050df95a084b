# MIDI: the ALSA MIDI backend and thread priorities on the simulated sequencer,
# the framework's MIDI messages, filters, port properties and MIDI service.
vx_add_test(midi
  SOURCES
    support/CountAllocations.cpp
    JuceBackend/native/ThreadsTest.cpp
    JuceBackend/native/MidiTest.cpp
    VxFramework/MidiAndAudio/Midi/MidiMessageTest.cpp
    VxFramework/MidiAndAudio/Midi/Juce/MidiCommTest.cpp
  LIBS DeviceSim)

vx_add_fuzzer(midi_input_decoder)
