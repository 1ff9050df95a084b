#pragma once

// The test application holding the device-control engine as the application
// object does: start-up makes the engine and starts it, the engine's lookup
// finds it while the application lives, shutdown releases it.  What the
// engine posts reaches its clients in the application's idle pass.

#include "Panel/Engine/TestAppCommon/RootModuleEngine.h"
#include "VxFramework/ObjectBase/Exception.h"

#include "tests/VxFramework/Application/ApplicationDoubles.h"

namespace VxTest
{
class EngineApplication : public TestApplication
{
public:
    explicit EngineApplication(Log* log) : TestApplication(log) { Vx::SetRootModuleEngineProvider(&RunningEngine); }

    ~EngineApplication() override { Vx::SetRootModuleEngineProvider(nullptr); }

    // A start that fails is reported and start-up goes on, as the
    // application's does.
    Vx::VxRESULT RunApplicationStartup() override
    {
        const Vx::VxRESULT result = TestApplication::RunApplicationStartup();
        mEngine = Vx::MakeRCPtr<Vx::LRootModuleEngine>();
        if (Vx::Failed(mEngine->Start(0)))
            VX_ASSERT_FALSE();
        return result;
    }

    Vx::VxRESULT OnShutdown() override
    {
        // The last reference's release stops the worker.
        mEngine = nullptr;
        return TestApplication::OnShutdown();
    }

    Vx::RCPtr<Vx::LRootModuleEngine> mEngine;

private:
    static Vx::RCPtr<Vx::LRootModuleEngine> RunningEngine()
    {
        auto* const app = dynamic_cast<EngineApplication*>(Vx::LFrameworkApp::GetApplication());
        return app == nullptr ? nullptr : app->mEngine;
    }
};
} // namespace VxTest
