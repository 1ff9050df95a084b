#pragma once

#include <string>
#include <vector>

namespace VxTest
{
// The command that runs a program of this build: the program alone, or for a
// cross build's tests the emulator first, since the kernel here runs no foreign
// program by itself.  CTest names the emulator in VX_TEST_EMULATOR (its words
// separated by spaces); run by hand, set it the same way.
//
// Linked into every test executable, which also hands GoogleTest the emulator
// for the fresh processes of "threadsafe" death tests.
std::vector<std::string> ProgramCommand(const std::string& program);
} // namespace VxTest
