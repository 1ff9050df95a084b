#pragma once

// The simulated device installed (its system tree, its device calls) with the
// simulated tools on PATH, for the tests of the platform functions.

#include "sim/SimulatedDevice.h"
#include "tests/support/SimTools.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

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

    Sim::SimulatedDevice mDevice;
    ScopedSimTools mTools;
};
} // namespace VxTest
