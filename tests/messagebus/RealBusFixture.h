// Fixture for tests over the real bus library: the host's install folder is registered (the
// default search list needs it resolvable) and clients load MessageBus.dll the production way.
#pragma once

#include "Counter.h"
#include "RegistryFixture.h"
#include "ProgramFolder.h"

#include "messagebus/MessageBusClient.h"
#include "messagebus/MessageBusConstants.h"

#include <memory>

namespace kstest {

class RealBusFixture : public RegistryFixture {
protected:
    void SetUp() override
    {
        RegistryFixture::SetUp();
        setString(Tessel::kHearthKeyPath, Tessel::kHearthInstallDirValue, testProgramFolder());
    }
    static std::shared_ptr<Tessel::MessageBusClient> makeClient() { return std::make_shared<Tessel::MessageBusClient>(); }
};

} // namespace kstest
