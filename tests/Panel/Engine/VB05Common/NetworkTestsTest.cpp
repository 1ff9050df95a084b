#include "Panel/Engine/VB05Common/EthernetTest.h"
#include "Panel/Engine/VB05Common/TestDelays.h"
#include "Panel/Engine/VB05Common/WiFiTest.h"
#include "Panel/Main/TestIdentifiers.h"
#include "Panel/Main/TestRegistrations.h"
#include "sim/SimulatedDevice.h"

#include "tests/Panel/Engine/TestAppCommon/EngineTestSupport.h"
#include "tests/support/SimTools.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace
{
using String = Vx::StringT<char, unsigned short>;
using Lines = std::vector<std::string>;
using Calls = std::vector<std::vector<std::string>>;

constexpr char kPingLine[] = "Executing command: ping -I eth0 -c 100 -s 65000 -w 2 -A -q 192.168.2.1";

// The engine of a test id with the simulated device, the simulated tools and
// the waits recorded instead of waited.
class NetworkTestRun : public VxTest::EngineTestBase
{
protected:
    void SetUp() override
    {
        EngineTestBase::SetUp();
        Vx::RegisterTestEngineCreators(*sEngineFactory);
        Vx::RegisterTestCreators(*sTestFactory);
        mDevice.install();
    }

    void WriteSystemFile(const std::string& path, const std::string& text)
    {
        mDevice.writeSystemFile(path, text.data(), text.size());
    }

    struct Outcome
    {
        Lines log;
        std::int32_t result = -100;
    };

    // One run through the engine.  stopDuring, when set, is called once the
    // test has started and may abort it.
    Outcome Run(const char* testId, const std::function<void(Vx::LTestEngine&)>& stopDuring = nullptr)
    {
        Outcome outcome;
        const Vx::RCPtr<Vx::LTestEngine> engine = sEngineFactory->Create(String(testId));
        EXPECT_FALSE(engine.IsNull());
        if (engine.IsNull() || engine->Start() != Vx::VXR_OK)
            return outcome;
        if (stopDuring)
            stopDuring(*engine);
        EXPECT_TRUE(VxTest::PumpUntil([&] { return mRecorder->Count("NID_TEST_COMPLETED") == 1; }));
        for (const VxTest::Received& received : mRecorder->mReceived)
        {
            if (received.id == "NID_TEST_COMPLETED")
                outcome.result = received.result;
        }
        // The machine's own interface addresses are not the simulation's.
        for (const std::string& line : VxTest::Lines(engine->GetLog()))
        {
            if (line.rfind("Ethernet interface IPv4 address: ", 0) != 0 &&
                line != "No IPv4 address assigned for ethernet interface")
                outcome.log.push_back(line);
        }
        return outcome;
    }

    std::vector<std::uint32_t> Delays()
    {
        const std::lock_guard<std::mutex> lock(mDelaysLock);
        return mDelays;
    }

    // Calls of one tool.
    Calls CallsOf(const std::string& tool) const
    {
        Calls calls;
        for (const std::vector<std::string>& call : mTools.Calls())
        {
            if (call.front() == tool)
                calls.push_back(call);
        }
        return calls;
    }

    Sim::SimulatedDevice mDevice;
    VxTest::ScopedSimTools mTools;
    std::mutex mDelaysLock;
    std::vector<std::uint32_t> mDelays;
    Vx::VB05::TestDelays::Scoped mDelaysScope{[this](std::uint32_t milliseconds) {
        const std::lock_guard<std::mutex> lock(mDelaysLock);
        mDelays.push_back(milliseconds);
    }};
};

//==============================================================================
class EthernetTestRun : public NetworkTestRun
{
protected:
    void SetUp() override
    {
        NetworkTestRun::SetUp();
        Arrange();
    }

    // A board whose link and route are fine, and a ping that loses a packet
    // in run 4.
    void Arrange()
    {
        mRecorder->mReceived.clear();
        std::filesystem::remove(mTools.GetScratchDirectory() + "/count");
        mMarker = mTools.GetScratchDirectory() + "/injected";
        mTools.SetScript("connmanctl", "[ \"$1\" = services ] || exit 0\n"
                                       "echo '*AO Wired                ethernet_0011_cable'\n"
                                       "echo '    HomeNet              wifi_00aa_bb_managed_psk'\n"
                                       "echo '    Evil                 wifi_x; touch " +
                                           mMarker +
                                           "'\n"
                                           "echo '    Cafe                 wifi_00aa_cc_managed_none'\n");
        WriteSystemFile("/sys/class/net/eth0/operstate", "up\n");
        WriteSystemFile("/sys/class/net/eth0/speed", "1000\n");
        WriteSystemFile("/sys/class/net/eth0/address", "00:11:22:33:44:55\n");
        mTools.SetBootVariable("ethaddr", "00:11:22:33:44:56");
        WriteSystemFile("/proc/net/route", "Iface\tDestination\tGateway\n"
                                           "eth0\t0002A8C0\t00000000\n"
                                           "eth0\t00000000\t0102A8C0\n");
        // The statistics line without a line end, so that only the end of
        // the run delivers it.  Run LOSE_RUN loses a packet.
        SetPing("echo PING 192.168.2.1 65000 data bytes\n"
                "n=$(cat \"$COUNT\" 2>/dev/null || echo 0); n=$((n + 1)); echo $n > \"$COUNT\"\n"
                "lost=0; [ \"$n\" = 4 ] && lost=1\n"
                "printf '100 packets transmitted, %d packets received, %d%% packet loss' $((100 - lost)) $lost\n");
    }

    void SetPing(const std::string& body)
    {
        mTools.SetScript("ping", "COUNT=" + mTools.GetScratchDirectory() + "/count\n" + body);
    }

    Lines Expected(const Lines& tail) const
    {
        Lines lines = {"Started TID_IO_ETHERNET",
                       "Disconnecting any connman wifi services",
                       "Disconnecting service \"wifi_00aa_bb_managed_psk\"",
                       "Disconnecting service \"wifi_x; touch " + mMarker + "\"",
                       "Disconnecting service \"wifi_00aa_cc_managed_none\"",
                       "Connecting connman ethernet service",
                       "Connecting service \"ethernet_0011_cable\""};
        lines.insert(lines.end(), tail.begin(), tail.end());
        return lines;
    }

    static Lines PingRun(int run, int lost)
    {
        const std::string loss = std::to_string(lost);
        return {"=============== Ping test run #" + std::to_string(run) + " ===============", kPingLine,
                "PING 192.168.2.1 65000 data bytes",
                "100 packets transmitted, " + std::to_string(100 - lost) + " packets received, " + loss +
                    "% packet loss",
                "Lost packets: " + loss + " %"};
    }

    std::string mMarker;
};

TEST_F(EthernetTestRun, ServicesSwitchInListOrderAndALossInRunFourFailsTheTest)
{
    const Outcome outcome = Run(Vx::TID_IO_ETHERNET);
    Lines tail = {"Ethernet link speed: 1000 Mbit/s", "Ethernet interface current MAC address: 00:11:22:33:44:55",
                  "Ethernet interface permanent MAC address: 00:11:22:33:44:56", "Found default gateway: 192.168.2.1"};
    for (int run = 1; run <= 4; ++run)
    {
        const Lines lines = PingRun(run, run == 4 ? 1 : 0);
        tail.insert(tail.end(), lines.begin(), lines.end());
    }
    tail.push_back("Completed TID_IO_ETHERNET: failed");
    EXPECT_EQ(outcome.log, Expected(tail));
    EXPECT_EQ(outcome.result, Vx::LTestEngine::kResultFailed);

    // The service that is no service id never reached a shell.
    EXPECT_EQ(CallsOf("connmanctl"), (Calls{{"connmanctl", "services"},
                                            {"connmanctl", "disconnect", "wifi_00aa_bb_managed_psk"},
                                            {"connmanctl", "disconnect", "wifi_00aa_cc_managed_none"},
                                            {"connmanctl", "connect", "ethernet_0011_cable"}}));
    EXPECT_FALSE(std::filesystem::exists(mMarker));
    EXPECT_EQ(CallsOf("ping").size(), 4u);
    EXPECT_EQ(CallsOf("ping").front(), (std::vector<std::string>{"ping", "-I", "eth0", "-c", "100", "-s", "65000", "-w",
                                                                 "2", "-A", "-q", "192.168.2.1"}));
    EXPECT_EQ(Delays(), (std::vector<std::uint32_t>{2000}));
}

TEST_F(EthernetTestRun, TenRunsWithoutLossSucceed)
{
    SetPing("printf '100 packets transmitted, 100 packets received, 0%% packet loss\\n'\n");
    const Outcome outcome = Run(Vx::TID_IO_ETHERNET);
    EXPECT_EQ(outcome.result, Vx::LTestEngine::kResultSucceeded);
    EXPECT_EQ(CallsOf("ping").size(), 10u);
    ASSERT_GE(outcome.log.size(), 3u);
    EXPECT_EQ(outcome.log[outcome.log.size() - 2], "Lost packets: 0 %");
    EXPECT_EQ(outcome.log.back(), "Completed TID_IO_ETHERNET: succeeded");
}

TEST_F(EthernetTestRun, EachEarlyEndHasItsLastLineAndResult)
{
    struct Case
    {
        const char* name;
        std::function<void()> arrange;
        Lines tail; // after the connman lines
        std::int32_t result;
    };
    const Lines found = {"Ethernet link speed: 1000 Mbit/s",
                         "Ethernet interface current MAC address: 00:11:22:33:44:55",
                         "Ethernet interface permanent MAC address: 00:11:22:33:44:56"};
    const auto with = [&](Lines lines) {
        Lines all = found;
        all.insert(all.end(), lines.begin(), lines.end());
        return all;
    };
    const std::string header = "Iface\tDestination\tGateway\n";
    const Case cases[] = {
        {"no link state",
         [&] {
             std::filesystem::remove(mDevice.getRoot().getFullPathName().toStdString() +
                                     "/sys/class/net/eth0/operstate");
         },
         {"Failed to get ethernet link state", "Completed TID_IO_ETHERNET: failed"},
         Vx::LTestEngine::kResultFailed},
        {"no link speed",
         [&] {
             std::filesystem::remove(mDevice.getRoot().getFullPathName().toStdString() + "/sys/class/net/eth0/speed");
         },
         {"Failed to get ethernet link speed", "Completed TID_IO_ETHERNET: failed"},
         Vx::LTestEngine::kResultFailed},
        {"100 Mbit/s",
         [&] { WriteSystemFile("/sys/class/net/eth0/speed", "100\n"); },
         {"Ethernet link speed: 100 Mbit/s", "Completed TID_IO_ETHERNET: failed"},
         Vx::LTestEngine::kResultFailed},
        {"no default route", [&] { WriteSystemFile("/proc/net/route", header + "eth0\t0002A8C0\t00000000\n"); },
         with({"Failed to find default gateway", "Completed TID_IO_ETHERNET: inconclusive"}),
         Vx::LTestEngine::kResultInconclusive},
        {"a gateway that is not hexadecimal",
         [&] { WriteSystemFile("/proc/net/route", header + "eth0\t00000000\tC0A8ZZ01\n"); },
         with({"Failed to read default gateway: stoul", "Completed TID_IO_ETHERNET: failed"}),
         Vx::LTestEngine::kResultFailed},
        {"a gateway beyond 32 bits",
         [&] { WriteSystemFile("/proc/net/route", header + "eth0\t00000000\t10102A8C0\n"); },
         with({"Failed to read default gateway: stoul", "Completed TID_IO_ETHERNET: failed"}),
         Vx::LTestEngine::kResultFailed},
        {"no statistics line (the tool missing)", [&] { SetPing("echo 'ping: not found' >&2\nexit 127\n"); },
         with({"Found default gateway: 192.168.2.1", "=============== Ping test run #1 ===============", kPingLine,
               "Lost packets: 0 %", "Completed TID_IO_ETHERNET: failed"}),
         Vx::LTestEngine::kResultFailed},
        {"a duplicates count in the statistics line",
         [&] { SetPing("echo '100 packets transmitted, 100 packets received, +3 duplicates, 0% packet loss'\n"); },
         with({"Found default gateway: 192.168.2.1", "=============== Ping test run #1 ===============", kPingLine,
               "100 packets transmitted, 100 packets received, +3 duplicates, 0% packet loss", "Lost packets: 0 %",
               "Completed TID_IO_ETHERNET: failed"}),
         Vx::LTestEngine::kResultFailed},
        {"statistics numbers out of range",
         [&] { SetPing("echo '100 packets transmitted, 100 packets received, 99999999999999999999% packet loss'\n"); },
         with({"Found default gateway: 192.168.2.1", "=============== Ping test run #1 ===============", kPingLine,
               "100 packets transmitted, 100 packets received, 99999999999999999999% packet loss", "Lost packets: 0 %",
               "Completed TID_IO_ETHERNET: failed"}),
         Vx::LTestEngine::kResultFailed},
    };
    for (const Case& test : cases)
    {
        SCOPED_TRACE(test.name);
        Arrange();
        test.arrange();
        const Outcome outcome = Run(Vx::TID_IO_ETHERNET);
        EXPECT_EQ(outcome.log, Expected(test.tail));
        EXPECT_EQ(outcome.result, test.result);
    }
}

TEST_F(EthernetTestRun, AnAbortDuringAPingWaitsForTheBodyToEnd)
{
    SetPing("n=$(cat \"$COUNT\" 2>/dev/null || echo 0); echo $((n + 1)) > \"$COUNT\"\nsleep 0.05\n"
            "echo '100 packets transmitted, 100 packets received, 0% packet loss'\n");
    const std::string count = mTools.GetScratchDirectory() + "/count";
    Run(Vx::TID_IO_ETHERNET, [&](Vx::LTestEngine& engine) {
        ASSERT_TRUE(VxTest::WaitFor([&] { return std::filesystem::exists(count); }));
        EXPECT_EQ(engine.Abort(), Vx::VXR_OK);
        // The ping runs were not cut short: the body ran to its end first.
        EXPECT_EQ(CallsOf("ping").size(), 10u);
        EXPECT_EQ(std::count(mRecorder->mReceived.begin(), mRecorder->mReceived.end(), VxTest::Received{}), 0);
    });
}

TEST_F(EthernetTestRun, ThePingCommandsJudgeTheirOwnOutput)
{
    SetPing("echo 'PING 10.0.0.1 (10.0.0.1) 56(84) bytes of data.'\n"
            "echo '64 bytes from 10.0.0.1: icmp_seq=1 ttl=64 time=0.045 ms'\n");
    const Vx::RCPtr<Vx::VB05::LPingCommand> ping = Vx::MakeRCPtr<Vx::VB05::LPingCommand>(String("10.0.0.1"));
    EXPECT_STREQ(ping->GetCommand().GetCString(), "ping -I eth0 -c 4 10.0.0.1");
    ASSERT_TRUE(ping->Execute());
    EXPECT_TRUE(ping->Succeeded());
    SetPing("echo 'From 10.0.0.9 icmp_seq=1 Destination Host Unreachable'\nexit 1\n");
    ASSERT_TRUE(ping->Execute());
    EXPECT_FALSE(ping->Succeeded());

    // A host that is not a plain address reaches the tool as one argument.
    const Vx::RCPtr<Vx::VB05::LIntensivePingCommand> odd =
        Vx::MakeRCPtr<Vx::VB05::LIntensivePingCommand>(String("x; touch y"), 5, 64, 1);
    EXPECT_STREQ(odd->GetCommand().GetCString(), "ping -I eth0 -c 5 -s 64 -w 1 -A -q 'x; touch y'");
    EXPECT_EQ(odd->GetPacketCount(), 5);
    EXPECT_EQ(odd->GetPacketSize(), 64);
    SetPing("echo '5 PACKETS TRANSMITTED, 5 PACKETS RECEIVED, 0% PACKET LOSS'\n"
            "echo '5 packets transmitted, 4 packets received, 20% packet loss'\n");
    ASSERT_TRUE(odd->Execute());
    // Matched without regard to case; once succeeded, later lines change nothing.
    EXPECT_TRUE(odd->Succeeded());
    EXPECT_EQ(odd->GetPacketsTransmitted(), 5);
    EXPECT_EQ(odd->GetPacketsReceived(), 5);
    EXPECT_EQ(odd->GetPacketLoss(), 0);
    // A lossy line leaves room for a later one.
    SetPing("echo '5 packets transmitted, 4 packets received, 20% packet loss'\n");
    ASSERT_TRUE(odd->Execute());
    EXPECT_FALSE(odd->Succeeded());
    EXPECT_EQ(odd->GetPacketsReceived(), 4);
    EXPECT_EQ(odd->GetPacketLoss(), 20);
    EXPECT_EQ(CallsOf("ping").back(), (std::vector<std::string>{"ping", "-I", "eth0", "-c", "5", "-s", "64", "-w", "1",
                                                                "-A", "-q", "x; touch y"}));
    // Each run starts afresh.
    SetPing("exit 0\n");
    ASSERT_TRUE(odd->Execute());
    EXPECT_FALSE(odd->Succeeded());
    EXPECT_EQ(odd->GetPacketLoss(), 0);
    EXPECT_EQ(odd->GetPacketsTransmitted(), 0);
}

//==============================================================================
class WiFiTestRun : public NetworkTestRun
{
protected:
    void SetUp() override
    {
        NetworkTestRun::SetUp();
        Arrange(2);
    }

    // Networks appear at the listing given (0: never).
    void Arrange(int networksAt)
    {
        mRecorder->mReceived.clear();
        {
            const std::lock_guard<std::mutex> lock(mDelaysLock);
            mDelays.clear();
        }
        const std::string count = mTools.GetScratchDirectory() + "/listings";
        std::filesystem::remove(count);
        WriteSystemFile("/sys/kernel/debug/clk/sdio0_sample/clk_rate", "50000000\n");
        WriteSystemFile("/sys/class/rfkill/rfkill0/soft", "1");
        mTools.SetScript("ip", "[ \"$3\" = wlan0 ] || exit 1\necho '3: wlan0: <BROADCAST,MULTICAST>'\n");
        mTools.SetScript("connmanctl", "[ \"$1\" = services ] || exit 0\n"
                                       "n=$(cat " +
                                           count + " 2>/dev/null || echo 0); n=$((n + 1)); echo $n > " + count +
                                           "\n"
                                           "echo '*AO Wired                ethernet_0011_cable'\n"
                                           "[ " +
                                           std::to_string(networksAt) + " != 0 ] && [ $n -ge " +
                                           std::to_string(networksAt) +
                                           " ] && printf '    HomeNet              wifi_00aa_bb_managed_psk'\n"
                                           "exit 0\n");
    }
};

TEST_F(WiFiTestRun, NetworksFoundAtTheSecondListingSucceed)
{
    const Outcome outcome = Run(Vx::TID_IO_WIFI);
    EXPECT_EQ(outcome.log,
              (Lines{"Started TID_IO_WIFI", "Checking sdio0 clock rate",
                     "sdio0 clock rate is 50000000, required >= 25000000", "Checking for wlan0 interface",
                     "Executing command: ip link show wlan0", "3: wlan0: <BROADCAST,MULTICAST>", "Exit status: 0",
                     "Disabling all rfkill devices", "Executing command: systemctl restart connman", "Exit status: 0",
                     "Executing command: connmanctl enable wifi", "Exit status: 0",
                     "Executing command: connmanctl scan wifi", "Exit status: 0", "Attempt #1, delay 1000 ms",
                     "Executing command: connmanctl services", "*AO Wired                ethernet_0011_cable",
                     "Exit status: 0", "No WiFi networks found", "Attempt #2, delay 2718 ms",
                     "Executing command: connmanctl services", "*AO Wired                ethernet_0011_cable",
                     // Printed without a line end, logged all the same.
                     "    HomeNet              wifi_00aa_bb_managed_psk", "Exit status: 0", "Some WiFi networks found",
                     "Completed TID_IO_WIFI: succeeded"}));
    EXPECT_EQ(outcome.result, Vx::LTestEngine::kResultSucceeded);
    EXPECT_EQ(Delays(), (std::vector<std::uint32_t>{3000, 1000, 1000, 1000, 2718}));
    std::ifstream soft(mDevice.getRoot().getFullPathName().toStdString() + "/sys/class/rfkill/rfkill0/soft");
    std::string value;
    soft >> value;
    EXPECT_EQ(value, "0");
}

TEST_F(WiFiTestRun, EachCheckEndsTheTestWithItsLines)
{
    const std::string clock = "/sys/kernel/debug/clk/sdio0_sample/clk_rate";
    struct Case
    {
        const char* name;
        int networksAt;
        std::function<void()> arrange;
        Lines lastLines;
        std::int32_t result;
        std::vector<std::uint32_t> delays;
    };
    const Case cases[] = {
        {"clock one below the minimum",
         1,
         [&] { WriteSystemFile(clock, "24999999\n"); },
         {"Checking sdio0 clock rate", "sdio0 clock rate is 24999999, required >= 25000000",
          "Completed TID_IO_WIFI: failed"},
         Vx::LTestEngine::kResultFailed,
         {}},
        {"clock at the minimum",
         1,
         [&] { WriteSystemFile(clock, "25000000\n"); },
         {"Some WiFi networks found", "Completed TID_IO_WIFI: succeeded"},
         Vx::LTestEngine::kResultSucceeded,
         {3000, 1000, 1000, 1000}},
        {"clock unreadable",
         1,
         [&] { std::filesystem::remove(mDevice.getRoot().getFullPathName().toStdString() + clock); },
         {"Some WiFi networks found", "Completed TID_IO_WIFI: succeeded"},
         Vx::LTestEngine::kResultSucceeded,
         {3000, 1000, 1000, 1000}},
        {"no wlan0",
         1,
         [&] { mTools.SetScript("ip", "echo 'Device \"wlan0\" does not exist.' >&2\nexit 1\n"); },
         {"Executing command: ip link show wlan0", "Exit status: 256", "Could not find wlan0 interface",
          "Completed TID_IO_WIFI: failed"},
         Vx::LTestEngine::kResultFailed,
         {}},
        {"no networks in three listings",
         0,
         [] {},
         {"Attempt #3, delay 7389 ms", "Executing command: connmanctl services",
          "*AO Wired                ethernet_0011_cable", "Exit status: 0", "No WiFi networks found",
          "Completed TID_IO_WIFI: failed"},
         Vx::LTestEngine::kResultFailed,
         {3000, 1000, 1000, 1000, 2718, 7389}},
    };
    for (const Case& test : cases)
    {
        SCOPED_TRACE(test.name);
        Arrange(test.networksAt);
        test.arrange();
        const Outcome outcome = Run(Vx::TID_IO_WIFI);
        ASSERT_GE(outcome.log.size(), test.lastLines.size());
        EXPECT_EQ(Lines(outcome.log.end() - static_cast<std::ptrdiff_t>(test.lastLines.size()), outcome.log.end()),
                  test.lastLines);
        EXPECT_EQ(outcome.result, test.result);
        EXPECT_EQ(Delays(), test.delays);
    }
    // The unreadable clock is said so and skipped.
    Arrange(1);
    std::filesystem::remove(mDevice.getRoot().getFullPathName().toStdString() + clock);
    const Lines log = Run(Vx::TID_IO_WIFI).log;
    ASSERT_GE(log.size(), 4u);
    EXPECT_EQ(Lines(log.begin() + 1, log.begin() + 5),
              (Lines{"Checking sdio0 clock rate", "Failed to read " + clock, "Checking sdio0 clock rate skipped",
                     "Checking for wlan0 interface"}));
}

//==============================================================================
TEST_F(NetworkTestRun, EachIdCreatesItsOwnTestThroughTheFactories)
{
    for (const char* id : {Vx::TID_IO_ETHERNET, Vx::TID_IO_WIFI})
    {
        SCOPED_TRACE(id);
        const Vx::RCPtr<Vx::LThreadedTest> one = sTestFactory->Create(String(id));
        const Vx::RCPtr<Vx::LThreadedTest> two = sTestFactory->Create(String(id));
        ASSERT_FALSE(one.IsNull());
        EXPECT_NE(one.Get(), two.Get());
        const bool ethernet = std::string(id) == Vx::TID_IO_ETHERNET;
        EXPECT_EQ(dynamic_cast<Vx::VB05::LEthernetTestImpl*>(one.Get()) != nullptr, ethernet);
        EXPECT_EQ(dynamic_cast<Vx::VB05::LWiFiCMTest*>(one.Get()) != nullptr, !ethernet);
        EXPECT_FALSE(sEngineFactory->Create(String(id)).IsNull());
    }
    EXPECT_EQ(Vx::VB05::LWiFiCMTest::GetAttemptDelay(1), 1000);
    EXPECT_EQ(Vx::VB05::LWiFiCMTest::GetAttemptDelay(2), 2718);
    EXPECT_EQ(Vx::VB05::LWiFiCMTest::GetAttemptDelay(3), 7389);
}
} // namespace
