#include "tests/JuceBackend/DisplayTestSupport.h"

#include "JuceBackend/native/juce_linuxfb_Backend.h"

#include <chrono>
#include <poll.h>

namespace VxTest
{
bool PumpDisplayEvents(const std::function<bool()>& done)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);

    while (!done())
    {
        if (std::chrono::steady_clock::now() > deadline)
            return false;

        pollfd fds[2] = {{juce::LinuxFbBackend::getDrmDescriptor(), POLLIN, 0},
                         {juce::LinuxFbBackend::getAcceleratorDescriptor(), POLLIN, 0}};
        ::poll(fds, 2, 10);
        juce::LinuxFbBackend::handleDrmEvents();
        juce::LinuxFbBackend::handleAcceleratorCompletions();
    }

    return true;
}
} // namespace VxTest
