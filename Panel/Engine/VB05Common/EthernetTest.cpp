#include "Panel/Engine/VB05Common/EthernetTest.h"

#include "Panel/Engine/VB05Common/Platform/VB05Network.h"
#include "Panel/Engine/VB05Common/Platform/VB05Utilities.h"
#include "Panel/Engine/VB05Common/TestDelays.h"
#include "VxFramework/Utilities/DebugTracer.h"
#include "VxFramework/Utilities/Storage/VxArray.h"

#include <cstring>
#include <exception>
#include <string>

namespace Vx::VB05
{
namespace
{
using String = StringT<char, unsigned short>;

constexpr std::int32_t kRequiredLinkSpeed = 1000;
constexpr std::int32_t kPingRuns = 10;
constexpr std::int32_t kPingPackets = 100;
constexpr std::int32_t kPingPacketSize = 65000;
constexpr std::int32_t kPingDeadlineSeconds = 2;
constexpr std::uint32_t kServiceSettleMilliseconds = 2000;

// A decimal count that fits 32 bits, or false.
bool ParseCount(const std::string& digits, std::int32_t& value)
{
    if (digits.empty() || digits.size() > 10)
        return false;
    const unsigned long long parsed = std::stoull(digits);
    if (parsed > 0x7FFFFFFF)
        return false;
    value = static_cast<std::int32_t>(parsed);
    return true;
}

// Connman names services with letters, digits and underscores; anything else
// is not a service id and never reaches the shell.
// A host as the ping tool takes it, quoted only when it is not a plain name
// or address, so that the command line reads as usual.
String HostArgument(const String& host)
{
    for (const char* at = host.GetCString(); *at != '\0'; ++at)
    {
        const char c = *at;
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '-' ||
              c == ':'))
            return QuoteShellArgument(host);
    }
    return host.IsEmpty() ? QuoteShellArgument(host) : host;
}

bool IsServiceId(const String& service)
{
    if (service.IsEmpty())
        return false;
    for (const char* at = service.GetCString(); *at != '\0'; ++at)
    {
        const char c = *at;
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_'))
            return false;
    }
    return true;
}
} // namespace

LPingCommand::LPingCommand(const String& host)
    : LGenericExternalCommand(String::Format("ping -I eth0 -c 4 %s", HostArgument(host).GetCString()), String("\n"))
{
}

bool LPingCommand::Succeeded()
{
    return mReplySeen;
}

void LPingCommand::OnTokenizingStart()
{
    mReplySeen = false;
}

void LPingCommand::OnTokenizingFinish() {}

void LPingCommand::OnToken(const String& line)
{
    if (!mReplySeen && line.Find("bytes from") >= 0 && line.Find("seq=") >= 0 && line.Find("ttl=") >= 0 &&
        line.Find("time=") >= 0)
        mReplySeen = true;
}

LIntensivePingCommand::LIntensivePingCommand(const String& host, std::int32_t packetCount, std::int32_t packetSize,
                                             std::int32_t deadlineSeconds)
    : LGenericExternalCommand(String::Format("ping -I eth0 -c %d -s %d -w %d -A -q %s", packetCount, packetSize,
                                             deadlineSeconds, HostArgument(host).GetCString()),
                              String("\n")),
      mPacketCount(packetCount), mPacketSize(packetSize),
      mStatistics(R"((\d+) packets transmitted, (\d+) packets received, (\d+)% packet loss)",
                  std::regex::ECMAScript | std::regex::icase)
{
}

bool LIntensivePingCommand::Succeeded()
{
    return mSuccess;
}

void LIntensivePingCommand::OnTokenizingStart()
{
    mSuccess = false;
    mTransmitted = 0;
    mReceived = 0;
    mLoss = 0;
}

void LIntensivePingCommand::OnTokenizingFinish() {}

void LIntensivePingCommand::OnToken(const String& line)
{
    if (mSuccess)
        return;
    const std::string text(line.GetCString());
    std::smatch match;
    if (!std::regex_match(text, match, mStatistics))
        return;
    std::int32_t transmitted = 0;
    std::int32_t received = 0;
    std::int32_t loss = 0;
    // Counts beyond 32 bits are no statistics this test can judge: the run fails.
    if (!ParseCount(match[1].str(), transmitted) || !ParseCount(match[2].str(), received) ||
        !ParseCount(match[3].str(), loss))
    {
        DebugTracer::Get().Trace(1, "Ping statistics out of range: %s", text.c_str());
        return;
    }
    mTransmitted = transmitted;
    mReceived = received;
    mLoss = loss;
    mSuccess = loss == 0;
}

LEthernetTestImpl::~LEthernetTestImpl()
{
    LEthernetTestImpl::Abort();
}

std::int32_t LEthernetTestImpl::Abort()
{
    {
        const ScopedLock lock(mPingLock);
        if (!mPing.IsNull())
            mPing->Wake();
    }
    return LThreadedTest::Abort();
}

