// The control factory's registry of control types and the creation of
// controls from the skin's descriptors.

#include "VxFramework/ControlBase/ControlFactory.h"

#include "VxFramework/ControlBase/RootWindow.h"
#include "VxFramework/ObjectBase/NoDestructor.h"
#include "VxFramework/Utilities/DebugTracer.h"

namespace Vx
{
LControlFactory::LControlFactory(const Text& applicationName)
    : mReader(applicationName), mFallbackCreator(&Vx::CreateControl<LControl>)
{
}

LControlFactory::~LControlFactory() = default;

VxRESULT LControlFactory::RegisterControlType(const Text& className, ControlCreator creator)
{
    if (className.IsEmpty() || creator == nullptr)
    {
        VX_ASSERT_FALSE();
        return VXR_E_INVALIDARG;
    }
    mControlTypes.emplace(className, creator);
    return VXR_OK;
}

VxRESULT LControlFactory::FindCreator(const Text& className, ControlCreator& creator)
{
    const auto found = mControlTypes.find(className);
    if (found != mControlTypes.end())
    {
        creator = found->second;
        return VXR_OK;
    }
    creator = mFallbackCreator;
    // The name comes from the skin file: an argument, never the format.
    DebugTracer::Get().Trace(1, "%s not registered.", className.GetCString());
    ++mMissingTypeCount;
    return VXR_NOTHING_DONE;
}

ControlCreator LControlFactory::ResolveCreator(const RCPtr<LControlDescriptor>& descriptor)
{
    ControlCreator creator = descriptor->GetCreator();
    if (creator == nullptr)
    {
        FindCreator(descriptor->GetClassName(), creator);
        descriptor->SetCreator(creator);
    }
    return creator;
}

RCPtr<LControl> LControlFactory::CreateControl(const RCPtr<LControlDescriptor>& descriptor,
                                               const RCPtr<LControl>& parent)
{
    if (descriptor.IsNull())
    {
        VX_ASSERT_FALSE();
        return nullptr;
    }
    // A control takes its looks and its font from the skin: without one it
    // could not be made what the descriptor says.
    if (descriptor->GetSkin().IsNull() || descriptor->GetSkin()->lookList.IsNull())
    {
        VX_ASSERT_FALSE();
        return nullptr;
    }
    const ControlCreator creator = ResolveCreator(descriptor);
    if (creator == nullptr)
    {
        VX_ASSERT_FALSE();
        return nullptr;
    }
    return creator(parent, descriptor);
}

RCPtr<LControl> LControlFactory::CreateTopLevelControl(const Text& name, const RCPtr<LRootWindow>& rootWindow)
{
    const RCPtr<LControlDescriptor> descriptor = FindControlDescriptor(name);
    if (descriptor.IsNull())
    {
        VX_ASSERT_FALSE();
        return nullptr;
    }
    if (!descriptor->GetLayout().IsNull())
        descriptor->GetLayout()->IsVisible = true;
    mMissingTypeCount = 0;
    const RCPtr<LControl> control = CreateControl(descriptor, nullptr);
    if (control.IsNull())
        return nullptr;
    control->SetRootWindow(rootWindow);
    if (mMissingTypeCount != 0)
        VX_ASSERT_FALSE();
    return control;
}

const RCPtr<LControlDescriptor>& LControlFactory::FindControlDescriptor(const Text& name) const
{
    static const NoDestructor<RCPtr<LControlDescriptor>> none;
    const ResourceModel& model = mReader.GetModel();
    const std::int32_t index = model.currentSkinIndex;
    if (index < 0 || static_cast<std::uint32_t>(index) >= model.skinRoots.GetCount())
        return *none;
    const RCPtr<LControlDescriptor>& root = model.skinRoots[static_cast<std::uint32_t>(index)];
    if (root.IsNull())
        return *none;
    const RCPtrArray<LControlDescriptor>& children = root->GetChildren();
    for (std::uint32_t i = children.GetCount(); i-- > 0;)
    {
        if (!children[i].IsNull() && children[i]->GetName() == name)
            return children[i];
    }
    return *none;
}

RCPtr<LStringTable> LControlFactory::GetInstanceCreateParams(const RCPtr<LControl>& parent, const Text& name) const
{
    Text id;
    if (parent.IsNull())
        id = mReader.GetModel().applicationName;
    else if (!parent->GetDescriptor().IsNull())
        id = parent->GetDescriptor()->GetClassName();
    id += Text("|");
    id += name;
    const auto& tables = mReader.GetModel().stringTables;
    const auto found = tables.find(id);
    if (found == tables.end())
        return nullptr;
    return RCPtr<LStringTable>(new LStringTable(found->second));
}

VxRESULT LControlFactory::AddSkinRoot(const RCPtr<LControlDescriptor>& root)
{
    if (root.IsNull())
        return VXR_E_INVALIDARG;
    const VxRESULT index = mReader.GetModel().skinRoots.Add(root);
    return Failed(index) ? index : VXR_OK;
}

VxRESULT LControlFactory::SetCurrentSkinIndex(std::int32_t index)
{
    if (index < 0 || static_cast<std::uint32_t>(index) >= GetSkinRoots().GetCount())
    {
        VX_ASSERT_FALSE();
        return VXR_E_INVALIDARG;
    }
    mReader.GetModel().currentSkinIndex = index;
    return VXR_OK;
}

void LControlFactory::SetString(const Text& tableId, const Text& key, const Text& text)
{
    mReader.GetModel().stringTables[tableId].insert_or_assign(key, text);
}
} // namespace Vx
