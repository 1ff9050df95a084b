#pragma once

// The Wi-Fi test: the SDIO bus clock of the module, the "wlan0" interface,
// and at least one Wi-Fi network found by the network manager after the
// radios are unblocked and a scan is started.  Succeeded (0) or Failed (-1).
// A new test object is made for every run; the body does not watch for an
// abort, which waits for it to end.

#include "Panel/Engine/TestAppCommon/ThreadedTest.h"
#include "Panel/Engine/VB05Common/ExternalCommandExecuter.h"

#include <cstdint>

namespace Vx::VB05
{
class LWiFiCMTest : public LThreadedTest, public ExternalCommandExecuter<LWiFiCMTest>
{
public:
    using String = LThreadedTest::String;

    LWiFiCMTest() = default;
    ~LWiFiCMTest() override;

    std::int32_t Abort() override;

    // The wait before listing attempt k (1, 2, 3): e^(k-1) seconds, in whole
    // milliseconds.
    static std::int32_t GetAttemptDelay(std::int32_t attempt);

protected:
    std::int32_t Run() override;

private:
    friend class ExternalCommandExecuter<LWiFiCMTest>;
};

RCPtr<LThreadedTest> CreateWiFiTest();
} // namespace Vx::VB05
