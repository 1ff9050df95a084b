#pragma once

// The simulated device installed (its system tree, its device calls) with the
// simulated tools on PATH, for the tests of the platform functions.

#include "sim/SimulatedDevice.h"
#include "tests/support/SimTools.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace VxTest
{
class PlatformTest : public ::testing::Test
{
protected:
    PlatformTest() { mDevice.install(); }

    // A file of the system tree, by its system path.
    std::string TreePath(const std::string& systemPath) const
    {
        return mDevice.getRoot().getFullPathName().toStdString() + systemPath;
    }
    void WriteSystemFile(const std::string& systemPath, const std::string& bytes)
    {
        mDevice.writeSystemFile(systemPath, bytes.data(), bytes.size());
    }
    std::string ReadSystemFile(const std::string& systemPath) const
    {
        std::ifstream stream(TreePath(systemPath), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>());
    }
    void MakeSystemDirectory(const std::string& systemPath)
    {
        std::filesystem::create_directories(TreePath(systemPath));
    }
    // A symbolic link of the system tree with its target as written (relative
    // targets stay inside the tree).
    void MakeSystemLink(const std::string& systemPath, const std::string& target)
    {
        const std::filesystem::path link(TreePath(systemPath));
        std::filesystem::create_directories(link.parent_path());
        std::filesystem::remove(link);
        std::filesystem::create_symlink(target, link);
    }

    Sim::SimulatedDevice mDevice;
    ScopedSimTools mTools;
};

// The lines of a text, without their line ends.
inline std::vector<std::string> SplitLines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);)
        lines.push_back(line);
    return lines;
}

// The lines of the text that are among the wanted ones, in their order: what
// a trace shows of the lines a test looks for, amid the lines of others.
inline std::vector<std::string> LinesAmong(const std::string& text, const std::vector<std::string>& wanted)
{
    std::vector<std::string> found;
    for (const std::string& line : SplitLines(text))
    {
        for (const std::string& candidate : wanted)
        {
            if (line == candidate)
            {
                found.push_back(line);
                break;
            }
        }
    }
    return found;
}
} // namespace VxTest
