#include "tests/support/CaptureStderr.h"

#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <unistd.h>

namespace VxTest
{
CaptureStderr::CaptureStderr()
{
    std::fflush(stderr);
    char path[] = "/tmp/vx-stderr-XXXXXX";
    mFileFd = mkstemp(path);
    if (mFileFd < 0)
        throw std::runtime_error("mkstemp failed");
    unlink(path);
    mSavedFd = dup(STDERR_FILENO);
    dup2(mFileFd, STDERR_FILENO);
}

CaptureStderr::~CaptureStderr()
{
    Finish();
}

std::string CaptureStderr::Finish()
{
    if (mFinished)
        return mText;
    mFinished = true;
    std::fflush(stderr);
    dup2(mSavedFd, STDERR_FILENO);
    close(mSavedFd);
    lseek(mFileFd, 0, SEEK_SET);
    char buffer[4096];
    ssize_t got;
    while ((got = read(mFileFd, buffer, sizeof buffer)) > 0)
        mText.append(buffer, static_cast<std::size_t>(got));
    close(mFileFd);
    return mText;
}
} // namespace VxTest
