#pragma once
// The update's display as the fuzz targets stand in for it: it shows nothing,
// and checks that what it is given could be shown.

#include <string>

#include "app/link/flash_update.h"
#include "tests/fuzz/fuzz_support.h"

namespace kovrin::fuzz {

template <class Display>
class CheckedDisplay : public Display {
public:
    void ShowStatus(const std::string&) override {}
    void ShowProgress(int percent) override { FUZZ_CHECK(percent >= 0 && percent <= 100); }
    void ShowDeviceChecksum(const std::string& hexDigits) override { FUZZ_CHECK(hexDigits.size() == 4); }
    void CountBlockRetry() override {}
    void CountBootstrapRetry() override {}
    void ButtonsBusy() override {}
};

}  // namespace kovrin::fuzz
