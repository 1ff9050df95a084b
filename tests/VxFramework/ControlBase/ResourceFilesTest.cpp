// Resource directories read whole, as the application reads them: the result
// of the load, the number of assertions it logged and everything it read,
// compared with a golden text beside each fixture.  Each fixture's files say
// in comments which rules they exercise.
//
// To write the golden texts again after a deliberate change, run the test with
// VX_UPDATE_GOLDEN=1 and review the difference.

#include "VxFramework/ControlBase/ControlFactory.h"
#include "tests/support/CaptureStderr.h"
#include "tests/support/ResourceDump.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace
{
struct Fixture
{
    const char* name;
    std::int32_t lcid;
};

std::string Load(const std::string& directory, std::int32_t lcid)
{
    const Vx::RCPtr<Vx::LControlFactory> factory(new Vx::LControlFactory(""));
    std::string head;
    VxTest::CaptureStderr capture;
    try
    {
        const Vx::VxRESULT result = factory->LoadResources(directory.c_str(), lcid);
        char text[32];
        std::snprintf(text, sizeof text, "result 0x%08x\n", static_cast<unsigned>(result));
        head = text;
    }
    catch (const std::exception& e)
    {
        head = std::string("exception ") + e.what() + "\n";
    }
    const std::string log = capture.Finish();
    int assertions = 0;
    for (std::size_t at = log.find("JUCE Assertion failure in "); at != std::string::npos;
         at = log.find("JUCE Assertion failure in ", at + 1))
        ++assertions;
    return head + "assertions " + std::to_string(assertions) + "\n" +
           VxTest::DumpResources(factory->GetResources(), directory);
}

class ResourceFiles : public testing::TestWithParam<Fixture>
{
};

TEST_P(ResourceFiles, ReadAsTheGoldenTextSays)
{
    const std::string directory = std::string(VX_SKIN_FIXTURES) + "/" + GetParam().name;
    const std::string golden = directory + "/expected.txt";
    const std::string actual = Load(directory, GetParam().lcid);
    const char* update = std::getenv("VX_UPDATE_GOLDEN");
    if (update != nullptr && std::string(update) == "1")
    {
        std::ofstream(golden, std::ios::binary) << actual;
        return;
    }
    std::ifstream in(golden, std::ios::binary);
    ASSERT_TRUE(in) << golden;
    std::stringstream expected;
    expected << in.rdbuf();
    EXPECT_EQ(expected.str(), actual) << "golden text " << golden;
}

INSTANTIATE_TEST_SUITE_P(Fixtures, ResourceFiles,
                         testing::Values(
                             // Texts, entities, repeated strings and tables.
                             Fixture{"strings", 9},
                             // 0x0407 falls back to its primary language 7;
                             // the framework file has only 9.
                             Fixture{"locale-primary", 0x0407},
                             // 0x0C04 falls back to 0x7C04, which the font
                             // translations then compare against.
                             Fixture{"locale-chinese", 0x0C04},
                             // Nothing for 9 anywhere: three parses of the
                             // application file, two of the framework file.
                             Fixture{"locale-none", 9},
                             // Every skin element and attribute.
                             Fixture{"skin", 9},
                             // Elements out of place, missing attributes.
                             Fixture{"skin-errors", 9},
                             // A SubControl without Class ends the skin load.
                             Fixture{"bad-subcontrol", 9},
                             // Malformed XML: the skins fail, the strings keep
                             // what was read before the error.
                             Fixture{"malformed", 9},
                             // Zero-length files.
                             Fixture{"empty", 9},
                             // A document type with an internal subset.
                             Fixture{"internal-subset", 9}),
                         [](const testing::TestParamInfo<Fixture>& info) {
                             std::string name = info.param.name;
                             for (char& c : name)
                                 if (c == '-')
                                     c = '_';
                             return name;
                         });
} // namespace
