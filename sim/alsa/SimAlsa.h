#pragma once

// The simulated device's sound cards for tests: writes the private ALSA
// configuration that maps the PCM ids to the simulator's ALSA plugin
// (SimAlsaPcm.cpp) and points alsa-lib at it through ALSA_CONFIG_PATH for
// its lifetime; reads back what the cards played and what their streams did;
// packs capture data in the layouts of the device's own cards.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace Sim
{

/** One direction of a simulated card: what its hardware accepts. */
struct SimPcmStream
{
    unsigned int channelsMin = 2, channelsMax = 2;
    std::vector<std::string> formats { "S32_LE" };
    std::vector<unsigned int> rates { 44100, 48000, 88200, 96000 };
    std::vector<std::string> access; // empty: interleaved and non-interleaved
    unsigned int periodFramesMin = 0, periodFramesMax = 0; // 0: any period
};

/** A simulated card: its PCM id is hw:CARD=<id>,DEV=<device>. */
struct SimSoundCard
{
    std::string id;
    int device = 0;
    std::string description;
    std::optional<SimPcmStream> playback, capture;

    bool listed = true; // among ALSA's name hints
    bool present = true; // false: hinted, but opening finds no such card
    bool busy = false; // every open fails as busy

    std::vector<uint8_t> captureData; // hardware frames, played in a loop

    long xrunCapturePeriod = -1, xrunPlaybackPeriod = -1;
    long stallCapturePeriod = -1, stallPlaybackPeriod = -1; // the hardware stops after that period
    long jumpPlaybackPeriod = -1, jumpPlaybackFrames = 0;

    std::string pcmId() const;
};

//==============================================================================
class SimAlsa
{
public:
    SimAlsa();
    ~SimAlsa();

    SimAlsa (const SimAlsa&) = delete;
    SimAlsa& operator= (const SimAlsa&) = delete;

    /** Replaces the cards and writes the configuration; alsa-lib reads it
        again at the next PCM it opens. */
    void setCards (const std::vector<SimSoundCard>& newCards);
    const std::vector<SimSoundCard>& getCards() const noexcept { return cards; }

    /** What the card's playback streams played, as hardware frames. */
    std::vector<uint8_t> recording (const std::string& cardId) const;
    /** What the card's streams did, a line per event ("hw_params ...", "start", "xrun", "skip <frames>", ...). */
    std::vector<std::string> log (const std::string& cardId) const;
    /** Empties the recordings and logs. */
    void clearRecordings();

    const std::string& configPath() const noexcept { return config; }

    //==============================================================================
    /** Capture data of the cards that pack four channels into two words a frame:
        per frame the left-justified samples of channel 0 and 1 (20 bits) and of
        channels 2 and 3 (one 24-bit sample), as S32_LE frames of two channels. */
    static std::vector<uint8_t> pairedWordFrames (const std::vector<std::array<int32_t, 3>>& frames);

    /** Capture data of the cards that tag each word with its channel: per
        sample the left-justified 24-bit samples of channels 0 to 3, as groups
        of four words (two S32_LE frames of two channels) whose positions hold
        the channels in tagOrder.  Bits 7..2 of each word carry noise that the
        reader must drop. */
    static std::vector<uint8_t> taggedWordFrames (const std::vector<std::array<int32_t, 4>>& samples,
                                                  std::array<int, 4> tagOrder = { 0, 1, 2, 3 });

private:
    void writeConfig();
    std::string fileFor (const std::string& cardId, const char* kind) const;

    std::string directory, config;
    std::vector<SimSoundCard> cards;
    std::optional<std::string> previousConfigPath;
    int generation = 0;
};

} // namespace Sim
