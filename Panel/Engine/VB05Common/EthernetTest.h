#pragma once

// The wired network test: the network manager drops Wi-Fi and uses the
// Ethernet service, the link must run at 1000 Mbit/s, the addresses are
// reported, and ten bursts of large pings to the default gateway must all
// come back.  Succeeded (0), Failed (-1), or Inconclusive (-5) when there is
// no gateway to ping.  A new test object is made for every run.

#include "Panel/Engine/TestAppCommon/ThreadedTest.h"
#include "Panel/Engine/VB05Common/ExternalCommand.h"
#include "Panel/Engine/VB05Common/ExternalCommandExecuter.h"
#include "VxFramework/ObjectBase/Mutex.h"

#include <cstdint>
#include <regex>

namespace Vx::VB05
{
// Four pings over eth0; succeeded once a reply line was seen.
class LPingCommand : public LGenericExternalCommand
{
public:
    explicit LPingCommand(const String& host);

    bool Succeeded() override;
    void OnTokenizingStart() override;
    void OnTokenizingFinish() override;
    void OnToken(const String& line) override;

private:
    bool mReplySeen = false;
};

// Adaptive pings over eth0, judged by the tool's statistics line: succeeded
// when it was seen and reported no loss.  Each run starts afresh.
class LIntensivePingCommand : public LGenericExternalCommand
{
public:
    LIntensivePingCommand(const String& host, std::int32_t packetCount, std::int32_t packetSize,
                          std::int32_t deadlineSeconds);

    bool Succeeded() override;
    void OnTokenizingStart() override;
    void OnTokenizingFinish() override;
    void OnToken(const String& line) override;

    std::int32_t GetPacketCount() const { return mPacketCount; }
    std::int32_t GetPacketSize() const { return mPacketSize; }
    std::int32_t GetPacketsTransmitted() const { return mTransmitted; }
    std::int32_t GetPacketsReceived() const { return mReceived; }
    std::int32_t GetPacketLoss() const { return mLoss; }

private:
    const std::int32_t mPacketCount;
    const std::int32_t mPacketSize;
    const std::regex mStatistics;
    bool mSuccess = false;
    std::int32_t mTransmitted = 0;
    std::int32_t mReceived = 0;
    std::int32_t mLoss = 0;
};

class LEthernetTestImpl : public LThreadedTest, public ExternalCommandExecuter<LEthernetTestImpl>
{
public:
    using String = LThreadedTest::String;

    LEthernetTestImpl() = default;
    ~LEthernetTestImpl() override;

    // Wakes a running ping's wait, then stops the worker as every test does;
    // the ping run itself is not cut short.
    std::int32_t Abort() override;

protected:
    std::int32_t Run() override;

private:
    friend class ExternalCommandExecuter<LEthernetTestImpl>;

    // Connman's services: Wi-Fi ones disconnected, Ethernet ones connected.
    void SwitchServices();
    void ReportAddresses();
    // Inconclusive without a default route; Failed for a routing table that
    // cannot be read.
    std::int32_t PingDefaultGateway();
    std::int32_t PingGateway(const String& gateway);

    RCPtr<LIntensivePingCommand> mPing;
    Mutex mPingLock;
};

RCPtr<LThreadedTest> CreateEthernetTest();
} // namespace Vx::VB05
