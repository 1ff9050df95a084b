#include "VxFramework/ObjectBase/RefCountedObject.h"

#include "tests/support/CaptureStderr.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace
{
int gDestroyed = 0;
// Counted apart from the objects, so that cleanups can be checked after the
// object is gone.
int gCleanups = 0;

// Reaches the count through a virtual base, as the framework's classes do.
class IFace : public virtual Vx::LRefCountedObject
{
};

class Counted : public IFace, public virtual Vx::LRefCountedObject
{
public:
    explicit Counted(int value = 0) : mValue(value) {}
    ~Counted() override { ++gDestroyed; }
    Vx::RCPtr<Vx::LRefCountedObject> CreateCopy() const override { return Vx::MakeRCPtr<Counted>(mValue + 100); }
    int mValue;
};

class Other : public virtual Vx::LRefCountedObject
{
public:
    Vx::RCPtr<Vx::LRefCountedObject> CreateCopy() const override { return Vx::MakeRCPtr<Counted>(); }
};

class Child;

// A parent whose child points back to it; that back pointer is contained.
class Parent : public virtual Vx::LRefCountedObject
{
public:
    Parent();
    ~Parent() override { ++gDestroyed; }
    Vx::VxRESULT RemoveContainedReferences() override;

    Vx::RCPtr<Child> mChild;
    int mCleanups = 0;
    bool mKeepChild = false;
};

class Child : public virtual Vx::LRefCountedObject
{
public:
    ~Child() override { ++gDestroyed; }
    Vx::RCPtr<Parent> mParent;
};

Parent::Parent() : mChild(Vx::MakeRCPtr<Child>()) {}

Vx::VxRESULT Parent::RemoveContainedReferences()
{
    ++mCleanups;
    ++gCleanups;
    if (mKeepChild)
        return LRefCountedObject::RemoveContainedReferences();
    // Dropping the back pointer releases this object from inside its own cleanup.
    mChild->mParent = nullptr;
    AdjustContainedRefCount(-1);
    return LRefCountedObject::RemoveContainedReferences();
}

Vx::RCPtr<Parent> MakeFamily()
{
    Vx::RCPtr<Parent> parent = Vx::MakeRCPtr<Parent>();
    parent->mChild->mParent = parent;
    parent->AdjustContainedRefCount(1);
    return parent;
}

class RefCounting : public ::testing::Test
{
protected:
    void SetUp() override
    {
        gDestroyed = 0;
        gCleanups = 0;
    }
};
} // namespace

TEST_F(RefCounting, CountsFollowThePointers)
{
    Counted* raw = new Counted();
    EXPECT_EQ(raw->GetRefCount(), 0u);
    {
        Vx::RCPtr<Counted> first(raw);
        EXPECT_EQ(raw->GetRefCount(), 1u);
        {
            Vx::RCPtr<Counted> second = first;
            Vx::ConstRCPtr<Vx::LRefCountedObject> asBase = second; // through the virtual base
            EXPECT_EQ(raw->GetRefCount(), 3u);
            EXPECT_TRUE(raw->IsShared());
            second = first; // same object: no change
            Vx::RCPtr<Counted>& alias = first;
            first = alias;
            EXPECT_EQ(raw->GetRefCount(), 3u);
        }
        EXPECT_EQ(raw->GetRefCount(), 1u);
        EXPECT_FALSE(raw->IsShared());
        EXPECT_EQ(gDestroyed, 0);
    }
    EXPECT_EQ(gDestroyed, 1);
}

TEST_F(RefCounting, MovesAndNullsTransferWithoutTraffic)
{
    Vx::RCPtr<Counted> a = Vx::MakeRCPtr<Counted>();
    Vx::RCPtr<Counted> b = std::move(a);
    EXPECT_TRUE(a.IsNull());
    EXPECT_EQ(b->GetRefCount(), 1u);
    b = nullptr;
    EXPECT_EQ(gDestroyed, 1);
}

