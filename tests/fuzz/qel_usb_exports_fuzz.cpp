// qel_usb's exports against emulated devices whose replies are the fuzzer's
// bytes: a programming module and a USB acceptor on the emulated bus, behind
// the driver. Every output has exactly the room its export documents (so a
// write past it is caught), and what comes back never exceeds what arrived.
//
// Input, repeated: a call selector (its top bit picks the other device, to
// test the type check), a reply count (1 to 3), then each reply (a length of
// two bytes and the bytes), then the call's own arguments as it takes them.

#include <cstring>
#include <functional>

#include "emulators/usb/bus/emulated_machine.h"
#include "platform/host.h"
#include "platform/user/time_limits.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/fuzz/scripted_device.h"
#include "usblib/device_manager.h"
#include "usblib/qel_usb.h"

using kovrin::fuzz::Input;
using kovrin::fuzz::ScriptedDevice;
using Bytes = std::vector<uint8_t>;

namespace {

UsbDevice moduleHandle = 0;
UsbDevice acceptorHandle = 0;

void Arrived(UsbDevice device, int32_t event, DeviceType type)
{
    if (event == USB_DEVICE_ARRIVED)
        (type == USB_DEVICE_KDU ? moduleHandle : acceptorHandle) = device;
}

// A module and an acceptor on the emulated bus, the library started and both opened, once per process.
struct Devices {
    std::shared_ptr<ScriptedDevice> module = std::make_shared<ScriptedDevice>(kovrin::qelusb::ProductProgrammingModule);
    std::shared_ptr<ScriptedDevice> acceptor = std::make_shared<ScriptedDevice>(kovrin::qelusb::ProductUsbAcceptor);

