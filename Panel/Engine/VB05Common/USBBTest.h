#pragma once

// The USB-B test: the USB multiplexer switched to external, the hub asked over
// I2C what is attached to each of its ports, and each listed port judged
// against what it must show; afterwards the multiplexer is put back.  A new
// test object is made for every run.

#include "Panel/Engine/TestAppCommon/ThreadedTest.h"
#include "VxFramework/Utilities/Storage/StringT.h"
#include "VxFramework/Utilities/Storage/VxArray.h"

#include <cstdint>

namespace Vx::VB05
{
class LUSBBTestImpl : public LThreadedTest
{
public:
    // What a port must show.
    enum ConnectionRequirement : std::int32_t
    {
        NotConnected = 0,
        USB2Connection = 1,
        USB3Connection = 2,
        USB2orUSB3Connection = 3,
        DontCare = 4,
    };

    struct PortStatusRequirement
    {
        std::int32_t port = 0;
        ConnectionRequirement requirement = DontCare;
    };

    // Judged in the array's order; the multiplexer ends external for any
    // final state other than 0 (internal).
    LUSBBTestImpl(const Array<PortStatusRequirement>& requirements, std::int32_t finalMuxState);
    // Waits for a running body before the requirements go.
    ~LUSBBTestImpl() override;

    static RCPtr<LUSBBTestImpl> Create(const Array<PortStatusRequirement>& requirements, std::int32_t finalMuxState);

    // A kind outside the table logs an assertion and is never met.
    static bool IsRequirementMet(ConnectionRequirement requirement, std::uint32_t status);
    // "NotConnected" ... "DontCare"; a kind outside the table logs an
    // assertion and is named "None".
    static StringT<char, unsigned short> GetRequirementName(ConnectionRequirement requirement);
    // On the KS52 and KS56, unmounts what is mounted from hub ports 1 to 4.
    static void UnmountHubPortPartitions();

    const Array<PortStatusRequirement>& GetRequirements() const { return mRequirements; }
    std::int32_t GetFinalMuxState() const { return mFinalMuxState; }

protected:
    // Succeeded (0) when every requirement is met, else Failed (-1).
    std::int32_t Run() override;

private:
    // The ports listed and the requirements judged; -1 after a failed step.
    std::int32_t CheckPorts();
    void RestoreMux();

    Array<PortStatusRequirement> mRequirements;
    std::int32_t mFinalMuxState;
};
} // namespace Vx::VB05
