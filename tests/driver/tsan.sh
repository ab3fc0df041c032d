#!/usr/bin/env bash
# Builds the platform layer, the driver, the USB library, the libusb backend, the USB emulators and
# their tests with ThreadSanitizer in build-tsan/ (apart from the sanitizer build in build/) and runs them once.
set -euo pipefail
cd "$(dirname "$0")/../.."

flags="-fsanitize=thread -fno-omit-frame-pointer"
cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=Debug -DKOVRIN_WERROR=ON -DKOVRIN_SANITIZE=OFF \
  -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_C_FLAGS="$flags" \
  -DCMAKE_EXE_LINKER_FLAGS=-fsanitize=thread -DCMAKE_SHARED_LINKER_FLAGS=-fsanitize=thread \
  -DCMAKE_MODULE_LINKER_FLAGS=-fsanitize=thread >/dev/null
cmake --build build-tsan -j"$(nproc)" --target QelUsb platform_tests driver_tests usblib_tests libusb_tests \
  usb_emulators_tests fuzz_qel_usb_exports fuzz_driver_requests

export TSAN_OPTIONS="${TSAN_OPTIONS:-halt_on_error=1 second_deadlock_stack=1}"
build-tsan/bin/platform_tests --gtest_brief=1
build-tsan/bin/driver_tests --gtest_brief=1
build-tsan/bin/usblib_tests --gtest_brief=1
TSAN_OPTIONS="$TSAN_OPTIONS suppressions=$PWD/tests/libusb/tsan.supp" \
  tests/libusb/under_umockdev build-tsan/bin/libusb_tests --gtest_brief=1
build-tsan/bin/usb_emulators_tests --gtest_brief=1
# The library and the driver fed the fuzz corpora's hostile replies and requests.
build-tsan/bin/fuzz_qel_usb_exports tests/fuzz/corpus/qel_usb_exports >/dev/null
build-tsan/bin/fuzz_driver_requests tests/fuzz/corpus/driver_requests >/dev/null
