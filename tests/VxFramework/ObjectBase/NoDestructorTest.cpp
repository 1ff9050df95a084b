#include "VxFramework/ObjectBase/NoDestructor.h"

#include <gtest/gtest.h>

namespace
{
struct Recorder
{
    Recorder(int* destroyed, int value) : destroyed(destroyed), value(value) {}
    ~Recorder() { ++*destroyed; }
    int* destroyed;
    int value;
};
} // namespace

TEST(NoDestructor, BuildsFromItsArgumentsAndNeverDestroys)
{
    int destroyed = 0;
    {
        Vx::NoDestructor<Recorder> recorder(&destroyed, 7);
        EXPECT_EQ(recorder->value, 7);
        (*recorder).value += 1;
        EXPECT_EQ(recorder.get()->value, 8);
    }
    EXPECT_EQ(destroyed, 0);
}
