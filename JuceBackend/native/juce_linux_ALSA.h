#pragma once

// The device's ALSA audio device types, and the pieces of their sample
// handling that tests drive directly: the card rules, the card-specific
// capture layouts and the playback interpolation of the cards that run at
// twice the rate.

#include <juce_audio_devices/juce_audio_devices.h>

namespace juce
{

/** The device's own sound cards, recognised by their exact PCM ids.

    A: "hw:CARD=FE66,DEV=0" and "hw:CARD=GU76,DEV=0" pack four capture channels
       into two 32-bit words per frame.
    B: "hw:CARD=GU74,DEV=0" and
    C: "hw:CARD=GX90,DEV=0" tag each capture word with its channel and run the
       hardware at twice the requested rate, playback interpolated to it.
*/
struct ALSACardRules
{
    bool a = false, b = false, c = false;

    static ALSACardRules forDeviceId (const String& deviceId);

    bool isRuled() const noexcept { return a || b || c; }
    bool doublesRate() const noexcept { return b || c; }
};

/** Rule A: two words per frame, W0 and W1, give the logical channels as
    left-justified samples: 0 and 1 are 20-bit (W0 bits 7..0 with W1 bits
    31..20, and W1 bits 19..0), 2 and 3 the same 24-bit sample (W0 bits 31..8).
    Channels from numLogicalChannels on are not written. */
void unpackPairedWordCapture (const int32* w0, int w0Stride, const int32* w1, int w1Stride, int numFrames, int numLogicalChannels, int32* const* channels);

/** Rules B and C: numSamples groups of four words, each word tagged with its
    channel in its low two bits.  The first group fixes where each channel
    sits in a group; a channel whose tag it lacks is silent.  Samples keep 24
    bits (the low 8 cleared).  Channels from numLogicalChannels on are not
    written. */
void unpackTaggedWordCapture (const int32* words, int numSamples, int numLogicalChannels, int32* const* channels);

//==============================================================================
/** Doubles the rate of one channel for the cards of rules B and C: the block
    is zero-stuffed (every other sample 0) and filtered with a 49-tap
    half-band filter whose history runs on from block to block.
*/
class ALSAUpsampler
{
public:
    static constexpr int numTaps = 49;
    static const double coefficients[numTaps];

    ALSAUpsampler();

    /** Forgets the previous blocks: the history is silence again. */
    void reset();

    /** Filters numSamples zero-stuffed samples in place. */
    void process (float* samples, int numSamples);

private:
    static constexpr int historyLength = numTaps - 1;

    HeapBlock<float> history;
    size_t historyCapacity = 0;

    JUCE_DECLARE_NON_COPYABLE (ALSAUpsampler)
};

//==============================================================================
/** The "ALSA" type (PCM names from ALSA's hints), which JUCE's device manager
    creates on this system. */
AudioIODeviceType* createAudioIODeviceType_ALSA_PCMDevices();

/** The "ALSA HW" type (sound cards by number), which nothing creates but tests. */
AudioIODeviceType* createAudioIODeviceType_ALSA_Soundcards();

} // namespace juce
