#pragma once

#include "VxFramework/ControlBase/Control.h"
#include "VxFramework/ControlBase/ResourceReader.h"
#include "VxFramework/ControlBase/SkinDescriptors.h"
#include "VxFramework/ControlBase/StringTable.h"
#include "VxFramework/ObjectBase/Exception.h"
#include "VxFramework/ObjectBase/RefCountedObject.h"
#include "VxFramework/ObjectBase/Result.h"
#include "VxFramework/Utilities/Storage/RCPtrArray.h"
#include "VxFramework/Utilities/Storage/StringT.h"

#include <cstddef>
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
// fallback creator (the plain control; the application installs the stock panel)
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

    // The skin model, as the resource reader fills it (or tests build it).
    const Text& GetApplicationName() const noexcept { return mReader.GetModel().applicationName; }
    void SetApplicationName(const Text& name) { mReader.GetModel().applicationName = name; }
    // One root descriptor (class "Application") per skin, in file order;
    // their count is the number of skins.
    const RCPtrArray<LControlDescriptor>& GetSkinRoots() const noexcept { return mReader.GetModel().skinRoots; }
    // A null root: 0x80000003.
    VxRESULT AddSkinRoot(const RCPtr<LControlDescriptor>& root);
    std::int32_t GetCurrentSkinIndex() const noexcept { return mReader.GetModel().currentSkinIndex; }
    // An index that names no skin: an assertion and 0x80000003.
    VxRESULT SetCurrentSkinIndex(std::int32_t index);
    // Adds the entry to the table of the ID (made when missing).
    void SetString(const Text& tableId, const Text& key, const Text& text);

    // What a class nobody registered is created with.
    ControlCreator GetFallbackCreator() const noexcept { return mFallbackCreator; }
    void SetFallbackCreator(ControlCreator creator) noexcept { mFallbackCreator = creator; }
    // Look-ups of unregistered names since the last top-level creation.
    std::int32_t GetMissingTypeCount() const noexcept { return mMissingTypeCount; }

    // ---- Resources: the string-table and skin files and what they give
    // ---- (ControlFactoryResources.cpp, reading in ResourceReader.cpp).

    // Reads the three resource files of the directory (StringTables.xml,
    // FrameworkStrings.xml, Skins.xml; "::" names built-in resources, which
    // this platform does not have) and keeps the directory and "/" as the
    // base of image paths.  The string tables' result, or the skins' when the
    // string tables did not fail.  Throws the runtime error "Bad Resource
    // Path" for "::".
    VxRESULT LoadResources(const Text& resourcePath, std::int32_t lcid);
    // Reads both string-table files for the locale (falling back to its
    // primary language, then to 9).  Returns 0: unreadable files and XML
    // errors leave the tables with what was read.
    VxRESULT LoadStringTables(const Text& applicationPath, const Text& frameworkPath, std::int32_t lcid);
    // Reads the skin file: 0 or 0x80000008.  The current skin index is 0
    // afterwards.
    VxRESULT LoadSkins(const Text& path);
    // Parses one resource text in the current mode (string tables after
    // LoadStringTables, skins after LoadSkins): 0, or 0x80000008 for XML the
    // parser refuses or a handler that threw.  A length of 0 means up to the
    // terminating zero byte.
    VxRESULT ParseResource(const char* buffer, std::size_t length);
    // The parser's element handlers.
    void OnStartElement(const Text& name, const ResourceReader::Attributes& attributes);
    void OnEndElement(const Text& name);
    void OnCharacterData(const Text& text);

    // The current skin's font: the name when given, the size when at least
    // 1, the style when not -1.  0 when any was written, else 1.
    VxRESULT GetSkinFont(Text& name, float& size, std::int32_t& style) const;
    // Copies of the tables "Framework" and "|" + the application name; null
    // when there is none.
    RCPtr<LStringTable> GetFrameworkStringTable() const;
    RCPtr<LStringTable> GetApplicationStringTable() const;
    // Applies the current skin's top-level descriptor of the control's name
    // to the control, after a skin switch.  0x80000008 for a null control or
    // a name the skin does not have.
    VxRESULT ReapplyDescriptor(const RCPtr<LControl>& control);

    std::int32_t GetSelectedLocale() const noexcept { return mReader.GetModel().selectedLocale; }
    const Text& GetResourceBase() const noexcept { return mReader.GetModel().resourceBase; }
    // Everything read, for inspection.
    const ResourceModel& GetResources() const noexcept { return mReader.GetModel(); }

    // ---- End of the resources.

private:
    // The creator the descriptor caches, resolved when missing.
    ControlCreator ResolveCreator(const RCPtr<LControlDescriptor>& descriptor);

    // The skin model and the string tables, and the reader that fills them.
    ResourceReader mReader;
    std::map<Text, ControlCreator> mControlTypes;
    ControlCreator mFallbackCreator;
    std::int32_t mMissingTypeCount = 0;
};
} // namespace Vx
