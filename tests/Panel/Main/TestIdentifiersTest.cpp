#include "Panel/Main/TestIdentifiers.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace
{
struct Row
{
    std::int32_t result;
    std::int32_t log;
    std::string id;
    std::string label;

    bool operator==(const Row& other) const
    {
        return result == other.result && log == other.log && id == other.id && label == other.label;
    }
};

std::ostream& operator<<(std::ostream& out, const Row& row)
{
    return out << "{" << row.result << ", " << row.log << ", " << row.id << ", " << row.label << "}";
}

using Groups = std::vector<std::vector<Row>>;

Groups Read(const Vx::TestSequence& sequence)
{
    Groups groups;
    for (std::uint32_t g = 0; g < sequence.count; ++g)
    {
        groups.emplace_back();
        const Vx::TestGroup& group = sequence.groups[g];
        for (std::uint32_t i = 0; i < group.count; ++i)
        {
            const Vx::TestBinding& binding = group.bindings[i];
            EXPECT_TRUE(binding.buttonName.IsEmpty()) << binding.testId.GetCString();
            groups.back().push_back(Row{binding.resultParameterOffset, binding.logParameterOffset,
                                        binding.testId.GetCString(), binding.statusLabelName.GetCString()});
        }
    }
    return groups;
}

const struct Page
{
    const char* name;
    const Vx::TestSequence& (*sequence)();
    std::uint32_t parameters;
    Groups groups;
} kPages[] = {
    {"memory",
     &Vx::GetMemoryTestSequence,
     5,
     {{{1, 3, "TID_RAM", "ramMultiTestLabel"}}, {{2, 4, "TID_MEDIA_EMMC", "eMMCMultiTestLabel"}}}},
    {"media",
     &Vx::GetMediaTestSequence,
     11,
     {{{1, 5, "TID_MEDIA_USB_FRONT_1", "frontUSBPort1TestStatusLabel"},
       {2, 6, "TID_MEDIA_USB_BACK_2", "backUSBPort1TestStatusLabel"},
       {3, 7, "TID_MEDIA_USB_BACK_3", "backUSBPort2TestStatusLabel"},
       {9, 10, "TID_MEDIA_SATA", "sataTestStatusLabel"},
       {4, 8, "TID_MEDIA_EXTERNAL_SD", "externalSDDriveTestStatusLabel"}}}},
    {"motor",
     &Vx::GetMotorTestSequence,
     9,
     {{{1, 5, "TID_MOTOR_FORWARD_33_RPM", "motorForward33RpmTestStatusLabel"}},
      {{2, 6, "TID_MOTOR_FORWARD_45_RPM", "motorForward45RpmTestStatusLabel"}},
      {{3, 7, "TID_MOTOR_BACKWARD_33_RPM", "motorBackward33RpmTestStatusLabel"}},
      {{4, 8, "TID_MOTOR_BACKWARD_45_RPM", "motorBackward45RpmTestStatusLabel"}}}},
    {"fan", &Vx::GetFanTestSequence, 3, {{{1, 2, "TID_FAN_FULL_SPEED", "fullSpeedTestStatusLabel"}}}},
    {"I/O",
     &Vx::GetIOTestSequence,
     9,
     {{{3, 7, "TID_IO_ETHERNET", "ethernetTestStatusLabel"},
       {1, 5, "TID_IO_BLUETOOTH", "bluetoothTestStatusLabel"},
       {4, 8, "TID_IO_USBB", "usbBTestStatusLabel"}},
      {{2, 6, "TID_IO_WIFI", "wifiTestStatusLabel"}}}},
};

TEST(TestIdentifiers, EighteenDistinctIdsInRegistrationOrder)
{
    const std::vector<std::string> expected = {"TID_DUMMY",
                                               "TID_RAM",
                                               "TID_MEDIA_EMMC",
                                               "TID_MEDIA_USB_FRONT_1",
                                               "TID_MEDIA_USB_BACK_2",
                                               "TID_MEDIA_USB_BACK_3",
                                               "TID_MEDIA_SATA",
                                               "TID_MEDIA_EXTERNAL_SD",
                                               "TID_IO_ETHERNET",
                                               "TID_IO_WIFI",
                                               "TID_IO_BLUETOOTH",
                                               "TID_IO_USBB",
                                               "TID_MIDI_LOOPBACK",
                                               "TID_MOTOR_FORWARD_33_RPM",
                                               "TID_MOTOR_FORWARD_45_RPM",
                                               "TID_MOTOR_BACKWARD_33_RPM",
                                               "TID_MOTOR_BACKWARD_45_RPM",
                                               "TID_FAN_FULL_SPEED"};
    const std::vector<std::string> ids(std::begin(Vx::kTestIds), std::end(Vx::kTestIds));
    EXPECT_EQ(ids, expected);
}

TEST(TestIdentifiers, BindingTablesOfTheFivePages)
{
    std::set<std::string> bound;
    for (const Page& page : kPages)
    {
        SCOPED_TRACE(page.name);
        const Vx::TestSequence& sequence = page.sequence();
        EXPECT_EQ(&sequence, &page.sequence()) << "one table for the process";
        const Groups groups = Read(sequence);
        EXPECT_EQ(groups, page.groups);
        EXPECT_EQ(sequence.parameterCount, page.parameters);

        // Offset 0 is the page's result; every test has a result and a log
        // parameter of its own among the others.
        std::size_t tests = 0;
        std::set<std::int32_t> offsets;
        for (const auto& group : groups)
        {
            for (const Row& row : group)
            {
                ++tests;
                offsets.insert(row.result);
                offsets.insert(row.log);
                EXPECT_TRUE(bound.insert(row.id).second) << row.id << " on two pages";
            }
        }
        EXPECT_EQ(sequence.parameterCount, 1 + 2 * tests);
        EXPECT_EQ(offsets.size(), 2 * tests);
        EXPECT_EQ(*offsets.begin(), 1);
        EXPECT_EQ(*offsets.rbegin(), static_cast<std::int32_t>(2 * tests));
    }
    // Every other id is bound by a page; the dummy and the MIDI loopback by none.
    std::set<std::string> unbound;
    for (const char* id : Vx::kTestIds)
    {
        if (bound.count(id) == 0)
            unbound.insert(id);
    }
    EXPECT_EQ(unbound, (std::set<std::string>{"TID_DUMMY", "TID_MIDI_LOOPBACK"}));
}

// A finished test's status: passed, inconclusive, or failed (aborted too).
TEST(TestIdentifiers, StatusOfAFinishedTest)
{
    const struct
    {
        std::int32_t engineResult;
        std::int8_t status;
    } cases[] = {{0, Vx::kTestStatusPassed},       {1, Vx::kTestStatusFailed}, {2, Vx::kTestStatusFailed},
                 {3, Vx::kTestStatusInconclusive}, {4, Vx::kTestStatusFailed}, {-1, Vx::kTestStatusFailed}};
    for (const auto& c : cases)
        EXPECT_EQ(Vx::GetTestStatusForEngineResult(c.engineResult), c.status) << c.engineResult;
    EXPECT_EQ(Vx::kTestStatusUntested, 0);
    EXPECT_EQ(Vx::kTestStatusPassed, 2);
    EXPECT_EQ(Vx::kTestStatusTesting, 3);
    EXPECT_EQ(Vx::kTestStatusInconclusive, 4);
}
} // namespace
