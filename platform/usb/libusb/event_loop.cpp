#include "platform/usb/libusb/event_loop.h"

#include "platform/kernel/level.h"

namespace kovrin::platform::usb {

EventLoop::EventLoop()
{
    error_ = libusb_init(&context_);
    if (error_ != 0)
        context_ = nullptr;
}

EventLoop::~EventLoop()
{
    Stop();
    if (context_)
        libusb_exit(context_);
}

void EventLoop::Start(ActivityCounter* activity)
{
    std::lock_guard<std::mutex> guard(lock_);
    activity_ = activity;
    if (!context_ || running_ || stopping_)
        return;
    running_ = true;
    thread_ = std::thread([this] { Run(); });
}

void EventLoop::Stop()
{
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (stopping_)
            return;
        stopping_ = true;
    }
    if (thread_.joinable()) {
        libusb_interrupt_event_handler(context_);
        thread_.join();
    }
    while (RunPosted()) {
    }
}

void EventLoop::Post(std::function<void()> job)
{
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (activity_)
            activity_->Add();
        posted_.push_back(std::move(job));
        if (running_) {
            libusb_interrupt_event_handler(context_);
            return;
        }
    }
    // No thread takes it (any more): it runs here.
    while (RunPosted()) {
    }
}

void EventLoop::RunCallback(const std::function<void()>& callback)
{
    ActivityCounter* activity;
    {
        std::lock_guard<std::mutex> guard(lock_);
        activity = activity_;
        if (activity)
            activity->Add();
    }
    {
        DispatchLevelScope level;
        callback();
    }
    if (activity)
        activity->Done();
}

bool EventLoop::RunPosted()
{
    std::function<void()> job;
    ActivityCounter* activity;
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (posted_.empty())
            return false;
        job = std::move(posted_.front());
        posted_.pop_front();
        activity = activity_;
    }
    {
        DispatchLevelScope level;
        job();
    }
    job = nullptr;
    if (activity)
        activity->Done();
    return true;
}

void EventLoop::Run()
{
    for (;;) {
        while (RunPosted()) {
        }
        {
            std::lock_guard<std::mutex> guard(lock_);
            if (stopping_ && posted_.empty()) {
                running_ = false;
                return;
            }
        }
        // Returns on an event, a completion, or libusb_interrupt_event_handler.
        libusb_handle_events_completed(context_, nullptr);
    }
}

}  // namespace kovrin::platform::usb
