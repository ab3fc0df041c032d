#pragma once
// A serial port and link timers that write down what is done with them, one
// line per call, in one log shared with whatever else a test records.

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "app/link/link_timer.h"
#include "app/link/serial_port.h"

namespace kovrin::test {

inline std::string HexBytes(const Bytes& bytes)
{
    std::string s;
    char digits[4];
    for (uint8_t b : bytes) {
        std::snprintf(digits, sizeof digits, s.empty() ? "%02X" : " %02X", b);
        s += digits;
    }
    return s;
}

// "open 1 9600, N, 8, 1", "close", "write 27 00 ...", "pause 20".
class LoggingPort : public SerialPort {
public:
    explicit LoggingPort(std::vector<std::string>& log) : log_(log) {}
    bool portOpen = true;
    bool opens = true;  // what the next Open answers
    Bytes arrived;      // what the next read takes

    bool Open(int number, const char* settings) override
    {
        log_.push_back("open " + std::to_string(number) + " " + settings);
        portOpen = opens;
        return opens;
    }
    void Close() override
    {
        log_.push_back("close");
        portOpen = false;
    }
    bool PortOpen() const override { return portOpen; }
    bool Output(const Bytes& bytes) override
    {
        log_.push_back("write " + HexBytes(bytes));
        return true;
    }
    Bytes Input() override { return std::exchange(arrived, {}); }
    void Wait(int ms) override { log_.push_back("pause " + std::to_string(ms)); }

private:
    std::vector<std::string>& log_;
};

// "poll on", "guard 1500", "guard off".
class LoggingTimer : public LinkTimer {
public:
    LoggingTimer(std::vector<std::string>& log, std::string name) : log_(log), name_(std::move(name)) {}
    void Start() override
    {
        running = true;
        log_.push_back(name_ + " on");
    }
    void Start(int ms) override
    {
        running = true;
        log_.push_back(name_ + " " + std::to_string(ms));
    }
    void Stop() override
    {
        running = false;
        log_.push_back(name_ + " off");
    }
    // The interval ends: what the window runs on the timer's event runs, only for a running timer.
    void Tick()
    {
        ASSERT_TRUE(running) << name_ << " ticks while stopped";
        fire();
    }

    bool running = false;
    std::function<void()> fire;

private:
    std::vector<std::string>& log_;
    std::string name_;
};

}  // namespace kovrin::test
