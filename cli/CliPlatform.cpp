#include "CliPlatform.h"

#include "CliContext.h"
#include "DevicePlatform.h"
#include "SimMachine.h"

namespace zelv4 {

DevicePlatform* PlatformFor(CliContext& context)
{
    if (!context.platform) {
        if (context.simulated)
            context.platform = SimMachine::CreateDefault();
        else
            context.platform = CreateOsPlatform();
    }
    return context.platform.get();
}

SimMachine* SimulatedMachineFor(CliContext& context)
{
    if (!context.simulated)
        return nullptr;
    return static_cast<SimMachine*>(PlatformFor(context));
}

}  // namespace zelv4
