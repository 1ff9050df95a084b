// The test application on the simulated device: the application's own shell
// and application object, run on the simulated panel, input and platform with
// every stand-in the tests use, saving what the panel shows as PNG files.
//
//   sim_app <picture folder> [--shots <count>] [--interval <ms>] [--resources <folder>]
//
// The first picture is taken once the main window's first frame is on the
// panel; further ones every interval.  After the last, the simulator asks the
// application to exit as its window's close button would.
//
// The simulator sets the environment of the libraries below the application
// (PATH for the shell tools, ALSA_CONFIG_PATH); a system bus for libdbus is
// the caller's (tools/run.sh starts a private one with the mock Bluetooth
// service).  The application itself reads none of it.  With --resources the
// application finds that folder as its Resources (a test's copy); otherwise
// the one beside this program.
//
// Exit status: the application's, else 1 bad arguments, 2 no picture in time,
// 3 a picture not saved.

#include "JuceBackend/SystemPath.h"
#include "JuceBackend/juce_linux_SequencerCalls.h"
#include "JuceBackend/native/juce_linuxfb_DrmDevice.h"
#include "Panel/Main/Application.h"
#include "VxFramework/Notification/Notification.h"
#include "VxFramework/Notification/NotificationCenter.h"
#include "sim/SimControllerBoard.h"
#include "sim/SimDeviceControl.h"
#include "sim/SimSequencer.h"
#include "sim/SimulatedDevice.h"
#include "sim/alsa/SimAlsa.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <linux/input-event-codes.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace fs = std::filesystem;

namespace
{
// The machine's tools that the simulated tools' scripts may use: none that
// changes the system, so a command the simulation lacks is not found rather
// than run for real.
constexpr const char* kHarmlessTools[] = { "sh", "cat", "grep", "sed", "head", "tail", "ls", "uname", "sleep", "tr", "wc", "cut", "env", "true", "false", "mkdir", "rm", "touch" };

struct Options
{
    juce::File folder;
    int shots = 1;
    int interval = 1000;
    juce::File resources;
};

Sim::SimulatedDevice* device = nullptr;
uint32_t panel = 0;
Options options;

//==============================================================================
/** Takes the pictures on the message thread, then asks for the exit. */
class Photographer : private juce::Timer
{
public:
    Photographer() { startTimer (20); }
    ~Photographer() override { stopTimer(); }

    int getFailure() const noexcept { return failure; }

private:
    void timerCallback() override
    {
        auto* app = Vx::GetGlobalApplication().Get();
        auto* drm = juce::DrmDevice::getInstanceWithoutCreating();
        auto* screen = drm != nullptr ? drm->getScreens().getFirst() : nullptr;
        // A message box (a start-up error) is what the screen shows then.
        const bool boxShown = juce::ModalComponentManager::getInstance()->getNumModalComponents() > 0;

        if (taken == 0 && juce::Time::getMillisecondCounter() - startTime > 30000)
            return finish (2, "no picture on the panel in time");

        // The picture is on the panel once the first frame was put there and
        // nothing is left to paint or in flight.
        if ((! boxShown && (app == nullptr || app->GetMainWindow() == nullptr)) || screen == nullptr
            || ! screen->getFlipper().isReady() || screen->isBusy() || screen->isTimerRunning())
            return;

        if (taken > 0 && juce::Time::getMillisecondCounter() - lastShot < (juce::uint32) options.interval)
            return;

        const auto file = options.folder.getChildFile ("screen-" + juce::String (taken) + ".png");
        if (! device->drm.saveScreenAsPng (panel, file))
            return finish (3, "the picture could not be saved");

        if (taken == 0)
            std::printf ("sim_app: the first picture was on the panel %u ms after the start\n",
                         (unsigned) (juce::Time::getMillisecondCounter() - startTime));
        std::printf ("sim_app: the screen is in %s\n", file.getFullPathName().toRawUTF8());
        std::fflush (stdout);
        lastShot = juce::Time::getMillisecondCounter();

        if (++taken >= options.shots)
            finish (0, nullptr);
    }

    void finish (int status, const char* problem)
    {
        stopTimer();
        if (problem != nullptr)
        {
            std::fprintf (stderr, "sim_app: %s\n", problem);
            failure = status;
        }

        // The operator answers a message box with Return; the application
        // ends by itself after a start-up error.
        if (juce::ModalComponentManager::getInstance()->getNumModalComponents() > 0)
        {
            device->input.key (KEY_ENTER, true);
            device->input.key (KEY_ENTER, false);
            return;
        }

        // As the main window's close button does.
        if (auto* app = Vx::LFrameworkApp::GetApplication())
        {
            Vx::RCPtr<Vx::LNotification> request;
            Vx::LNotification::Create (request, "NID_APP_EXIT_REQ", nullptr);
            if (const auto center = app->GetDefaultNotificationCenter(); ! center.IsNull())
                center->Post (request);
        }
    }

    const juce::uint32 startTime = juce::Time::getMillisecondCounter();
    juce::uint32 lastShot = 0;
    int taken = 0;
    int failure = 0;
};

std::unique_ptr<Photographer> photographer;
int photographerFailure = 0;

/** The application's own shell with the photographer beside it. */
class SimShell : public Vx::JuceFrameworkApp<Vx::LApplication>
{
public:
    static juce::JUCEApplicationBase* create() { return new SimShell(); }

