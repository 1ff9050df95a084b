#include "Panel/Engine/VB05Common/TestDelays.h"

#include <atomic>
#include <chrono>
#include <thread>

namespace Vx::VB05
{
namespace
{
std::atomic<const TestDelays::Sleeper*> gSleeper{nullptr};
} // namespace

void TestDelays::Sleep(std::uint32_t milliseconds)
{
    const Sleeper* sleeper = gSleeper.load();
    if (sleeper != nullptr)
        (*sleeper)(milliseconds);
    else
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

TestDelays::Scoped::Scoped(Sleeper sleeper) : mSleeper(std::move(sleeper)), mPrevious(gSleeper.exchange(&mSleeper)) {}

TestDelays::Scoped::~Scoped()
{
    gSleeper.store(mPrevious);
}
} // namespace Vx::VB05
