#pragma once
// The libusb context and its one event thread. Transfer completions arrive
// on that thread; other work meant for it (a completion that never reached
// libusb) is posted and runs there, in order, at dispatch level.

#include <libusb.h>

#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "platform/kernel/activity.h"

namespace kovrin::platform::usb {

class EventLoop {
public:
    // Context() is null when libusb could not start; Error() says why.
    EventLoop();
    // After Stop, and after every device handle is closed.
    ~EventLoop();
    EventLoop(const EventLoop&) = delete;
    EventLoop& operator=(const EventLoop&) = delete;

    libusb_context* Context() const { return context_; }
    int Error() const { return error_; }

    void Start(ActivityCounter* activity);
    // Runs what was posted, then joins the thread. Later posts run at once on the caller's thread.
    void Stop();
    void Post(std::function<void()> job);
    // Wraps a callback that libusb runs on the event thread: dispatch level, counted as activity.
    void RunCallback(const std::function<void()>& callback);

private:
    void Run();
    bool RunPosted();

    libusb_context* context_ = nullptr;
    int error_ = 0;
    std::mutex lock_;
    std::deque<std::function<void()>> posted_;
    ActivityCounter* activity_ = nullptr;
    bool running_ = false;
    bool stopping_ = false;
    std::thread thread_;
};

}  // namespace kovrin::platform::usb
