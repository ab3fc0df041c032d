#pragma once
// The cable between Kovrin and the emulated acceptor, with the soak's hands on
// it: a pseudo-terminal that Kovrin opens as its port, whose bytes are carried
// to and from the acceptor's pseudo-terminal at the speed Kovrin set. On the
// way it checks every frame Kovrin sends, can put rubbish on the line towards
// Kovrin, and can hang up (Kovrin's end goes dead until a new line is put in).

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace kovrin::soak {

class SerialLine {
public:
    // `kovrinLink` is linked to Kovrin's end; `unitDevice` is the acceptor's end.
    SerialLine(std::filesystem::path kovrinLink, std::string unitDevice);
    ~SerialLine();
    SerialLine(const SerialLine&) = delete;
    SerialLine& operator=(const SerialLine&) = delete;

    // Bytes that reach Kovrin as if the line made them.
    void Rubbish(const std::vector<uint8_t>& bytes);
    // Kovrin's end goes dead: its port sees the line gone.
    void HangUp();
    // A new line at Kovrin's link, as when a cable is plugged in again.
    void PlugIn();

    // Frames Kovrin sent whole and right, and bytes or frames that were not.
    int GoodFrames() const { return good_; }
    int MalformedFrames() const { return malformed_; }
    int WakeBytes() const { return wakes_; }

private:
    void OpenKovrinEnd();
    void CloseKovrinEnd();
    void Run();
    void Carry(int from, int to, bool fromKovrin);
    void Check(const uint8_t* bytes, size_t count);
    void FollowKovrinsSpeed();

    std::filesystem::path kovrinLink_;
    std::mutex lock_;  // the Kovrin end and the rubbish waiting
    int kovrinMaster_ = -1;
    int kovrinSlave_ = -1;  // held, so that Kovrin closing its port does not hang the line up
    int unit_ = -1;
    int wake_[2] = {-1, -1};
    std::vector<uint8_t> rubbish_;
    unsigned speed_ = 0;

    // Kovrin's frame being checked.
    std::vector<uint8_t> frame_;
    std::chrono::steady_clock::time_point lastByte_{};
    std::atomic<int> good_{0};
    std::atomic<int> malformed_{0};
    std::atomic<int> wakes_{0};

    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

}  // namespace kovrin::soak
