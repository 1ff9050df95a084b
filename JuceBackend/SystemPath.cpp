#include "JuceBackend/SystemPath.h"

namespace Vx
{

namespace
{

// Built on first use and never destroyed: threads still running at exit may read it.
std::string& systemPathRoot()
{
    static auto* root = new std::string();
    return *root;
}

} // namespace

std::string MapSystemPath (const std::string& absolutePath)
{
    const auto& root = systemPathRoot();
    return root.empty() ? absolutePath : root + absolutePath;
}

void SetSystemPathRoot (const std::string& root)
{
    auto& current = systemPathRoot();
    current = root;

    // "/tmp/tree/" and "/tmp/tree" name the same tree.
    while (! current.empty() && current.back() == '/')
        current.pop_back();
}

std::string GetSystemPathRoot()
{
    return systemPathRoot();
}

} // namespace Vx
