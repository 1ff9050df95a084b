#include "Panel/Engine/VB05Common/Platform/VB05Device.h"

#include "tests/Panel/Engine/VB05Common/Platform/PlatformTestSupport.h"
#include "tests/support/CaptureStderr.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace
{
namespace fs = std::filesystem;
using String = Vx::StringT<char, unsigned short>;
using namespace std::string_literals;
using Vx::VB05::DeviceModel;
using Vx::VB05::PCBRevision;

class DeviceIdentityTest : public VxTest::PlatformTest
{
protected:
    static constexpr char kCompatible[] = "/sys/firmware/devicetree/base/compatible";
    static constexpr char kRevision[] = "/sys/firmware/devicetree/base/korvatek,vb05-pcb-rev";

    // Device-tree strings end in a NUL each; none: no property.
    void SetProperty(const char* path, const std::optional<std::string>& value)
    {
        fs::remove(TreePath(path));
        if (value.has_value())
            WriteSystemFile(path, *value + '\0');
    }
};

TEST_F(DeviceIdentityTest, TheModelIsTheFirstTableStringTheFirstCompatibleEntryBeginsWith)
{
    struct Case
    {
        std::optional<std::string> compatible;
        DeviceModel model;
        const char* name;
    };
    const Case cases[] = {
        {"korvatek,ks52"s, Vx::VB05::DEVICE_MODEL_KS52, "KS52"},
        {"korvatek,ks56"s, Vx::VB05::DEVICE_MODEL_KS56, "KS56"},
        {"korvatek,ks5e"s, Vx::VB05::DEVICE_MODEL_KS5E, "KS5E"},
        {"korvatek,ks5m"s, Vx::VB05::DEVICE_MODEL_KS5M, "KS5M"},
        {"korvatek,wd83"s, Vx::VB05::DEVICE_MODEL_WD83, "WD83"},
        {"korvatek,tl40"s, Vx::VB05::DEVICE_MODEL_TL40, "TL40"},
        {"korvatek,tl45"s, Vx::VB05::DEVICE_MODEL_TL45, "TL45"},
        {"korvatek,rn12"s, Vx::VB05::DEVICE_MODEL_RN12, "RN12"},
        {"korvatek,rn15"s, Vx::VB05::DEVICE_MODEL_RN15, "RN15"},
        {"korvatek,rn19"s, Vx::VB05::DEVICE_MODEL_RN19, "RN19"},
        {"korvatek,rn22"s, Vx::VB05::DEVICE_MODEL_RN22, "RN22"},
        {"korvatek,fe66"s, Vx::VB05::DEVICE_MODEL_FE66, "FE66"},
        {"korvatek,ormo"s, Vx::VB05::DEVICE_MODEL_FE66, "FE66"},
        {"korvatek,gu72"s, Vx::VB05::DEVICE_MODEL_GU72, "GU72"},
        {"korvatek,gu74"s, Vx::VB05::DEVICE_MODEL_GU74, "GU74"},
        // The first entry decides, and it may extend a table string.
        {"korvatek,ks52-evb\0korvatek,gu74"s, Vx::VB05::DEVICE_MODEL_KS52, "KS52"},
        {"vendor,board\0korvatek,ks52"s, Vx::VB05::DEVICE_MODEL_UNKNOWN, "UNKNOWN"},
        {"korvatek,rn1"s, Vx::VB05::DEVICE_MODEL_UNKNOWN, "UNKNOWN"},
        {""s, Vx::VB05::DEVICE_MODEL_UNKNOWN, "UNKNOWN"},
        {std::nullopt, Vx::VB05::DEVICE_MODEL_UNKNOWN, "UNKNOWN"},
    };
    for (const Case& test : cases)
    {
        SCOPED_TRACE(test.compatible.value_or("(no property)"));
        SetProperty(kCompatible, test.compatible);
        const DeviceModel model = Vx::VB05::GetDeviceModel();
        EXPECT_EQ(model, test.model);
        EXPECT_STREQ(Vx::VB05::GetDeviceModelName(model).GetCString(), test.name);
    }
}

TEST_F(DeviceIdentityTest, AModelOutsideTheTableIsNamedUnknownWithAnAssertion)
{
    for (const std::int32_t value : {15, -1})
    {
        VxTest::CaptureStderr capture;
        EXPECT_STREQ(Vx::VB05::GetDeviceModelName(static_cast<DeviceModel>(value)).GetCString(), "UNKNOWN");
        const std::string err = capture.Finish();
        EXPECT_NE(err.find("JUCE Assertion failure in VB05Device.cpp:"), std::string::npos) << err;
    }
}

TEST_F(DeviceIdentityTest, TheRevisionLetterIsComparedWhole)
{
    struct Case
    {
        std::optional<std::string> letter;
        PCBRevision revision;
        const char* name;
    };
    const Case cases[] = {
        {"B"s, Vx::VB05::PCB_REVISION_B, "B"},
        {"C"s, Vx::VB05::PCB_REVISION_C, "C"},
        {"D"s, Vx::VB05::PCB_REVISION_D, "D/E/G"},
        {"F"s, Vx::VB05::PCB_REVISION_F, "F"},
        {"H"s, Vx::VB05::PCB_REVISION_H, "H"},
        // "D/E/G" names revision 2, yet E and G read as later boards.
        {"E"s, Vx::VB05::PCB_REVISION_ABOVE_H, ">H"},
        {"G"s, Vx::VB05::PCB_REVISION_ABOVE_H, ">H"},
        {"CD"s, Vx::VB05::PCB_REVISION_ABOVE_H, ">H"},
        {"c"s, Vx::VB05::PCB_REVISION_ABOVE_H, ">H"},
        {""s, Vx::VB05::PCB_REVISION_ABOVE_H, ">H"},
        {std::nullopt, Vx::VB05::PCB_REVISION_ABOVE_H, ">H"},
    };
    for (const Case& test : cases)
    {
        SCOPED_TRACE(test.letter.value_or("(no property)"));
        SetProperty(kRevision, test.letter);
        const PCBRevision revision = Vx::VB05::GetPCBRevision();
        EXPECT_EQ(revision, test.revision);
        EXPECT_STREQ(Vx::VB05::GetPCBRevisionName(revision).GetCString(), test.name);
    }
    EXPECT_STREQ(Vx::VB05::GetPCBRevisionName(static_cast<PCBRevision>(6)).GetCString(), ">H");
    EXPECT_STREQ(Vx::VB05::GetPCBRevisionName(static_cast<PCBRevision>(-1)).GetCString(), ">H");
}

//==============================================================================
using SerialNumberTest = DeviceIdentityTest;
using Calls = std::vector<std::vector<std::string>>;

TEST_F(SerialNumberTest, TheNumberIsReadFromTheBootLoadersToolAndTrimmed)
{
    mTools.SetBootVariable("serial#", " \tKS52-000123 \r");
    String serial("stale");
    VxTest::CaptureStderr capture;
    EXPECT_TRUE(Vx::VB05::GetSerialNumber(serial));
    capture.Finish();
    EXPECT_STREQ(serial.GetCString(), "KS52-000123");
    EXPECT_EQ(mTools.Calls(), (Calls{{"fw_printenv", "serial#"}}));
}

TEST_F(SerialNumberTest, EveryFailureOfTheToolIsAFailure)
{
    struct Case
    {
        const char* name;
        const char* output;
        int status;
    };
    const Case cases[] = {
        {"the variable is not set", nullptr, 0},
        {"exit code 1 with the key", "serial#=KS52-1\n", 1},
        {"no such command", "", 127},
        {"another key only", "ethaddr=00:11:22:33:44:55\n", 0},
        {"nothing at all", "", 0},
    };
    for (const Case& test : cases)
    {
        SCOPED_TRACE(test.name);
        if (test.output != nullptr)
            mTools.SetAnswer("fw_printenv", test.output, test.status);
        String serial("stale");
        VxTest::CaptureStderr capture;
        EXPECT_FALSE(Vx::VB05::GetSerialNumber(serial));
        capture.Finish();
        EXPECT_STREQ(serial.GetCString(), "");
    }
}

TEST_F(SerialNumberTest, ASerialNumberReachesTheToolAsOneLiteralArgument)
{
    const std::string marker = mTools.GetScratchDirectory() + "/X";
    for (const std::string& value :
         {"KS52-000124"s, "A1'; touch " + marker + "; '"s, "$(touch " + marker + ")"s, "a \"quoted\" `value` #1"s})
    {
        SCOPED_TRACE(value);
        const std::size_t callsBefore = mTools.Calls().size();
        VxTest::CaptureStderr capture;
        EXPECT_TRUE(Vx::VB05::SetSerialNumber(String(value.c_str())));
        String serial;
        EXPECT_TRUE(Vx::VB05::GetSerialNumber(serial));
        capture.Finish();

        EXPECT_EQ(mTools.GetBootVariable("serial#"), value);
        EXPECT_EQ(serial.GetCString(), value);
        const Calls calls = mTools.Calls();
        ASSERT_EQ(calls.size(), callsBefore + 2);
        EXPECT_EQ(calls[callsBefore], (std::vector<std::string>{"fw_setenv", "serial#", value}));
        EXPECT_FALSE(fs::exists(marker));
    }
}

TEST_F(SerialNumberTest, ANumberTheToolCannotKeepIsRefusedAndAToolFailureIsAFailure)
{
    mTools.SetBootVariable("serial#", "KS52-000125");
    for (const char* value : {"", "KS52\n-1", "KS52\x7f"})
    {
        SCOPED_TRACE(value);
        VxTest::CaptureStderr capture;
        EXPECT_FALSE(Vx::VB05::SetSerialNumber(String(value)));
        capture.Finish();
    }
    EXPECT_TRUE(mTools.Calls().empty());
    EXPECT_EQ(mTools.GetBootVariable("serial#"), "KS52-000125");

    mTools.SetAnswer("fw_setenv", "", 1, "Cannot write the environment\n");
    VxTest::CaptureStderr capture;
    EXPECT_FALSE(Vx::VB05::SetSerialNumber(String("KS52-000126")));
    capture.Finish();
    EXPECT_EQ(mTools.Calls(), (Calls{{"fw_setenv", "serial#", "KS52-000126"}}));
}
} // namespace
