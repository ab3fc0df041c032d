// Nothing C++ throws crosses an export: a failed allocation of an argument's
// copy gives 10, anything else 6. Its own program, since it replaces the
// global operator new to make allocations fail.

#include <gtest/gtest.h>

#include <cstdlib>
#include <new>
#include <stdexcept>

#include "usblib/boundary.h"
#include "usblib/qel_usb.h"

namespace {

thread_local bool failAllocations = false;

}  // namespace

void* operator new(std::size_t size)
{
    if (failAllocations)
        throw std::bad_alloc();
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace kovrin::usblib::testing {
namespace {

// Runs `call` with every allocation failing.
template <class F>
auto WithoutMemory(F call)
{
    failAllocations = true;
    auto result = call();
    failAllocations = false;
    return result;
}

TEST(ExportBoundary, AFailedAllocationOfAnArgumentsCopyGives10)
{
    uint8_t status = 0xAA;
    // Both build their request's parameters in memory of their own first.
    EXPECT_EQ(WithoutMemory([&] { return VoskUsb_PMSetItem(1, &status, 2, 3); }), USB_RESULT_BAD_ARGUMENT);
    EXPECT_EQ(WithoutMemory([&] { return VoskUsb_GSASetInhibits(1, 0x1234, 0, &status); }), USB_RESULT_BAD_ARGUMENT);
    // With memory again, the ordinary first check answers.
    EXPECT_EQ(VoskUsb_PMSetItem(1, &status, 2, 3), USB_RESULT_NOT_INITIALISED);
}

TEST(ExportBoundary, WhatAnExportMeetsTurnsIntoItsResult)
{
    struct Case {
        void (*raise)();
        UsbResult expected;
    };
    const Case cases[] = {
        {[] { throw std::bad_alloc(); }, USB_RESULT_BAD_ARGUMENT},
        {[] { throw std::length_error("vector"); }, USB_RESULT_LINK_FAILED},
        {[] { throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again)); },
         USB_RESULT_LINK_FAILED},
        {[] { throw 7; }, USB_RESULT_LINK_FAILED},
    };
    for (const Case& c : cases) {
        UsbResult result = -1;
        try {
            c.raise();
        } catch (...) {
            result = ResultOfException();
        }
        EXPECT_EQ(result, c.expected);
    }
}

}  // namespace
}  // namespace kovrin::usblib::testing