void LEthernetTestImpl::SwitchServices()
{
    Log(String("Disconnecting any connman wifi services"));
    ExternalCommand list(String("connmanctl services"), false);
    list.Execute();
    StringArrayT<char, unsigned short> lines;
    list.GetOutput().Split(lines, "\n");

    const auto forEachService = [&](const char* prefix, bool connect) {
        for (std::uint32_t i = 0; i < lines.GetCount(); ++i)
        {
            const std::int32_t at = lines[i].Find(prefix);
            if (at < 0)
                continue;
            const String service = lines[i].Mid(at);
            Log(String::Format(connect ? "Connecting service \"%s\"" : "Disconnecting service \"%s\"",
                               service.GetCString()));
            if (!IsServiceId(service))
            {
                DebugTracer::Get().Trace(1, "Not a connman service id, left alone: %s", service.GetCString());
                continue;
            }
            ExternalCommand run(String::Format("connmanctl %s %s", connect ? "connect" : "disconnect",
                                               QuoteShellArgument(service).GetCString()),
                                false);
            run.Execute();
        }
    };
    forEachService("wifi_", false);
    Log(String("Connecting connman ethernet service"));
    forEachService("ethernet_", true);
}

void LEthernetTestImpl::ReportAddresses()
{
    const String name = GetInterfaceName(NETWORK_INTERFACE_ETHERNET);
    Array<unsigned char> mac;
    if (GetInterfaceMACAddress(name, mac))
        Log(String::Format("Ethernet interface current MAC address: %s", FormatMACAddress(mac).GetCString()));
    else
        Log(String("Failed to get current MAC address of ethernet interface"));
    if (GetBootEnvironmentMACAddress(mac))
        Log(String::Format("Ethernet interface permanent MAC address: %s", FormatMACAddress(mac).GetCString()));
    else
        Log(String("Failed to get permanent MAC address of ethernet interface"));
    Array<unsigned int> addresses;
    if (!GetIPv4Addresses(name, addresses))
        Log(String("Failed to get IPv4 addresses of ethernet interface"));
    else if (addresses.GetCount() == 0)
        Log(String("No IPv4 address assigned for ethernet interface"));
    else
    {
        for (std::uint32_t i = 0; i < addresses.GetCount(); ++i)
            Log(String::Format("Ethernet interface IPv4 address: %s", FormatIPv4Address(addresses[i]).GetCString()));
    }
}

std::int32_t LEthernetTestImpl::PingGateway(const String& gateway)
{
    RCPtr<LIntensivePingCommand> ping;
    {
        const ScopedLock lock(mPingLock);
        mPing = MakeRCPtr<LIntensivePingCommand>(gateway, kPingPackets, kPingPacketSize, kPingDeadlineSeconds);
        if (mPing.IsNull())
            return kResultFailed;
        mPing->SetListener(this);
        ping = mPing;
    }
    for (std::int32_t run = 1; run <= kPingRuns; ++run)
    {
        Log(String::Format("=============== Ping test run #%d ===============", run));
        Log(String::Format("Executing command: %s", ping->GetCommand().GetCString()));
        if (!ping->Execute())
            return kResultFailed;
        Log(String::Format("Lost packets: %d %%", ping->GetPacketLoss()));
        if (!ping->Succeeded())
            return kResultFailed;
    }
    return kResultSucceeded;
}

std::int32_t LEthernetTestImpl::PingDefaultGateway()
{
    std::uint32_t gateway = 0;
    try
    {
        if (!GetDefaultGateway(gateway))
        {
            Log(String("Failed to find default gateway"));
            return kResultInconclusive;
        }
    }
    catch (const std::exception& error)
    {
        // A routing table this test cannot read is a failed test, not a crash.
        Log(String::Format("Failed to read default gateway: %s", error.what()));
        return kResultFailed;
    }
    const String dotted = FormatIPv4Address(gateway);
    Log(String::Format("Found default gateway: %s", dotted.GetCString()));
    return PingGateway(dotted);
}

std::int32_t LEthernetTestImpl::Run()
{
    SwitchServices();
    TestDelays::Sleep(kServiceSettleMilliseconds);

    std::int32_t result = kResultFailed;
    const String name = GetInterfaceName(NETWORK_INTERFACE_ETHERNET);
    LinkState state = LINK_STATE_DOWN;
    std::int32_t speed = 0;
    if (!GetLinkState(name, state))
        Log(String("Failed to get ethernet link state"));
    else if (!GetLinkSpeed(name, speed))
        Log(String("Failed to get ethernet link speed"));
    else
    {
        Log(String::Format("Ethernet link speed: %d Mbit/s", speed));
        if (speed == kRequiredLinkSpeed)
        {
            ReportAddresses();
            result = PingDefaultGateway();
        }
    }

    RCPtr<LIntensivePingCommand> finished;
    {
        const ScopedLock lock(mPingLock);
        finished = mPing;
        mPing = nullptr;
    }
    finished = nullptr;
    return result;
}

RCPtr<LThreadedTest> CreateEthernetTest()
{
    return RCPtr<LThreadedTest>(MakeRCPtr<LEthernetTestImpl>());
}
} // namespace Vx::VB05
