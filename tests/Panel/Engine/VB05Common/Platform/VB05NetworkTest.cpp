#include "Panel/Engine/VB05Common/Platform/VB05Network.h"

#include "VxFramework/Utilities/Storage/VxArray.h"

#include "tests/Panel/Engine/VB05Common/Platform/PlatformTestSupport.h"
#include "tests/support/CaptureStderr.h"

#include <arpa/inet.h>
#include <stdexcept>
#include <string>
#include <vector>

namespace
{
using String = Vx::StringT<char, unsigned short>;
using Bytes = std::vector<unsigned char>;
using Calls = std::vector<std::vector<std::string>>;

Vx::Array<unsigned char> MakeBytes(const Bytes& bytes)
{
    Vx::Array<unsigned char> array;
    for (const unsigned char byte : bytes)
        array.Add(byte);
    return array;
}

Bytes ToBytes(const Vx::IArray<unsigned char>& array)
{
    return Bytes(array.GetDataConst(), array.GetDataConst() + array.GetCount());
}

constexpr char kRouteHeader[] = "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n";

class NetworkTest : public VxTest::PlatformTest
{
};

TEST_F(NetworkTest, InterfaceAttributesGiveStateSpeedAndDuplex)
{
    EXPECT_STREQ(Vx::VB05::GetInterfaceName(0).GetCString(), "eth0");
    EXPECT_STREQ(Vx::VB05::GetInterfaceName(1).GetCString(), "wlan0");
    EXPECT_STREQ(Vx::VB05::GetInterfaceName(2).GetCString(), "");

    WriteSystemFile("/sys/class/net/eth0/operstate", "up\n");
    WriteSystemFile("/sys/class/net/eth0/speed", "1000\n");
    WriteSystemFile("/sys/class/net/eth0/duplex", "full\n");
    Vx::VB05::LinkState state = Vx::VB05::LINK_STATE_DOWN;
    std::int32_t speed = 0;
    Vx::VB05::Duplex duplex = Vx::VB05::DUPLEX_HALF;
    EXPECT_TRUE(Vx::VB05::GetLinkState(String("eth0"), state));
    EXPECT_EQ(state, Vx::VB05::LINK_STATE_UP);
    EXPECT_TRUE(Vx::VB05::GetLinkSpeed(String("eth0"), speed));
    EXPECT_EQ(speed, 1000);
    EXPECT_TRUE(Vx::VB05::GetDuplex(String("eth0"), duplex));
    EXPECT_EQ(duplex, Vx::VB05::DUPLEX_FULL);

    // Another operstate leaves the state as it was.
    WriteSystemFile("/sys/class/net/eth0/operstate", "dormant\n");
    EXPECT_FALSE(Vx::VB05::GetLinkState(String("eth0"), state));
    EXPECT_EQ(state, Vx::VB05::LINK_STATE_UP);
    // The third interface has no name, so nothing is read.
    EXPECT_FALSE(Vx::VB05::GetLinkSpeed(Vx::VB05::GetInterfaceName(2), speed));
    EXPECT_FALSE(Vx::VB05::GetDuplex(String("wlan0"), duplex));

    EXPECT_STREQ(Vx::VB05::GetLinkStateName(1).GetCString(), "down");
    EXPECT_STREQ(Vx::VB05::GetLinkStateName(7).GetCString(), "<unknown>");
    EXPECT_STREQ(Vx::VB05::GetDuplexName(0).GetCString(), "half");
    EXPECT_STREQ(Vx::VB05::GetDuplexName(-1).GetCString(), "<unknown>");
}

TEST_F(NetworkTest, TheDefaultGatewayIsFoundWhereverItIsListed)
{
    struct Case
    {
        const char* name;
        std::string routes;
        bool found;
        const char* gateway;
    };
    const Case cases[] = {
        {"after the subnet route",
         "eth0\t0002A8C0\t00000000\t0001\t0\t0\t0\t00FFFFFF\t0\t0\t0\n"
         "eth0\t00000000\t0102A8C0\t0003\t0\t0\t0\t00000000\t0\t0\t0\n",
         true, "192.168.2.1"},
        {"first", "wlan0\t00000000\t FE01A8C0\t0003\n", true, "192.168.1.254"},
        {"none", "eth0\t0002A8C0\t00000000\t0001\n", false, ""},
        {"a short line ends the search", "eth0\t0002A8C0\neth0\t00000000\t0102A8C0\n", false, ""},
        {"no routes", "", false, ""},
    };
    for (const Case& test : cases)
    {
        SCOPED_TRACE(test.name);
        WriteSystemFile("/proc/net/route", kRouteHeader + test.routes);
        std::uint32_t gateway = 0;
        EXPECT_EQ(Vx::VB05::GetDefaultGateway(gateway), test.found);
        if (test.found)
        {
            EXPECT_STREQ(Vx::VB05::FormatIPv4Address(gateway).GetCString(), test.gateway);
        }
    }
    std::uint32_t gateway = 0;
    std::filesystem::remove(TreePath("/proc/net/route"));
    EXPECT_FALSE(Vx::VB05::GetDefaultGateway(gateway));
}

TEST_F(NetworkTest, AGatewayFieldThatIsNoAddressRaisesTheConversionErrors)
{
    const char* notHex[] = {"0102A8CG", "-1", "0x12", "+12", "12 zz"};
    for (const char* field : notHex)
    {
        SCOPED_TRACE(field);
        WriteSystemFile("/proc/net/route", std::string(kRouteHeader) + "eth0\t00000000\t" + field + "\n");
        std::uint32_t gateway = 0;
        // "12 zz" splits into the fields "12" and "zz": the gateway is 0x12.
        if (std::string(field) == "12 zz")
        {
            EXPECT_TRUE(Vx::VB05::GetDefaultGateway(gateway));
            EXPECT_EQ(gateway, 0x12u);
            continue;
        }
        EXPECT_THROW(Vx::VB05::GetDefaultGateway(gateway), std::invalid_argument);
    }
    WriteSystemFile("/proc/net/route", std::string(kRouteHeader) + "eth0\t00000000\t1FFFFFFFF\n");
    std::uint32_t gateway = 0;
    EXPECT_THROW(Vx::VB05::GetDefaultGateway(gateway), std::out_of_range);
}

TEST_F(NetworkTest, IPv4AddressesComeFromTheSystemsInterfaceList)
{
    Vx::Array<unsigned int> addresses;
    addresses.Add(1);
    ASSERT_TRUE(Vx::VB05::GetIPv4Addresses(String("lo"), addresses));
    ASSERT_GE(addresses.GetCount(), 1u);
    EXPECT_STREQ(Vx::VB05::FormatIPv4Address(addresses[0]).GetCString(), "127.0.0.1");
    EXPECT_EQ(addresses[0], htonl(INADDR_LOOPBACK));

    EXPECT_TRUE(Vx::VB05::GetIPv4Addresses(String("no-such-interface"), addresses));
    EXPECT_EQ(addresses.GetCount(), 0u);
}

TEST_F(NetworkTest, MacAddressesParseInEitherCaseAndFormatInUpperCase)
{
    struct Case
    {
        const char* text;
        bool result;
        Bytes bytes;
        int matched;
    };
    const Case cases[] = {
        {"0a:1B:2c:3D:4e:5F", true, {0x0A, 0x1B, 0x2C, 0x3D, 0x4E, 0x5F}, 6},
        {"0A:1B:2C:3D:4E:5F", true, {0x0A, 0x1B, 0x2C, 0x3D, 0x4E, 0x5F}, 6},
        {"1:2:3:4:5:6", true, {1, 2, 3, 4, 5, 6}, 6},
        {"0A:1B:2C:3D:4E", false, {0x0A, 0x1B, 0x2C, 0x3D, 0x4E, 0}, 5},
        {"zz:11:22:33:44:55", false, {0, 0, 0, 0, 0, 0}, 0},
        {"", false, {0, 0, 0, 0, 0, 0}, -1},
    };
    for (const Case& test : cases)
    {
        SCOPED_TRACE(test.text);
        Vx::Array<unsigned char> bytes = MakeBytes({9, 9});
        VxTest::CaptureStderr capture;
        EXPECT_EQ(Vx::VB05::ParseMACAddress(String(test.text), bytes), test.result);
        const std::string err = capture.Finish();
        EXPECT_EQ(ToBytes(bytes), test.bytes);
        EXPECT_NE(
            err.find("Parsed address string " + std::string(test.text) + ": matched=" + std::to_string(test.matched)),
            std::string::npos)
            << err;
    }
    EXPECT_STREQ(Vx::VB05::FormatMACAddress(MakeBytes({0x0A, 0x1B, 0x2C, 0x3D, 0x4E, 0x5F})).GetCString(),
                 "0A:1B:2C:3D:4E:5F");
    EXPECT_STREQ(Vx::VB05::FormatMACAddress(MakeBytes({})).GetCString(), "");
    EXPECT_STREQ(Vx::VB05::FormatMACAddress(MakeBytes({0xFF})).GetCString(), "FF");

    EXPECT_TRUE(Vx::VB05::IsAllZero(MakeBytes({})));
    EXPECT_TRUE(Vx::VB05::IsAllZero(MakeBytes({0, 0, 0, 0, 0, 0})));
    EXPECT_FALSE(Vx::VB05::IsAllZero(MakeBytes({0, 0, 0, 0, 0, 1})));
    EXPECT_TRUE(Vx::VB05::AreEqual(MakeBytes({}), MakeBytes({})));
    EXPECT_TRUE(Vx::VB05::AreEqual(MakeBytes({1, 2}), MakeBytes({1, 2})));
    EXPECT_FALSE(Vx::VB05::AreEqual(MakeBytes({1, 2}), MakeBytes({1, 2, 0})));
    EXPECT_FALSE(Vx::VB05::AreEqual(MakeBytes({1, 2}), MakeBytes({1, 3})));
}

TEST_F(NetworkTest, MacAddressesAreReadFromTheInterfaceAndTheBootEnvironment)
{
    WriteSystemFile("/sys/class/net/eth0/address", "00:1a:2b:3c:4d:5e\n");
    mTools.SetBootVariable("ethaddr", " 00:1A:2B:3C:4D:5F\r");
    Vx::Array<unsigned char> bytes;
    VxTest::CaptureStderr capture;
    EXPECT_TRUE(Vx::VB05::GetMACAddress(String("eth0"), Vx::VB05::MAC_ADDRESS_SOURCE_INTERFACE, bytes));
    EXPECT_EQ(ToBytes(bytes), (Bytes{0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E}));
    EXPECT_TRUE(Vx::VB05::GetMACAddress(String("eth0"), Vx::VB05::MAC_ADDRESS_SOURCE_BOOT_ENVIRONMENT, bytes));
    EXPECT_EQ(ToBytes(bytes), (Bytes{0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5F}));
    EXPECT_FALSE(Vx::VB05::GetMACAddress(String("eth0"), 2, bytes));
    EXPECT_FALSE(Vx::VB05::GetMACAddress(String("wlan0"), Vx::VB05::MAC_ADDRESS_SOURCE_INTERFACE, bytes));

    // An empty variable, and a tool that reports failure (no such variable).
    mTools.SetBootVariable("ethaddr", "");
    EXPECT_FALSE(Vx::VB05::GetBootEnvironmentMACAddress(bytes));
    mTools.SetAnswer("fw_printenv", "ethaddr=00:1A:2B:3C:4D:5F\n", 1);
    EXPECT_FALSE(Vx::VB05::GetBootEnvironmentMACAddress(bytes));
    mTools.SetAnswer("fw_printenv", "nothing here\n");
    EXPECT_FALSE(Vx::VB05::GetBootEnvironmentMACAddress(bytes));
    capture.Finish();
}

TEST_F(NetworkTest, SettingTheInterfaceAddressRunsTheToolsInOrderAndAlwaysBringsItUp)
{
    const Vx::Array<unsigned char> address = MakeBytes({0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E});
    VxTest::CaptureStderr capture;
    EXPECT_TRUE(Vx::VB05::SetMACAddress(String("wlan0"), Vx::VB05::MAC_ADDRESS_SOURCE_INTERFACE, address));
    EXPECT_EQ(mTools.Calls(), (Calls{{"ifconfig", "eth0", "down"},
                                     {"ifconfig", "eth0", "hw", "ether", "00:1A:2B:3C:4D:5E"},
                                     {"ifconfig", "eth0", "up"}}));

    // A refused address change: the interface still comes back up, the result is false.
    mTools.SetScript("ifconfig", "[ \"$2\" = hw ] && exit 1\nexit 0\n");
    EXPECT_FALSE(Vx::VB05::SetInterfaceMACAddress(address));
    EXPECT_EQ(mTools.Calls().back(), (std::vector<std::string>{"ifconfig", "eth0", "up"}));
    // Taking the interface down failed: no address change, but up again.
    mTools.SetScript("ifconfig", "[ \"$2\" = down ] && exit 1\nexit 0\n");
    const std::size_t before = mTools.Calls().size();
    EXPECT_FALSE(Vx::VB05::SetInterfaceMACAddress(address));
    const Calls calls = mTools.Calls();
    EXPECT_EQ(Calls(calls.begin() + static_cast<std::ptrdiff_t>(before), calls.end()),
              (Calls{{"ifconfig", "eth0", "down"}, {"ifconfig", "eth0", "up"}}));
    capture.Finish();
}

TEST_F(NetworkTest, TheBootEnvironmentAddressIsSetWithItsToolAndNeverEmptied)
{
    VxTest::CaptureStderr capture;
    EXPECT_TRUE(Vx::VB05::SetMACAddress(String("eth0"), Vx::VB05::MAC_ADDRESS_SOURCE_BOOT_ENVIRONMENT,
                                        MakeBytes({0xDE, 0xAD, 0xBE, 0xEF, 0x00, 0x01})));
    EXPECT_EQ(mTools.GetBootVariable("ethaddr"), "DE:AD:BE:EF:00:01");
    // An empty address would delete the variable; a short one is no address.
    EXPECT_FALSE(Vx::VB05::SetBootEnvironmentMACAddress(MakeBytes({})));
    EXPECT_FALSE(Vx::VB05::SetBootEnvironmentMACAddress(MakeBytes({1, 2, 3})));
    EXPECT_FALSE(Vx::VB05::SetInterfaceMACAddress(MakeBytes({})));
    EXPECT_FALSE(Vx::VB05::SetMACAddress(String("eth0"), 5, MakeBytes({1, 2, 3, 4, 5, 6})));
    EXPECT_EQ(mTools.GetBootVariable("ethaddr"), "DE:AD:BE:EF:00:01");
    EXPECT_EQ(mTools.Calls().size(), 1u);
    // The tool reporting failure is a failure.
    mTools.SetAnswer("fw_setenv", "", 1, "Cannot write environment\n");
    EXPECT_FALSE(Vx::VB05::SetBootEnvironmentMACAddress(MakeBytes({1, 2, 3, 4, 5, 6})));
    capture.Finish();
}
} // namespace
