#pragma once

#include <string>

namespace VxTest
{
// Redirects file descriptor 2 into a temporary file for its lifetime and
// hands back what was written there.
class CaptureStderr
{
public:
    CaptureStderr();
    ~CaptureStderr();
    CaptureStderr(const CaptureStderr&) = delete;
    CaptureStderr& operator=(const CaptureStderr&) = delete;

    // Stops capturing (once) and returns everything written since construction.
    std::string Finish();

private:
    int mSavedFd = -1;
    int mFileFd = -1;
    std::string mText;
    bool mFinished = false;
};
} // namespace VxTest
