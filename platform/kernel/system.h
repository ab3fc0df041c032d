#pragma once
// The running kernel model: its threads and managers. One exists at a time;
// the functions that drivers call reach it through System::Current().

#include <memory>

#include "platform/kernel/activity.h"
#include "platform/kernel/job_thread.h"

namespace kovrin::platform {

class PnpManager;

class System {
public:
    System();
    ~System();
    System(const System&) = delete;
    System& operator=(const System&) = delete;

    static System& Current();

    JobThread& Worker() { return *worker_; }      // work items, deferred closes
    JobThread& PnpThread() { return *pnpThread_; }  // plug and play requests
    JobThread& Notifier() { return *notifier_; }  // notices to user-mode callbacks
    PnpManager& Pnp() { return *pnp_; }

    // Work queued anywhere in the layer (threads, and the bus's ready completions).
    ActivityCounter& Activity() { return activity_; }
    // Until nothing is queued or running.
    void WaitIdle() { activity_.WaitZero(); }

private:
    ActivityCounter activity_;
    std::unique_ptr<JobThread> worker_;
    std::unique_ptr<JobThread> pnpThread_;
    std::unique_ptr<JobThread> notifier_;
    std::unique_ptr<PnpManager> pnp_;
};

}  // namespace kovrin::platform