    void initialise (const juce::String& commandLine) override
    {
        photographer = std::make_unique<Photographer>();
        JuceFrameworkApp::initialise (commandLine);
    }

    void shutdown() override
    {
        if (photographer != nullptr)
            photographerFailure = photographer->getFailure();
        photographer.reset();
        JuceFrameworkApp::shutdown();
    }
};

//==============================================================================
/** The simulated shell tools first on PATH, with a scenario folder and a call log. */
void installTools (const fs::path& root)
{
    fs::create_directories (root / "bin");
    fs::create_directories (root / "scenario");

    for (const char* tool : kHarmlessTools)
        for (const char* folder : { "/usr/bin/", "/bin/" })
            if (const fs::path real = fs::path (folder) / tool; fs::exists (real))
            {
                fs::create_symlink (real, root / "bin" / tool);
                break;
            }

    ::setenv ("PATH", (std::string (VX_SIM_TOOLS_DIR) + ":" + (root / "bin").string()).c_str(), 1);
    ::setenv ("VX_SIM_TOOLS_SCENARIO", (root / "scenario").c_str(), 1);
    ::setenv ("VX_SIM_TOOLS_LOG", (root / "calls").c_str(), 1);
}

/** The system files start-up reads: the executable's link (its folder holds
    the resources), two radios and the USB hub's ports with nothing attached. */
void writeSystemTree (Sim::SimulatedDevice& simulated, const fs::path& scratch)
{
    const fs::path root (simulated.getRoot().getFullPathName().toStdString());
    fs::create_directories (root / "proc/self");
    auto executable = fs::read_symlink ("/proc/self/exe");

    if (options.resources != juce::File())
    {
        // A program folder of its own whose Resources are the ones asked for.
        fs::create_directories (scratch / "program");
        fs::create_directory_symlink (options.resources.getFullPathName().toStdString(), scratch / "program/Resources");
        executable = scratch / "program" / executable.filename();
    }

    fs::create_symlink (executable, root / "proc/self/exe");

    for (const char* radio : { "rfkill0", "rfkill1" })
    {
        const auto folder = "/sys/class/rfkill/" + std::string (radio);
        simulated.writeSystemFile (folder + "/soft", "1\n", 2);
        simulated.writeSystemFile (folder + "/name", radio, std::strlen (radio));
    }
}

bool parse (int argc, char* argv[])
{
    if (argc < 2)
        return false;

    options.folder = juce::File::getCurrentWorkingDirectory().getChildFile (argv[1]);

    for (int i = 2; i < argc; i += 2)
    {
        if (i + 1 >= argc)
            return false;

        const juce::String name (argv[i]);
        const auto value = juce::String (argv[i + 1]).getIntValue();

        if (name == "--resources")
            options.resources = juce::File::getCurrentWorkingDirectory().getChildFile (argv[i + 1]);
        else if (name == "--shots" && value > 0)
            options.shots = value;
        else if (name == "--interval" && value > 0)
            options.interval = value;
        else
            return false;
    }

    return true;
}
} // namespace

int main (int argc, char* argv[])
{
    if (! parse (argc, argv))
    {
        std::fprintf (stderr, "usage: sim_app <picture folder> [--shots <count>] [--interval <ms>] [--resources <folder>]\n");
        return 1;
    }

    if (! options.folder.createDirectory())
    {
        std::fprintf (stderr, "sim_app: cannot make %s\n", options.folder.getFullPathName().toRawUTF8());
        return 1;
    }

    // The run's own files (the tools' call log among them) beside its pictures.
    const fs::path scratch = fs::path (options.folder.getFullPathName().toStdString()) / "run";
    std::error_code ignored;
    fs::remove_all (scratch, ignored);
    installTools (scratch / "tools");

    Sim::SimAlsa alsa;
    Sim::SimSoundCard card;
    card.id = "VB05Audio";
    card.description = "Simulated audio";
    card.playback = Sim::SimPcmStream();
    card.capture = Sim::SimPcmStream();
    alsa.setCards ({ card });

    Sim::SimSequencer sequencer;
    juce::ScopedSequencerCalls sequencerScope (sequencer);
    Sim::SimControllerBoard board (sequencer, "Control Surface");

    Sim::SimDeviceControlLibrary deviceControl (VX_SIM_DEVICE_CONTROL_LIBRARY);
    Vx::ScopedDeviceControlClientDirectory deviceControlDirectory (
        fs::path (VX_SIM_DEVICE_CONTROL_LIBRARY).parent_path().string());

    Sim::SimulatedDevice simulated;
    panel = simulated.addDsiPanel (800, 480);
    simulated.install();
    writeSystemTree (simulated, scratch);
    device = &simulated;

    const auto started = std::chrono::steady_clock::now();
    const int status = Vx::RunFrameworkApp (&SimShell::create);
    const auto ran = std::chrono::duration_cast<std::chrono::milliseconds> (std::chrono::steady_clock::now() - started);

    simulated.uninstall();
    device = nullptr;

    std::printf ("sim_app: the application ran %lld ms and ended with status %d\n", (long long) ran.count(), status);
    std::printf ("sim_app: the shell tools it ran are listed in %s\n", (scratch / "tools" / "calls").c_str());
    return photographerFailure != 0 ? photographerFailure : status;
}
