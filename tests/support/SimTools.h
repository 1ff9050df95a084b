#pragma once

#include <optional>
#include <string>
#include <vector>

namespace VxTest
{
// The simulated system tools of sim/tools first on PATH for the object's
// lifetime, with a scenario folder and a call log of their own.  After them
// come only a few harmless tools that shell scripts use (sh, cat, grep, ...),
// so that a command the simulation lacks is not found rather than run for
// real.  PATH and the tools' variables are given back at the end and the
// folder is removed.  Not for tests that run threads of their own while it
// changes the environment.
class ScopedSimTools
{
public:
    ScopedSimTools();
    ~ScopedSimTools();
    ScopedSimTools(const ScopedSimTools&) = delete;
    ScopedSimTools& operator=(const ScopedSimTools&) = delete;

    // A scratch folder the test may use, removed with the rest.
    std::string GetScratchDirectory() const { return mRoot + "/scratch"; }

    // The tool prints out (and err to standard error) and exits with status.
    void SetAnswer(const std::string& tool, const std::string& out, int status = 0, const std::string& err = "");
    // The tool runs this shell script in its place, with its arguments.
    void SetScript(const std::string& tool, const std::string& script);
    // The boot loader's variables as the simulated tools keep them.
    void SetBootVariable(const std::string& name, const std::string& value);
    std::optional<std::string> GetBootVariable(const std::string& name) const;

    // Every call so far, in order: the tool's name, then its arguments.
    std::vector<std::vector<std::string>> Calls() const;

private:
    struct SavedVariable
    {
        std::string name;
        std::optional<std::string> value;
    };

    std::string mRoot;
    std::vector<SavedVariable> mSaved;
};
} // namespace VxTest
