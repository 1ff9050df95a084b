// The resource reader on its own: the value syntaxes of the attributes, the
// parse of a buffer (its bounds, refused documents, handlers that throw), the
// element handlers called directly, and the file reader's refusals.

#include "VxFramework/ControlBase/ResourceReader.h"

#include "tests/support/CaptureStderr.h"
#include "tests/support/ChildProcess.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace
{
using Vx::ResourceReader;
using Text = Vx::StringT<char, unsigned short>;
namespace Syntax = Vx::ResourceSyntax;

constexpr Vx::VxRESULT kFail = static_cast<Vx::VxRESULT>(0x80000008u);

int CountAssertions(const std::string& log)
{
    int count = 0;
    for (std::size_t at = log.find("JUCE Assertion failure in "); at != std::string::npos;
         at = log.find("JUCE Assertion failure in ", at + 1))
        ++count;
    return count;
}

TEST(ResourceSyntax, NumbersAreFourHexDigitsOrADecimal)
{
    const struct
    {
        const char* text;
        std::int32_t number;
        std::int32_t decimal;
    } cases[] = {
        {"0x0409", 1033, 0},
        {"0x00091", 9, 0}, // four digits at most
        {"0x12345", 0x1234, 0},
        {"0xffFF", 65535, 0},
        {"0x1g", 1, 0},
        {"0x", 0, 0},
        {"0X10", 0, 0}, // only a lower-case x marks hexadecimal
        {" 0x10", 0, 0},
        {"12abc", 12, 12},
        {"abc", 0, 0},
        {"", 0, 0},
        {" \t\n-7", -7, -7},
        {"+5", 5, 5},
        {"- 5", 0, 0},
        {"007", 7, 7},
        {"2147483647", INT32_MAX, INT32_MAX},
        {"2147483648", INT32_MAX, INT32_MAX},
        {"99999999999999999999", INT32_MAX, INT32_MAX},
        {"-2147483648", INT32_MIN, INT32_MIN},
        {"-2147483649", INT32_MIN, INT32_MIN},
    };
    for (const auto& c : cases)
    {
        EXPECT_EQ(c.number, Syntax::ReadNumber(c.text)) << '"' << c.text << '"';
        EXPECT_EQ(c.decimal, Syntax::ReadDecimal(c.text)) << '"' << c.text << '"';
    }
    EXPECT_EQ(0, Syntax::ReadNumber(nullptr));
    EXPECT_EQ(0, Syntax::ReadDecimal(nullptr));
}

TEST(ResourceSyntax, FlagsAreExactlyTrue)
{
    EXPECT_TRUE(Syntax::ReadFlag("True"));
    for (const char* text : {"true", "TRUE", "1", "True ", " True", "Yes", ""})
        EXPECT_FALSE(Syntax::ReadFlag(text)) << '"' << text << '"';
    EXPECT_FALSE(Syntax::ReadFlag(nullptr));
}

// strtod's value, bit for bit (NaN as any NaN).
void ExpectAsStrtod(const char* text)
{
    const double expected = std::strtod(text, nullptr);
    const double actual = Syntax::ReadReal(text);
    if (std::isnan(expected))
        EXPECT_TRUE(std::isnan(actual)) << '"' << text << '"';
    else
        EXPECT_EQ(0, std::memcmp(&expected, &actual, sizeof expected))
            << '"' << text << "\": " << actual << " instead of " << expected;
}

TEST(ResourceSyntax, RealsReadAsAtofDoes)
{
    for (const char* text : {"0.5",
                             "1e-1",
                             ".25",
                             "abc",
                             "",
                             "-12.75",
                             "1.",
                             "  3.14159",
                             "0.1",
                             "-0",
                             "-0.0",
                             "5,5",
                             "+.5",
                             ".",
                             "-.",
                             "123456789012345",
                             "1234567890123456",
                             "0.30000000000000004",
                             "1.0000000000000000000000001",
                             "1e400",
                             "-1e400",
                             "1e-400",
                             "0x1p3",
                             "0x10",
                             "inf",
                             "-Infinity",
                             "nan",
                             "1.5e3",
                             "2E2",
                             "12abc",
                             "9007199254740993",
                             "0.0000000000000000000001",
                             "0.00000000000000000000001"})
        ExpectAsStrtod(text);
}

// The quick path for plain decimals must give strtod's rounding for every
// digit count it takes.
TEST(ResourceSyntax, PlainDecimalsRoundAsStrtodDoes)
{
    std::mt19937 random(20240611u);
    for (int i = 0; i < 200000; ++i)
    {
        std::string text = (random() & 1) ? "-" : "";
        const int whole = static_cast<int>(random() % 9);
        const int fraction = static_cast<int>(random() % 16);
        for (int k = 0; k < whole; ++k)
            text += static_cast<char>('0' + random() % 10);
        if (fraction > 0 || whole == 0)
            text += '.';
        for (int k = 0; k < fraction; ++k)
            text += static_cast<char>('0' + random() % 10);
        ExpectAsStrtod(text.c_str());
        if (HasFailure())
            return;
    }
}

TEST(ResourceSyntax, RealsIgnoreTheProcessLocale)
{
    // A locale with a decimal comma, where the system has one; the reader
    // must still read a point.
    const VxTest::ChildResult result = VxTest::RunInChild([] {
        if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") == nullptr && std::setlocale(LC_NUMERIC, "C.UTF-8") == nullptr)
            return 0;
        return Syntax::ReadReal("1234567890123456.5") == 1234567890123456.5 && Syntax::ReadReal("0.5e1") == 5.0 ? 0 : 1;
    });
    EXPECT_FALSE(result.timedOut);
    EXPECT_EQ(0, result.status);
}

// A reader already in skin mode, its root element consumed.
void StartSkins(ResourceReader& reader)
{
    ASSERT_EQ(0, reader.ReadSkins(std::string_view("<Resources/>")));
}

TEST(ResourceReader, ParsesOnlyTheBytesItIsGiven)
{
    ResourceReader reader;
    StartSkins(reader);
    // A buffer without a terminating zero: nothing past its length is read.
    const std::string text = "<r><Colorizer Name=\"A\" ColorType=\"Solid\" Color=\"FF\"/></r>";
    std::vector<char> exact(text.begin(), text.end());
    EXPECT_EQ(0, reader.ParseResource(exact.data(), exact.size()));
    EXPECT_EQ(1u, reader.GetModel().colorizers.count("A"));
    // Only the first document of a longer text.
    EXPECT_EQ(0, reader.ParseResource("<r/>trailing garbage", 4));
    // A length of 0 reads up to the terminating zero.
    EXPECT_EQ(0, reader.ParseResource("<r/>", 0));
    EXPECT_EQ(kFail, reader.ParseResource("<r>", 0));
    // Nothing to read is an empty document: an XML error.
    VxTest::CaptureStderr capture;
    EXPECT_EQ(kFail, reader.ParseResource(nullptr, 0));
    EXPECT_EQ(kFail, reader.ParseResource("", 0));
    EXPECT_EQ(kFail, reader.ParseResource("\0<r/>", 5));
    EXPECT_NE(std::string::npos, capture.Finish().find("no element found"));
}

TEST(ResourceReader, SkipsTheRootsStartButNotItsEnd)
{
    ResourceReader reader;
    VxTest::CaptureStderr capture;
    // A root Looks does not open the looks: the Look is a reference, and no
    // look list is open.
    EXPECT_EQ(0, reader.ReadSkins(std::string_view("<Looks Name=\"ignored\"><Look Name=\"x\"/></Looks>")));
    EXPECT_TRUE(reader.GetModel().looks.empty());
    EXPECT_EQ(0, CountAssertions(capture.Finish()));
    // A root CreateParamList still ends like one: with no control to take the
    // parameters, an assertion.
    VxTest::CaptureStderr again;
    EXPECT_EQ(0, reader.ReadSkins(std::string_view("<CreateParamList/>")));
    EXPECT_EQ(1, CountAssertions(again.Finish()));
}

TEST(ResourceReader, RefusesDocumentTypesWithAnInternalSubset)
{
    ResourceReader reader;
    StartSkins(reader);
    VxTest::CaptureStderr capture;
    EXPECT_EQ(kFail, reader.ParseResource("<!DOCTYPE r [<!ENTITY e \"x\">]><r>&e;</r>", 0));
    EXPECT_EQ(kFail, reader.ParseResource("<!DOCTYPE r [<!ATTLIST Colorizer Color CDATA \"FF\">]><r/>", 0));
    EXPECT_NE(std::string::npos, capture.Finish().find("internal subset not allowed"));
    // A document type without one is read.
    EXPECT_EQ(0, reader.ParseResource("<!DOCTYPE r SYSTEM \"r.dtd\"><r/>", 0));
}

TEST(ResourceReader, AHandlerThatThrowsFailsTheParse)
{
    ResourceReader reader;
    VxTest::CaptureStderr capture;
    EXPECT_EQ(kFail, reader.ReadSkins(std::string_view(
                         "<r><Skin Name=\"S\"><SubControl Name=\"x\"/><SubControl Class=\"C\" Name=\"y\" "
                         "ClipToParent=\"True\"/></Skin></r>")));
    const std::string log = capture.Finish();
    // The exception's own text reaches the trace, and the parse stops there.
    EXPECT_NE(
        std::string::npos,
        log.find("Runtime Error : Bad Subcontrol Element :  : VxFramework/ControlBase/ResourceReader.cpp : Line "))
        << log;
    EXPECT_EQ(1, CountAssertions(log)) << log; // the missing Class only
    ASSERT_EQ(1u, reader.GetModel().skinRoots.GetCount());
    EXPECT_EQ(0u, reader.GetModel().skinRoots[0]->GetChildren().GetCount());
}

std::string NestedSkin(int depth)
{
    std::string text = "<r><Skin Name=\"S\">";
    for (int i = 0; i < depth; ++i)
        text += "<SubControl Class=\"C\" Name=\"n\">";
    for (int i = 0; i < depth; ++i)
        text += "</SubControl>";
    return text + "</Skin></r>";
}

TEST(ResourceReader, RefusesControlsNestedTooDeeply)
{
    VxTest::CaptureStderr capture;
    ResourceReader deepest;
    EXPECT_EQ(0, deepest.ReadSkins(std::string_view(NestedSkin(ResourceReader::kMaxControlDepth))));
    ResourceReader tooDeep;
    EXPECT_EQ(kFail, tooDeep.ReadSkins(std::string_view(NestedSkin(ResourceReader::kMaxControlDepth + 1))));
    EXPECT_NE(std::string::npos, capture.Finish().find("Subcontrols nested too deeply"));
}

TEST(ResourceReader, ElementHandlersTakeNamedAttributes)
{
    ResourceReader reader;
    StartSkins(reader);
    reader.OnStartElement("Colorizer", {{"Name", "Blue"}, {"ColorType", "Solid"}, {"Color", "0xFF0000FF"}});
    reader.OnEndElement("Colorizer");
    reader.OnStartElement(
        "Part", {{"Name", "P"}, {"Width", "2"}, {"Height", "3"}, {"ResizeType", "Stretch"}, {"ColorizerName", "Blue"}});
    reader.OnStartElement("Skin", {{"Name", "S"}});
    reader.OnStartElement("SubControl", {{"Class", "C"}, {"Name", "c"}});
    reader.OnStartElement("CreateParamList", {});
    reader.OnStartElement("CreateParam", {{"ID", "LABEL"}});
    reader.OnCharacterData("first ");
    reader.OnCharacterData("second");
    reader.OnEndElement("CreateParam");
    reader.OnCharacterData("outside");
    reader.OnEndElement("CreateParamList");

    const Vx::ResourceModel& model = reader.GetModel();
    ASSERT_EQ(1u, model.colorizers.count("Blue"));
    EXPECT_EQ(0xFF0000FFu, model.colorizers.at("Blue")->GetColor().ToARGB());
    ASSERT_EQ(1u, model.visualParts.count("P"));
    EXPECT_EQ(3, model.visualParts.at("P")->GetSize().y);
    ASSERT_EQ(1u, model.skinRoots.GetCount());
    const Vx::RCPtr<Vx::LControlDescriptor> control = model.skinRoots[0]->GetChildren()[0];
    ASSERT_FALSE(control->GetCreateParams().IsNull());
    Text label;
    EXPECT_TRUE(control->GetCreateParams()->Lookup("LABEL", label));
    EXPECT_STREQ("second", label.GetCString());
}

// The texts of the string tables are appended piece by piece; a text in many
// pieces costs no more than its length.
TEST(ResourceReader, LongTextsInManyPiecesReadWhole)
{
    std::string text = "<r><StringTable ID=\"T\"><String ID=\"S\"><Locale LCID=\"9\">";
    std::string expected;
    for (int i = 0; i < 100000; ++i)
    {
        text += "line&amp;\n";
        expected += "line&\n";
    }
    text += "</Locale></String></StringTable></r>";
    const std::string framework = "<r><StringTable ID=\"F\"><Locale LCID=\"9\"/></StringTable></r>";
    ResourceReader reader;
    EXPECT_EQ(0, reader.ReadStringTables(std::string_view(text), std::string_view(framework), 9));
    // Compared without a difference listing, which would be as long as the
    // text squared.
    EXPECT_TRUE(expected == reader.GetModel().stringTables.at("T").at("S").GetCString());
}

class ReadFile : public testing::Test
{
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/vx-resources-XXXXXX";
        ASSERT_NE(nullptr, ::mkdtemp(pattern));
        mDirectory = pattern;
    }
    void TearDown() override
    {
        for (const std::string& path : mCreated)
            ::unlink(path.c_str());
        ::rmdir(mDirectory.c_str());
    }
    std::string Path(const char* name)
    {
        mCreated.push_back(mDirectory + "/" + name);
        return mCreated.back();
    }

    std::string mDirectory;
    std::vector<std::string> mCreated;
};