    Devices()
    {
        setenv("QELUSB_BUS", "emulated", 1);
        unsetenv("QELUSB_EMULATED");
        FUZZ_CHECK(kovrin::usblib::StartHost());
        auto* bus = kovrin::platform::host::EmulatedBus();
        FUZZ_CHECK(bus != nullptr);
        bus->Plug(module);
        bus->Plug(acceptor);
        kovrin::platform::host::WaitIdle();
        // A reply that never comes ends the exchange in a tenth of a second.
        kovrin::platform::user::SetTimeLimitScale(0.01);
        FUZZ_CHECK(VoskUsb_Initialise(&Arrived) == 1);
        FUZZ_CHECK(moduleHandle != 0 && acceptorHandle != 0);
        FUZZ_CHECK(VoskUsb_OpenDevice(moduleHandle) == USB_RESULT_SUCCESS);
        FUZZ_CHECK(VoskUsb_OpenDevice(acceptorHandle) == USB_RESULT_SUCCESS);
    }
    ~Devices() { VoskUsb_Remove(); }
};

// An output of exactly `size` bytes, filled with a pattern first.
Bytes Room(size_t size) { return Bytes(size, 0xCD); }

// The data a reply of the acceptor carried (after a Dru reply's echo when `dru`).
bool DataOf(const Bytes& reply, bool dru, std::span<const uint8_t>& data)
{
    if (reply.size() < 6)
        return false;
    data = std::span<const uint8_t>(reply).subspan(4, reply.size() - 6);
    if (dru) {
        if (data.size() < 3)
            return false;
        data = data.subspan(3);
    }
    return true;
}

struct Call {
    bool module;  // a programming-module export (else the acceptor's)
    // The call with its arguments from the input; `served` gives the replies the device sent for it.
    std::function<UsbResult(UsbDevice, Input&, const std::function<std::vector<Bytes>()>& served)> run;
    bool anyDevice = false;  // takes either device
};

// A module export that only sends and reads the status byte.
Call StatusOnly(UsbResult (*export_)(UsbDevice, uint8_t*))
{
    return {true, [export_](UsbDevice d, Input&, const auto&) {
                uint8_t status = 0xCD;
                return export_(d, &status);
            }};
}

// An acceptor export whose only output is the status byte.
Call AcceptorStatus(UsbResult (*export_)(UsbDevice, uint8_t*))
{
    return {false, [export_](UsbDevice d, Input&, const auto&) {
                uint8_t status = 0xCD;
                return export_(d, &status);
            }};
}

// An acceptor export that returns a reply's data into a buffer.
template <class... Rest>
Call AcceptorData(UsbResult (*export_)(UsbDevice, uint8_t*, uint16_t*, Rest...), size_t room, bool dru = false)
{
    return {false, [export_, room, dru](UsbDevice d, Input&, const auto& served) {
                Bytes buffer = Room(room);
                uint16_t length = 0xCDCD;
                uint8_t status = 0;
                UsbResult r;
                if constexpr (sizeof...(Rest) == 0)
                    r = export_(d, buffer.data(), &length);
                else
                    r = export_(d, buffer.data(), &length, &status);
                if (r == USB_RESULT_SUCCESS) {
                    const std::vector<Bytes> replies = served();
                    std::span<const uint8_t> data;
                    FUZZ_CHECK(!replies.empty() && DataOf(replies.back(), dru, data));
                    FUZZ_CHECK(length == data.size() && length <= room);
                    FUZZ_CHECK(std::equal(data.begin(), data.end(), buffer.begin()));
                }
                return r;
            }};
}

std::vector<Call> Calls()
{
    std::vector<Call> calls = {
        {true, [](UsbDevice d, Input&, const auto&) {
             uint8_t status, third;
             uint16_t first, second;
             return VoskUsb_PMGetStatus(d, &status, &first, &second, &third);
         }},
        {true, [](UsbDevice d, Input&, const auto&) {
             Bytes record = Room(7);
             return VoskUsb_PMGetFWRev(d, record.data());
         }},
        {true, [](UsbDevice d, Input& in, const auto&) {
             uint8_t status;
             Bytes record = Room(16);
             return VoskUsb_PMGetUnitData(d, &status, in.Long(), record.data());
         }},
        {true, [](UsbDevice d, Input& in, const auto&) {
             uint8_t status;
             const Bytes record = Room(16);
             return VoskUsb_PMSetUnitData(d, &status, in.Long(), record.data());
         }},
        {true, [](UsbDevice d, Input&, const auto& served) {
             uint8_t count = 0xCD;
             Bytes buffer = Room(127);
             const UsbResult r = VoskUsb_PMGetErrorLog(d, &count, buffer.data());
             if (r == USB_RESULT_SUCCESS) {
                 const std::vector<Bytes> replies = served();
                 FUZZ_CHECK(replies.size() == 1 && !replies[0].empty() && count == replies[0][0]);
                 const int n = int8_t(count);
                 if (n > 0) {
                     FUZZ_CHECK(size_t(n) < replies[0].size());
                     FUZZ_CHECK(std::equal(buffer.begin(), buffer.begin() + n, replies[0].begin() + 1));
                 }
             }
             return r;
         }},
        {true, [](UsbDevice d, Input&, const auto&) { return VoskUsb_PMClearErrorLog(d); }},
        {true, [](UsbDevice d, Input&, const auto&) { return VoskUsb_PMClearPowerCount(d); }},
        {true, [](UsbDevice d, Input& in, const auto&) {
             uint8_t status, value;
             return VoskUsb_PMGetItem(d, &status, in.Long(), &value);
         }},
        {true, [](UsbDevice d, Input& in, const auto&) {
             uint8_t status;
             const uint32_t item = in.Long();
             return VoskUsb_PMSetItem(d, &status, item, in.Long());
         }},
        StatusOnly(VoskUsb_PMCheckFilingSystem),
        StatusOnly(VoskUsb_PMFormatFilingSystem),
        {true, [](UsbDevice d, Input& in, const auto&) {
             uint8_t status;
             return VoskUsb_PMOpenFileForRead(d, &status, in.Long());
         }},
        {true, [](UsbDevice d, Input&, const auto& served) {
             uint8_t status = 0xCD;
             Bytes buffer = Room(255);
             uint16_t length = 0xCDCD;
             const UsbResult r = VoskUsb_PMReadFile(d, &status, buffer.data(), &length);
             if (r == USB_RESULT_SUCCESS) {
                 const std::vector<Bytes> replies = served();
                 FUZZ_CHECK(replies.size() == 1 && !replies[0].empty() && status == replies[0][0]);
                 FUZZ_CHECK(length <= 255 && length < replies[0].size());
                 FUZZ_CHECK(std::equal(buffer.begin(), buffer.begin() + length, replies[0].begin() + 1));
             }
             return r;
         }},
        {true, [](UsbDevice d, Input& in, const auto&) {
             uint8_t status;
             KduFileInfo entry;
             in.Fill(entry);
             return VoskUsb_PMCreateFile(d, &status, &entry);
         }},
        {true, [](UsbDevice d, Input& in, const auto&) {
             uint8_t status;
             const Bytes data = in.ShortRun();
             return VoskUsb_PMWriteFile(d, &status, data.data(), uint32_t(data.size()));
         }},
        StatusOnly(VoskUsb_PMCloseFile),
        {true, [](UsbDevice d, Input& in, const auto&) {
             uint8_t status;
             return VoskUsb_PMDeleteFile(d, &status, in.Long());
         }},
        {true, [](UsbDevice d, Input& in, const auto&) {
             uint8_t status;
             auto entry = std::make_unique<KduFileInfo>();
             std::memset(entry.get(), 0x5A, sizeof *entry);
             const KduFileInfo before = *entry;
             const UsbResult r = VoskUsb_PMEnumFile(d, in.Long(), &status, entry.get());
             // Only a whole entry changes the record; the bytes it does not carry never.
             if (r != USB_RESULT_SUCCESS)
                 FUZZ_CHECK(std::memcmp(entry.get(), &before, sizeof before) == 0);
             FUZZ_CHECK(entry->Reserved[0] == 0x5A && entry->Reserved[1] == 0x5A && entry->FileName[29] == 0x5A);
             return r;
         }},
        {true, [](UsbDevice d, Input&, const auto&) {
             uint8_t status;
             uint32_t capacity;
             return VoskUsb_PMGetCapacity(d, &status, &capacity);
         }},
        StatusOnly(VoskUsb_PMRunBootloader),
        {true, [](UsbDevice d, Input& in, const auto&) {
             uint8_t status;
             return VoskUsb_PMSelfTest(d, &status, in.Long());
         }},
        StatusOnly(VoskUsb_PMBLDeleteApp),
        {true, [](UsbDevice d, Input& in, const auto&) {
             uint8_t status;
             return VoskUsb_PMBLLoadApp(d, &status, in.Long());
         }},
        StatusOnly(VoskUsb_PMBLRunApp),
        {true, [](UsbDevice d, Input& in, const auto&) {
             uint8_t status;
             const uint32_t first = in.Long();
             return VoskUsb_PMBLUpdateSecBL(d, &status, first, in.Long());
         }},
        {true, [](UsbDevice d, Input& in, const auto&) {
             uint8_t status;
             return VoskUsb_PMBLDeleteUtility(d, &status, in.Long());
         }},
        {true, [](UsbDevice d, Input& in, const auto&) {
             uint8_t status;
             const uint32_t utility = in.Long();
             return VoskUsb_PMBLLoadUtility(d, &status, utility, in.Long());
         }},
        {true, [](UsbDevice d, Input& in, const auto&) {
             uint8_t status;
             return VoskUsb_PMBLRunUtility(d, &status, in.Long());
         }},
        {true, [](UsbDevice d, Input& in, const auto&) {
             uint8_t status;
             const uint32_t address = in.Long();
             const Bytes data = in.ShortRun();
             return VoskUsb_PMBLDownload(d, &status, address, data.data(), uint32_t(data.size()));
         }},
        StatusOnly(VoskUsb_PMBLDownloadEnd),

        AcceptorData(VoskUsb_GSARequestManCode, VOSKUSB_REPLY_DATA_MAX),
        AcceptorData(VoskUsb_GSARequestSN, VOSKUSB_REPLY_DATA_MAX),
        AcceptorData(VoskUsb_GSABillTable, VOSKUSB_REPLY_DATA_MAX),
        AcceptorData(VoskUsb_GSAStackedBillInfo, VOSKUSB_REPLY_DATA_MAX),
        AcceptorData(VoskUsb_GSARequestStats, VOSKUSB_REPLY_DATA_MAX),
        AcceptorData(VoskUsb_GSARequestBarCode, VOSKUSB_REPLY_DATA_MAX),
        {false, [](UsbDevice d, Input&, const auto&) {
             Bytes record = Room(6);
             uint16_t length;
             return VoskUsb_GSARequestProdDate(d, record.data(), &length);
         }},
        {false, [](UsbDevice d, Input&, const auto&) {
             Bytes record = Room(5);
             uint16_t length;
             uint8_t status;
             return VoskUsb_GSARequestBillInhib(d, record.data(), &length, &status);
         }},
        {false, [](UsbDevice d, Input&, const auto&) {
             Bytes record = Room(6);
             uint16_t length;
             uint8_t status;
             return VoskUsb_GSARequestStatus(d, record.data(), &length, &status);
         }},
        {false, [](UsbDevice d, Input&, const auto&) {
             Bytes record = Room(9);
             uint16_t length;
             uint8_t status;
             return VoskUsb_GSARequestProgRev(d, record.data(), &length, &status);
         }},
        {false, [](UsbDevice d, Input&, const auto&) {
             Bytes record = Room(6);
             uint16_t length;
             uint8_t status;
             return VoskUsb_GSARequestLastFive(d, record.data(), &length, &status);
         }},
        {false, [](UsbDevice d, Input&, const auto&) {
             auto value = std::make_unique<uint16_t>();
             uint16_t length;
             uint8_t status;
             return VoskUsb_GSARequestSWCRC(d, value.get(), &length, &status);
         }},
        {false, [](UsbDevice d, Input&, const auto&) {
             auto value = std::make_unique<uint16_t>();
             uint16_t length;
             uint8_t status;
             return VoskUsb_GSARequestOrientation(d, value.get(), &length, &status);
         }},
        {false, [](UsbDevice d, Input&, const auto&) {
             auto info = std::make_unique<VoskUsbBLinkInfo>();
             uint16_t length;
             uint8_t unused = 0x5A;
             const UsbResult r = VoskUsb_GSABLinkSupported(d, info.get(), &length, &unused);
             FUZZ_CHECK(unused == 0x5A);
             return r;
         }},
        AcceptorStatus(VoskUsb_GSAResetStats),
        AcceptorStatus(VoskUsb_GSAResetBillCounter),
        AcceptorStatus(VoskUsb_GSAResetBA),
        AcceptorStatus(VoskUsb_GSAEndDownload),
        AcceptorStatus(VoskUsb_GSAFinishDownload),
        AcceptorStatus(VoskUsb_GSAStartDownload),
        AcceptorStatus(VoskUsb_GSACancelDownload),
        AcceptorStatus(VoskUsb_GSAAcceptBill),
        AcceptorStatus(VoskUsb_GSAReturnBill),
        AcceptorStatus(VoskUsb_GSAClearEventFlags),
        {false, [](UsbDevice d, Input& in, const auto& served) {
             uint16_t length = 0xCDCD;
             uint8_t status;
             const uint32_t first = in.Long();
             const UsbResult r = VoskUsb_GSASendCRCparam(d, first, in.Long(), &length, &status);
             const std::vector<Bytes> replies = served();
             std::span<const uint8_t> data;
             if (r == USB_RESULT_SUCCESS)
                 FUZZ_CHECK(!replies.empty() && DataOf(replies.back(), false, data) && length == data.size());
             return r;
         }},
        {false, [](UsbDevice d, Input& in, const auto&) {
             uint8_t status;
             const uint32_t first = in.Long();
             return VoskUsb_GSADLDimensions(d, &status, first, in.Long());
         }},
        {false, [](UsbDevice d, Input& in, const auto&) {
             uint8_t status;
             const uint32_t first = in.Long();
             const Bytes data = in.Run(2100);
             return VoskUsb_GSADLPacket(d, &status, first, uint32_t(data.size()), data.data());
         }},
        {false, [](UsbDevice d, Input& in, const auto&) {
             uint8_t status;
             return VoskUsb_GSASetInhibits(d, in.Long(), 0, &status);
         }},
        {false, [](UsbDevice d, Input& in, const auto&) {
             uint8_t status;
             return VoskUsb_GSASetOrientation(d, in.Long(), 0, &status);
         }},

        AcceptorStatus(VoskUsb_DruClearStdPerformanceData),
        AcceptorStatus(VoskUsb_DruClearExdPerformanceData),
        AcceptorStatus(VoskUsb_DruClear50Exceptions),
        AcceptorStatus(VoskUsb_DruClearBillsBtwJams),
        AcceptorStatus(VoskUsb_DruClearLifeTotals),
        AcceptorStatus(VoskUsb_DruCalibrateMode),
        AcceptorStatus(VoskUsb_DruStartSMtrFoward),
        AcceptorStatus(VoskUsb_DruStartSMtrReverse),
        AcceptorStatus(VoskUsb_DruStopSMtr),
    };
    for (auto write : {VoskUsb_DruWriteConfig, VoskUsb_DruWriteInhibits, VoskUsb_DruWriteSecurity})
        calls.push_back({false, [write](UsbDevice d, Input& in, const auto&) {
                             uint8_t status;
                             const Bytes data = in.ShortRun();
                             return write(d, &status, data.data(), uint32_t(data.size()));
                         }});
    for (auto read : {VoskUsb_DruStdAudit, VoskUsb_DruExtAudit, VoskUsb_DruReadBillTable, VoskUsb_DruReadConfig,
                      VoskUsb_DruReadInhibits, VoskUsb_DruReadSecurity})
        calls.push_back({false, [read](UsbDevice d, Input&, const auto& served) {
                             uint8_t status;
                             Bytes buffer = Room(VOSKUSB_DRU_DATA_MAX);
                             uint16_t length = 0xCDCD;
                             const UsbResult r = read(d, &status, buffer.data(), &length);
                             if (r == USB_RESULT_SUCCESS) {
                                 const std::vector<Bytes> replies = served();
                                 std::span<const uint8_t> data;
                                 FUZZ_CHECK(!replies.empty() && DataOf(replies.back(), true, data));
                                 FUZZ_CHECK(length == data.size());
                                 FUZZ_CHECK(std::equal(data.begin(), data.end(), buffer.begin()));
                             }
                             return r;
                         }});
    calls.push_back({false, [](UsbDevice d, Input& in, const auto&) {
                         const uint32_t cls = in.Long();
                         return VoskUsb_DruSendCommand(d, cls, in.Long());
                     }});
    calls.push_back({false, [](UsbDevice d, Input& in, const auto& served) {
                         const uint32_t cls = in.Long();
                         const uint32_t sub = in.Long();
                         const uint16_t capacity = in.Word() % 5000;
                         Bytes buffer = Room(capacity);
                         uint16_t length = capacity;
                         const UsbResult r = VoskUsb_DruReadCommand(d, cls, sub, buffer.data(), &length);
                         const std::vector<Bytes> replies = served();
                         std::span<const uint8_t> data;
                         if (r == USB_RESULT_SUCCESS) {
                             FUZZ_CHECK(!replies.empty() && DataOf(replies.back(), true, data));
                             FUZZ_CHECK(length == data.size() && length <= capacity);
                             FUZZ_CHECK(std::equal(data.begin(), data.end(), buffer.begin()));
                         }
                         if (r == USB_RESULT_DATA_OVERLOAD) {
                             FUZZ_CHECK(length == capacity);
                             FUZZ_CHECK(!replies.empty() && DataOf(replies.back(), true, data));
                             FUZZ_CHECK(data.size() > capacity);
                             FUZZ_CHECK(std::equal(buffer.begin(), buffer.end(), data.begin()));
                         }
                         return r;
                     }});
    calls.push_back({false, [](UsbDevice d, Input& in, const auto&) {
                         const uint32_t cls = in.Long();
                         const uint32_t sub = in.Long();
                         const Bytes data = in.ShortRun();
                         return VoskUsb_DruWriteCommand(d, cls, sub, data.data(), uint32_t(data.size()));
                     }});
    // The raw exchange, with either device.
    for (bool module : {true, false})
        calls.push_back({module, [module](UsbDevice d, Input& in, const auto& served) {
                             const Bytes request = in.Run(5000);
                             const size_t room = module ? VOSKUSB_GENERIC_MODULE_REPLY_MAX : VOSKUSB_REPLY_DATA_MAX;
                             Bytes buffer = Room(room);
                             uint16_t length = 0xCDCD;
                             const UsbResult r =
                                 VoskUsb_Generic(d, request.data(), uint32_t(request.size()), buffer.data(), &length);
                             FUZZ_CHECK(length <= room);
                             if (r == USB_RESULT_SUCCESS && module) {
                                 const std::vector<Bytes> replies = served();
                                 FUZZ_CHECK(replies.size() == 1 && length == std::min(replies[0].size(), room));
                                 FUZZ_CHECK(std::equal(buffer.begin(), buffer.begin() + length, replies[0].begin()));
                             }
                             return r;
                         },
                         true});
    return calls;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const Devices devices;
    static const std::vector<Call> calls = Calls();
    Input in(data, size);
    while (!in.Empty()) {
        const uint8_t selector = in.Byte();
        const Call& call = calls[(selector & 0x7F) % calls.size()];
        const bool other = (selector & 0x80) && !call.anyDevice;
        const bool module = call.module != other;
        ScriptedDevice& device = module ? *devices.module : *devices.acceptor;
        std::deque<Bytes> replies;
        for (int n = in.Byte() % 3 + 1; n > 0; --n)
            replies.push_back(in.Run(4200));
        device.Script(replies);
        const UsbResult result =
            call.run(module ? moduleHandle : acceptorHandle, in, [&device] { return device.Served(); });
        FUZZ_CHECK(result >= USB_RESULT_SUCCESS && result <= USB_RESULT_ACCEPTOR_ERROR_E4);
        FUZZ_CHECK(result != USB_RESULT_NOT_INITIALISED && result != USB_RESULT_BAD_HANDLE &&
                   result != USB_RESULT_NOT_OPEN);
        FUZZ_CHECK((result == USB_RESULT_WRONG_DEVICE_TYPE) == other);
        if (other)
            FUZZ_CHECK(device.Served().empty());  // refused before anything was sent
    }
    return 0;
}
