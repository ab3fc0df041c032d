#pragma once
// A thread's message queue: any thread posts, the owning thread runs the
// messages when it dispatches. The queue's descriptor (an eventfd) is readable
// while messages wait, so an event loop can watch it.

#include <functional>
#include <memory>

namespace kovrin::platform::user {

class MessageQueue {
public:
    MessageQueue();
    ~MessageQueue();
    MessageQueue(const MessageQueue&) = delete;
    MessageQueue& operator=(const MessageQueue&) = delete;

    // From any thread; the message runs on the owning thread, in posting order.
    void Post(std::function<void()> message);
    int Descriptor() const;
    // Runs the waiting messages, one at a time, on the calling thread (the
    // owner's); returns how many ran. A message may dispatch again (a nested
    // event loop): the next one runs there.
    int Dispatch();

private:
    struct State;
    std::unique_ptr<State> state_;
};

// The calling thread's queue, made on first use.
std::shared_ptr<MessageQueue> ThreadMessageQueue();
// The calling thread's queue descriptor, for an event loop to watch.
int ThreadMessageDescriptor();
// Dispatches the calling thread's queue.
void DispatchThreadMessages();

}  // namespace kovrin::platform::user
