# MIDI: the ALSA MIDI backend and thread priorities on the simulated sequencer.
vx_add_test(midi
  SOURCES
    JuceBackend/native/ThreadsTest.cpp
    JuceBackend/native/MidiTest.cpp
  LIBS DeviceSim)

vx_add_fuzzer(midi_input_decoder)
