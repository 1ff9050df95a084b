#pragma once

// Shared by the renderer tests: exception texts, colours and pixels.

#include "VxFramework/ObjectBase/Exception.h"
#include "VxFramework/Utilities/Graphics/CTTypes.h"

#include <gtest/gtest.h>

#include <functional>
#include <regex>
#include <string>

namespace VxTest
{
// The text of the framework exception of type E that body throws; empty (and
// a failure) when it throws nothing or something else.
template <class E>
std::string ThrownText(const std::function<void()>& body)
{
    try
    {
        body();
    }
    catch (const Vx::Exception<E>& error)
    {
        return error.what();
    }
    catch (const std::exception& other)
    {
        ADD_FAILURE() << "another exception: " << other.what();
        return {};
    }
    ADD_FAILURE() << "nothing thrown";
    return {};
}

// kind " : " message " :  : " path " : Line " number, the path this project's own.
inline void ExpectExceptionText(const std::string& text, const std::string& kind, const std::string& message,
                                const std::string& path)
{
    const std::string head = kind + " : " + message + " :  : " + path + " : Line ";
    EXPECT_EQ(text.compare(0, head.size(), head), 0) << text;
    EXPECT_TRUE(std::regex_match(text.substr(std::min(head.size(), text.size())), std::regex("[0-9]+"))) << text;
}

inline Vx::Color MakeColor(float red, float green, float blue, float alpha = 1.0f)
{
    Vx::Color color;
    color.red = red;
    color.green = green;
    color.blue = blue;
    color.alpha = alpha;
    return color;
}
} // namespace VxTest
