// Built by tests/consumer/CMakeLists.txt: an exception thrown inside the
// framework names its source file relative to the repository root, although
// this project's build sits elsewhere and knows nothing of the framework's flags.
#include "VxFramework/Utilities/Storage/VariantEx.h"

#include <cstdio>
#include <stdexcept>
#include <string>

int main()
{
    try
    {
        Vx::VariantEx(Vx::Variant(1)).GetBuffer();
    }
    catch (const std::runtime_error& e)
    {
        const std::string text = e.what();
        const std::string expected = "Runtime Error :  :  : VxFramework/Utilities/Storage/VariantEx.cpp : Line ";
        if (text.rfind(expected, 0) == 0)
        {
            std::printf("consumer: %s\n", text.c_str());
            return 0;
        }
        std::fprintf(stderr, "consumer: unexpected exception text: %s\n", text.c_str());
        return 1;
    }
    std::fprintf(stderr, "consumer: no exception\n");
    return 1;
}
