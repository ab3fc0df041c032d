#pragma once
// The execution-level marker. Code that stands for interrupt-time work (request
// completion on the bus thread, code under a spin lock) runs at Dispatch; a
// blocking call made there is recorded as a violation, so tests can catch it.

#include <cstddef>
#include <string>
#include <vector>

namespace kovrin::platform {

enum class ExecutionLevel { Passive = 0, Dispatch = 2 };

ExecutionLevel CurrentLevel();
// Returns the level that was in force, for LowerLevel.
ExecutionLevel RaiseLevel(ExecutionLevel level);
void LowerLevel(ExecutionLevel previous);

// Records a violation unless the calling thread is at passive level.
void RequirePassive(const char* what);

// Misuse of the layer that a test should see: a blocking call at dispatch
// level, an unknown interface link name, a device left initialising, ...
void RecordViolation(const std::string& what);
size_t ViolationCount();
std::vector<std::string> Violations();
void ClearViolations();

// Runs a scope at dispatch level.
class DispatchLevelScope {
public:
    DispatchLevelScope() : previous_(RaiseLevel(ExecutionLevel::Dispatch)) {}
    ~DispatchLevelScope() { LowerLevel(previous_); }
    DispatchLevelScope(const DispatchLevelScope&) = delete;
    DispatchLevelScope& operator=(const DispatchLevelScope&) = delete;

private:
    ExecutionLevel previous_;
};

}  // namespace kovrin::platform
