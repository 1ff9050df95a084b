#include "Panel/Engine/VB05Common/Platform/VB05SystemInfo.h"

#include "tests/Panel/Engine/VB05Common/Platform/PlatformTestSupport.h"
#include "tests/support/CaptureStderr.h"

#include <cstdlib>
#include <fstream>
#include <string>
#include <sys/utsname.h>

namespace
{
using String = Vx::StringT<char, unsigned short>;

class SystemInfoTest : public VxTest::PlatformTest
{
protected:
    // A standard device descriptor with these ids and release number.
    static std::string Descriptor(std::uint16_t vendor, std::uint16_t product, std::uint16_t release)
    {
        std::string bytes(18, '\0');
        bytes[0] = 18;
        bytes[1] = 1;
        const auto put = [&](std::size_t at, std::uint16_t word) {
            bytes[at] = static_cast<char>(word & 0xFF);
            bytes[at + 1] = static_cast<char>(word >> 8);
        };
        put(8, vendor);
        put(10, product);
        put(12, release);
        return bytes;
    }

    static String Run(bool (*getter)(String&), bool expected)
    {
        String text("stale");
        VxTest::CaptureStderr capture;
        EXPECT_EQ(getter(text), expected);
        capture.Finish();
        return text;
    }
};

TEST_F(SystemInfoTest, ScriptOutputIsTrimmedAndOnlyAShellFailureIsUnknown)
{
    struct Case
    {
        const char* script;
        bool result;
        const char* text;
    };
    const Case cases[] = {
        {"\n\t\t#!/bin/sh\n\t\techo ' \tr1p0 '\n\t\t", true, "r1p0"},
        {"echo partial; exit 3", true, "partial"},
        {"echo", true, ""},
        {"no-such-command-here", false, "UNKNOWN"},
        {"echo before; no-such-command-here", false, "UNKNOWN"},
    };
    for (const Case& test : cases)
    {
        SCOPED_TRACE(test.script);
        String text("stale");
        VxTest::CaptureStderr capture;
        EXPECT_EQ(Vx::VB05::GetScriptOutput(String(test.script), text), test.result);
        capture.Finish();
        EXPECT_STREQ(text.GetCString(), test.text);
    }
}

TEST_F(SystemInfoTest, TheScriptsAnswerOnABoardWithoutTheirDevices)
{
    utsname names{};
    ASSERT_EQ(::uname(&names), 0);
    EXPECT_STREQ(Run(Vx::VB05::GetKernelVersion, true).GetCString(), names.release);
    // No SDIO function: the ID stays empty.
    EXPECT_STREQ(Run(Vx::VB05::GetWiFiBluetoothModule, true).GetCString(), "AP6255 or AP6256");
    // cat of a missing file fails, but the shell ran: an empty answer.
    EXPECT_STREQ(Run(Vx::VB05::GetSoCVariant, true).GetCString(), "");
    EXPECT_STREQ(Run(Vx::VB05::GetTouchPanelFirmwareVersion, true).GetCString(), "");
    EXPECT_STREQ(Run(Vx::VB05::GetBoardHardwareRevision, true).GetCString(), "");
    EXPECT_STREQ(Run(Vx::VB05::GetTouchPanelName, false).GetCString(), "UNKNOWN (touch panel chip )");
    if (!std::ifstream("/tmp/com.quiltek.zyq.version") && !std::ifstream("/var/tmp/com.quiltek.zyq.version") &&
        !std::ifstream("/tmp/com.quiltek.zyq.vcs-version") && !std::ifstream("/var/tmp/com.quiltek.zyq.vcs-version"))
    {
        EXPECT_STREQ(Run(Vx::VB05::GetSoftwareVersion, true).GetCString(), "");
    }
}

TEST_F(SystemInfoTest, TheModuleAndTouchPanelAreNamedFromWhatTheSystemSays)
{
    // The system's files as a stand-in cat and dmesg give them.
    const std::string bin = mTools.GetScratchDirectory() + "/bin";
    std::filesystem::create_directories(bin);
    {
        std::ofstream cat(bin + "/cat");
        cat << "#!/bin/sh\ncase \"$1\" in\n"
               "  */mmc*) echo 0xa9bf ;;\n"
               "  */4-0041/name) cat \"$TOUCH_CHIP_FILE\" ;;\n"
               "  *) exec /bin/cat \"$@\" ;;\nesac\n";
    }
    std::filesystem::permissions(bin + "/cat", std::filesystem::perms::owner_all);
    const std::string chipFile = mTools.GetScratchDirectory() + "/chip";
    const std::string path = bin + ":" + std::getenv("PATH");
    ::setenv("PATH", path.c_str(), 1);
    ::setenv("TOUCH_CHIP_FILE", chipFile.c_str(), 1);

    mTools.SetAnswer("dmesg", "[ 3.1] usbcore: registered\n[ 4.2] brcmfmac: brcmfmac43456-sdio for chip\n");
    EXPECT_STREQ(Run(Vx::VB05::GetWiFiBluetoothModule, true).GetCString(), "AP6256");
    mTools.SetAnswer("dmesg", "[ 4.2] nothing about the chip\n");
    EXPECT_STREQ(Run(Vx::VB05::GetWiFiBluetoothModule, true).GetCString(), "AP6255 or AP6256");

    struct Case
    {
        const char* chip;
        bool result;
        const char* panel;
    };
    for (const Case& test : {Case{"ili2116\n", true, "#UMO-9135MD-1T"}, Case{"ili2117", true, "#UMOH9344MD-T"},
                             Case{"gt911\n", false, "UNKNOWN (touch panel chip gt911)"}})
    {
        SCOPED_TRACE(test.chip);
        std::ofstream(chipFile) << test.chip;
        EXPECT_STREQ(Run(Vx::VB05::GetTouchPanelName, test.result).GetCString(), test.panel);
    }
    ::unsetenv("TOUCH_CHIP_FILE");
}

TEST_F(SystemInfoTest, UsbReleaseNumbersComeFromTheFirstMatchingNodeInBusOrder)
{
    WriteSystemFile("/dev/bus/usb/001/001", Descriptor(0x1d6b, 0x0002, 0x0510));
    // Matching ids, but fewer bytes than a descriptor: never a match.
    WriteSystemFile("/dev/bus/usb/001/002", Descriptor(0x0424, 0x2744, 0x0999).substr(0, 13));
    WriteSystemFile("/dev/bus/usb/001/.hidden", Descriptor(0x0424, 0x2744, 0x0888));
    MakeSystemDirectory("/dev/bus/usb/001/folder");
    WriteSystemFile("/dev/bus/usb/003/004", Descriptor(0x0424, 0x2744, 0x0777));
    WriteSystemFile("/dev/bus/usb/002/003", Descriptor(0x0424, 0x2744, 0x0123));
    WriteSystemFile("/dev/bus/usb/002/005", Descriptor(0x2a39, 0x0001, 0x1A2B));

    struct Case
    {
        std::uint16_t vendor, product;
        std::int32_t format;
        bool result;
        const char* text;
    };
    const Case cases[] = {
        {0x0424, 0x2744, 0, true, "01.23 (0123)"},   {0x0424, 0x2744, 1, true, "0.1.2.3 (0123)"},
        {0x2a39, 0x0001, 0, true, "110.211 (1A2B)"}, {0x1d6b, 0x0002, 1, true, "0.5.1.0 (0510)"},
        {0x0424, 0x2744, 2, true, "UNKNOWN"},        {0x0424, 0x9999, 0, false, "UNKNOWN"},
    };
    for (const Case& test : cases)
    {
        SCOPED_TRACE(test.text);
        String text("stale");
        EXPECT_EQ(Vx::VB05::FindUSBDeviceVersion(test.vendor, test.product, test.format, text), test.result);
        EXPECT_STREQ(text.GetCString(), test.text);
    }
    String text;
    EXPECT_TRUE(Vx::VB05::GetUSBDeviceVersion(0x2a39, 0x0001, text));
    EXPECT_STREQ(text.GetCString(), "110.211 (1A2B)");

    EXPECT_EQ(Vx::VB05::ListUSBDeviceNodes(String("/dev/bus/usb/001")).GetCount(), 2u);
    EXPECT_EQ(Vx::VB05::ListUSBDeviceNodes(String("/dev/bus/usb/009")).GetCount(), 0u);
}
} // namespace
