#pragma once

#include "VxFramework/ControlBase/Control.h"
#include "VxFramework/ControlBase/SkinDescriptors.h"
#include "VxFramework/ControlBase/StringTable.h"
#include "VxFramework/ObjectBase/Exception.h"
#include "VxFramework/ObjectBase/RefCountedObject.h"
#include "VxFramework/ObjectBase/Result.h"
#include "VxFramework/Utilities/Storage/RCPtrArray.h"
#include "VxFramework/Utilities/Storage/StringT.h"

#include <cstdint>
#include <map>

namespace Vx
{
class LRootWindow;

// The creator of a control class T: constructs a T named after the
// descriptor under the parent (which may be null), then runs the creation
// steps with the descriptor.  Registering a class means registering this
// instance under its class name.  Null (after an assertion) without a
// descriptor.
template <class T>
RCPtr<LControl> CreateControl(const RCPtr<LControl>& parent, const RCPtr<LControlDescriptor>& descriptor)
{
    if (descriptor.IsNull())
    {
        VX_ASSERT_FALSE();
        return nullptr;
    }
    const RCPtr<LControl> control(new T(parent, descriptor->GetName()));
    return CompleteControlCreation(control, descriptor);
}

// The one object that knows every control class and the whole skin: the
// registry of control types (class name to creator), the skins as trees of
// control descriptors, the string tables, and the creation of controls from
// descriptors.  Main thread only.
//
// Class names are registered whole; a name nobody registered gets the
// fallback creator (the plain control until the stock panel takes its place)
// and one trace line per descriptor, since descriptors cache the creator
// they were given.
class LControlFactory : public virtual LRefCountedObject
{
public:
    using Text = StringT<char, unsigned short>;

    // No types, skins or tables; skin 0 current.
    explicit LControlFactory(const Text& applicationName = Text());
    ~LControlFactory() override;

    // 0.  A name registered before keeps its first creator.  A null creator
    // or an empty name: an assertion and 0x80000003.
    VxRESULT RegisterControlType(const Text& className, ControlCreator creator);
    // 0 and the registered creator; 1 and the fallback creator for a name
    // nobody registered, with the trace line "<name> not registered." and one
    // more missing type counted.
    VxRESULT FindCreator(const Text& className, ControlCreator& creator);
    // A control from the descriptor under the parent, through the creator the
    // descriptor caches (resolved on first use).  Null, after an assertion,
    // for a null descriptor, one without a skin or a look list (it could not
    // be applied), or when there is no creator.
    RCPtr<LControl> CreateControl(const RCPtr<LControlDescriptor>& descriptor, const RCPtr<LControl>& parent);
    // The current skin's top-level control of the name, always visible,
    // attached to the root window (which may be null).  Null (after an
    // assertion) when the skin has no such control; an assertion when some
    // descriptor of the new tree named a class nobody registered.
    RCPtr<LControl> CreateTopLevelControl(const Text& name, const RCPtr<LRootWindow>& rootWindow);
    // The current skin's top-level descriptor of the name, searched from the
    // last to the first (a later one wins); a null pointer when none.
    const RCPtr<LControlDescriptor>& FindControlDescriptor(const Text& name) const;
    // A copy of the string table "<class of the parent's descriptor>|<name>"
    // (the application name standing in for the class without a parent);
    // null when there is none.
    RCPtr<LStringTable> GetInstanceCreateParams(const RCPtr<LControl>& parent, const Text& name) const;

    // The skin model, as the resource reader fills it.
    const Text& GetApplicationName() const noexcept { return mApplicationName; }
    void SetApplicationName(const Text& name) { mApplicationName = name; }
    // One root descriptor (class "Application") per skin, in file order.
    const RCPtrArray<LControlDescriptor>& GetSkinRoots() const noexcept { return mSkinRoots; }
    // A null root: 0x80000003.
    VxRESULT AddSkinRoot(const RCPtr<LControlDescriptor>& root);
    std::int32_t GetCurrentSkinIndex() const noexcept { return mCurrentSkinIndex; }
    // An index that names no skin: an assertion and 0x80000003.
    VxRESULT SetCurrentSkinIndex(std::int32_t index);
    // Adds the entry to the table of the ID (made when missing).
    void SetString(const Text& tableId, const Text& key, const Text& text);

    // What a class nobody registered is created with.
    ControlCreator GetFallbackCreator() const noexcept { return mFallbackCreator; }
    void SetFallbackCreator(ControlCreator creator) noexcept { mFallbackCreator = creator; }
    // Look-ups of unregistered names since the last top-level creation.
    std::int32_t GetMissingTypeCount() const noexcept { return mMissingTypeCount; }

private:
    using Table = std::map<Text, Text>;

    // The creator the descriptor caches, resolved when missing.
    ControlCreator ResolveCreator(const RCPtr<LControlDescriptor>& descriptor);

    Text mApplicationName;
    RCPtrArray<LControlDescriptor> mSkinRoots;
    std::int32_t mCurrentSkinIndex = 0;
    std::map<Text, ControlCreator> mControlTypes;
    std::map<Text, Table> mStringTables;
    ControlCreator mFallbackCreator;
    std::int32_t mMissingTypeCount = 0;
};
} // namespace Vx
