#include "sim/alsa/SimAlsa.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <unistd.h>

#ifndef VX_SIM_ALSA_PLUGIN
#error "VX_SIM_ALSA_PLUGIN names the simulator's ALSA plugin"
#endif

namespace Sim
{

namespace
{
    constexpr const char* configPathVariable = "ALSA_CONFIG_PATH";

    std::string quoted (const std::string& text)
    {
        std::string result = "\"";

        for (const auto c : text)
        {
            if (c == '"' || c == '\\')
                result += '\\';

            result += c;
        }

        return result + "\"";
    }

    void writeStream (std::ostream& out, const char* name, const SimPcmStream& s)
    {
        out << "  " << name << " {\n"
            << "    channels_min " << s.channelsMin << "\n"
            << "    channels_max " << s.channelsMax << "\n"
            << "    formats [";

        for (const auto& format : s.formats)
            out << " " << quoted (format);

        out << " ]\n    rates [";

        for (const auto rate : s.rates)
            out << " " << rate;

        out << " ]\n";

        if (! s.access.empty())
        {
            out << "    access [";

            for (const auto& access : s.access)
                out << " " << quoted (access);

            out << " ]\n";
        }

        if (s.periodFramesMin > 0)
            out << "    period_frames_min " << s.periodFramesMin << "\n"
                << "    period_frames_max " << s.periodFramesMax << "\n";

        out << "  }\n";
    }

    void appendWord (std::vector<uint8_t>& bytes, uint32_t word)
    {
        for (int i = 0; i < 4; ++i)
            bytes.push_back ((uint8_t) (word >> (8 * i)));
    }

