#pragma once

// The small file and script functions the rest of the platform layer is built
// on.  Paths are system paths (device tree, sysfs, procfs, temporary files):
// each is opened where the system-path seam maps it (JuceBackend/SystemPath.h),
// and the paths handed back are system paths again.  Every function blocks its
// caller and keeps no state; any thread may call them.

#include "VxFramework/Utilities/Storage/ArrayUtils.h"
#include "VxFramework/Utilities/Storage/StringT.h"

namespace Vx::VB05
{
// The first whitespace-delimited word of a text file, up to its first NUL (so
// a device-tree list gives its first entry).  An empty file gives true and an
// empty word; a file that cannot be opened or read gives false.
bool ReadFirstToken(const StringT<char, unsigned short>& path, StringT<char, unsigned short>& token);

// Replaces the file's contents with the text, without a line end.  False when
// the file cannot be opened or the write fails, also when the kernel refuses
// it only as the file is closed (sysfs attributes do).
bool WriteFile(const StringT<char, unsigned short>& path, const StringT<char, unsigned short>& text);

// True when the file can be opened for reading and writing; it is not created.
bool FileExists(const StringT<char, unsigned short>& path);

// The full paths (directory + "/" + name) of the entries of the wanted kinds
// whose names begin with the prefix (any name for an empty prefix), in the
// order the directory yields them.  Entries are judged by stat, so links to
// directories count as directories and broken links are left out.  False when
// the directory cannot be opened; the list is emptied first.
bool ListDirectory(const StringT<char, unsigned short>& directory, bool includeFiles, bool includeDirectories,
                   const StringT<char, unsigned short>& prefix, StringArrayT<char, unsigned short>& list);

// The text as one shell word: in single quotes, each single quote written as
// '\'' so that no character ends the word early.
StringT<char, unsigned short> QuoteShellArgument(const StringT<char, unsigned short>& text);

namespace detail
{
// Writes the script (without its leading blanks and line ends, so that an
// indented block starts with its interpreter line) to a new temporary file,
// runs it with "sh -v" and removes the file.  The script's output goes to the
// application's own standard output and error.  Returns the shell's wait
// status, or -1 when the file could not be made.
int ExecuteScript(const StringT<char, unsigned short>& script);
} // namespace detail
} // namespace Vx::VB05
