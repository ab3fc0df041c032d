// Requests through a two-driver stack: stack locations, completion routines
// with "more processing required", pending, cancel, and the final completion.

#include <gtest/gtest.h>

#include <mutex>
#include <vector>

#include "platform/kernel/io_internal.h"
#include "platform/kernel/level.h"
#include "platform/kernel/system.h"

namespace kovrin::platform {
namespace {

// The lower driver keeps every request pending until the test completes it.
std::mutex heldLock;
std::vector<Request*> held;

void CancelHeld(DeviceObject*, Request* request)
{
    {
        std::lock_guard<std::mutex> guard(heldLock);
        std::erase(held, request);
    }
    request->IoStatus = {Status::Cancelled, 0};
    CompleteRequest(request);
}

Status LowerDispatch(DeviceObject*, Request* request)
{
    MarkPending(request);
    {
        std::lock_guard<std::mutex> guard(heldLock);
        held.push_back(request);
    }
    SetCancelRoutine(request, CancelHeld);
    return Status::Pending;
}

Request* TakeHeld()
{
    std::lock_guard<std::mutex> guard(heldLock);
    if (held.empty())
        return nullptr;
    Request* request = held.front();
    held.erase(held.begin());
    return request;
}

// The upper driver passes requests down with a completion routine that keeps
// the first completion and finishes the request itself.
std::vector<std::string> trace;

Status UpperCompletion(DeviceObject* device, Request* request, void* context)
{
    trace.push_back(std::string("completion:") + static_cast<const char*>(context));
    EXPECT_NE(device, nullptr);  // the upper driver's own device
    EXPECT_TRUE(request->PendingReturned);
    if (request->PendingReturned)
        MarkPending(request);
    request->IoStatus.Information = 42;
    CompleteRequest(request);  // again, now towards the originator
    return Status::MoreProcessingRequired;
}

DeviceObject* lowerDevice = nullptr;

Status UpperDispatch(DeviceObject*, Request* request)
{
    CopyCurrentStackLocationToNext(request);
    SetCompletionRoutine(request, UpperCompletion, const_cast<char*>("upper"), true, true, true);
    return CallDriver(lowerDevice, request);
}

class RequestTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ClearViolations();
        lowerDriver_.Dispatch[size_t(MajorFunction::Read)] = LowerDispatch;
        upperDriver_.Dispatch[size_t(MajorFunction::Read)] = UpperDispatch;
        CreateDeviceUncounted(&lowerDriver_, 0, kDeviceTypeUnknown, &lower_);
        CreateDeviceUncounted(&upperDriver_, 0, kDeviceTypeUnknown, &upper_);
        lowerDevice = lower_;
        EXPECT_EQ(AttachDeviceToDeviceStack(upper_, lower_), lower_);
        EXPECT_EQ(upper_->StackSize, 2);
        trace.clear();
    }
    void TearDown() override
    {
        DetachDevice(lower_);
        DeleteDevice(upper_);
        DeleteDevice(lower_);
        EXPECT_EQ(ViolationCount(), 0u);
    }

    Request* NewRead(IoStatusBlock* result)
    {
        Request* request = AllocateRequestUncounted(upper_->StackSize);
        NextStackLocation(request)->Major = MajorFunction::Read;
        SetFinalCompletion(request, [result](Request* r) {
            trace.push_back("final");
            *result = r->IoStatus;
        });
        return request;
    }

    System system_;
    DriverObject lowerDriver_;
    DriverObject upperDriver_;
    DeviceObject* lower_ = nullptr;
    DeviceObject* upper_ = nullptr;
};

TEST_F(RequestTest, CompletionRoutineKeepsTheRequestAndCompletesItAgain)
{
    IoStatusBlock result{Status::Pending, 0};
    Request* request = NewRead(&result);
    EXPECT_EQ(CallDriver(upper_, request), Status::Pending);
    EXPECT_EQ(request->CurrentLocation, 1);
    EXPECT_EQ(CurrentStackLocation(request)->Device, lower_);
    Request* pending = TakeHeld();
    ASSERT_EQ(pending, request);
    SetCancelRoutine(pending, nullptr);
    pending->IoStatus = {Status::Success, 7};
    CompleteRequest(pending);
    EXPECT_EQ(trace, (std::vector<std::string>{"completion:upper", "final"}));
    EXPECT_EQ(result.Status, Status::Success);
    EXPECT_EQ(result.Information, 42u);
    FreeRequest(request);
}

TEST_F(RequestTest, CancelCallsTheCancelRoutineOfTheDriverThatHoldsTheRequest)
{
    IoStatusBlock result{Status::Pending, 0};
    Request* request = NewRead(&result);
    EXPECT_EQ(CallDriver(upper_, request), Status::Pending);
    CancelRequest(request);
    EXPECT_TRUE(request->Cancel);
    EXPECT_EQ(TakeHeld(), nullptr);
    EXPECT_EQ(result.Status, Status::Cancelled);
    EXPECT_EQ(trace, (std::vector<std::string>{"completion:upper", "final"}));
    FreeRequest(request);
}

TEST_F(RequestTest, RequestSizedForTheLowerDriverOnly)
{
    // A request with only the lower driver's location, sent by the upper one.
    IoStatusBlock result{Status::Pending, 0};
    Request* request = AllocateRequestUncounted(lower_->StackSize);
    NextStackLocation(request)->Major = MajorFunction::Read;
    SetFinalCompletion(request, [&](Request* r) { result = r->IoStatus; });
    EXPECT_EQ(CallDriver(lower_, request), Status::Pending);
    Request* pending = TakeHeld();
    ASSERT_EQ(pending, request);
    SetCancelRoutine(pending, nullptr);
    pending->IoStatus = {Status::Unsuccessful, 0};
    CompleteRequest(pending);
    EXPECT_EQ(result.Status, Status::Unsuccessful);
    FreeRequest(request);
}

}  // namespace
}  // namespace kovrin::platform
