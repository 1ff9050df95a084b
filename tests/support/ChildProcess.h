#pragma once

#include <chrono>
#include <functional>

namespace VxTest
{
// How a child process ended: its wait status, and whether it was killed for
// running past its time limit.
struct ChildResult
{
    int status = 0;
    bool timedOut = false;
};

// Forks a child that runs body() and exits with its result, and waits for it
// at most limit; a child still running then is killed, so that a hanging child
// fails its test instead of the whole run.
ChildResult RunInChild(const std::function<int()>& body, std::chrono::milliseconds limit = std::chrono::seconds(60));
} // namespace VxTest
