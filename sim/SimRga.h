#pragma once

// An in-memory raster accelerator behind the display backend's accelerator
// seam.  It imports the DMA buffers the simulated DRM device exports, runs the
// copies it is given on their memory (turned by right angles), and writes a
// completion record for each.  Its descriptor is a real eventfd, readable
// while records wait, so the backend polls it as on the device; every call can
// be told to fail (faults).

#include "JuceBackend/juce_linuxfb_RgaSystemCalls.h"
#include "sim/SimDrmDevice.h"
#include "sim/SimFaults.h"

#include <deque>
#include <map>
#include <mutex>
#include <vector>

namespace Sim
{

class SimRga final : public juce::RgaSystemCalls
{
public:
    /** Reaches the buffers of that DRM device through the DMA buffers it exports. */
    explicit SimRga (SimDrmDevice& drm);
    ~SimRga() override;

    //==========================================================================
    // What exists and what fails; set before the backend uses the device.
    bool present = false;
    uint32_t jobStatus = 0; // status of the completion records
    bool autoCompleteJobs = true; // false: jobs run, their records are left to the test

    enum class Call
    {
        open,
        importBuffer,
        releaseBuffer,
        submitJob,
        readCompletions
    };
    Faults<Call> faults;

    //==========================================================================
    struct Job
    {
        uint64_t userData = 0;
        uint32_t sourceHandle = 0;
        uint32_t destinationHandle = 0;
        uint32_t rotation = 0;
    };

    std::vector<Job> getJobs() const;

    /** Imported buffers not yet released. */
    int getNumHandles() const;

    /** Bytes the descriptor will give to the next reads. */
    void queueCompletionBytes (const std::vector<uint8_t>& bytes);

    /** Completion record as the accelerator writes it (24 bytes: 20 used, 4 padding). */
    static std::vector<uint8_t> makeCompletionRecord (uint64_t userData, uint32_t status, uint32_t type = 0, uint32_t length = 24);

    int getNumOpenDescriptors() const;
    int getNumMisusedDescriptors() const;

    //==========================================================================
    int open (const char* path, int flags) override;
    int close (int fd) override;
    int importBuffer (int fd, juce::Rga2::ImportRequest& request) override;
    int releaseBuffer (int fd, const juce::Rga2::ReleaseRequest& request) override;
    int submitJob (int fd, const juce::Rga2::JobRequest& request) override;
    ssize_t readCompletions (int fd, void* buffer, size_t size) override;

private:
    /** 0 when the call on that descriptor goes on, else its negative error number. */
    int check (int fd, Call call);
    uint32_t runJob (const Job& job);
    void signal();

    SimDrmDevice& drm;
    mutable std::mutex lock;
    int deviceFd = -1;
    std::map<uint32_t, uint32_t> handles; // accelerator handle -> dumb buffer handle
    std::vector<Job> jobs;
    std::deque<uint8_t> completionBytes;
    uint32_t nextHandle = 1;
    int numMisused = 0;
};

} // namespace Sim
