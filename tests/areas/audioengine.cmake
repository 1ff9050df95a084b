# Audio engine: the audio device client and the audio manager on fake devices
# and on the simulated sound cards, the audio ring buffer between two threads,
# the signal generators and the WAV writer.
vx_add_test(audioengine
  SOURCES
    Panel/Engine/TestAppCommon/AudioDeviceClientTest.cpp
    Panel/Engine/TestAppCommon/AudioManagerTest.cpp
    Panel/Engine/TestAppCommon/AudioRingBufferTest.cpp
    Panel/Engine/TestAppCommon/SignalGeneratorsTest.cpp
  LIBS Panel DeviceSimAlsa)
