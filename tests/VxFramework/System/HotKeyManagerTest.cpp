#include "VxFramework/System/HotKeyManager.h"

#include "VxFramework/ControlBase/ControlParams.h"
#include "VxFramework/Notification/Notification.h"
#include "VxFramework/Notification/NotificationCenter.h"
#include "VxFramework/Notification/NotificationClient.h"
#include "tests/support/CaptureStderr.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{
using String = Vx::StringT<char, unsigned short>;

int CountAssertions(const std::string& err)
{
    const std::string marker = "JUCE Assertion failure in HotKeyManager.cpp:";
    int count = 0;
    for (std::size_t at = err.find(marker); at != std::string::npos; at = err.find(marker, at + 1))
        ++count;
    return count;
}

Vx::KeyCode Char(char character, std::uint32_t modifiers = 0)
{
    return Vx::KeyCode(static_cast<unsigned short>(character), modifiers);
}

std::uint32_t InternedCount()
{
    const Vx::ScopedLock lock(Vx::GetNotificationLock());
    return Vx::GetNotificationNameTable().GetCount();
}

// Records what a queue delivers: the id, and the key parameter's key and value.
class KeyRecorder : public Vx::LNotificationClient
{
public:
    Vx::NotificationHandlerResultCode Receive(const Vx::RCPtr<Vx::LNotificationDistributor>&,
                                              const Vx::ConstRCPtr<Vx::LNotification>& notification) override
    {
        const auto* param = dynamic_cast<const Vx::LKeyParam*>(notification->GetParam().Get());
        mSeen.push_back(std::string(notification->GetId()) + " " +
                        (param == nullptr ? std::string("no key")
                                          : std::string(Vx::KeyCodeToText(param->key).GetCString()) + " " +
                                                std::to_string(param->value)));
        return 1;
    }

    std::vector<std::string> mSeen;
};
} // namespace

TEST(HotKeyManager, LoadsTheEntriesOfItsPrefix)
{
    const auto source = Vx::MakeRCPtr<Vx::LStringTable>();
    source->Set("GHK.NID_A", "Ctrl+VKEY_S");
    // The same key in other words: refused, the first binding stays.
    source->Set("GHK.NID_B", "ctrl+vkey_s");
    // The prefix must be followed by a point.
    source->Set("GHKX.NID_C", "VKEY_F1");
    // The id is the text after the last point.
    source->Set("GHK.GROUP.NID_D", "VKEY_F2");
    // Names no key: skipped.
    source->Set("GHK.NID_E", "VKEY_NOSUCHKEY");
    source->Set("LHK.NID_F", "VKEY_F3");
    source->Set("GHK.NID_G", "[97]");
    source->Set("GHK.NID_H", "Alt+VKEY_F2");

    Vx::HotKeyManager table;
    VxTest::CaptureStderr capture;
    EXPECT_EQ(table.LoadFromCreateParams(source, "GHK"), Vx::VXR_OK);
    EXPECT_EQ(CountAssertions(capture.Finish()), 2);

    const struct
    {
        Vx::KeyCode key;
        const char* id;
    } cases[] = {
        {Vx::KeyCode(0x53, Vx::kModifierCtrl), "NID_A"},
        {Vx::KeyCode(0x70, 0), ""},
        {Vx::KeyCode(0x71, 0), "NID_D"},
        {Vx::KeyCode(0x71, Vx::kModifierAlt), "NID_H"},
        {Vx::KeyCode(0x72, 0), ""},
        // A character matches with Shift or Ctrl held, not with Alt.
        {Char('a'), "NID_G"},
        {Char('a', Vx::kModifierShift), "NID_G"},
        {Char('a', Vx::kModifierCtrl), "NID_G"},
        {Char('a', Vx::kModifierAlt), ""},
        {Char('b'), ""},
    };
    for (const auto& c : cases)
        EXPECT_STREQ(table.FindNotificationForKey(c.key).GetCString(), c.id) << std::hex << c.key.code;
    EXPECT_FALSE(table.HasHotKey("NID_B"));
    EXPECT_FALSE(table.HasHotKey("NID_E"));
    EXPECT_FALSE(table.HasHotKey("GROUP"));

    EXPECT_EQ(table.LoadFromCreateParams(nullptr, "GHK"), Vx::VXR_E_INVALIDARG);
}

