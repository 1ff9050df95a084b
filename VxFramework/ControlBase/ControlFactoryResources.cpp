// The control factory's resources: loading the string-table and skin files,
// and what the application asks of them (the skin font, the string tables, a
// descriptor to apply again after a skin switch).

#include "VxFramework/ControlBase/ControlFactory.h"

#include "VxFramework/ControlBase/Control.h"
#include "VxFramework/ObjectBase/Exception.h"

namespace Vx
{
VxRESULT LControlFactory::LoadResources(const Text& resourcePath, std::int32_t lcid)
{
    // "::" names resources built into the executable; their names take the
    // place of the file names, and the reader refuses them.
    const bool builtIn = resourcePath == "::";
    const Text base = builtIn ? resourcePath : resourcePath + Text("/");
    const Text applicationStrings = base + Text(builtIn ? "APP_STRINGS" : "StringTables.xml");
    const Text frameworkStrings = base + Text(builtIn ? "FRAMEWORK_STRINGS" : "FrameworkStrings.xml");
    const Text skins = base + Text(builtIn ? "APP_SKINS" : "Skins.xml");
    mReader.GetModel().resourceBase = base;
    const VxRESULT result = LoadStringTables(applicationStrings, frameworkStrings, lcid);
    if (Failed(result))
        return result;
    return LoadSkins(skins);
}

VxRESULT LControlFactory::LoadStringTables(const Text& applicationPath, const Text& frameworkPath, std::int32_t lcid)
{
    return mReader.LoadStringTables(applicationPath, frameworkPath, lcid);
}

VxRESULT LControlFactory::LoadSkins(const Text& path)
{
    return mReader.LoadSkins(path);
}

VxRESULT LControlFactory::ParseResource(const char* buffer, std::size_t length)
{
    return mReader.ParseResource(buffer, length);
}

void LControlFactory::OnStartElement(const Text& name, const ResourceReader::Attributes& attributes)
{
    mReader.OnStartElement(name, attributes);
}

void LControlFactory::OnEndElement(const Text& name)
{
    mReader.OnEndElement(name);
}

void LControlFactory::OnCharacterData(const Text& text)
{
    mReader.OnCharacterData(text);
}

VxRESULT LControlFactory::GetSkinFont(Text& name, float& size, std::int32_t& style) const
{
    const ResourceModel& model = mReader.GetModel();
    const std::int32_t index = model.currentSkinIndex;
    if (index < 0 || static_cast<std::uint32_t>(index) >= model.skinRoots.GetCount())
        return VXR_NOTHING_DONE;
    const RCPtr<LControlDescriptor>& root = model.skinRoots[static_cast<std::uint32_t>(index)];
    if (root.IsNull() || root->GetSkin().IsNull())
        return VXR_NOTHING_DONE;
    const LSkinDescriptor& skin = *root->GetSkin();
    bool written = false;
    if (!skin.fontName.IsEmpty())
    {
        name = skin.fontName;
        written = true;
    }
    if (skin.fontSize >= 1.0f)
    {
        size = skin.fontSize;
        written = true;
    }
    if (skin.fontStyle != -1)
    {
        style = skin.fontStyle;
        written = true;
    }
    return written ? VXR_OK : VXR_NOTHING_DONE;
}

namespace
{
RCPtr<LStringTable> CopyTable(const ResourceModel& model, const StringT<char, unsigned short>& id)
{
    const auto table = model.stringTables.find(id);
    if (table == model.stringTables.end())
        return nullptr;
    return RCPtr<LStringTable>(new LStringTable(table->second));
}
} // namespace

RCPtr<LStringTable> LControlFactory::GetFrameworkStringTable() const
{
    return CopyTable(mReader.GetModel(), Text("Framework"));
}

RCPtr<LStringTable> LControlFactory::GetApplicationStringTable() const
{
    return CopyTable(mReader.GetModel(), Text("|") + mReader.GetModel().applicationName);
}

VxRESULT LControlFactory::ReapplyDescriptor(const RCPtr<LControl>& control)
{
    if (control.IsNull())
        return VXR_E_FAIL;
    const RCPtr<LControlDescriptor>& descriptor = FindControlDescriptor(control->GetName());
    if (descriptor.IsNull())
        return VXR_E_FAIL;
    return control->ApplyDescriptor(descriptor);
}
} // namespace Vx
