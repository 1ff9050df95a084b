// resource_dump <resource directory> [LCID]
// Loads the directory's StringTables.xml, FrameworkStrings.xml and Skins.xml
// as the application does (LCID 9 unless given) and prints what was read: the
// result of the load, then the text form of the model.  Assertions and trace
// lines go to standard error.  Writes the golden texts of the skins tests.

#include "VxFramework/ControlBase/ControlFactory.h"
#include "VxFramework/ControlBase/ResourceReader.h"
#include "tests/support/ResourceDump.h"

#include <cstdio>
#include <exception>
#include <string>

int main(int argc, char** argv)
{
    if (argc < 2 || argc > 3)
    {
        std::fprintf(stderr, "usage: %s <resource directory> [LCID]\n", argv[0]);
        return 2;
    }
    const std::int32_t lcid = argc == 3 ? Vx::ResourceSyntax::ReadNumber(argv[2]) : 9;
    const Vx::RCPtr<Vx::LControlFactory> factory(new Vx::LControlFactory(""));
    try
    {
        const Vx::VxRESULT result = factory->LoadResources(argv[1], lcid);
        std::printf("result 0x%08x\n", static_cast<unsigned>(result));
    }
    catch (const std::exception& e)
    {
        std::printf("exception %s\n", e.what());
    }
    std::fputs(VxTest::DumpResources(factory->GetResources(), argv[1]).c_str(), stdout);
    return 0;
}
