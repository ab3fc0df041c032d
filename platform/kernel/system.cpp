#include "platform/kernel/system.h"

#include <cstdio>
#include <cstdlib>

#include "platform/kernel/pnp_manager.h"

namespace kovrin::platform {

namespace {
System* current = nullptr;
}

System::System()
{
    if (current) {
        std::fprintf(stderr, "platform: a System already exists\n");
        std::abort();
    }
    current = this;
    pnp_ = std::make_unique<PnpManager>();
    worker_ = std::make_unique<JobThread>("worker", activity_);
    pnpThread_ = std::make_unique<JobThread>("pnp", activity_);
    notifier_ = std::make_unique<JobThread>("notifier", activity_);
}

System::~System()
{
    WaitIdle();
    notifier_.reset();
    pnpThread_.reset();
    worker_.reset();
    pnp_.reset();
    current = nullptr;
}

System& System::Current()
{
    if (!current) {
        std::fprintf(stderr, "platform: no System\n");
        std::abort();
    }
    return *current;
}

}  // namespace kovrin::platform
