#include "Panel/Engine/VB05Common/Platform/VB05Utilities.h"

#include "JuceBackend/SystemPath.h"
#include "VxFramework/Utilities/DebugTracer.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <exception>
#include <fcntl.h>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace Vx::VB05
{
namespace
{
using String = StringT<char, unsigned short>;

// Temporary scripts: a file per run, never two alike.
constexpr char kScriptTemplate[] = "/tmp/testapp-script-XXXXXX";

std::string Mapped(const String& path)
{
    return MapSystemPath(std::string(path.GetCString()));
}

// Leading spaces, tabs, carriage returns and line feeds.
bool IsBlank(char character)
{
    return character == ' ' || character == '\t' || character == '\r' || character == '\n';
}

void TraceScriptFailure(const char* message)
{
    DebugTracer::Get().Trace(-1, "%s", message);
}
} // namespace

bool ReadFirstToken(const String& path, String& token)
{
    try
    {
        std::ifstream stream(Mapped(path));
        if (!stream.is_open())
            return false;
        std::string word;
        stream >> word;
        if (stream.bad())
            return false;
        token.Assign(word.c_str());
        return true;
    }
    catch (const std::exception&)
    {
        return false;
    }
}

bool WriteFile(const String& path, const String& text)
{
    try
    {
        std::ofstream stream(Mapped(path), std::ios::out | std::ios::trunc);
        if (!stream.is_open())
            return false;
        stream.write(text.GetCString(), text.GetLength());
        // A sysfs attribute refuses a value when the buffered text reaches
        // it, which is at the close: that failure counts too.
        stream.close();
        return !stream.fail();
    }
    catch (const std::exception&)
    {
        return false;
    }
}

bool FileExists(const String& path)
{
    const int fd = ::open(Mapped(path).c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}

bool ListDirectory(const String& directory, bool includeFiles, bool includeDirectories, const String& prefix,
                   StringArrayT<char, unsigned short>& list)
{
    list.RemoveAll();
    DIR* const entries = ::opendir(Mapped(directory).c_str());
    if (entries == nullptr)
        return false;
    const std::size_t prefixLength = static_cast<std::size_t>(prefix.GetLength());
    while (const dirent* entry = ::readdir(entries))
    {
        const char* const name = entry->d_name;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0)
            continue;
        String path(directory);
        path.Append(String("/"));
        path.Append(String(name));
        struct stat status
        {
        };
        if (::stat(Mapped(path).c_str(), &status) != 0)
            continue;
        const bool isDirectory = S_ISDIR(status.st_mode);
        if (isDirectory ? !includeDirectories : !includeFiles)
            continue;
        if (prefixLength != 0 && std::strncmp(name, prefix.GetCString(), prefixLength) != 0)
            continue;
        list.Add(path);
    }
    ::closedir(entries);
    return true;
}

String QuoteShellArgument(const String& text)
{
    std::string quoted("'");
    for (const char* character = text.GetCString(); *character != '\0'; ++character)
    {
        if (*character == '\'')
            quoted += "'\\''";
        else
            quoted += *character;
    }
    quoted += '\'';
    return String(quoted.c_str());
}

namespace detail
{
int ExecuteScript(const String& script)
{
    const char* text = script.GetCString();
    const char* start = text;
    while (IsBlank(*start))
        ++start;
    // A text of blanks only is written as it is.
    if (*start == '\0')
        start = text;
    const std::size_t length = std::strlen(start);

    const std::string pathTemplate = MapSystemPath(kScriptTemplate);
    std::vector<char> path(pathTemplate.begin(), pathTemplate.end());
    path.push_back('\0');
    int fd = ::mkstemp(path.data());
    if (fd < 0)
    {
        TraceScriptFailure("VB05::detail::ExecuteScript: mkstemp failed");
        return -1;
    }

    const char* failure = nullptr;
    if (::write(fd, start, length) != static_cast<ssize_t>(length))
        failure = "VB05::detail::ExecuteScript: write failed";
    else if (::fchmod(fd, 0700) != 0)
        failure = "VB05::detail::ExecuteScript: chmod failed";
    else
    {
        const int closed = ::close(fd);
        // The descriptor is gone whatever close answered.
        fd = -1;
        if (closed != 0)
            failure = "VB05::detail::ExecuteScript: close failed";
    }
    if (failure != nullptr)
    {
        TraceScriptFailure(failure);
        if (fd >= 0)
            ::close(fd);
        ::unlink(path.data());
        return -1;
    }

    const String command = String("sh -v ") + QuoteShellArgument(String(path.data()));
    DebugTracer::Get().Trace(-1, ">>> script start <<<");
    const int status = std::system(command.GetCString());
    DebugTracer::Get().Trace(-1, ">>> script end <<<");
    ::unlink(path.data());
    return status;
}
} // namespace detail
} // namespace Vx::VB05
