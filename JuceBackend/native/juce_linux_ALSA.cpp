/*
    The device's ALSA audio device types, in place of JUCE's own: the "ALSA"
    type of PCM names and the "ALSA HW" type of sound cards.

    Beyond JUCE's ALSA code they know the device's own cards (ALSACardRules)
    with their capture layouts and doubled rates, open PCMs in blocking mode
    with a default block of 128 frames, wake the I/O thread once per period,
    wait for capture in poll together with a stop eventfd, pre-fill playback
    with one block of silence, keep playback from falling more than a buffer
    behind, return from open without waiting for the first block, and close
    a thread stuck in I/O within a bound.
*/

#include "JuceBackend/native/juce_linux_ALSA.h"
#include "JuceBackend/native/juce_linux_Threads.h"
#include "JuceBackend/native/juce_linuxfb_Log.h"

#include <alsa/asoundlib.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace juce
{

//==============================================================================
ALSACardRules ALSACardRules::forDeviceId (const String& deviceId)
{
    ALSACardRules rules;
    rules.a = deviceId == "hw:CARD=FE66,DEV=0" || deviceId == "hw:CARD=GU76,DEV=0";
    rules.b = deviceId == "hw:CARD=GU74,DEV=0";
    rules.c = deviceId == "hw:CARD=GX90,DEV=0";
    return rules;
}

void unpackPairedWordCapture (const int32* w0, int w0Stride, const int32* w1, int w1Stride, int numFrames, int numLogicalChannels, int32* const* channels)
{
    for (int i = 0; i < numFrames; ++i)
    {
        const auto word0 = (uint32) w0[i * w0Stride];
        const auto word1 = (uint32) w1[i * w1Stride];

        // Read both words before any channel is written: the channels may be
        // the very buffers the words were read into.
        const auto channel0 = ((word0 & 0xffu) << 24) | ((word1 >> 20) << 12);
        const auto channel1 = (word1 & 0xfffffu) << 12;
        const auto channel23 = word0 & 0xffffff00u;

        if (numLogicalChannels > 0)
            channels[0][i] = (int32) channel0;

        if (numLogicalChannels > 1)
            channels[1][i] = (int32) channel1;

        if (numLogicalChannels > 2)
            channels[2][i] = (int32) channel23;

        if (numLogicalChannels > 3)
            channels[3][i] = (int32) channel23;
    }
}

void unpackTaggedWordCapture (const int32* words, int numSamples, int numLogicalChannels, int32* const* channels)
{
    if (numSamples <= 0)
        return;

    int positions[4] = { -1, -1, -1, -1 };

    for (int i = 0; i < 4; ++i)
        positions[(uint32) words[i] & 3u] = i;

    for (int c = 0; c < jmin (numLogicalChannels, 4); ++c)
    {
        auto* dest = channels[c];

        if (positions[c] < 0)
        {
            zeromem (dest, sizeof (int32) * (size_t) numSamples);
            continue;
        }

        const auto* source = words + positions[c];

        for (int i = 0; i < numSamples; ++i)
            dest[i] = (int32) ((uint32) source[4 * i] & 0xffffff00u);
    }
}

//==============================================================================
// h[0] ... h[48], five to a line.
// clang-format off
const double ALSAUpsampler::coefficients[numTaps] = {
    2.3980543718e-05, 0.000284703111126, -1.6088834216e-05, -0.0001523765929, -1.085429435e-06,
    -0.00033115925066, 4.7602123946e-05, 0.001694776630286, -0.000144129598124, -0.0046949403357,
    0.00030562070889, 0.010334511284699, -0.000535615227968, -0.019945637923094, 0.000822797042688,
    0.03548844434398, -0.001140938268242, -0.06053211119535, 0.001452532686628, 0.10381796169832,
    -0.001715471590338, -0.197335837736431, 0.001891299162792, 0.631529258244644, 0.998046875,
    0.631529258244643, 0.001891299162791, -0.197335837736431, -0.001715471590338, 0.103817961698319,
    0.001452532686628, -0.06053211119535, -0.001140938268242, 0.03548844434398, 0.000822797042688,
    -0.019945637923094, -0.000535615227968, 0.010334511284699, 0.00030562070889, -0.0046949403357,
    -0.000144129598124, 0.001694776630286, 4.7602123946e-05, -0.00033115925066, -1.085429435e-06,
    -0.0001523765929, -1.6088834216e-05, 0.000284703111126, 2.3980543718e-05
};
// clang-format on

ALSAUpsampler::ALSAUpsampler()
{
    // A block of 4096 bytes to begin with; it grows only for longer blocks.
    historyCapacity = 4096 / sizeof (float);
    history.calloc (historyCapacity);
}

void ALSAUpsampler::reset()
{
    zeromem (history.get(), sizeof (float) * historyCapacity);
}

void ALSAUpsampler::process (float* samples, int numSamples)
{
    if (numSamples <= 0)
        return;

    const auto needed = (size_t) (historyLength + numSamples);

    if (needed > historyCapacity)
    {
        history.realloc (needed);
        zeromem (history.get() + historyCapacity, sizeof (float) * (needed - historyCapacity));
        historyCapacity = needed;
    }

    auto* x = history.get();
    memcpy (x + historyLength, samples, sizeof (float) * (size_t) numSamples);

    // x[historyLength + k] is sample k of this block.  A zero-stuffed signal
    // has every other sample 0, so only the taps of the output's parity count.
    for (int k = 0; k < numSamples; ++k)
    {
        float sum = 0.0f;

        for (int m = (k % 2 == 0 ? numTaps - 1 : numTaps - 2); m >= 0; m -= 2)
            sum = (float) ((double) sum + coefficients[m] * (double) x[historyLength + k - m]);

        samples[k] = sum;
    }

    memmove (x, x + numSamples, sizeof (float) * (size_t) historyLength);
}

//==============================================================================
namespace
{

    bool alsaFailed (String& error, int errorNum)
    {
        if (errorNum >= 0)
            return false;

        error = snd_strerror (errorNum);
        return true;
    }

    bool isDoubledRateName (const char* pcmName)
    {
        return pcmName != nullptr && ALSACardRules::forDeviceId (String::fromUTF8 (pcmName)).doublesRate();
    }

    void getDeviceSampleRates (snd_pcm_t* handle, Array<double>& rates)
    {
        const int ratesToTry[] = { 22050, 32000, 44100, 48000, 88200, 96000, 176400, 192000 };

        snd_pcm_hw_params_t* hwParams;
        snd_pcm_hw_params_alloca (&hwParams);

        // The cards that run at twice the rate offer half of each hardware rate.
        const auto halve = isDoubledRateName (snd_pcm_name (handle));

        for (const auto rate : ratesToTry)
        {
            if (snd_pcm_hw_params_any (handle, hwParams) >= 0
                && snd_pcm_hw_params_test_rate (handle, hwParams, (unsigned int) rate, 0) == 0)
            {
                rates.addIfNotAlreadyThere ((double) (halve ? rate / 2 : rate));
            }
        }
    }

    void getDeviceNumChannels (snd_pcm_t* handle, unsigned int* minChans, unsigned int* maxChans)
    {
        snd_pcm_hw_params_t* params;
        snd_pcm_hw_params_alloca (&params);

        if (snd_pcm_hw_params_any (handle, params) >= 0)
        {
            snd_pcm_hw_params_get_channels_min (params, minChans);
            snd_pcm_hw_params_get_channels_max (params, maxChans);

            // Virtual devices (dmix and the like) report thousands of channels.
            *maxChans = jmin (*maxChans, 32u);
            *minChans = jmin (*minChans, *maxChans);
        }
    }

    void getDeviceProperties (const String& deviceID,
                              unsigned int& minChansOut,
                              unsigned int& maxChansOut,
                              unsigned int& minChansIn,
                              unsigned int& maxChansIn,
                              Array<double>& rates,
                              bool testOutput,
                              bool testInput)
    {
        minChansOut = maxChansOut = minChansIn = maxChansIn = 0;

        if (deviceID.isEmpty())
            return;

        if (testOutput)
        {
            snd_pcm_t* pcmHandle = nullptr;

            if (snd_pcm_open (&pcmHandle, deviceID.toUTF8(), SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK) >= 0)
            {
                getDeviceNumChannels (pcmHandle, &minChansOut, &maxChansOut);
                getDeviceSampleRates (pcmHandle, rates);
                snd_pcm_close (pcmHandle);
            }
        }

        if (testInput)
        {
            snd_pcm_t* pcmHandle = nullptr;

            if (snd_pcm_open (&pcmHandle, deviceID.toUTF8(), SND_PCM_STREAM_CAPTURE, SND_PCM_NONBLOCK) >= 0)
            {
                getDeviceNumChannels (pcmHandle, &minChansIn, &maxChansIn);

                // Two hardware channels carry four logical ones.
                if (ALSACardRules::forDeviceId (deviceID).isRuled())
                    maxChansIn = 4;

                if (rates.isEmpty())
                    getDeviceSampleRates (pcmHandle, rates);

                snd_pcm_close (pcmHandle);
            }
        }
    }

    void ensureMinimumNumBitsSet (BigInteger& chans, int minNumChans)
    {
        int i = 0;

        while (chans.countNumberOfSetBits() < minNumChans)
            chans.setBit (i++);
    }

    // The device's channels come in pairs: asking for an even channel asks for
    // the odd one after it.
    void pairHighestChannel (BigInteger& chans)
    {
        const auto highest = chans.getHighestBit();

        if (highest >= 0 && highest % 2 == 0)
            chans.setBit (highest + 1);
    }

    void silentErrorHandler (const char*, int, const char*, int, const char*, ...) {}

    //==============================================================================
    class ALSADevice
    {
    public:
        ALSADevice (const String& devID, bool forInput)
            : deviceID (devID),
              isInput (forInput),
              rules (ALSACardRules::forDeviceId (devID))
        {
            // Blocking mode: the I/O thread sleeps in the reads and writes (and in
            // poll for capture), and ALSA's own lock guards the stream.
            const int err = snd_pcm_open (&handle, deviceID.toUTF8(), forInput ? SND_PCM_STREAM_CAPTURE : SND_PCM_STREAM_PLAYBACK, 0);

            if (err < 0)
            {
                handle = nullptr;

                if (-err == EBUSY)
                    error << "The device \"" << deviceID << "\" is busy (another application is using it).";
                else if (-err == ENOENT)
                    error << "The device \"" << deviceID << "\" is not available.";
                else
                    error << "Could not open " << (forInput ? "input" : "output") << " device \"" << deviceID
                          << "\": " << snd_strerror (err) << " (" << err << ")";
            }
        }

        ~ALSADevice()
        {
            closeNow();
        }

        void closeNow()
        {
            if (handle != nullptr)
            {
                snd_pcm_close (handle);
                handle = nullptr;
            }
        }

        bool isRuledCapture() const noexcept { return isInput && rules.isRuled(); }

        bool setParameters (unsigned int sampleRate, int numChannels, int bufferSize)
        {
            if (handle == nullptr)
                return false;

            if (isRuledCapture())
            {
                logicalCaptureChannels = numChannels;
                numChannels = jmin (numChannels, 2);
            }

            snd_pcm_hw_params_t* hwParams;
            snd_pcm_hw_params_alloca (&hwParams);

            if (snd_pcm_hw_params_any (handle, hwParams) < 0)
            {
                error = "Broken configuration for this PCM: no configurations available";
                return false;
            }

            if (snd_pcm_hw_params_set_access (handle, hwParams, SND_PCM_ACCESS_RW_INTERLEAVED) >= 0)
            {
                isInterleaved = true;
            }
            else if (snd_pcm_hw_params_set_access (handle, hwParams, SND_PCM_ACCESS_RW_NONINTERLEAVED) >= 0)
            {
                isInterleaved = false;
            }
            else
            {
                jassertfalse;
                // Without a text the open would look like a success.
                error = "device doesn't support read-write access";
                return false;
            }

            // The tagged capture words and the interpolated playback need the
            // frames interleaved; split apart they would carry no usable samples.
            if (! isInterleaved && rules.doublesRate())
            {
                error = "device doesn't support interleaved access";
                return false;
            }

            enum
            {
                isFloatBit = 1 << 16,
                isLittleEndianBit = 1 << 17,
                onlyUseLower24Bits = 1 << 18
            };

            const int formatsToTry[] = { SND_PCM_FORMAT_FLOAT_LE, 32 | isFloatBit | isLittleEndianBit, SND_PCM_FORMAT_FLOAT_BE, 32 | isFloatBit, SND_PCM_FORMAT_S32_LE, 32 | isLittleEndianBit, SND_PCM_FORMAT_S32_BE, 32, SND_PCM_FORMAT_S24_3LE, 24 | isLittleEndianBit, SND_PCM_FORMAT_S24_3BE, 24, SND_PCM_FORMAT_S24_LE, 32 | isLittleEndianBit | onlyUseLower24Bits, SND_PCM_FORMAT_S16_LE, 16 | isLittleEndianBit, SND_PCM_FORMAT_S16_BE, 16 };
            bitDepth = 0;

            for (int i = 0; i < numElementsInArray (formatsToTry); i += 2)
            {
                if (snd_pcm_hw_params_set_format (handle, hwParams, (snd_pcm_format_t) formatsToTry[i]) >= 0)
                {
                    const int type = formatsToTry[i + 1];
                    bitDepth = type & 255;

                    // A ruled capture stream unpacks its logical channels itself
                    // and converts each of them in place, one channel at a time.
                    converter.reset (createConverter (isInput, bitDepth, (type & isFloatBit) != 0, (type & isLittleEndianBit) != 0, (type & onlyUseLower24Bits) != 0, isRuledCapture() ? 1 : numChannels, isInterleaved && ! isRuledCapture()));
                    break;
                }
            }

            if (bitDepth == 0)
            {
                error = "device doesn't support a compatible PCM format";
                return false;
            }

            int dir = 0;
            unsigned int periods = 4;
            periodSize = (snd_pcm_uframes_t) bufferSize;
            auto hardwareRate = sampleRate;

            if (rules.doublesRate())
            {
                periodSize *= 2;
                hardwareRate *= 2;
            }

            // The exact rate: a card run at another rate than asked for would play
            // and record at the wrong pitch while the device reports the rate asked for.
            if (alsaFailed (error, snd_pcm_hw_params_set_rate (handle, hwParams, hardwareRate, 0))
                || alsaFailed (error, snd_pcm_hw_params_set_channels (handle, hwParams, (unsigned int) numChannels))
                || alsaFailed (error, snd_pcm_hw_params_set_periods_near (handle, hwParams, &periods, &dir))
                || alsaFailed (error, snd_pcm_hw_params_set_period_size_near (handle, hwParams, &periodSize, &dir))
                || alsaFailed (error, snd_pcm_hw_params (handle, hwParams)))
            {
                return false;
            }

            snd_pcm_uframes_t frames = 0;

            if (snd_pcm_hw_params_get_period_size (hwParams, &frames, &dir) < 0
                || snd_pcm_hw_params_get_periods (hwParams, &periods, &dir) < 0)
            {
                latency = 0;
            }
            else
            {
                if (rules.doublesRate())
                    frames /= 2;

                latency = (int) frames * ((int) periods - 1);
            }

            // Wake-ups once per period (the period event), with avail-min at the
            // whole buffer so that nothing else wakes the thread in between.
            snd_pcm_sw_params_t* swParams;
            snd_pcm_sw_params_alloca (&swParams);
            snd_pcm_uframes_t boundary = 0;

            if (alsaFailed (error, snd_pcm_sw_params_current (handle, swParams))
                || alsaFailed (error, snd_pcm_sw_params_get_boundary (swParams, &boundary))
                || alsaFailed (error, snd_pcm_sw_params_set_avail_min (handle, swParams, periods * periodSize))
                || alsaFailed (error, snd_pcm_sw_params_set_period_event (handle, swParams, 1))
                || alsaFailed (error, snd_pcm_sw_params_set_silence_threshold (handle, swParams, 0))
                || alsaFailed (error, snd_pcm_sw_params_set_silence_size (handle, swParams, boundary))
                || alsaFailed (error, snd_pcm_sw_params_set_start_threshold (handle, swParams, periodSize))
                || alsaFailed (error, snd_pcm_sw_params_set_stop_threshold (handle, swParams, boundary))
                || alsaFailed (error, snd_pcm_sw_params (handle, swParams)))
            {
                return false;
            }

            // The stream's own descriptors, and a last slot for the stop eventfd.
            const int numFds = snd_pcm_poll_descriptors_count (handle);
            pollFds.clear();

            if (numFds >= 0)
            {
                pollFds.resize ((size_t) numFds + 1, pollfd {});

                if (snd_pcm_poll_descriptors (handle, pollFds.data(), (unsigned int) numFds) < 0)
                    pollFds.clear();
            }

            numChannelsRunning = numChannels;

            if (rules.doublesRate())
            {
                upsampleBuffer.setSize (numChannels, jmax ((int) periodSize, 2 * bufferSize));
                upsampleBuffer.clear();
                upsamplers.clear();

                for (int i = 0; i < numChannels; ++i)
                    upsamplers.add (new ALSAUpsampler());
            }

            return true;
        }

        //==============================================================================
        bool writeToOutputDevice (AudioBuffer<float>& outputChannelBuffer, const int numSamples)
        {
            const auto avail = snd_pcm_avail_update (handle);

            if (avail < 0)
            {
                snd_pcm_recover (handle, (int) avail, 0);
            }
            else if (avail > (snd_pcm_sframes_t) (3.5 * (double) periodSize))
            {
                // Too far behind: skip to one period of space, so the next block
                // plays in its turn rather than after the late ones.  ALSA's silence
                // filling makes the skipped frames silent.
                snd_pcm_forward (handle, (snd_pcm_uframes_t) avail - periodSize);
            }

            float* const* const data = outputChannelBuffer.getArrayOfWritePointers();
            snd_pcm_sframes_t numDone = 0;

            if (isInterleaved && rules.doublesRate())
            {
                const auto hardwareFrames = 2 * numSamples;
                scratch.ensureSize ((size_t) (4 * hardwareFrames * numChannelsRunning), false);

                for (int c = 0; c < numChannelsRunning; ++c)
                {
                    auto* stuffed = upsampleBuffer.getWritePointer (c);
                    const float* source = c < outputChannelBuffer.getNumChannels() ? data[c] : nullptr;

                    for (int j = 0; j < numSamples; ++j)
                    {
                        stuffed[2 * j] = source != nullptr ? source[j] : 0.0f;
                        stuffed[2 * j + 1] = 0.0f;
                    }

                    upsamplers.getUnchecked (c)->process (stuffed, hardwareFrames);
                    converter->convertSamples (scratch.getData(), c, stuffed, 0, hardwareFrames);
                }

                numDone = snd_pcm_writei (handle, scratch.getData(), (snd_pcm_uframes_t) hardwareFrames);
            }
            else if (isInterleaved)
            {
                scratch.ensureSize ((size_t) (4 * numSamples * numChannelsRunning), false);

                for (int i = 0; i < numChannelsRunning; ++i)
                    converter->convertSamples (scratch.getData(), i, data[i], 0, numSamples);

                numDone = snd_pcm_writei (handle, scratch.getData(), (snd_pcm_uframes_t) numSamples);
            }
            else
            {
                for (int i = 0; i < numChannelsRunning; ++i)
                    converter->convertSamples (data[i], data[i], numSamples);

                numDone = snd_pcm_writen (handle, (void**) data, (snd_pcm_uframes_t) numSamples);
            }

            if (numDone < 0 && alsaFailed (error, snd_pcm_recover (handle, (int) numDone, 1 /* silent */)))
                return false;

            return true;
        }

        bool readFromInputDevice (AudioBuffer<float>& inputChannelBuffer, const int numSamples)
        {
            float* const* const data = inputChannelBuffer.getArrayOfWritePointers();
            const auto hardwareFrames = rules.doublesRate() ? 2 * numSamples : numSamples;

            if (isInterleaved)
            {
                scratch.ensureSize ((size_t) (4 * hardwareFrames * numChannelsRunning), false);
                scratch.fillWith (0);

                const auto num = snd_pcm_readi (handle, scratch.getData(), (snd_pcm_uframes_t) hardwareFrames);

                if (num < 0 && ! recoverCapture ((int) num))
                    return false;

                const auto* words = static_cast<const int32*> (scratch.getData());
                auto* const* channels = reinterpret_cast<int32* const*> (data);

                if (rules.a)
                {
                    unpackPairedWordCapture (words, 2, words + 1, 2, numSamples, logicalCaptureChannels, channels);
                    convertLogicalChannelsInPlace (data, numSamples);
                }
                else if (rules.doublesRate())
                {
                    jassert (hardwareFrames >= 4 && hardwareFrames % 2 == 0);
                    unpackTaggedWordCapture (words, numSamples, logicalCaptureChannels, channels);
                    convertLogicalChannelsInPlace (data, numSamples);
                }
                else
                {
                    for (int i = 0; i < numChannelsRunning; ++i)
                        converter->convertSamples (data[i], 0, scratch.getData(), i, numSamples);
                }
            }
            else
            {
                const auto num = snd_pcm_readn (handle, (void**) data, (snd_pcm_uframes_t) numSamples);

                if (num < 0 && ! recoverCapture ((int) num))
                    return false;

                if (rules.a)
                {
                    auto* const* channels = reinterpret_cast<int32* const*> (data);
                    unpackPairedWordCapture (channels[0], 1, channels[1], 1, numSamples, logicalCaptureChannels, channels);
                    convertLogicalChannelsInPlace (data, numSamples);
                }
                else
                {
                    for (int i = 0; i < numChannelsRunning; ++i)
                        converter->convertSamples (data[i], data[i], numSamples);
                }
            }

            return true;
        }

        // Recovery leaves a capture stream prepared but stopped, where no period
        // would ever wake its reader again: it is started once more.
        bool recoverCapture (int err)
        {
            if (alsaFailed (error, snd_pcm_recover (handle, err, 1 /* silent */)))
                return false;

            restartIfPrepared();
            return true;
        }

        void restartIfPrepared()
        {
            if (snd_pcm_state (handle) == SND_PCM_STATE_PREPARED)
            {
                const auto err = snd_pcm_start (handle);

                if (err < 0)
                    logBackendFailure ("ALSA: snd_pcm_start failed: " + String (err));
            }
        }

        //==============================================================================
        snd_pcm_t* handle = nullptr;
        String error;
        int bitDepth = 16, numChannelsRunning = 0, latency = 0;
        std::vector<pollfd> pollFds;

    private:
        //==============================================================================
        String deviceID;
        const bool isInput;
        bool isInterleaved = true;
        const ALSACardRules rules;
        int logicalCaptureChannels = 0;
        MemoryBlock scratch;
        std::unique_ptr<AudioData::Converter> converter;
        snd_pcm_uframes_t periodSize = 0;
        AudioBuffer<float> upsampleBuffer;
        OwnedArray<ALSAUpsampler> upsamplers;

        void convertLogicalChannelsInPlace (float* const* data, int numSamples)
        {
            for (int c = 0; c < logicalCaptureChannels; ++c)
                converter->convertSamples (data[c], data[c], numSamples);
        }

        //==============================================================================
        template <class SampleType>
        struct ConverterHelper
        {
            static AudioData::Converter* createConverter (const bool forInput, const bool isLittleEndian, const int numInterleavedChannels, bool interleaved)
            {
                if (interleaved)
                    return create<AudioData::Interleaved> (forInput, isLittleEndian, numInterleavedChannels);

                return create<AudioData::NonInterleaved> (forInput, isLittleEndian, numInterleavedChannels);
            }

        private:
            template <class InterleavedType>
            static AudioData::Converter* create (const bool forInput, const bool isLittleEndian, const int numInterleavedChannels)
            {
                if (forInput)
                {
                    using DestType = AudioData::Pointer<AudioData::Float32, AudioData::NativeEndian, AudioData::NonInterleaved, AudioData::NonConst>;

                    if (isLittleEndian)
                        return new AudioData::ConverterInstance<AudioData::Pointer<SampleType, AudioData::LittleEndian, InterleavedType, AudioData::Const>, DestType> (numInterleavedChannels, 1);

                    return new AudioData::ConverterInstance<AudioData::Pointer<SampleType, AudioData::BigEndian, InterleavedType, AudioData::Const>, DestType> (numInterleavedChannels, 1);
                }

                using SourceType = AudioData::Pointer<AudioData::Float32, AudioData::NativeEndian, AudioData::NonInterleaved, AudioData::Const>;

                if (isLittleEndian)
                    return new AudioData::ConverterInstance<SourceType, AudioData::Pointer<SampleType, AudioData::LittleEndian, InterleavedType, AudioData::NonConst>> (1, numInterleavedChannels);

                return new AudioData::ConverterInstance<SourceType, AudioData::Pointer<SampleType, AudioData::BigEndian, InterleavedType, AudioData::NonConst>> (1, numInterleavedChannels);
            }
        };

        static AudioData::Converter* createConverter (bool forInput, int bitDepth, bool isFloat, bool isLittleEndian, bool useOnlyLower24Bits, int numInterleavedChannels, bool interleaved)
        {
            if (isFloat)
                return ConverterHelper<AudioData::Float32>::createConverter (forInput, isLittleEndian, numInterleavedChannels, interleaved);
            if (bitDepth == 16)
                return ConverterHelper<AudioData::Int16>::createConverter (forInput, isLittleEndian, numInterleavedChannels, interleaved);
            if (bitDepth == 24)
                return ConverterHelper<AudioData::Int24>::createConverter (forInput, isLittleEndian, numInterleavedChannels, interleaved);

            jassert (bitDepth == 32);

            if (useOnlyLower24Bits)
                return ConverterHelper<AudioData::Int24in32>::createConverter (forInput, isLittleEndian, numInterleavedChannels, interleaved);

            return ConverterHelper<AudioData::Int32>::createConverter (forInput, isLittleEndian, numInterleavedChannels, interleaved);
        }

        JUCE_DECLARE_NON_COPYABLE (ALSADevice)
    };

    //==============================================================================
    class ALSAThread : public PriorityThread
    {
    public:
        ALSAThread (const String& inputDeviceID, const String& outputDeviceID)
            : PriorityThread ("Juce ALSA"),
              inputId (inputDeviceID),
              outputId (outputDeviceID)
        {
            stopEventFd = ::eventfd (0, 0);
            initialiseRatesAndChannels();
        }

        ~ALSAThread() override
        {
            close();

            if (stopEventFd >= 0)
                ::close (stopEventFd);
        }

        void open (BigInteger inputChannels,
                   BigInteger outputChannels,
                   double newSampleRate,
                   int newBufferSize)
        {
            close();

            error.clear();
            sampleRate = newSampleRate;
            bufferSize = newBufferSize;

            const auto inputRules = ALSACardRules::forDeviceId (inputId);
            const auto outputRules = ALSACardRules::forDeviceId (outputId);

            if (inputRules.isRuled())
                pairHighestChannel (inputChannels);

            inputChannelBuffer.setSize (jmax ((int) minChansIn, inputChannels.getHighestBit()) + 1, bufferSize);
            inputChannelBuffer.clear();
            inputChannelDataForCallback.clear();
            currentInputChans.clear();

            if (inputChannels.getHighestBit() >= 0)
            {
                for (int i = 0; i <= jmax (inputChannels.getHighestBit(), (int) minChansIn); ++i)
                {
                    if (inputChannels[i])
                    {
                        inputChannelDataForCallback.add (inputChannelBuffer.getReadPointer (i));
                        currentInputChans.setBit (i);
                    }
                }
            }

            ensureMinimumNumBitsSet (outputChannels, (int) minChansOut);

            if (outputRules.isRuled())
                pairHighestChannel (outputChannels);

            outputChannelBuffer.setSize (jmax ((int) minChansOut, outputChannels.getHighestBit() + 1), bufferSize);
            outputChannelBuffer.clear();
            outputChannelDataForCallback.clear();
            currentOutputChans.clear();

            if (outputChannels.getHighestBit() >= 0)
            {
                for (int i = 0; i <= jmax (outputChannels.getHighestBit(), (int) minChansOut); ++i)
                {
                    if (outputChannels[i])
                    {
                        outputChannelDataForCallback.add (outputChannelBuffer.getWritePointer (i));
                        currentOutputChans.setBit (i);
                    }
                }
            }

            if (outputChannelDataForCallback.size() > 0 && outputId.isNotEmpty())
            {
                outputDevice.reset (new ALSADevice (outputId, false));

                if (outputDevice->error.isNotEmpty())
                {
                    error = outputDevice->error;
                    outputDevice.reset();
                    return;
                }

                if (! outputDevice->setParameters ((unsigned int) sampleRate,
                                                   jlimit ((int) minChansOut, (int) maxChansOut, currentOutputChans.getHighestBit() + 1),
                                                   bufferSize))
                {
                    error = outputDevice->error;
                    outputDevice.reset();
                    return;
                }

                outputLatency = outputDevice->latency;
            }

            if (inputChannelDataForCallback.size() > 0 && inputId.isNotEmpty())
            {
                inputDevice.reset (new ALSADevice (inputId, true));

                if (inputDevice->error.isNotEmpty())
                {
                    error = inputDevice->error;
                    inputDevice.reset();
                    outputDevice.reset();
                    return;
                }

                ensureMinimumNumBitsSet (currentInputChans, (int) minChansIn);

                if (! inputDevice->setParameters ((unsigned int) sampleRate,
                                                  jlimit ((int) minChansIn, (int) maxChansIn, currentInputChans.getHighestBit() + 1),
                                                  bufferSize))
                {
                    error = inputDevice->error;
                    inputDevice.reset();
                    outputDevice.reset();
                    return;
                }

                inputLatency = inputDevice->latency;
            }

            if (outputDevice == nullptr && inputDevice == nullptr)
            {
                error = "no channels";
                return;
            }

            if (outputDevice != nullptr && inputDevice != nullptr)
                snd_pcm_link (outputDevice->handle, inputDevice->handle);

            if ((inputDevice != nullptr && alsaFailed (error, snd_pcm_prepare (inputDevice->handle)))
                || (outputDevice != nullptr && alsaFailed (error, snd_pcm_prepare (outputDevice->handle))))
            {
                inputDevice.reset();
                outputDevice.reset();
                return;
            }

            // No waiting for a first block: a card that delivers none still opens.
            if (! startThread (9))
            {
                // Open without its thread would be open without any I/O.
                error = "could not start the audio thread";
                inputDevice.reset();
                outputDevice.reset();
            }
        }

        void close()
        {
            if (isThreadRunning())
            {
                signalThreadShouldExit();

                if (stopEventFd >= 0)
                {
                    const uint64 one = 1;
                    [[maybe_unused]] const auto written = ::write (stopEventFd, &one, sizeof (one));
                }

                const int callbacksToStop = numCallbacks;

                if (! waitForThreadToExit (400) && audioIoInProgress && numCallbacks == callbacksToStop)
                {
                    // Stuck in a read or write that will not return by itself.  The
                    // streams are stopped rather than closed under it: ALSA wakes a
                    // stopped stream's blocked transfer with an error, whereas a
                    // stream closed from here would be freed while the thread is
                    // still inside it.  They are closed once the thread has ended.
                    if (outputDevice != nullptr && outputDevice->handle != nullptr)
                        snd_pcm_drop (outputDevice->handle);

                    if (inputDevice != nullptr && inputDevice->handle != nullptr)
                        snd_pcm_drop (inputDevice->handle);
                }

                if (stopEventFd >= 0)
                {
                    uint64 value = 0;
                    [[maybe_unused]] const auto read = ::read (stopEventFd, &value, sizeof (value));
                }
            }

            stopThread (3000);

            inputDevice.reset();
            outputDevice.reset();

            inputChannelBuffer.setSize (1, 1);
            outputChannelBuffer.setSize (1, 1);

            numCallbacks = 0;
        }

        void setCallback (AudioIODeviceCallback* const newCallback) noexcept
        {
            const ScopedLock sl (callbackLock);
            callback = newCallback;
        }

        AudioIODeviceCallback* getCallback() const noexcept
        {
            const ScopedLock sl (callbackLock);
            return callback;
        }

        void runThread() override
        {
            const bool captureActive = inputDevice != nullptr && inputDevice->handle != nullptr;
            const bool playbackActive = outputDevice != nullptr && outputDevice->handle != nullptr;

            if (captureActive)
            {
                const auto err = snd_pcm_start (inputDevice->handle);

                if (err < 0)
                    logBackendFailure ("ALSA: snd_pcm_start failed: " + String (err));
            }

            if (playbackActive)
            {
                // One block of silence ahead of the first callback.
                outputChannelBuffer.clear();
                audioIoInProgress = true;
                outputDevice->writeToOutputDevice (outputChannelBuffer, bufferSize);
                audioIoInProgress = false;
            }

            while (! threadShouldExit())
            {
                if (captureActive)
                {
                    audioIoInProgress = true;
                    const auto gotBlock = waitForCaptureBlock();
                    audioIoInProgress = false;

                    if (! gotBlock)
                        continue;
                }

                {
                    const ScopedLock sl (callbackLock);
                    ++numCallbacks;

                    if (callback != nullptr)
                    {
                        callback->audioDeviceIOCallbackWithContext (inputChannelDataForCallback.getRawDataPointer(),
                                                                    inputChannelDataForCallback.size(),
                                                                    outputChannelDataForCallback.getRawDataPointer(),
                                                                    outputChannelDataForCallback.size(),
                                                                    bufferSize,
                                                                    {});
                    }
                    else
                    {
                        for (int i = 0; i < outputChannelDataForCallback.size(); ++i)
                            zeromem (outputChannelDataForCallback[i], (size_t) bufferSize * sizeof (float));
                    }
                }

                if (threadShouldExit())
                    break;

                if (playbackActive)
                {
                    audioIoInProgress = true;
                    outputDevice->writeToOutputDevice (outputChannelBuffer, bufferSize);
                    audioIoInProgress = false;
                }
            }

            audioIoInProgress = false;
        }

        int getBitDepth() const noexcept
        {
            if (outputDevice != nullptr)
                return outputDevice->bitDepth;

            if (inputDevice != nullptr)
                return inputDevice->bitDepth;

            return 16;
        }

        //==============================================================================
        String error;
        double sampleRate = 0;
        int bufferSize = 0, outputLatency = 0, inputLatency = 0;
        BigInteger currentInputChans, currentOutputChans;

        Array<double> sampleRates;
        StringArray channelNamesOut, channelNamesIn;

    private:
        //==============================================================================
        const String inputId, outputId;
        std::unique_ptr<ALSADevice> outputDevice, inputDevice;
        std::atomic<int> numCallbacks { 0 };
        std::atomic<bool> audioIoInProgress { false };
        int stopEventFd = -1;

        CriticalSection callbackLock;
        AudioIODeviceCallback* callback = nullptr;

        AudioBuffer<float> inputChannelBuffer, outputChannelBuffer;
        Array<const float*> inputChannelDataForCallback;
        Array<float*> outputChannelDataForCallback;

        unsigned int minChansOut = 0, maxChansOut = 0;
        unsigned int minChansIn = 0, maxChansIn = 0;

        // Waits for a period of capture, or for close; true when a block was read.
        bool waitForCaptureBlock()
        {
            auto* handle = inputDevice->handle;
            const auto avail = snd_pcm_avail_update (handle);

            if (avail < 0)
            {
                if (snd_pcm_recover (handle, (int) avail, 0) >= 0)
                    inputDevice->restartIfPrepared();
            }

            auto& fds = inputDevice->pollFds;

            if (fds.empty())
                return false;

            const auto numPcmFds = (unsigned int) fds.size() - 1;
            fds.back().fd = stopEventFd;
            fds.back().events = POLLIN;
            fds.back().revents = 0;

            for (;;)
            {
                int result = 0;

                do
                {
                    result = ::poll (fds.data(), (nfds_t) fds.size(), -1);
                } while (result < 0 && errno == EINTR);

                if (result <= 0 || (fds.back().revents & POLLIN) != 0)
                    return false;

                unsigned short revents = 0;

                if (snd_pcm_poll_descriptors_revents (handle, fds.data(), numPcmFds, &revents) < 0
                    || (revents & (POLLERR | POLLNVAL)) != 0)
                    return false;

                if ((revents & (POLLIN | POLLOUT)) != 0)
                    return inputDevice->readFromInputDevice (inputChannelBuffer, bufferSize);
            }
        }

        void initialiseRatesAndChannels()
        {
            sampleRates.clear();
            channelNamesOut.clear();
            channelNamesIn.clear();
            minChansOut = 0;
            maxChansOut = 0;
            minChansIn = 0;
            maxChansIn = 0;
            unsigned int dummy = 0;

            getDeviceProperties (inputId, dummy, dummy, minChansIn, maxChansIn, sampleRates, false, true);
            getDeviceProperties (outputId, minChansOut, maxChansOut, dummy, dummy, sampleRates, true, false);

            for (unsigned int i = 0; i < maxChansOut; ++i)
                channelNamesOut.add ("channel " + String ((int) i + 1));

            for (unsigned int i = 0; i < maxChansIn; ++i)
                channelNamesIn.add ("channel " + String ((int) i + 1));
        }

        JUCE_DECLARE_NON_COPYABLE (ALSAThread)
    };

    //==============================================================================
    class ALSAAudioIODevice : public AudioIODevice
    {
    public:
        ALSAAudioIODevice (const String& deviceName,
                           const String& deviceTypeName,
                           const String& inputDeviceID,
                           const String& outputDeviceID)
            : AudioIODevice (deviceName, deviceTypeName),
              inputId (inputDeviceID),
              outputId (outputDeviceID),
              internal (inputDeviceID, outputDeviceID)
        {
        }

        ~ALSAAudioIODevice() override
        {
            close();
        }

        StringArray getOutputChannelNames() override { return internal.channelNamesOut; }
        StringArray getInputChannelNames() override { return internal.channelNamesIn; }

        Array<double> getAvailableSampleRates() override { return internal.sampleRates; }

        Array<int> getAvailableBufferSizes() override
        {
            Array<int> r;
            int n = 16;

            for (int i = 0; i < 50; ++i)
            {
                r.add (n);
                n += n < 64 ? 16
                            : (n < 512 ? 32
                                       : (n < 1024 ? 64
                                                   : (n < 2048 ? 128 : 256)));
            }

            return r;
        }

        int getDefaultBufferSize() override { return 128; }

        String open (const BigInteger& inputChannels,
                     const BigInteger& outputChannels,
                     double sampleRate,
                     int bufferSizeSamples) override
        {
            close();

            if (bufferSizeSamples <= 0)
                bufferSizeSamples = getDefaultBufferSize();

            if (sampleRate <= 0)
            {
                for (int i = 0; i < internal.sampleRates.size(); ++i)
                {
                    const double rate = internal.sampleRates[i];

                    if (rate >= 44100)
                    {
                        sampleRate = rate;
                        break;
                    }
                }
            }

            internal.open (inputChannels, outputChannels, sampleRate, bufferSizeSamples);

            isOpen_ = internal.error.isEmpty();
            return internal.error;
        }

        void close() override
        {
            stop();
            internal.close();
            isOpen_ = false;
        }

        bool isOpen() override { return isOpen_; }
        bool isPlaying() override { return isStarted && internal.error.isEmpty(); }
        String getLastError() override { return internal.error; }

        int getCurrentBufferSizeSamples() override { return internal.bufferSize; }
        double getCurrentSampleRate() override { return internal.sampleRate; }
        int getCurrentBitDepth() override { return internal.getBitDepth(); }

        BigInteger getActiveOutputChannels() const override { return internal.currentOutputChans; }
        BigInteger getActiveInputChannels() const override { return internal.currentInputChans; }

        int getOutputLatencyInSamples() override { return internal.outputLatency; }
        int getInputLatencyInSamples() override { return internal.inputLatency; }

        void start (AudioIODeviceCallback* callback) override
        {
            if (! isOpen_)
                callback = nullptr;

            if (callback != nullptr)
                callback->audioDeviceAboutToStart (this);

            internal.setCallback (callback);

            isStarted = (callback != nullptr);
        }

        void stop() override
        {
            auto* oldCallback = internal.getCallback();

            start (nullptr);

            if (oldCallback != nullptr)
                oldCallback->audioDeviceStopped();
        }

        String inputId, outputId;

    private:
        bool isOpen_ = false, isStarted = false;
        ALSAThread internal;
    };

    //==============================================================================
    class ALSAAudioIODeviceType : public AudioIODeviceType
    {
    public:
        ALSAAudioIODeviceType (bool onlySoundcards, const String& deviceTypeName)
            : AudioIODeviceType (deviceTypeName),
              listOnlySoundcards (onlySoundcards)
        {
            snd_lib_error_set_handler (&silentErrorHandler);
        }

        ~ALSAAudioIODeviceType() override
        {
            snd_lib_error_set_handler (nullptr);
            snd_config_update_free_global();
        }

        //==============================================================================
        void scanForDevices() override
        {
            if (hasScanned)
                return;

            hasScanned = true;
            inputNames.clear();
            inputIds.clear();
            outputNames.clear();
            outputIds.clear();

            if (listOnlySoundcards)
                enumerateAlsaSoundcards();
            else
                enumerateAlsaPCMDevices();

            inputNames.appendNumbersToDuplicates (false, true);
            outputNames.appendNumbersToDuplicates (false, true);
        }

        StringArray getDeviceNames (bool wantInputNames) const override
        {
            jassert (hasScanned); // need to call scanForDevices() before doing this

            return wantInputNames ? inputNames : outputNames;
        }

        int getDefaultDeviceIndex (bool forInput) const override
        {
            jassert (hasScanned); // need to call scanForDevices() before doing this

            const auto idx = (forInput ? inputIds : outputIds).indexOf ("default");
            return idx >= 0 ? idx : 0;
        }

        bool hasSeparateInputsAndOutputs() const override { return true; }

        int getIndexOfDevice (AudioIODevice* device, bool asInput) const override
        {
            jassert (hasScanned); // need to call scanForDevices() before doing this

            if (auto* d = dynamic_cast<ALSAAudioIODevice*> (device))
                return asInput ? inputIds.indexOf (d->inputId)
                               : outputIds.indexOf (d->outputId);

            return -1;
        }

        AudioIODevice* createDevice (const String& outputDeviceName,
                                     const String& inputDeviceName) override
        {
            jassert (hasScanned); // need to call scanForDevices() before doing this

            const auto inputIndex = inputNames.indexOf (inputDeviceName);
            const auto outputIndex = outputNames.indexOf (outputDeviceName);

            const String deviceName (outputIndex >= 0 ? outputDeviceName
                                                      : inputDeviceName);

            if (inputIndex >= 0 || outputIndex >= 0)
                return new ALSAAudioIODevice (deviceName, getTypeName(), inputIds[inputIndex], outputIds[outputIndex]);

            return nullptr;
        }

    private:
        //==============================================================================
        StringArray inputNames, outputNames, inputIds, outputIds;
        bool hasScanned = false;
        const bool listOnlySoundcards;

        bool testDevice (const String& id, const String& outputName, const String& inputName)
        {
            unsigned int minChansOut = 0, maxChansOut = 0;
            unsigned int minChansIn = 0, maxChansIn = 0;
            Array<double> rates;

            bool isInput = inputName.isNotEmpty(), isOutput = outputName.isNotEmpty();
            getDeviceProperties (id, minChansOut, maxChansOut, minChansIn, maxChansIn, rates, isOutput, isInput);

            isInput = maxChansIn > 0;
            isOutput = maxChansOut > 0;

            if ((isInput || isOutput) && rates.size() > 0)
            {
                if (isInput)
                {
                    inputNames.add (inputName);
                    inputIds.add (id);
                }

                if (isOutput)
                {
                    outputNames.add (outputName);
                    outputIds.add (id);
                }

                return isInput || isOutput;
            }

            return false;
        }

        void enumerateAlsaSoundcards()
        {
            snd_ctl_t* handle = nullptr;
            snd_ctl_card_info_t* info = nullptr;
            snd_ctl_card_info_alloca (&info);

            int cardNum = -1;

            while (outputIds.size() + inputIds.size() <= 64)
            {
                snd_card_next (&cardNum);

                if (cardNum < 0)
                    break;

                if (snd_ctl_open (&handle, ("hw:" + String (cardNum)).toRawUTF8(), SND_CTL_NONBLOCK) >= 0)
                {
                    if (snd_ctl_card_info (handle, info) >= 0)
                    {
                        String cardId (snd_ctl_card_info_get_id (info));

                        if (cardId.removeCharacters ("0123456789").isEmpty())
                            cardId = String (cardNum);

                        String cardName = snd_ctl_card_info_get_name (info);

                        if (cardName.isEmpty())
                            cardName = cardId;

                        int device = -1;

                        snd_pcm_info_t* pcmInfo;
                        snd_pcm_info_alloca (&pcmInfo);

                        for (;;)
                        {
                            if (snd_ctl_pcm_next_device (handle, &device) < 0 || device < 0)
                                break;

                            snd_pcm_info_set_device (pcmInfo, (unsigned int) device);

                            for (unsigned int subDevice = 0, nbSubDevice = 1; subDevice < nbSubDevice; ++subDevice)
                            {
                                snd_pcm_info_set_subdevice (pcmInfo, subDevice);
                                snd_pcm_info_set_stream (pcmInfo, SND_PCM_STREAM_CAPTURE);
                                const bool isInput = (snd_ctl_pcm_info (handle, pcmInfo) >= 0);

                                snd_pcm_info_set_stream (pcmInfo, SND_PCM_STREAM_PLAYBACK);
                                const bool isOutput = (snd_ctl_pcm_info (handle, pcmInfo) >= 0);

                                if (! (isInput || isOutput))
                                    continue;

                                if (nbSubDevice == 1)
                                    nbSubDevice = snd_pcm_info_get_subdevices_count (pcmInfo);

                                String id, name;

                                if (nbSubDevice == 1)
                                {
                                    id << "hw:" << cardId << "," << device;
                                    name << cardName << ", " << snd_pcm_info_get_name (pcmInfo);
                                }
                                else
                                {
                                    id << "hw:" << cardId << "," << device << "," << (int) subDevice;
                                    name << cardName << ", " << snd_pcm_info_get_name (pcmInfo)
                                         << " {" << snd_pcm_info_get_subdevice_name (pcmInfo) << "}";
                                }

                                if (isInput)
                                {
                                    inputNames.add (name);
                                    inputIds.add (id);
                                }

                                if (isOutput)
                                {
                                    outputNames.add (name);
                                    outputIds.add (id);
                                }
                            }
                        }
                    }

                    snd_ctl_close (handle);
                }
            }
        }

        /* The PCM names of ALSA's hints (as "aplay -L" lists them), without
       opening the devices, so that busy ones are listed too.
    */
        void enumerateAlsaPCMDevices()
        {
            void** hints = nullptr;

            if (snd_device_name_hint (-1, "pcm", &hints) == 0)
            {
                for (char** h = (char**) hints; *h; ++h)
                {
                    const String id (hintToString (*h, "NAME"));
                    const String description (hintToString (*h, "DESC"));
                    const String ioid (hintToString (*h, "IOID"));

                    if (id.isEmpty()
                        || id.startsWith ("default:") || id.startsWith ("sysdefault:")
                        || id.startsWith ("plughw:") || id == "null")
                        continue;

                    String name (description.replace ("\n", "; "));

                    if (name.isEmpty())
                        name = id;

                    bool isOutput = (ioid != "Input");
                    bool isInput = (ioid != "Output");

                    // ALSA lists dmix and dsnoop both ways, but dmix only plays
                    // and dsnoop only records.
                    isInput = isInput && ! id.startsWith ("dmix");
                    isOutput = isOutput && ! id.startsWith ("dsnoop");

                    if (isInput)
                    {
                        inputNames.add (name);
                        inputIds.add (id);
                    }

                    if (isOutput)
                    {
                        outputNames.add (name);
                        outputIds.add (id);
                    }
                }

                snd_device_name_free_hint (hints);
            }

            // "default" is not always among the hints, but is worth listing.
            if (! outputIds.contains ("default"))
                testDevice ("default", "Default ALSA Output", "Default ALSA Input");

            if (! outputIds.contains ("pulse"))
                testDevice ("pulse", "Pulseaudio output", "Pulseaudio input");

            // "default" first, then "pulse".
            auto idx = outputIds.indexOf ("pulse");
            outputIds.move (idx, 0);
            outputNames.move (idx, 0);

            idx = inputIds.indexOf ("pulse");
            inputIds.move (idx, 0);
            inputNames.move (idx, 0);

            idx = outputIds.indexOf ("default");
            outputIds.move (idx, 0);
            outputNames.move (idx, 0);

            idx = inputIds.indexOf ("default");
            inputIds.move (idx, 0);
            inputNames.move (idx, 0);
        }

        static String hintToString (const void* hints, const char* type)
        {
            char* hint = snd_device_name_get_hint (hints, type);
            auto s = String::fromUTF8 (hint);
            ::free (hint);
            return s;
        }

        JUCE_DECLARE_NON_COPYABLE (ALSAAudioIODeviceType)
    };

} // namespace

//==============================================================================
AudioIODeviceType* createAudioIODeviceType_ALSA_Soundcards()
{
    return new ALSAAudioIODeviceType (true, "ALSA HW");
}

AudioIODeviceType* createAudioIODeviceType_ALSA_PCMDevices()
{
    return new ALSAAudioIODeviceType (false, "ALSA");
}

} // namespace juce
