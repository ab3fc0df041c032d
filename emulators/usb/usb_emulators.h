#pragma once
// The emulated USB devices by name, for whoever plugs them into a bus:
//   kdu      programming module KDU (product 0x0200), current software
//   kdu-old  a KDU whose software is too old for Kovrin (revision byte 1 below 5)
//   rdu      programming module RDU (product 0x0300)
//   knurl    the USB acceptor (product 0x0100), acknowledging every request
// A module takes an optional seed folder with its first files.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "emulators/usb/bus/emulated_device.h"

namespace kovrin::emulator::usb {

struct MadeEmulator {
    std::shared_ptr<platform::usb::EmulatedDevice> Device;  // null when it could not be made
    std::string Error;                                      // why not
};

const std::vector<std::string>& UsbEmulatorNames();
MadeEmulator MakeUsbEmulator(std::string_view name, const std::string& seedFolder = {});
// "name" or "name:seed folder".
MadeEmulator MakeUsbEmulatorFromText(std::string_view text);

// Registers every name with the emulated bus's device registry.
void RegisterUsbEmulators();

}  // namespace kovrin::emulator::usb
