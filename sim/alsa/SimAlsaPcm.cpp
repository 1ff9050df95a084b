/*
    The simulated device's sound cards: an ALSA external PCM plugin (ioplug),
    loaded by alsa-lib from the private configuration that SimAlsa writes.

    Each card and device is described in that configuration under
    vxsim.<card id>.<device>: per direction its channel range, formats, rates
    and access types, and for the device its scripted capture data, the file
    its playback is recorded to, a log of what the streams do and the faults
    it shows.  A stream runs on a timer at its rate: every period the
    hardware pointer moves on by one period, playback frames are taken from
    the ring and appended to the recording (and the ring slot is silenced, as
    ALSA's silence filling would), capture frames are read from the script.

    Faults: a busy or missing device, an under-run on read or on write at a
    given period, a stream whose hardware stops after a given period (a read
    that never comes, a write that stalls) and a playback pointer that jumps
    ahead.  A device is also busy
    while another stream of the same direction has it open.
*/

#include <alsa/asoundlib.h>
#include <alsa/pcm_external.h>

#include <poll.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace
{

//==============================================================================
struct DirectionDescription
{
    bool present = false;
    unsigned int channelsMin = 1, channelsMax = 2;
    std::vector<unsigned int> formats;
    std::vector<unsigned int> rates;
    std::vector<unsigned int> accesses;
    unsigned int periodFramesMin = 0, periodFramesMax = 0; // 0: free
};

struct DeviceDescription
{
    DirectionDescription playback, capture;
    bool busy = false;
    std::string captureFile, recordFile, logFile;
    long xrunCapturePeriod = -1, xrunPlaybackPeriod = -1;
    long stallCapturePeriod = -1, stallPlaybackPeriod = -1;
    long jumpPlaybackPeriod = -1, jumpPlaybackFrames = 0;
};

const char* findString (snd_config_t* node, const char* key)
{
    snd_config_t* child = nullptr;
    const char* text = nullptr;

    if (snd_config_search (node, key, &child) < 0 || snd_config_get_string (child, &text) < 0)
        return nullptr;

    return text;
}

long findInteger (snd_config_t* node, const char* key, long fallback)
{
    snd_config_t* child = nullptr;
    long value = 0;

    if (snd_config_search (node, key, &child) < 0 || snd_config_get_integer (child, &value) < 0)
        return fallback;

    return value;
}

bool findBool (snd_config_t* node, const char* key)
{
    snd_config_t* child = nullptr;
    return snd_config_search (node, key, &child) >= 0 && snd_config_get_bool (child) > 0;
}

// The entries of a compound (an array in the configuration's text).
template <typename Function>
void forEachEntry (snd_config_t* node, const char* key, Function&& function)
{
    snd_config_t* list = nullptr;

    if (snd_config_search (node, key, &list) < 0 || snd_config_get_type (list) != SND_CONFIG_TYPE_COMPOUND)
        return;

    snd_config_iterator_t i, next;
    snd_config_for_each (i, next, list)
        function (snd_config_iterator_entry (i));
}

DirectionDescription readDirection (snd_config_t* device, const char* key)
{
    DirectionDescription d;
    snd_config_t* node = nullptr;

    if (snd_config_search (device, key, &node) < 0)
        return d;

    d.present = true;
    d.channelsMin = (unsigned int) findInteger (node, "channels_min", 1);
    d.channelsMax = (unsigned int) findInteger (node, "channels_max", 2);
    d.periodFramesMin = (unsigned int) findInteger (node, "period_frames_min", 0);
    d.periodFramesMax = (unsigned int) findInteger (node, "period_frames_max", 0);

    forEachEntry (node, "formats", [&] (snd_config_t* entry)
                  {
        const char* name = nullptr;

        if (snd_config_get_string (entry, &name) >= 0)
        {
            const auto format = snd_pcm_format_value (name);

            if (format != SND_PCM_FORMAT_UNKNOWN)
                d.formats.push_back ((unsigned int) format);
        } });

    forEachEntry (node, "rates", [&] (snd_config_t* entry)
                  {
        long rate = 0;

        if (snd_config_get_integer (entry, &rate) >= 0 && rate > 0)
            d.rates.push_back ((unsigned int) rate); });

    forEachEntry (node, "access", [&] (snd_config_t* entry)
                  {
        const char* name = nullptr;

        if (snd_config_get_string (entry, &name) >= 0)
        {
            if (std::strcmp (name, "RW_INTERLEAVED") == 0)
                d.accesses.push_back (SND_PCM_ACCESS_RW_INTERLEAVED);
            else if (std::strcmp (name, "RW_NONINTERLEAVED") == 0)
                d.accesses.push_back (SND_PCM_ACCESS_RW_NONINTERLEAVED);
            else if (std::strcmp (name, "MMAP_INTERLEAVED") == 0)
                d.accesses.push_back (SND_PCM_ACCESS_MMAP_INTERLEAVED);
        } });

    if (d.formats.empty())
        d.formats.push_back (SND_PCM_FORMAT_S16_LE);

    if (d.rates.empty())
        d.rates.push_back (48000);

    if (d.accesses.empty())
        d.accesses = { SND_PCM_ACCESS_RW_INTERLEAVED, SND_PCM_ACCESS_RW_NONINTERLEAVED };

    return d;
}

DeviceDescription readDevice (snd_config_t* node)
{
    DeviceDescription d;
    d.playback = readDirection (node, "playback");
    d.capture = readDirection (node, "capture");
    d.busy = findBool (node, "busy");

    if (auto* text = findString (node, "capture_file"))
        d.captureFile = text;

    if (auto* text = findString (node, "record_file"))
        d.recordFile = text;

    if (auto* text = findString (node, "log_file"))
        d.logFile = text;

    d.xrunCapturePeriod = findInteger (node, "xrun_capture_period", -1);
    d.xrunPlaybackPeriod = findInteger (node, "xrun_playback_period", -1);
    d.stallCapturePeriod = findInteger (node, "stall_capture_period", -1);
    d.stallPlaybackPeriod = findInteger (node, "stall_playback_period", -1);
    d.jumpPlaybackPeriod = findInteger (node, "jump_playback_period", -1);
    d.jumpPlaybackFrames = findInteger (node, "jump_playback_frames", 0);
    return d;
}

//==============================================================================
// Streams that have a device open, by card, device and direction: a second
// stream of the same direction finds the device busy, as on real hardware.
std::mutex openStreamsLock;
std::set<std::string> openStreams;

//==============================================================================
struct SimStream
{
    snd_pcm_ioplug_t io {};
    DeviceDescription device;
    std::string key, name;
    bool isPlayback = false;

    std::mutex lock;
    int timerFd = -1;
    bool running = false;
    uint64_t ticks = 0; // periods the hardware has gone through since it started
    uint64_t hwFrames = 0; // hardware position, in frames since the stream was prepared
    uint64_t consumedFrames = 0; // playback frames taken from the ring (== hwFrames but for stalls)
    uint64_t totalPeriods = 0; // periods since the stream was opened, for the faults
    uint64_t expectedAppl = 0; // where the next transfer would start without a skip
    bool xrunPending = false, xrunDone = false, jumpDone = false, stalled = false;
    snd_pcm_uframes_t boundary = 0, availMin = 1;
    bool periodEvent = false;

    unsigned int frameBytes = 0;
    std::vector<unsigned char> ring; // playback: buffer_size frames
    std::vector<unsigned char> script; // capture data in the hardware format
    std::vector<unsigned char> captured; // one frame of it
    uint64_t scriptFrame = 0;

    FILE* record = nullptr;
    FILE* log = nullptr;

    void writeLog (const char* format, ...) __attribute__ ((format (printf, 2, 3)))
    {
        if (log == nullptr)
            return;

        va_list args;
        va_start (args, format);
        std::vfprintf (log, format, args);
        va_end (args);
        std::fputc ('\n', log);
        std::fflush (log);
    }

    uint64_t applFrames() const
    {
        return (uint64_t) io.appl_ptr;
    }

    // Moves the hardware on by the periods the timer has counted.  Called with
    // the stream's lock held.
    void advance()
    {
        uint64_t expirations = 0;

        if (timerFd >= 0 && running)
            while (::read (timerFd, &expirations, sizeof (expirations)) == (ssize_t) sizeof (expirations))
                ticks += expirations;

        const auto period = (uint64_t) io.period_size;

        while (running && hwFrames < ticks * period)
        {
            ++totalPeriods;

            const auto stallAfter = isPlayback ? device.stallPlaybackPeriod : device.stallCapturePeriod;

            if (stallAfter >= 0 && totalPeriods > (uint64_t) stallAfter)
            {
                --totalPeriods;

                if (! stalled)
                    writeLog ("stall");

                stalled = true;
                ticks = hwFrames / period; // the hardware stops where it is
                break;
            }

            const auto xrunAt = isPlayback ? device.xrunPlaybackPeriod : device.xrunCapturePeriod;

            if (! xrunDone && xrunAt >= 0 && totalPeriods == (uint64_t) xrunAt)
            {
                // As a driver reports it: the stream is in XRUN until prepared again.
                xrunDone = true;
                xrunPending = true;
                running = false;
                snd_pcm_ioplug_set_state (&io, SND_PCM_STATE_XRUN);
                writeLog ("xrun");
                break;
            }

            auto step = period;

            if (isPlayback && ! jumpDone && device.jumpPlaybackPeriod >= 0
                && totalPeriods == (uint64_t) device.jumpPlaybackPeriod)
            {
                jumpDone = true;
                step += (uint64_t) device.jumpPlaybackFrames;
                ticks += (uint64_t) device.jumpPlaybackFrames / period;
                writeLog ("jump %lld", (long long) device.jumpPlaybackFrames);
            }

            if (isPlayback)
                consume (step);

            hwFrames += step;
        }
    }

    // The hardware plays frames: they go to the recording, and the ring slot
    // is silent again for whatever plays there next without being written.
    void consume (uint64_t frames)
    {
        const auto bufferFrames = (uint64_t) io.buffer_size;

        for (uint64_t i = 0; i < frames; ++i)
        {
            auto* slot = ring.data() + ((consumedFrames + i) % bufferFrames) * frameBytes;

            if (record != nullptr)
                std::fwrite (slot, 1, frameBytes, record);

            std::memset (slot, 0, frameBytes);
        }

        consumedFrames += frames;

        if (record != nullptr)
            std::fflush (record);
    }

    snd_pcm_uframes_t avail() const
    {
        const auto bufferFrames = (uint64_t) io.buffer_size;
        const auto appl = applFrames();

        if (isPlayback)
            return (snd_pcm_uframes_t) (hwFrames + bufferFrames - appl);

        return (snd_pcm_uframes_t) (hwFrames - appl);
    }

    void startTimer()
    {
        const auto periodNs = (long long) io.period_size * 1000000000LL / (long long) io.rate;
        itimerspec setting {};
        setting.it_interval.tv_sec = (time_t) (periodNs / 1000000000LL);
        setting.it_interval.tv_nsec = (long) (periodNs % 1000000000LL);
        setting.it_value = setting.it_interval;
        timerfd_settime (timerFd, 0, &setting, nullptr);
    }

    // Wakes whoever polls the stream at once, so that it sees the new state.
    void wakePoll()
    {
        itimerspec setting {};
        setting.it_value.tv_nsec = 1;
        timerfd_settime (timerFd, 0, &setting, nullptr);
    }
};

SimStream* toStream (snd_pcm_ioplug_t* io)
{
    return static_cast<SimStream*> (io->private_data);
}

//==============================================================================
int simStart (snd_pcm_ioplug_t* io)
{
    auto* s = toStream (io);
    const std::lock_guard<std::mutex> sl (s->lock);
    s->running = true;
    s->ticks = s->hwFrames / (uint64_t) io->period_size;
    s->startTimer();
    s->writeLog ("start");
    return 0;
}

int simStop (snd_pcm_ioplug_t* io)
{
    auto* s = toStream (io);
    const std::lock_guard<std::mutex> sl (s->lock);
    s->running = false;
    s->wakePoll();
    s->writeLog ("stop");
    return 0;
}

snd_pcm_sframes_t simPointer (snd_pcm_ioplug_t* io)
{
    auto* s = toStream (io);
    const std::lock_guard<std::mutex> sl (s->lock);
    s->advance();

    if (s->xrunPending)
    {
        s->xrunPending = false;
        s->running = false;
        return -EPIPE;
    }

    if (s->boundary == 0)
        return (snd_pcm_sframes_t) (s->hwFrames % (uint64_t) io->buffer_size);

    return (snd_pcm_sframes_t) (s->hwFrames % (uint64_t) s->boundary);
}

snd_pcm_sframes_t simTransfer (snd_pcm_ioplug_t* io, const snd_pcm_channel_area_t* areas, snd_pcm_uframes_t offset, snd_pcm_uframes_t size)
{
    auto* s = toStream (io);
    const std::lock_guard<std::mutex> sl (s->lock);
    const auto appl = s->applFrames();

    // Frames the application moved over without writing them (a forward),
    // and the space it left itself.
    if (appl != s->expectedAppl)
        s->writeLog ("skip %lld space %lld", (long long) appl - (long long) s->expectedAppl, (long long) s->avail());

    s->expectedAppl = appl + size;

    const auto sampleBytes = (unsigned int) snd_pcm_format_physical_width (io->format) / 8;
    const auto bufferFrames = (uint64_t) io->buffer_size;

    for (snd_pcm_uframes_t i = 0; i < size; ++i)
    {
        unsigned char* frame = nullptr;

        if (s->isPlayback)
        {
            frame = s->ring.data() + ((appl + i) % bufferFrames) * s->frameBytes;
        }
        else
        {
            // The script's frames in a loop; silence without a script.
            s->captured.assign (s->frameBytes, 0);
            const auto scriptFrames = s->script.size() / s->frameBytes;

            if (scriptFrames > 0)
                std::memcpy (s->captured.data(), s->script.data() + (s->scriptFrame % scriptFrames) * s->frameBytes, s->frameBytes);

            ++s->scriptFrame;
            frame = s->captured.data();
        }

        for (unsigned int c = 0; c < io->channels; ++c)
        {
            const auto& area = areas[c];
            auto* sample = static_cast<unsigned char*> (area.addr)
                           + (area.first + (offset + i) * area.step) / 8;

            if (s->isPlayback)
                std::memcpy (frame + c * sampleBytes, sample, sampleBytes);
            else
                std::memcpy (sample, frame + c * sampleBytes, sampleBytes);
        }
    }

    return (snd_pcm_sframes_t) size;
}

int simHwParams (snd_pcm_ioplug_t* io, snd_pcm_hw_params_t*)
{
    auto* s = toStream (io);
    const std::lock_guard<std::mutex> sl (s->lock);
    s->frameBytes = (unsigned int) snd_pcm_format_physical_width (io->format) / 8 * io->channels;
    s->ring.assign ((size_t) io->buffer_size * s->frameBytes, 0);
    s->writeLog ("hw_params access=%s format=%s channels=%u rate=%u period=%lu buffer=%lu",
                 snd_pcm_access_name (io->access),
                 snd_pcm_format_name (io->format),
                 io->channels,
                 io->rate,
                 (unsigned long) io->period_size,
                 (unsigned long) io->buffer_size);
    return 0;
}

int simSwParams (snd_pcm_ioplug_t* io, snd_pcm_sw_params_t* params)
{
    auto* s = toStream (io);
    const std::lock_guard<std::mutex> sl (s->lock);
    int periodEvent = 0;
    snd_pcm_sw_params_get_boundary (params, &s->boundary);
    snd_pcm_sw_params_get_avail_min (params, &s->availMin);
    snd_pcm_sw_params_get_period_event (params, &periodEvent);
    s->periodEvent = periodEvent != 0;
    return 0;
}

int simPrepare (snd_pcm_ioplug_t* io)
{
    auto* s = toStream (io);
    const std::lock_guard<std::mutex> sl (s->lock);
    s->running = false;
    s->ticks = 0;
    s->hwFrames = 0;
    s->consumedFrames = 0;
    s->expectedAppl = 0;
    s->xrunPending = false;
    std::fill (s->ring.begin(), s->ring.end(), (unsigned char) 0);
    s->writeLog ("prepare");
    return 0;
}

int simPollRevents (snd_pcm_ioplug_t* io, struct pollfd* pfd, unsigned int nfds, unsigned short* revents)
{
    auto* s = toStream (io);
    const std::lock_guard<std::mutex> sl (s->lock);
    s->advance();
    *revents = 0;

    if (nfds > 0 && (pfd[0].revents & (POLLERR | POLLNVAL)) != 0)
    {
        *revents = POLLERR;
        return 0;
    }

    const auto state = io->state;

    if (s->xrunPending || (state != SND_PCM_STATE_RUNNING && state != SND_PCM_STATE_PREPARED && state != SND_PCM_STATE_DRAINING))
    {
        *revents = POLLERR;
        return 0;
    }

    const auto threshold = s->periodEvent ? (snd_pcm_uframes_t) io->period_size : s->availMin;

    if (s->avail() >= threshold)
        *revents = s->isPlayback ? POLLOUT : POLLIN;

    return 0;
}

int simClose (snd_pcm_ioplug_t* io)
{
    auto* s = toStream (io);
    s->writeLog ("close");

    if (s->timerFd >= 0)
        ::close (s->timerFd);

    if (s->record != nullptr)
        std::fclose (s->record);

    if (s->log != nullptr)
        std::fclose (s->log);

    {
        const std::lock_guard<std::mutex> sl (openStreamsLock);
        openStreams.erase (s->key);
    }

    delete s;
    return 0;
}

const snd_pcm_ioplug_callback_t simCallbacks = []
{
    snd_pcm_ioplug_callback_t c {};
    c.start = simStart;
    c.stop = simStop;
    c.pointer = simPointer;
    c.transfer = simTransfer;
    c.close = simClose;
    c.hw_params = simHwParams;
    c.sw_params = simSwParams;
    c.prepare = simPrepare;
    c.poll_revents = simPollRevents;
    return c;
}();

int setConstraints (snd_pcm_ioplug_t* io, const DirectionDescription& d)
{
    int err = 0;

    if ((err = snd_pcm_ioplug_set_param_list (io, SND_PCM_IOPLUG_HW_ACCESS, (unsigned int) d.accesses.size(), d.accesses.data())) < 0
        || (err = snd_pcm_ioplug_set_param_list (io, SND_PCM_IOPLUG_HW_FORMAT, (unsigned int) d.formats.size(), d.formats.data())) < 0
        || (err = snd_pcm_ioplug_set_param_minmax (io, SND_PCM_IOPLUG_HW_CHANNELS, d.channelsMin, d.channelsMax)) < 0
        || (err = snd_pcm_ioplug_set_param_list (io, SND_PCM_IOPLUG_HW_RATE, (unsigned int) d.rates.size(), d.rates.data())) < 0
        || (err = snd_pcm_ioplug_set_param_minmax (io, SND_PCM_IOPLUG_HW_PERIODS, 2, 32)) < 0)
        return err;

    // A fixed period is stated in frames; ioplug takes bytes, which a single
    // format and channel count make exact.
    unsigned int frameBytes = 0;

    if (d.formats.size() == 1 && d.channelsMin == d.channelsMax)
        frameBytes = (unsigned int) snd_pcm_format_physical_width ((snd_pcm_format_t) d.formats[0]) / 8 * d.channelsMin;

    if (d.periodFramesMin > 0 && frameBytes > 0)
    {
        if ((err = snd_pcm_ioplug_set_param_minmax (io, SND_PCM_IOPLUG_HW_PERIOD_BYTES, d.periodFramesMin * frameBytes, d.periodFramesMax * frameBytes)) < 0)
            return err;
    }
    else if ((err = snd_pcm_ioplug_set_param_minmax (io, SND_PCM_IOPLUG_HW_PERIOD_BYTES, 16, 1024 * 1024)) < 0)
    {
        return err;
    }

    return snd_pcm_ioplug_set_param_minmax (io, SND_PCM_IOPLUG_HW_BUFFER_BYTES, 32, 32 * 1024 * 1024);
}

std::vector<unsigned char> readWholeFile (const std::string& path)
{
    std::vector<unsigned char> bytes;

    if (FILE* f = std::fopen (path.c_str(), "rb"))
    {
        unsigned char chunk[4096];
        size_t n = 0;

        while ((n = std::fread (chunk, 1, sizeof (chunk), f)) > 0)
            bytes.insert (bytes.end(), chunk, chunk + n);

        std::fclose (f);
    }

    return bytes;
}

} // namespace

