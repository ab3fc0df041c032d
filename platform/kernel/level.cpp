#include "platform/kernel/level.h"

#include <cstdio>
#include <mutex>


namespace kovrin::platform {

namespace {
thread_local ExecutionLevel currentLevel = ExecutionLevel::Passive;
std::mutex violationsLock;
std::vector<std::string> violations;
}  // namespace

ExecutionLevel CurrentLevel() { return currentLevel; }

ExecutionLevel RaiseLevel(ExecutionLevel level)
{
    ExecutionLevel previous = currentLevel;
    if (level > currentLevel)
        currentLevel = level;
    return previous;
}

void LowerLevel(ExecutionLevel previous) { currentLevel = previous; }

void RequirePassive(const char* what)
{
    if (currentLevel == ExecutionLevel::Passive)
        return;
    RecordViolation(std::string("blocking call at dispatch level: ") + what);
}

void RecordViolation(const std::string& what)
{
    std::fprintf(stderr, "platform: %s\n", what.c_str());
    std::lock_guard<std::mutex> guard(violationsLock);
    violations.push_back(what);
}

size_t ViolationCount()
{
    std::lock_guard<std::mutex> guard(violationsLock);
    return violations.size();
}

std::vector<std::string> Violations()
{
    std::lock_guard<std::mutex> guard(violationsLock);
    return violations;
}

void ClearViolations()
{
    std::lock_guard<std::mutex> guard(violationsLock);
    violations.clear();
}

}  // namespace kovrin::platform