TEST(HotKeyManager, KeepsOneIdPerKeyAndSeveralKeysPerId)
{
    Vx::HotKeyManager table;
    const Vx::KeyCode f5(0x74, 0);
    const Vx::KeyCode ctrlR(0x52, Vx::kModifierCtrl);
    EXPECT_EQ(table.AddHotKey(f5, "NID_REFRESH"), Vx::VXR_OK);
    EXPECT_EQ(table.AddHotKey(ctrlR, "NID_REFRESH"), Vx::VXR_OK);
    EXPECT_EQ(table.AddHotKey(f5, "NID_REFRESH"), Vx::VXR_E_INVALIDARG);
    EXPECT_EQ(table.AddHotKey(f5, "NID_OTHER"), Vx::VXR_E_INVALIDARG);
    EXPECT_EQ(table.AddHotKey(Vx::KeyCode(0x75, 0), ""), Vx::VXR_E_INVALIDARG);

    const Vx::Array<Vx::KeyCode> keys = table.GetHotKeys("NID_REFRESH");
    ASSERT_EQ(keys.GetCount(), 2u);
    EXPECT_EQ(keys[0], f5);
    EXPECT_EQ(keys[1], ctrlR);

    // A removed key's id keeps its empty entry.
    EXPECT_EQ(table.RemoveHotKey(f5), Vx::VXR_OK);
    EXPECT_EQ(table.RemoveHotKey(f5), Vx::VXR_NOTHING_DONE);
    EXPECT_EQ(table.RemoveHotKey(ctrlR), Vx::VXR_OK);
    EXPECT_TRUE(table.HasHotKey("NID_REFRESH"));
    EXPECT_EQ(table.GetHotKeys("NID_REFRESH").GetCount(), 0u);
    EXPECT_EQ(table.AddHotKey(f5, "NID_OTHER"), Vx::VXR_OK);

    EXPECT_EQ(table.RemoveNotification("NID_REFRESH"), Vx::VXR_OK);
    EXPECT_EQ(table.RemoveNotification("NID_REFRESH"), Vx::VXR_NOTHING_DONE);
    EXPECT_EQ(table.RemoveNotification(""), Vx::VXR_E_INVALIDARG);
    EXPECT_FALSE(table.HasHotKey("NID_REFRESH"));

    // Empty names intern nothing (and assert nothing).
    const std::uint32_t interned = InternedCount();
    VxTest::CaptureStderr capture;
    EXPECT_FALSE(table.HasHotKey(""));
    EXPECT_EQ(table.GetHotKeys("").GetCount(), 0u);
    EXPECT_EQ(capture.Finish(), "");
    EXPECT_EQ(InternedCount(), interned);
}

TEST(GlobalHotKeyManager, PostsTheBoundIdWithTheKeyToItsTarget)
{
    Vx::RCPtr<Vx::LNotificationCenter> center;
    Vx::LNotificationCenterManager::CreateCenter(center, "hotkeys");
    const auto recorder = Vx::MakeRCPtr<KeyRecorder>();
    recorder->Register(Vx::RCPtr<Vx::LNotificationDistributor>(center), "NID_SAVE", 0);

    const auto manager =
        Vx::MakeRCPtr<Vx::LGlobalHotKeyManager>(Vx::RCPtr<Vx::LNotificationReceiver>(center->GetPostingReceiver()));
    const Vx::KeyCode ctrlS(0x53, Vx::kModifierCtrl);
    ASSERT_EQ(manager->AddHotKey(ctrlS, "NID_SAVE"), Vx::VXR_OK);

    // Bound to nothing: not handled, nothing queued.
    EXPECT_EQ(manager->ProcessKey(Vx::KeyCode(0x53, 0)), Vx::VXR_NOTHING_DONE);
    EXPECT_EQ(center->GetPendingCount(), 0u);

    // Queued, delivered when the queue is processed.
    EXPECT_EQ(manager->ProcessKey(ctrlS), Vx::VXR_OK);
    EXPECT_TRUE(recorder->mSeen.empty());
    center->ProcessPending(false);
    EXPECT_EQ(recorder->mSeen, std::vector<std::string>{"NID_SAVE Ctrl+VKEY_S 1"});

    recorder->UnregisterAll();

    // Without a target the key still counts as handled; the loss is reported.
    Vx::LGlobalHotKeyManager orphan(nullptr);
    ASSERT_EQ(orphan.AddHotKey(ctrlS, "NID_SAVE"), Vx::VXR_OK);
    VxTest::CaptureStderr capture;
    EXPECT_EQ(orphan.ProcessKey(ctrlS), Vx::VXR_OK);
    EXPECT_EQ(CountAssertions(capture.Finish()), 1);
}
