#include "platform/machine.h"

#include "platform/user/user_io.h"

namespace kovrin::platform {

Machine::Machine(std::unique_ptr<usb::BusBackend> backend, const std::function<void(Machine&)>& prepare)
    : backend_(std::move(backend))
{
    system_ = std::make_unique<System>();
    if (prepare)
        prepare(*this);
    busDriver_ = std::make_unique<usb::BusDriver>(*backend_);
}

Machine::~Machine()
{
    user::CloseAllHandles();
    backend_->Stop();
    system_->WaitIdle();
    busDriver_.reset();
    system_.reset();
    backend_.reset();
}

}  // namespace kovrin::platform
