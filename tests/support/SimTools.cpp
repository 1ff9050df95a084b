#include "tests/support/SimTools.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <unistd.h>

#ifndef VX_SIM_TOOLS_DIR
#error "VX_SIM_TOOLS_DIR names the folder of the simulated tools"
#endif

namespace VxTest
{
namespace
{
namespace fs = std::filesystem;

// What scripts may use of the machine's own tools: nothing that changes the
// system.  touch stays, so that a command slipped into an argument shows.
constexpr const char* kHarmlessTools[] = {"sh", "cat", "grep", "sed", "head", "tail",  "ls",    "uname", "sleep",
                                          "tr", "wc",  "cut",  "env", "true", "false", "mkdir", "rm",    "touch"};

std::optional<std::string> GetVariable(const char* name)
{
    const char* value = std::getenv(name);
    if (value == nullptr)
        return std::nullopt;
    return std::string(value);
}

void WriteText(const fs::path& path, const std::string& text)
{
    std::ofstream stream(path, std::ios::binary | std::ios::trunc);
    stream << text;
    if (!stream)
        throw std::runtime_error("cannot write " + path.string());
}
} // namespace

ScopedSimTools::ScopedSimTools()
{
    char pattern[] = "/tmp/vx-tools-XXXXXX";
    if (::mkdtemp(pattern) == nullptr)
        throw std::runtime_error("mkdtemp failed");
    mRoot = pattern;
    const fs::path root(mRoot);
    fs::create_directories(root / "bin");
    fs::create_directories(root / "scenario");
    fs::create_directories(root / "scratch");
    for (const char* tool : kHarmlessTools)
    {
        for (const char* folder : {"/usr/bin/", "/bin/"})
        {
            const fs::path real = fs::path(folder) / tool;
            if (fs::exists(real))
            {
                fs::create_symlink(real, root / "bin" / tool);
                break;
            }
        }
    }

    for (const char* name : {"PATH", "VX_SIM_TOOLS_SCENARIO", "VX_SIM_TOOLS_LOG"})
        mSaved.push_back({name, GetVariable(name)});
    const std::string path = std::string(VX_SIM_TOOLS_DIR) + ":" + mRoot + "/bin";
    ::setenv("PATH", path.c_str(), 1);
    ::setenv("VX_SIM_TOOLS_SCENARIO", (mRoot + "/scenario").c_str(), 1);
    ::setenv("VX_SIM_TOOLS_LOG", (mRoot + "/calls").c_str(), 1);
}

ScopedSimTools::~ScopedSimTools()
{
    for (const SavedVariable& saved : mSaved)
    {
        if (saved.value.has_value())
            ::setenv(saved.name.c_str(), saved.value->c_str(), 1);
        else
            ::unsetenv(saved.name.c_str());
    }
    std::error_code ignored;
    fs::remove_all(mRoot, ignored);
}

void ScopedSimTools::SetAnswer(const std::string& tool, const std::string& out, int status, const std::string& err)
{
    const fs::path scenario = fs::path(mRoot) / "scenario";
    WriteText(scenario / (tool + ".out"), out);
    WriteText(scenario / (tool + ".err"), err);
    WriteText(scenario / (tool + ".status"), std::to_string(status) + "\n");
}

void ScopedSimTools::SetScript(const std::string& tool, const std::string& script)
{
    const fs::path file = fs::path(mRoot) / "scenario" / tool;
    WriteText(file, "#!/bin/sh\n" + script);
    fs::permissions(file, fs::perms::owner_all);
}

void ScopedSimTools::SetBootVariable(const std::string& name, const std::string& value)
{
    const fs::path folder = fs::path(mRoot) / "scenario" / "fw_env";
    fs::create_directories(folder);
    WriteText(folder / name, value);
}

std::optional<std::string> ScopedSimTools::GetBootVariable(const std::string& name) const
{
    std::ifstream stream(fs::path(mRoot) / "scenario" / "fw_env" / name, std::ios::binary);
    if (!stream)
        return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>());
}

std::vector<std::vector<std::string>> ScopedSimTools::Calls() const
{
    std::ifstream stream(fs::path(mRoot) / "calls", std::ios::binary);
    const std::string log((std::istreambuf_iterator<char>(stream)), std::istreambuf_iterator<char>());
    // Records: the count of words, then the words, each ending in a NUL.
    std::vector<std::string> words;
    for (std::size_t start = 0; start < log.size();)
    {
        const std::size_t end = log.find('\0', start);
        if (end == std::string::npos)
            throw std::runtime_error("a call record ends early");
        words.push_back(log.substr(start, end - start));
        start = end + 1;
    }
    std::vector<std::vector<std::string>> calls;
    for (std::size_t at = 0; at < words.size();)
    {
        const std::size_t count = std::stoul(words[at]);
        if (at + 1 + count > words.size())
            throw std::runtime_error("a call record ends early");
        calls.emplace_back(words.begin() + static_cast<std::ptrdiff_t>(at + 1),
                           words.begin() + static_cast<std::ptrdiff_t>(at + 1 + count));
        at += 1 + count;
    }
    return calls;
}
} // namespace VxTest
