// Feeds arbitrary text to the platform's parsers of system output: MAC
// address texts, ping statistics lines, the routing table and /proc/stat.
// None may crash; a MAC text that parses formats back to one that parses to
// the same bytes; the routing table may raise only the conversion errors.
#include "JuceBackend/SystemPath.h"
#include "Panel/Engine/VB05Common/EthernetTest.h"
#include "Panel/Engine/VB05Common/Platform/VB05Network.h"
#include "Panel/Engine/VB05Common/Platform/VB05Processor.h"
#include "VxFramework/Utilities/Storage/VxArray.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <stdexcept>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
using String = Vx::StringT<char, unsigned short>;

// A system tree of its own for the two files, made once.
const std::string& Root()
{
    static const std::string* const root = [] {
        char pattern[] = "/tmp/vx-fuzz-platform-XXXXXX";
        if (::mkdtemp(pattern) == nullptr)
            std::abort();
        const std::string base = pattern;
        ::mkdir((base + "/proc").c_str(), 0700);
        ::mkdir((base + "/proc/net").c_str(), 0700);
        // Every parse traces its line; the log is not what is fuzzed.
        const int null = ::open("/dev/null", O_WRONLY);
        if (null >= 0)
            ::dup2(null, 2);
        Vx::SetSystemPathRoot(base);
        return new std::string(base);
    }();
    return *root;
}

void Write(const std::string& path, const std::string& text)
{
    std::ofstream(Root() + path, std::ios::binary | std::ios::trunc) << text;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string raw(reinterpret_cast<const char*>(data), size);
    const std::string text = raw.substr(0, raw.find('\0'));

    Vx::Array<unsigned char> bytes;
    if (Vx::VB05::ParseMACAddress(String(text.c_str()), bytes))
    {
        Vx::Array<unsigned char> again;
        if (!Vx::VB05::ParseMACAddress(Vx::VB05::FormatMACAddress(bytes), again) || !Vx::VB05::AreEqual(bytes, again))
            std::abort();
    }
    if (bytes.GetCount() != 6)
        std::abort();

    const Vx::RCPtr<Vx::VB05::LIntensivePingCommand> ping =
        Vx::MakeRCPtr<Vx::VB05::LIntensivePingCommand>(String("10.0.0.1"), 100, 65000, 2);
    ping->OnTokenizingStart();
    ping->OnToken(String(text.c_str()));
    if (ping->Succeeded() && ping->GetPacketLoss() != 0)
        std::abort();

    Write("/proc/net/route", raw);
    try
    {
        std::uint32_t gateway = 0;
        Vx::VB05::GetDefaultGateway(gateway);
    }
    catch (const std::invalid_argument&)
    {
    }
    catch (const std::out_of_range&)
    {
    }

    Write("/proc/stat", raw);
    Vx::VB05::CPUStat stat;
    stat.Read();
    stat.Read();
    return 0;
}
