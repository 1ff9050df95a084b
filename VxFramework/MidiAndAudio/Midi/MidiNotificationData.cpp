#include "VxFramework/MidiAndAudio/Midi/MidiNotificationData.h"

#include "VxFramework/ObjectBase/NoDestructor.h"

namespace Vx
{
ReuseAllocator<LMidiCaptureNotificationData, 4>& LMidiCaptureNotificationData::GetPool()
{
    // Never destroyed: payloads may be released by threads still running at exit.
    static NoDestructor<ReuseAllocator<LMidiCaptureNotificationData, 4>> pool(true);
    return *pool;
}

void* LMidiCaptureNotificationData::operator new(std::size_t size)
{
    return GetPool().AllocateOrThrow(size);
}

void LMidiCaptureNotificationData::operator delete(void* storage) noexcept
{
    GetPool().Free(storage);
}
} // namespace Vx
