#include "VxFramework/Notification/Holder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace
{
struct Payload
{
    int id = 7;
    std::string text;
};
} // namespace

TEST(Holder, ValueLivesInItsOwnCell)
{
    Vx::RCPtr<Vx::LHolder<int>> zero = Vx::MakeRCPtr<Vx::LHolder<int>>();
    EXPECT_EQ(zero->GetValue(), 0);
    Vx::RCPtr<Vx::LHolder<bool>> flag = Vx::MakeRCPtr<Vx::LHolder<bool>>(true);
    EXPECT_TRUE(flag->GetValue());
    flag->SetValue(false);
    EXPECT_FALSE(flag->GetValue());

    Vx::LHolder<int> original(5);
    Vx::LHolder<int> copy(original);
    copy.GetValue() = 6;
    EXPECT_EQ(original.GetValue(), 5);
    EXPECT_EQ(copy.GetValue(), 6);
}

// Destroying a stream holder leaves the stream to its owner.
TEST(Holder, StreamHolderDoesNotCloseTheStream)
{
    FILE* stream = std::tmpfile();
    ASSERT_NE(stream, nullptr);
    {
        Vx::RCPtr<Vx::LHolder<FILE*>> holder = Vx::MakeRCPtr<Vx::LHolder<FILE*>>();
        EXPECT_EQ(holder->GetValue(), nullptr);
        holder->SetValue(stream);
    }
    EXPECT_GE(std::fputs("still open", stream), 0);
    EXPECT_EQ(std::fclose(stream), 0);
}

TEST(Holder, WrapperIsTheStructureAndReferenceCounted)
{
    Payload payload;
    payload.text = "x";
    Vx::RCPtr<Vx::LWrapper<Payload, Vx::LRefCountedObject>> wrapped =
        Vx::MakeRCPtr<Vx::LWrapper<Payload, Vx::LRefCountedObject>>(payload);
    EXPECT_EQ(wrapped->id, 7);
    EXPECT_EQ(wrapped->text, "x");
    Vx::RCPtr<Vx::LRefCountedObject> asObject = wrapped;
    EXPECT_EQ(wrapped->GetRefCount(), 2u);
    auto* back = dynamic_cast<Payload*>(asObject.Get());
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->text, "x");
}