    std::vector<uint8_t> readFile (const std::string& path)
    {
        std::ifstream in (path, std::ios::binary);
        return { std::istreambuf_iterator<char> (in), std::istreambuf_iterator<char>() };
    }
} // namespace

std::string SimSoundCard::pcmId() const
{
    return "hw:CARD=" + id + ",DEV=" + std::to_string (device);
}

//==============================================================================
SimAlsa::SimAlsa()
{
    char pattern[] = "/tmp/vx-sim-alsa-XXXXXX";

    if (::mkdtemp (pattern) == nullptr)
        throw std::runtime_error ("SimAlsa: no temporary directory");

    directory = pattern;
    config = directory + "/asound.conf";

    if (const char* previous = std::getenv (configPathVariable))
        previousConfigPath = previous;

    writeConfig();
    ::setenv (configPathVariable, config.c_str(), 1);
}

SimAlsa::~SimAlsa()
{
    if (previousConfigPath)
        ::setenv (configPathVariable, previousConfigPath->c_str(), 1);
    else
        ::unsetenv (configPathVariable);

    std::error_code ignored;
    std::filesystem::remove_all (directory, ignored);
}

void SimAlsa::setCards (const std::vector<SimSoundCard>& newCards)
{
    cards = newCards;
    writeConfig();
}

std::string SimAlsa::fileFor (const std::string& cardId, const char* kind) const
{
    return directory + "/" + cardId + "." + kind;
}

void SimAlsa::writeConfig()
{
    std::ostringstream out;
    out << "# The simulated device's sound cards.\n"
        << "pcm_type.vxsim { lib " << quoted (VX_SIM_ALSA_PLUGIN) << " }\n"
        << "pcm.hw {\n"
        << "  @args [ CARD DEV SUBDEV ]\n"
        << "  @args.CARD { type string }\n"
        << "  @args.DEV { type integer default 0 }\n"
        << "  @args.SUBDEV { type integer default -1 }\n"
        << "  type vxsim\n"
        << "  card $CARD\n"
        << "  device $DEV\n"
        << "}\n";

    out << "namehint.pcm {\n";
    int hint = 0;

    for (const auto& card : cards)
    {
        if (! card.listed)
            continue;

        std::string text = card.pcmId() + "|" + card.description;

        if (card.playback && ! card.capture)
            text += "|IOIDOutput";
        else if (card.capture && ! card.playback)
            text += "|IOIDInput";

        out << "  hint" << hint++ << " " << quoted (text) << "\n";
    }

    out << "}\n";

    for (const auto& card : cards)
    {
        if (! card.present)
            continue;

        if (! card.captureData.empty())
        {
            std::ofstream capture (fileFor (card.id, "capture"), std::ios::binary | std::ios::trunc);
            capture.write (reinterpret_cast<const char*> (card.captureData.data()), (std::streamsize) card.captureData.size());
        }

        out << "vxsim." << card.id << "." << card.device << " {\n";

        if (card.playback)
            writeStream (out, "playback", *card.playback);

        if (card.capture)
            writeStream (out, "capture", *card.capture);

        if (card.busy)
            out << "  busy true\n";

        if (! card.captureData.empty())
            out << "  capture_file " << quoted (fileFor (card.id, "capture")) << "\n";

        out << "  record_file " << quoted (fileFor (card.id, "record")) << "\n"
            << "  log_file " << quoted (fileFor (card.id, "log")) << "\n"
            << "  xrun_capture_period " << card.xrunCapturePeriod << "\n"
            << "  xrun_playback_period " << card.xrunPlaybackPeriod << "\n"
            << "  stall_capture_period " << card.stallCapturePeriod << "\n"
            << "  stall_playback_period " << card.stallPlaybackPeriod << "\n"
            << "  jump_playback_period " << card.jumpPlaybackPeriod << "\n"
            << "  jump_playback_frames " << card.jumpPlaybackFrames << "\n"
            << "}\n";
    }

    // A new file in place of the old one: alsa-lib notices the change by the
    // file's identity and reads it again.
    const auto temporary = config + ".new" + std::to_string (++generation);

    {
        std::ofstream file (temporary, std::ios::trunc);
        file << out.str();
    }

    if (std::rename (temporary.c_str(), config.c_str()) != 0)
        throw std::runtime_error ("SimAlsa: cannot write " + config);
}

std::vector<uint8_t> SimAlsa::recording (const std::string& cardId) const
{
    return readFile (fileFor (cardId, "record"));
}

std::vector<std::string> SimAlsa::log (const std::string& cardId) const
{
    std::vector<std::string> lines;
    std::ifstream in (fileFor (cardId, "log"));

    for (std::string line; std::getline (in, line);)
        lines.push_back (line);

    return lines;
}

void SimAlsa::clearRecordings()
{
    for (const auto& card : cards)
    {
        ::unlink (fileFor (card.id, "record").c_str());
        ::unlink (fileFor (card.id, "log").c_str());
    }
}

//==============================================================================
std::vector<uint8_t> SimAlsa::pairedWordFrames (const std::vector<std::array<int32_t, 3>>& frames)
{
    std::vector<uint8_t> bytes;

    for (const auto& frame : frames)
    {
        const auto channel0 = (uint32_t) frame[0] >> 12; // the 20-bit samples
        const auto channel1 = (uint32_t) frame[1] >> 12;
        const auto channel23 = (uint32_t) frame[2] >> 8; // the 24-bit sample

        const auto w0 = (channel23 << 8) | (channel0 >> 12);
        const auto w1 = ((channel0 & 0xfffu) << 20) | (channel1 & 0xfffffu);
        appendWord (bytes, w0);
        appendWord (bytes, w1);
    }

    return bytes;
}

std::vector<uint8_t> SimAlsa::taggedWordFrames (const std::vector<std::array<int32_t, 4>>& samples,
                                                std::array<int, 4> tagOrder)
{
    std::vector<uint8_t> bytes;
    uint32_t noise = 0;

    for (const auto& sample : samples)
    {
        for (const auto tag : tagOrder)
        {
            noise = (noise + 0x24u) & 0xfcu;
            const auto value = tag >= 0 && tag < 4 ? (uint32_t) sample[(size_t) tag] & 0xffffff00u : 0u;
            appendWord (bytes, value | noise | ((uint32_t) tag & 3u));
        }
    }

    return bytes;
}

} // namespace Sim
