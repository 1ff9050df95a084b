# MIDI protocols: the maker's System Exclusive framing, MIDI clients and the
# encoder client, the MIDI manager's port identification, the identity inquiry,
# serial-number programming and the switches-test tables, against the
# simulated sequencer with its simulated controller board.
vx_add_test(midiproto
  SOURCES
    Panel/Engine/TestAppCommon/MidiProtocolTest.cpp
    Panel/Engine/TestAppCommon/MidiClientTest.cpp
    Panel/Engine/TestAppCommon/MidiInquirerTest.cpp
    Panel/Engine/TestAppCommon/MidiManagerTest.cpp
    Panel/Engine/TestAppCommon/SerialNumberProgrammingTest.cpp
    Panel/Engine/SwitchesTestDeviceSpecificInfoTest.cpp
  LIBS Panel DeviceSim)

vx_add_fuzzer(identity_reply LIBS Panel)
vx_add_benchmark(serial_programming SOURCES benchmarks/SerialProgrammingBenchmark.cpp LIBS Panel DeviceSim)
