#include "platform/user/message_queue.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>

namespace kovrin::platform::user {

struct MessageQueue::State {
    std::mutex Lock;
    std::deque<std::function<void()>> Messages;  // guarded by Lock
    int Descriptor = -1;
};

namespace {

void Signal(int descriptor)
{
    const uint64_t one = 1;
    while (write(descriptor, &one, sizeof one) < 0 && errno == EINTR) {
    }
}

void Drain(int descriptor)
{
    uint64_t count;
    while (read(descriptor, &count, sizeof count) < 0 && errno == EINTR) {
    }
}

}  // namespace

MessageQueue::MessageQueue() : state_(std::make_unique<State>())
{
    state_->Descriptor = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (state_->Descriptor < 0) {
        std::fprintf(stderr, "platform: cannot make a message queue: %s\n", std::strerror(errno));
        std::abort();
    }
}

MessageQueue::~MessageQueue() { close(state_->Descriptor); }

void MessageQueue::Post(std::function<void()> message)
{
    std::lock_guard<std::mutex> guard(state_->Lock);
    // Readable exactly while messages wait.
    if (state_->Messages.empty())
        Signal(state_->Descriptor);
    state_->Messages.push_back(std::move(message));
}

int MessageQueue::Descriptor() const { return state_->Descriptor; }

std::shared_ptr<MessageQueue> ThreadMessageQueue()
{
    thread_local std::shared_ptr<MessageQueue> queue = std::make_shared<MessageQueue>();
    return queue;
}

int ThreadMessageDescriptor() { return ThreadMessageQueue()->Descriptor(); }

void DispatchThreadMessages() { ThreadMessageQueue()->Dispatch(); }

int MessageQueue::Dispatch()
{
    State& state = *state_;
    for (int ran = 0;; ++ran) {
        std::function<void()> message;
        {
            std::lock_guard<std::mutex> guard(state.Lock);
            if (state.Messages.empty())
                return ran;
            message = std::move(state.Messages.front());
            state.Messages.pop_front();
            if (state.Messages.empty())
                Drain(state.Descriptor);
        }
        message();
    }
}

}  // namespace kovrin::platform::user
