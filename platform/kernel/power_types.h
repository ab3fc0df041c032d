#pragma once
// Power states and the device-capabilities record.

#include <cstdint>

namespace kovrin::platform {

// Device power states; 0 is "unspecified".
enum DevicePowerState : uint32_t { DeviceStateUnspecified = 0, D0 = 1, D1 = 2, D2 = 3, D3 = 4 };

// System power states; 0 is "unspecified".
enum SystemPowerState : uint32_t {
    SystemStateUnspecified = 0,
    SystemWorking = 1,
    SystemSleeping1 = 2,
    SystemSleeping2 = 3,
    SystemSleeping3 = 4,
    SystemHibernate = 5,
    SystemShutdown = 6,
    SystemStateCount = 7,
};

enum class PowerStateType : uint32_t { System, Device };

// What the bus reports for a device: 64 bytes.
struct DeviceCapabilities {
    uint16_t Size;
    uint16_t Version;
    uint32_t DeviceD1 : 1;
    uint32_t DeviceD2 : 1;
    uint32_t Removable : 1;
    uint32_t SurpriseRemovalOk : 1;
    uint32_t OtherFlags : 28;
    uint32_t Address;
    uint32_t UiNumber;
    // Device state for each system state, indexed by SystemPowerState.
    uint32_t DeviceState[SystemStateCount];
    uint32_t SystemWake;
    uint32_t DeviceWake;
    uint32_t Latency[3];  // of D1, D2, D3
};
static_assert(sizeof(DeviceCapabilities) == 64);

}  // namespace kovrin::platform
