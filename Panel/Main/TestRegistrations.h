#pragma once

#include "Panel/Engine/TestAppCommon/TestFactory.h"

namespace Vx
{
// Start-up's registrations by test id (each creator makes a new object on
// every call and holds no state of its own).

// An engine creator for every test id.
void RegisterTestEngineCreators(LTestEngineFactory& factory);
// A test creator for every test id whose test class exists.
void RegisterTestCreators(LTestFactory& factory);
} // namespace Vx
