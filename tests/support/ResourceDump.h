#pragma once

// A text form of everything the resource files gave a control factory: the
// application name, the chosen locale, the resource base, the string tables,
// the registries of colorizers, visual parts, looks and look lists, and each
// skin's tree of control descriptors.  Tests compare it with golden texts; the
// resource_dump tool prints it for a resource directory.

#include "VxFramework/ControlBase/ResourceReader.h"

#include <string>

namespace VxTest
{
// Every occurrence of hide (a machine's directory, say) in a text of the
// model is written as "$RES", so that the text is the same everywhere.  Layout
// fields are listed only where they differ from a new layout descriptor's.
std::string DumpResources(const Vx::ResourceModel& model, const std::string& hide = std::string());
} // namespace VxTest