//==============================================================================
extern "C" SND_PCM_PLUGIN_DEFINE_FUNC (vxsim)
{
    const char* card = nullptr;
    long deviceNumber = 0;

    snd_config_iterator_t i, next;
    snd_config_for_each (i, next, conf)
    {
        auto* entry = snd_config_iterator_entry (i);
        const char* id = nullptr;

        if (snd_config_get_id (entry, &id) < 0)
            continue;

        if (std::strcmp (id, "card") == 0)
            snd_config_get_string (entry, &card);
        else if (std::strcmp (id, "device") == 0)
            snd_config_get_integer (entry, &deviceNumber);
    }

    if (card == nullptr)
        return -EINVAL;

    const auto deviceKey = std::to_string (deviceNumber);
    snd_config_t* node = nullptr;

    if (snd_config_searchv (root, &node, "vxsim", card, deviceKey.c_str(), nullptr) < 0)
        return -ENOENT;

    const auto device = readDevice (node);
    const auto isPlayback = stream == SND_PCM_STREAM_PLAYBACK;
    const auto& direction = isPlayback ? device.playback : device.capture;

    if (! direction.present)
        return -ENOENT;

    if (device.busy)
        return -EBUSY;

    const auto key = std::string (card) + "," + deviceKey + (isPlayback ? ",p" : ",c");

    {
        const std::lock_guard<std::mutex> sl (openStreamsLock);

        if (! openStreams.insert (key).second)
            return -EBUSY;
    }

    auto* s = new SimStream();
    s->device = device;
    s->key = key;
    s->name = name != nullptr ? name : "";
    s->isPlayback = isPlayback;
    s->timerFd = timerfd_create (CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);

    if (! device.logFile.empty())
        s->log = std::fopen (device.logFile.c_str(), "a");

    if (isPlayback && ! device.recordFile.empty())
        s->record = std::fopen (device.recordFile.c_str(), "ab");

    if (! isPlayback && ! device.captureFile.empty())
        s->script = readWholeFile (device.captureFile);

    s->writeLog ("open %s %s%s", s->name.c_str(), isPlayback ? "playback" : "capture", (mode & SND_PCM_NONBLOCK) != 0 ? " nonblock" : "");

    s->io.version = SND_PCM_IOPLUG_VERSION;
    s->io.name = "Simulated sound card";
    s->io.flags = SND_PCM_IOPLUG_FLAG_BOUNDARY_WA | SND_PCM_IOPLUG_FLAG_MONOTONIC;
    s->io.poll_fd = s->timerFd;
    s->io.poll_events = POLLIN;
    s->io.mmap_rw = 0;
    s->io.callback = &simCallbacks;
    s->io.private_data = s;

    auto err = snd_pcm_ioplug_create (&s->io, name, stream, mode);

    if (err < 0)
    {
        simClose (&s->io);
        return err;
    }

    if ((err = setConstraints (&s->io, direction)) < 0)
    {
        snd_pcm_ioplug_delete (&s->io);
        return err;
    }

    *pcmp = s->io.pcm;
    return 0;
}

SND_PCM_PLUGIN_SYMBOL (vxsim)
