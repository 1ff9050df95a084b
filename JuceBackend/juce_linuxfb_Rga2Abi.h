#pragma once

// The 2-D raster accelerator's requests and records, as its driver defines
// them: the layout is the kernel's, so every field has a fixed width and the
// sizes are checked against the request numbers.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <sys/ioctl.h>

namespace juce::Rga2
{
static constexpr const char* devicePath = "/dev/rga2";

// "XR24": 32-bit pixels, blue in the lowest byte, the top byte unused.
static constexpr uint32_t formatXRGB8888 = 0x34325258;

struct ImportRequest
{
    int32_t dmaBufferFd;
    uint32_t width;
    uint32_t height;
    uint32_t pitch;
    uint32_t reserved;
    uint32_t format;
    uint32_t handle; // returned
};

struct ReleaseRequest
{
    uint32_t handle;
    uint32_t reserved;
};

struct JobRequest
{
    uint64_t userData;
    uint32_t sourceHandle;
    uint32_t reserved1;
    uint32_t destinationHandle;
    uint32_t reserved2;
    uint32_t rotation; // degrees
    uint32_t reserved3;
};

static_assert (sizeof (ImportRequest) == 28);
static_assert (sizeof (ReleaseRequest) == 8);
static_assert (sizeof (JobRequest) == 32);

// _IOWR ('R', 0x82, 28), _IOW ('R', 0x81, 8), _IOW ('R', 0x83, 32)
static constexpr unsigned long importRequest = 0xC01C5282;
static constexpr unsigned long releaseRequest = 0x40085281;
static constexpr unsigned long jobRequest = 0x40205283;

static_assert (importRequest == (unsigned long) _IOWR ('R', 0x82, ImportRequest));
static_assert (releaseRequest == (unsigned long) _IOW ('R', 0x81, ReleaseRequest));
static_assert (jobRequest == (unsigned long) _IOW ('R', 0x83, JobRequest));

/** A completion record as read from the device; several may come in one read. */
struct Completion
{
    uint32_t type; // 0: a job completed
    uint32_t length; // of the whole record, in bytes
    uint64_t userData; // as given with the job
    uint32_t status; // 0: success
};

static constexpr uint32_t jobCompletedType = 0;
static constexpr size_t completionHeaderSize = 8; // type and length
static constexpr size_t jobCompletionSize = 20; // up to and with the status

/** Walks the records in bytes read from the device, never past numBytes,
        calling onRecord for each.  Stops at a record whose length is shorter than
        its own fields or longer than what is left, and returns false then. */
bool parseCompletions (const uint8_t* bytes, size_t numBytes, const std::function<void (const Completion&)>& onRecord);
} // namespace juce::Rga2