TEST_F(ReadFile, ReadsRegularFilesWhole)
{
    const std::string path = Path("file.xml");
    std::string content(100000, 'x');
    content[0] = '\0'; // a zero byte is content like any other
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(static_cast<ssize_t>(content.size()), ::write(fd, content.data(), content.size()));
    ::close(fd);
    const std::optional<std::string> read = ResourceReader::ReadFile(path.c_str());
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(content, *read);

    const std::string empty = Path("empty.xml");
    ::close(::open(empty.c_str(), O_WRONLY | O_CREAT, 0644));
    ASSERT_TRUE(ResourceReader::ReadFile(empty.c_str()).has_value());
    EXPECT_TRUE(ResourceReader::ReadFile(empty.c_str())->empty());
}

TEST_F(ReadFile, RefusesWhatIsNoRegularFileOfAReasonableSize)
{
    EXPECT_FALSE(ResourceReader::ReadFile(Path("missing.xml").c_str()).has_value());
    EXPECT_FALSE(ResourceReader::ReadFile(mDirectory.c_str()).has_value());
    EXPECT_FALSE(ResourceReader::ReadFile("").has_value());
    // A FIFO would block a reader that waits for a writer.
    const std::string fifo = Path("fifo.xml");
    ASSERT_EQ(0, ::mkfifo(fifo.c_str(), 0644));
    const VxTest::ChildResult result = VxTest::RunInChild(
        [&] { return ResourceReader::ReadFile(fifo.c_str()).has_value() ? 1 : 0; }, std::chrono::seconds(10));
    EXPECT_FALSE(result.timedOut);
    EXPECT_EQ(0, result.status);
    // Larger than any skin: refused without reading it (the file is sparse).
    const std::string large = Path("large.xml");
    const int fd = ::open(large.c_str(), O_WRONLY | O_CREAT, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(0, ::ftruncate(fd, static_cast<off_t>(ResourceReader::kMaxFileSize + 1)));
    ::close(fd);
    EXPECT_FALSE(ResourceReader::ReadFile(large.c_str()).has_value());
}
} // namespace