TEST_F(RefCounting, ContainedCycleIsFreedOnceWithOneCleanup)
{
    Parent* raw = nullptr;
    {
        Vx::RCPtr<Parent> parent = MakeFamily();
        raw = parent.Get();
        EXPECT_EQ(raw->GetRefCount(), 2u);
        EXPECT_EQ(raw->GetContainedRefCount(), 1u);
        Vx::RCPtr<Parent> another = parent; // not the last outside reference: no cleanup
        another = nullptr;
        EXPECT_EQ(raw->mCleanups, 0);
    }
    // Parent and child both went, each once.
    EXPECT_EQ(gDestroyed, 2);
}

TEST_F(RefCounting, CleanupThatLeavesReferencesIsTracedAndRetried)
{
    Vx::RCPtr<Parent> parent = MakeFamily();
    Parent* raw = parent.Get();
    raw->mKeepChild = true;
    VxTest::CaptureStderr capture;
    parent = nullptr;
    const std::string text = capture.Finish();
    EXPECT_EQ(raw->mCleanups, 1);
    EXPECT_EQ(gDestroyed, 0);
    EXPECT_NE(text.find("RefCount == 2 after RemoveContainedReferences (ContainedRefCount == 1)"), std::string::npos) << text;
    EXPECT_NE(text.find("JUCE Assertion failure in RefCountedObject.cpp:"), std::string::npos) << text;

    // The flag was reset: the next last outside release cleans up again.
    raw->mKeepChild = false;
    Vx::RCPtr<Parent> again(raw);
    again = nullptr;
    EXPECT_EQ(gCleanups, 2) << "the second last release ran the cleanup again";
    EXPECT_EQ(gDestroyed, 2);
}

TEST_F(RefCounting, ExclusiveObjectIsCopiedWhenTakenFromAnotherHolder)
{
    Vx::RCPtr<Counted> owner = Vx::MakeRCPtr<Counted>(1);
    owner->SetExclusive(true);
    Vx::RCPtr<Counted> taker = owner;
    EXPECT_NE(taker.Get(), owner.Get());
    EXPECT_EQ(taker->mValue, 101);
    EXPECT_EQ(owner->GetRefCount(), 1u);
    EXPECT_EQ(taker->GetRefCount(), 1u);
    EXPECT_TRUE(taker->IsShareable());
    owner->SetExclusive(false);
    Vx::RCPtr<Counted> sharer = owner;
    EXPECT_EQ(sharer.Get(), owner.Get());
}

TEST_F(RefCounting, CopyOfTheWrongTypeIsALogicErrorNamingTheType)
{
    Vx::RCPtr<Other> owner = Vx::MakeRCPtr<Other>();
    owner->SetExclusive(true);
    try
    {
        Vx::RCPtr<Other> taker = owner;
        FAIL() << "no throw";
    }
    catch (const Vx::Exception<std::logic_error>& e)
    {
        const std::string expectedStart = std::string("Logic Error : ") + typeid(Other).name() +
                                          " :  : VxFramework/ObjectBase/RefCountedObject.h : Line ";
        EXPECT_EQ(std::string(e.what()).rfind(expectedStart, 0), 0u) << e.what();
    }
    EXPECT_EQ(owner->GetRefCount(), 1u);
}

TEST_F(RefCounting, FailedCopyOnShareLeavesEveryCountAsItWas)
{
    // Child has no CreateCopy: taking it while exclusive and shared throws.
    Vx::RCPtr<Child> owner = Vx::MakeRCPtr<Child>();
    owner->SetExclusive(true);
    EXPECT_THROW(Vx::RCPtr<Child> taker(owner.Get()), std::logic_error);
    EXPECT_EQ(owner->GetRefCount(), 1u);

    Vx::RCPtr<Child> previous = Vx::MakeRCPtr<Child>();
    Vx::RCPtr<Child> holder = previous;
    EXPECT_THROW(holder = owner, std::logic_error);
    EXPECT_TRUE(holder.IsNull());
    EXPECT_EQ(owner->GetRefCount(), 1u);
    EXPECT_EQ(previous->GetRefCount(), 1u);
    previous = nullptr;
    EXPECT_EQ(gDestroyed, 1);
}

