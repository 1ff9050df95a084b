#include "sim/SimDeviceCalls.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <sys/eventfd.h>
#include <sys/mman.h>
#include <unistd.h>

namespace Sim
{

namespace
{
    //==========================================================================
    // The stuck cell lives in process-wide state because the SIGSEGV handler
    // reaches it.  One block is armed at a time: the cell's page and the page
    // after it take turns being inaccessible, so that every move from the
    // cell's page on to the next one traps, and the trap lets the cell fall.
    struct StuckCell
    {
        size_t offset = 0;
        int bit = 0;
        bool value = false;

        void* block = nullptr; // the armed block, or null
        char* cellPage = nullptr;
        char* nextPage = nullptr;
    };

    StuckCell stuckCell;
    struct sigaction previousAction
    {
    };
    bool handlerInstalled = false;

    // Read once, outside the handler: sysconf is not safe in a signal handler.
    size_t cachedPageSize = 0;

    size_t pageSize() { return cachedPageSize; }

    void letCellFall()
    {
        auto* cell = reinterpret_cast<volatile uint8_t*> (stuckCell.cellPage + stuckCell.offset % pageSize());
        const auto mask = (uint8_t) (1u << stuckCell.bit);
        *cell = (uint8_t) (stuckCell.value ? (*cell | mask) : (*cell & ~mask));
    }

    void onSegmentationFault (int, siginfo_t* info, void*)
    {
        auto* address = static_cast<char*> (info->si_addr);
        const auto page = pageSize();
        auto* cellPage = stuckCell.cellPage;
        auto* nextPage = stuckCell.nextPage;

        if (cellPage != nullptr && address >= nextPage && address < nextPage + page)
        {
            letCellFall();
            ::mprotect (nextPage, page, PROT_READ | PROT_WRITE);
            ::mprotect (cellPage, page, PROT_NONE);
            return;
        }

        if (cellPage != nullptr && address >= cellPage && address < cellPage + page)
        {
            ::mprotect (cellPage, page, PROT_READ | PROT_WRITE);
            ::mprotect (nextPage, page, PROT_NONE);
            return;
        }

        // Not ours: the handler from before takes the fault as it comes again.
        ::sigaction (SIGSEGV, &previousAction, nullptr);
    }

    void arm (void* block, size_t size)
    {
        if (stuckCell.block != nullptr)
            return;

        const auto page = pageSize();
        const auto start = (reinterpret_cast<uintptr_t> (block) + page - 1) & ~(uintptr_t) (page - 1);
        auto* cellPage = reinterpret_cast<char*> (start) + stuckCell.offset / page * page;
        auto* nextPage = cellPage + page;

        if (nextPage + page > static_cast<char*> (block) + size)
            return;

        stuckCell.block = block;
        stuckCell.cellPage = cellPage;
        stuckCell.nextPage = nextPage;
        ::mprotect (nextPage, page, PROT_NONE);
    }

