#pragma once

#include <string>

namespace Vx
{

/** The file to open for an absolute system path (device tree, sysfs, procfs,
    debugfs, device nodes): the path itself on the device, or the same path
    under the directory tree that SetSystemPathRoot named. */
std::string MapSystemPath (const std::string& absolutePath);

/** Serves every system path from the directory tree at root (the simulator's
    or a test's); an empty root serves the system's own files again.  Call it
    before anything reads a system file: readers take no lock. */
void SetSystemPathRoot (const std::string& root);

/** The root SetSystemPathRoot set last; empty while the system's own files are served. */
std::string GetSystemPathRoot();

} // namespace Vx
