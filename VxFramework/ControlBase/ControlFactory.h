#pragma once

#include "VxFramework/ControlBase/ResourceReader.h"
#include "VxFramework/ControlBase/SkinDescriptors.h"
#include "VxFramework/ControlBase/StringTable.h"
#include "VxFramework/ObjectBase/RefCountedObject.h"
#include "VxFramework/ObjectBase/Result.h"
#include "VxFramework/Utilities/Storage/RCPtrArray.h"
#include "VxFramework/Utilities/Storage/StringT.h"

#include <cstddef>
#include <cstdint>

namespace Vx
{
class LControl;

// Creates controls by type name and holds the loaded skins and string tables.
class LControlFactory : public virtual LRefCountedObject
{
public:
    ~LControlFactory() override = default;

    // ---- Resources: the string-table and skin files and what they give
    // ---- (ControlFactoryResources.cpp, reading in ResourceReader.cpp).
    using Text = StringT<char, unsigned short>;

    // An empty factory whose application name is the given one until a
    // resource file names the application.
    explicit LControlFactory(const Text& applicationName);

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

    const Text& GetApplicationName() const noexcept { return mReader.GetModel().applicationName; }
    std::int32_t GetSelectedLocale() const noexcept { return mReader.GetModel().selectedLocale; }
    const Text& GetResourceBase() const noexcept { return mReader.GetModel().resourceBase; }
    // One root per skin; their count is the number of skins.
    const RCPtrArray<LControlDescriptor>& GetSkinRoots() const noexcept { return mReader.GetModel().skinRoots; }
    std::int32_t GetCurrentSkinIndex() const noexcept { return mReader.GetModel().currentSkinIndex; }
    void SetCurrentSkinIndex(std::int32_t index) noexcept { mReader.GetModel().currentSkinIndex = index; }
    // Everything read, for inspection.
    const ResourceModel& GetResources() const noexcept { return mReader.GetModel(); }

private:
    // The current skin's top-level descriptor of the name, the later of two
    // equal names; null when none.
    RCPtr<LControlDescriptor> FindTopLevelDescriptor(const Text& name) const;

    ResourceReader mReader;
    // ---- End of the resources.

protected:
    LControlFactory() = default;
};
} // namespace Vx