    void disarm (void* block)
    {
        if (block == nullptr || stuckCell.block != block)
            return;

        const auto page = pageSize();
        ::mprotect (stuckCell.cellPage, page, PROT_READ | PROT_WRITE);
        ::mprotect (stuckCell.nextPage, page, PROT_READ | PROT_WRITE);
        stuckCell.block = nullptr;
        stuckCell.cellPage = nullptr;
        stuckCell.nextPage = nullptr;
    }
} // namespace

//==============================================================================
SimDeviceCalls::SimDeviceCalls()
{
    variableScreenInfo.xres = variableScreenInfo.xres_virtual = 800;
    variableScreenInfo.yres = variableScreenInfo.yres_virtual = 1280;
    variableScreenInfo.bits_per_pixel = 32;
    // Each pixel's bytes are red, green, blue, then one unused.
    variableScreenInfo.red = { 0, 8, 0 };
    variableScreenInfo.green = { 8, 8, 0 };
    variableScreenInfo.blue = { 16, 8, 0 };
    fixedScreenInfo.line_length = 800 * 4;
    fixedScreenInfo.smem_len = fixedScreenInfo.line_length * variableScreenInfo.yres_virtual;
    std::strncpy (fixedScreenInfo.id, "simfb", sizeof (fixedScreenInfo.id) - 1);
    frameBufferMemory.assign (fixedScreenInfo.smem_len, 0);

    rtcTime.tm_mday = 1;
    rtcTime.tm_year = 124;

    systemInfo.totalram = 2048ul << 20;
    systemInfo.freeram = 1536ul << 20;
    systemInfo.mem_unit = 1;
}

SimDeviceCalls::~SimDeviceCalls()
{
    for (const auto& descriptor : descriptors)
        ::close (descriptor.first);

    if (stuckBitSet)
    {
        if (stuckCell.block != nullptr && liveBlocks.count (stuckCell.block) != 0)
            disarm (stuckCell.block);

        if (handlerInstalled)
        {
            ::sigaction (SIGSEGV, &previousAction, nullptr);
            handlerInstalled = false;
        }
    }
}

int SimDeviceCalls::getNumMappings() const
{
    const std::lock_guard<std::mutex> sl (lock);
    return (int) mappings.size();
}

void SimDeviceCalls::addI2cDevice (int bus, uint16_t address, I2cDevice device)
{
    const std::lock_guard<std::mutex> sl (lock);
    i2cDevices[{ bus, address }] = std::move (device);
}

std::vector<SimDeviceCalls::I2cTransfer> SimDeviceCalls::getI2cTransfers() const
{
    const std::lock_guard<std::mutex> sl (lock);
    return i2cTransfers;
}

void SimDeviceCalls::addBlockDevice (const std::string& path, uint64_t bytes)
{
    const std::lock_guard<std::mutex> sl (lock);
    blockDevices[path] = bytes;
}

std::vector<size_t> SimDeviceCalls::getAllocationRequests() const
{
    const std::lock_guard<std::mutex> sl (lock);
    return allocationRequests;
}

int SimDeviceCalls::getNumLiveBlocks() const
{
    const std::lock_guard<std::mutex> sl (lock);
    return (int) liveBlocks.size();
}

void SimDeviceCalls::setStuckBit (size_t offset, int bit, bool value)
{
    const std::lock_guard<std::mutex> sl (lock);
    cachedPageSize = (size_t)::sysconf (_SC_PAGESIZE);
    stuckBitSet = true;
    stuckCell.offset = offset;
    stuckCell.bit = bit & 7;
    stuckCell.value = value;

    if (! handlerInstalled)
    {
        struct sigaction action
        {
        };
        action.sa_sigaction = onSegmentationFault;
        action.sa_flags = SA_SIGINFO;
        sigemptyset (&action.sa_mask);
        ::sigaction (SIGSEGV, &action, &previousAction);
        handlerInstalled = true;
    }
}

int SimDeviceCalls::getNumOpenDescriptors() const
{
    const std::lock_guard<std::mutex> sl (lock);
    return (int) descriptors.size();
}

int SimDeviceCalls::getNumMisusedDescriptors() const
{
    const std::lock_guard<std::mutex> sl (lock);
    return numMisused;
}

//==============================================================================
const SimDeviceCalls::Descriptor* SimDeviceCalls::find (int fd)
{
    const auto found = descriptors.find (fd);

    if (found == descriptors.end())
    {
        ++numMisused;
        return nullptr;
    }

    return &found->second;
}

int SimDeviceCalls::check (int fd, Kind kind, Call call)
{
    const auto* descriptor = find (fd);

    if (descriptor == nullptr)
        return -EBADF;

    // The request is not one this device knows.
    if (descriptor->kind != kind)
        return -ENOTTY;

    return -faults.take (call);
}

int SimDeviceCalls::Open (const char* path, int)
{
    const std::lock_guard<std::mutex> sl (lock);

    if (const auto error = faults.take (Call::open))
        return -error;

    const std::string name (path != nullptr ? path : "");
    Descriptor descriptor { Kind::frameBuffer, name };
    const std::string i2cPrefix ("/dev/i2c-");

    if (name == "/dev/fb0" && frameBufferPresent)
    {
        descriptor.kind = Kind::frameBuffer;
    }
    else if (name == "/dev/rtc" && rtcPresent)
    {
        descriptor.kind = Kind::rtc;
    }
    else if (name.rfind (i2cPrefix, 0) == 0 && name.size() > i2cPrefix.size())
    {
        char* end = nullptr;
        const auto bus = std::strtol (name.c_str() + i2cPrefix.size(), &end, 10);
        bool busExists = false;

        for (const auto& device : i2cDevices)
            busExists = busExists || device.first.first == bus;

        if (*end != '\0' || ! busExists)
            return -ENOENT;

        descriptor.kind = Kind::i2c;
        descriptor.bus = (int) bus;
    }
    else if (blockDevices.count (name) != 0)
    {
        descriptor.kind = Kind::block;
    }
    else
    {
        return -ENOENT;
    }

    const auto fd = ::eventfd (0, EFD_CLOEXEC);

    if (fd < 0)
        return -errno;

    descriptors[fd] = descriptor;
    return fd;
}

int SimDeviceCalls::Close (int fd)
{
    const std::lock_guard<std::mutex> sl (lock);

    if (descriptors.erase (fd) == 0)
    {
        ++numMisused;
        return -EBADF;
    }

    ::close (fd);
    // Like the kernel's: the descriptor is gone even when close reports an error.
    return -faults.take (Call::close);
}

int SimDeviceCalls::GetVariableScreenInfo (int fd, fb_var_screeninfo& info)
{
    const std::lock_guard<std::mutex> sl (lock);

    if (const auto result = check (fd, Kind::frameBuffer, Call::getVariableScreenInfo))
        return result;

    info = variableScreenInfo;
    return 0;
}

int SimDeviceCalls::GetFixedScreenInfo (int fd, fb_fix_screeninfo& info)
{
    const std::lock_guard<std::mutex> sl (lock);

    if (const auto result = check (fd, Kind::frameBuffer, Call::getFixedScreenInfo))
        return result;

    info = fixedScreenInfo;
    return 0;
}

int SimDeviceCalls::MapShared (int fd, std::size_t length, void*& address)
{
    const std::lock_guard<std::mutex> sl (lock);
    address = nullptr;

    if (const auto result = check (fd, Kind::frameBuffer, Call::mapShared))
        return result;

    // The device's memory is what its fixed information says, and no more can be mapped.
    if (frameBufferMemory.size() < fixedScreenInfo.smem_len)
        frameBufferMemory.resize (fixedScreenInfo.smem_len, 0);

    if (length == 0 || length > fixedScreenInfo.smem_len)
        return -EINVAL;

    address = frameBufferMemory.data();
    ++mappings[address];
    return 0;
}

int SimDeviceCalls::Unmap (void* address, std::size_t)
{
    const std::lock_guard<std::mutex> sl (lock);

    if (const auto error = faults.take (Call::unmap))
        return -error;

    const auto found = mappings.find (address);

    if (found == mappings.end())
        return -EINVAL;

    if (--found->second == 0)
        mappings.erase (found);

    return 0;
}

int SimDeviceCalls::ReadRtcTime (int fd, rtc_time& time)
{
    const std::lock_guard<std::mutex> sl (lock);

    if (const auto result = check (fd, Kind::rtc, Call::readRtcTime))
        return result;

    time = rtcTime;
    return 0;
}

int SimDeviceCalls::SetRtcTime (int fd, const rtc_time& time)
{
    const std::lock_guard<std::mutex> sl (lock);

    if (const auto result = check (fd, Kind::rtc, Call::setRtcTime))
        return result;

    rtcTime = time;
    return 0;
}

int SimDeviceCalls::TransferI2c (int fd, i2c_msg* messages, std::uint32_t count)
{
    const std::lock_guard<std::mutex> sl (lock);

    if (const auto result = check (fd, Kind::i2c, Call::transferI2c))
        return result;

    if (messages == nullptr || count == 0)
        return -EINVAL;

    I2cTransfer transfer;
    transfer.bus = descriptors[fd].bus;

    const auto device = i2cDevices.find ({ transfer.bus, messages[0].addr });

    // Nobody answers at that address.
    if (device == i2cDevices.end())
        return -ENXIO;

    const auto result = device->second (messages, count);

    for (uint32_t i = 0; i < count; ++i)
        transfer.messages.push_back ({ messages[i].addr, messages[i].flags, std::vector<uint8_t> (messages[i].buf, messages[i].buf + messages[i].len) });

    i2cTransfers.push_back (std::move (transfer));
    return result;
}

int SimDeviceCalls::GetBlockDeviceSize (int fd, std::uint64_t& bytes)
{
    const std::lock_guard<std::mutex> sl (lock);

    if (const auto result = check (fd, Kind::block, Call::getBlockDeviceSize))
        return result;

    bytes = blockDevices[descriptors[fd].path];
    return 0;
}

int SimDeviceCalls::GetSystemInfo (struct sysinfo& info)
{
    if (onGetSystemInfo)
        onGetSystemInfo();

    const std::lock_guard<std::mutex> sl (lock);

    if (const auto error = faults.take (Call::getSystemInfo))
        return -error;

    info = systemInfo;
    return 0;
}

int SimDeviceCalls::GetSystemConfiguration (int name, long& value)
{
    const std::lock_guard<std::mutex> sl (lock);

    if (const auto error = faults.take (Call::getSystemConfiguration))
        return -error;

    if (name == _SC_PHYS_PAGES)
        value = physicalPages;
    else if (name == _SC_PAGESIZE)
        value = pageSize;
    else
        return -EINVAL;

    return 0;
}

void* SimDeviceCalls::AllocateMemory (std::size_t size)
{
    const std::lock_guard<std::mutex> sl (lock);
    allocationRequests.push_back (size);

    if (faults.take (Call::allocateMemory) != 0 || size > memoryLimit)
        return nullptr;

    auto* block = std::malloc (size);

    if (block != nullptr)
    {
        liveBlocks[block] = size;

        if (stuckBitSet)
            arm (block, size);
    }

    return block;
}

void* SimDeviceCalls::ReallocateMemory (void* block, std::size_t size)
{
    if (block == nullptr)
        return AllocateMemory (size);

    const std::lock_guard<std::mutex> sl (lock);
    allocationRequests.push_back (size);

    // A failed reallocation leaves the block as it was.
    if (faults.take (Call::allocateMemory) != 0 || size > memoryLimit || size == 0)
        return nullptr;

    disarm (block);
    auto* moved = std::realloc (block, size);

    if (moved == nullptr)
    {
        if (stuckBitSet)
            arm (block, liveBlocks[block]);

        return nullptr;
    }

    liveBlocks.erase (block);
    liveBlocks[moved] = size;

    if (stuckBitSet)
        arm (moved, size);

    return moved;
}

void SimDeviceCalls::FreeMemory (void* block)
{
    if (block == nullptr)
        return;

    const std::lock_guard<std::mutex> sl (lock);
    disarm (block);
    liveBlocks.erase (block);
    std::free (block);
}

} // namespace Sim
