#include "VxFramework/ObjectBase/Exception.h"

#include "tests/support/CaptureStderr.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>

namespace
{
template <class E>
std::string TextOfThrow(const char* message, int* line)
{
    try
    {
        *line = __LINE__ + 1;
        VX_THROW(E, message);
    }
    catch (const Vx::ExceptionBase& e)
    {
        // Both faces of the exception give the same text.
        EXPECT_STREQ(e.What(), dynamic_cast<const std::exception&>(e).what());
        return e.What();
    }
    return {};
}

std::string Expected(const char* kind, const std::string& message, int line)
{
    return std::string(kind) + " : " + message + " :  : tests/VxFramework/ObjectBase/ResultTest.cpp : Line " +
           std::to_string(line);
}
} // namespace

TEST(Exceptions, EveryKindHasTheOneLayout)
{
    int line = 0;
    auto check = [&line](const std::string& text, const char* kind, const char* message) {
        EXPECT_EQ(text, Expected(kind, message, line));
    };
    check(TextOfThrow<std::logic_error>("Undo() not implemented", &line), "Logic Error", "Undo() not implemented");
    check(TextOfThrow<std::runtime_error>("lseek", &line), "Runtime Error", "lseek");
    check(TextOfThrow<std::out_of_range>("index", &line), "Out of Range", "index");
    check(TextOfThrow<std::invalid_argument>("x", &line), "Invalid Argument", "x");
    check(TextOfThrow<Vx::FailedResultException>("y", &line), "Failed Result", "y");
    // An empty message keeps both separators.
    check(TextOfThrow<std::domain_error>("", &line), "Domain Error", "");
}

TEST(Exceptions, CatchableAsTheirStandardClass)
{
    EXPECT_THROW(VX_THROW(std::out_of_range, "i"), std::out_of_range);
    EXPECT_THROW(VX_THROW(std::invalid_argument, "i"), std::logic_error);
    EXPECT_THROW(VX_THROW(Vx::FailedResultException, "i"), std::exception);
}

TEST(Exceptions, FailedResultCheck)
{
    struct Case
    {
        Vx::VxRESULT result;
        const char* text; // nullptr: no throw
    };
    const Case cases[] = {
        {Vx::VXR_OK, nullptr},
        {Vx::VXR_NOTHING_DONE, nullptr},
        {Vx::VXR_E_INVALIDARG, "VxRESULT = 80000003"},
        {Vx::VXR_E_FAIL, "VxRESULT = 80000008"},
        {Vx::VXR_E_UNEXPECTED, "VxRESULT = 8000ffff"},
        {-1, "VxRESULT = ffffffff"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.result);
        int line = 0;
        try
        {
            line = __LINE__ + 1;
            VX_THROW_IF_FAILED(c.result);
            EXPECT_EQ(c.text, nullptr);
        }
        catch (const Vx::Exception<Vx::FailedResultException>& e)
        {
            ASSERT_NE(c.text, nullptr);
            EXPECT_EQ(e.what(), Expected("Failed Result", c.text, line));
        }
    }
    EXPECT_EQ(Vx::FormatResultCode(0x1234), "VxRESULT = 1234");
}

TEST(Exceptions, NullPointerCheckIsARuntimeError)
{
    int* none = nullptr;
    int value = 0;
    EXPECT_NO_THROW(VX_THROW_IF_NULL(&value, "Invalid Control Name"));
    int line = 0;
    try
    {
        line = __LINE__ + 1;
        VX_THROW_IF_NULL(none, "Invalid Control Name");
        FAIL() << "no throw";
    }
    catch (const Vx::Exception<std::runtime_error>& e)
    {
        EXPECT_EQ(e.what(), Expected("Runtime Error", "Null Pointer : Invalid Control Name", line));
    }
}

TEST(Assertions, WriteOneLineAndContinue)
{
    VxTest::CaptureStderr capture;
    int reached = 0;
    const int line = __LINE__ + 1;
    VX_ASSERT(reached == 1);
    reached = 1;
    VX_ASSERT(reached == 1); // holds: writes nothing
    const std::string text = capture.Finish();
    EXPECT_EQ(reached, 1);
    EXPECT_EQ(text, "JUCE Assertion failure in ResultTest.cpp:" + std::to_string(line) + "\n");
}
