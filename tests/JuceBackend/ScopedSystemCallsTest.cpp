// Stand-ins put behind the backend's seams for a scope, and given back.

#include "JuceBackend/SystemPath.h"
#include "JuceBackend/juce_linuxfb_ConsoleSystemCalls.h"
#include "JuceBackend/juce_linuxfb_DrmSystemCalls.h"
#include "sim/SimulatedDevice.h"
#include "tests/support/CaptureStderr.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace
{
juce::ConsoleSystemCalls& InUse()
{
    return juce::ConsoleSystemCalls::get();
}
} // namespace

TEST(ScopedSystemCalls, NestedScopesGiveBackWhatWasThereBefore)
{
    auto& own = juce::ConsoleSystemCalls::getDeviceCalls();
    ASSERT_EQ(&InUse(), &own);

    Sim::SimConsole outer, inner;
    {
        const juce::ConsoleSystemCalls::Scoped outerScope(outer);
        EXPECT_EQ(&InUse(), &outer);
        {
            const juce::ConsoleSystemCalls::Scoped innerScope(inner);
            EXPECT_EQ(&InUse(), &inner);
            EXPECT_EQ(&juce::DrmSystemCalls::get(), &juce::DrmSystemCalls::getDeviceCalls())
                << "other seams keep theirs";
        }
        EXPECT_EQ(&InUse(), &outer);
    }
    EXPECT_EQ(&InUse(), &own);
}

TEST(ScopedSystemCalls, AScopeEndingBeforeOneMadeInsideItAssertsAndLeavesNothingBehind)
{
    Sim::SimConsole first, second;
    std::optional<juce::ConsoleSystemCalls::Scoped> firstScope(std::in_place, first);
    std::optional<juce::ConsoleSystemCalls::Scoped> secondScope(std::in_place, second);

    VxTest::CaptureStderr capture;
    firstScope.reset();
    EXPECT_NE(capture.Finish().find("JUCE Assertion failure in juce_linuxfb_ScopedSystemCalls.h"), std::string::npos);
    EXPECT_EQ(&InUse(), &second) << "the inner scope stays in use";

    // The inner scope gives back what was there before both, never the ended one.
    secondScope.reset();
    EXPECT_EQ(&InUse(), &juce::ConsoleSystemCalls::getDeviceCalls());
}

TEST(ScopedSystemCalls, ASimulatedDeviceInstalledOverAnotherGivesItBack)
{
    Sim::SimulatedDevice outer;
    outer.install();

    {
        Sim::SimulatedDevice inner;
        inner.install();
        EXPECT_EQ(&juce::DrmSystemCalls::get(), &inner.drm);
        EXPECT_EQ(Vx::MapSystemPath("/dev/tty0"), inner.getRoot().getFullPathName().toStdString() + "/dev/tty0");
    }

    EXPECT_EQ(&juce::DrmSystemCalls::get(), &outer.drm);
    EXPECT_EQ(&juce::RgaSystemCalls::get(), &outer.rga);
    EXPECT_EQ(&juce::ConsoleSystemCalls::get(), &outer.console);
    EXPECT_EQ(&juce::InputSystemCalls::get(), &outer.input);
    EXPECT_EQ(Vx::MapSystemPath("/dev/tty0"), outer.getRoot().getFullPathName().toStdString() + "/dev/tty0");

    outer.uninstall();
    EXPECT_EQ(&juce::DrmSystemCalls::get(), &juce::DrmSystemCalls::getDeviceCalls());
    EXPECT_EQ(Vx::MapSystemPath("/dev/tty0"), "/dev/tty0");
}