TEST_F(RefCounting, MisuseThrowsTheFixedErrors)
{
    Vx::RCPtr<Counted> a = Vx::MakeRCPtr<Counted>();
    Vx::RCPtr<Counted> b = a;
    const std::string path = " :  : VxFramework/ObjectBase/RefCountedObject.cpp : Line ";
    auto startsWith = [](const char* text, const std::string& start) { return std::string(text).rfind(start, 0) == 0; };
    try
    {
        a->SetExclusive(true);
        FAIL();
    }
    catch (const Vx::Exception<std::runtime_error>& e)
    {
        EXPECT_TRUE(startsWith(e.what(), "Runtime Error : " + path)) << e.what();
    }
    EXPECT_TRUE(a->IsShareable());
    b = nullptr;
    EXPECT_NO_THROW(a->SetExclusive(true));
    EXPECT_FALSE(a->IsShareable());
    a->SetExclusive(false);

    Vx::RCPtr<Other> other = Vx::MakeRCPtr<Other>();
    try
    {
        other->Undo();
        FAIL();
    }
    catch (const Vx::Exception<std::logic_error>& e)
    {
        EXPECT_TRUE(startsWith(e.what(), "Logic Error : Undo() not implemented for RefCountedObject" + path)) << e.what();
    }
    try
    {
        Vx::RCPtr<Child> child = Vx::MakeRCPtr<Child>();
        child->CreateCopy();
        FAIL();
    }
    catch (const Vx::Exception<std::logic_error>& e)
    {
        EXPECT_TRUE(startsWith(e.what(), "Logic Error : CreateCopy() not implemented for RefCountedObject" + path));
    }
    try
    {
        *static_cast<Vx::LRefCountedObject*>(a.Get()) = *static_cast<Vx::LRefCountedObject*>(other.Get());
        FAIL();
    }
    catch (const Vx::Exception<std::domain_error>& e)
    {
        EXPECT_TRUE(startsWith(e.what(), "Domain Error : Invalid Assignment of RefCountedObject" + path));
    }
}

TEST_F(RefCounting, DownwardConversionIsChecked)
{
    Vx::RCPtr<Vx::LRefCountedObject> base = Vx::MakeRCPtr<Counted>(7);
    Vx::RCPtr<Counted> down(base);
    ASSERT_FALSE(down.IsNull());
    EXPECT_EQ(down->mValue, 7);
    EXPECT_EQ(base->GetRefCount(), 2u);

    Vx::RCPtr<Other> wrong(base);
    EXPECT_TRUE(wrong.IsNull());
    EXPECT_THROW(VX_CHECKED_RCPTR_CAST(Other, base), std::logic_error);
    EXPECT_TRUE(VX_CHECKED_RCPTR_CAST(Other, Vx::RCPtr<Vx::LRefCountedObject>()).IsNull());
    EXPECT_EQ(base->GetRefCount(), 2u);
}

TEST_F(RefCounting, CountsStayExactAcrossThreads)
{
    Vx::RCPtr<Counted> shared = Vx::MakeRCPtr<Counted>();
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([shared] {
            for (int i = 0; i < 100000; ++i)
            {
                Vx::RCPtr<Counted> copy = shared;
                Vx::RCPtr<IFace> face = copy;
            }
        });
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(shared->GetRefCount(), 1u);
    EXPECT_EQ(gDestroyed, 0);
}

TEST_F(RefCounting, LastReleaseOnAnotherThreadDestroysOnce)
{
    for (int round = 0; round < 200; ++round)
    {
        Vx::RCPtr<Parent> parent = MakeFamily();
        std::thread a([p = parent]() mutable { p = nullptr; });
        std::thread b([p = parent]() mutable { p = nullptr; });
        parent = nullptr;
        a.join();
        b.join();
    }
    EXPECT_EQ(gDestroyed, 400);
}
