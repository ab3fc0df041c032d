#include "usblib/command_runner.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <span>
#include <vector>

#include "usblib/commands/kdu_file_info.h"
#include "usblib/device_manager.h"
#include "usblib/transport.h"

namespace kovrin::usblib {
namespace {

namespace c = commands;
namespace layout = commands::kdu_file_info;

static_assert(sizeof(KduFileInfo) == layout::kSize);
static_assert(offsetof(KduFileInfo, FileNumber) == layout::kFileNumber);
static_assert(offsetof(KduFileInfo, VariantId) == layout::kVariantId);
static_assert(offsetof(KduFileInfo, Value1) == layout::kValue1);
static_assert(offsetof(KduFileInfo, Value2) == layout::kValue2);
static_assert(offsetof(KduFileInfo, DataFileKind) == layout::kDataFileKind);
static_assert(offsetof(KduFileInfo, SetupRevision) == layout::kSetupRevision);
static_assert(offsetof(KduFileInfo, CalibrationRevision) == layout::kCalibrationRevision);
static_assert(offsetof(KduFileInfo, Value3) == layout::kValue3);
static_assert(offsetof(KduFileInfo, Value4) == layout::kValue4);
static_assert(offsetof(KduFileInfo, FileClass) == layout::kFileClass);
static_assert(offsetof(KduFileInfo, FileName) == layout::kFileName);
static_assert(sizeof(KduFileInfo::FileName) == layout::kFileNameLength);
static_assert(offsetof(KduFileInfo, Value5) == layout::kValue5);
static_assert(offsetof(KduFileInfo, FileSize) == layout::kFileSize);
static_assert(std::endian::native == std::endian::little, "KduFileInfo holds its integers little-endian");

constexpr size_t kAcceptorBuffer = c::kAcceptorFrameMax;
constexpr size_t kGenericModuleReply = VOSKUSB_GENERIC_MODULE_REPLY_MAX;
constexpr uint16_t kLengthMask = 0xFFFF;

UsbResult Code(c::Result result) { return UsbResult(result); }

// Started (1), a handle the library holds (3), a device of one of the types (8).
UsbResult CheckDevice(UsbDevice device, std::initializer_list<DeviceType> types)
{
    std::shared_ptr<UsbDeviceRecord> record;
    if (UsbResult result = FindDevice(device, record))
        return result;
    if (std::find(types.begin(), types.end(), record->Type) == types.end())
        return USB_RESULT_WRONG_DEVICE_TYPE;
    return USB_RESULT_SUCCESS;
}

// Sets every named output that has memory to 0; false when a named one has none.
bool ClearOutputs(std::initializer_list<const Out*> outputs)
{
    bool complete = true;
    for (const Out* out : outputs) {
        if (!out->Named)
            continue;
        if (!out->Pointer)
            complete = false;
        else if (out->Clear)
            std::memset(out->Pointer, 0, out->Size);
    }
    return complete;
}

std::span<const uint8_t> Bytes(const In& in)
{
    return in.Length ? std::span(static_cast<const uint8_t*>(in.Pointer), in.Length) : std::span<const uint8_t>();
}

void Store(const Out& out, uint32_t value)
{
    if (!out.Pointer)
        return;
    switch (out.Size) {
    case 1: *static_cast<uint8_t*>(out.Pointer) = uint8_t(value); break;
    case 2: *static_cast<uint16_t*>(out.Pointer) = uint16_t(value); break;
    default: *static_cast<uint32_t*>(out.Pointer) = value; break;
    }
}

void Copy(const Out& out, std::span<const uint8_t> bytes)
{
    if (out.Pointer && !bytes.empty())
        std::memcpy(out.Pointer, bytes.data(), std::min(out.Size, bytes.size()));
}

UsbResult Exchange(UsbDevice device, const std::vector<uint8_t>& request, uint8_t* reply, uint32_t capacity,
                   uint32_t* count)
{
    *count = 0;
    if (UsbResult result = PipeWrite(device, request.data(), uint32_t(request.size())))
        return result;
    return PipeRead(device, reply, capacity, count);
}

// One acceptor reply: each read is followed by a reset of the IN pipe, and a
// first "not ready" by one more read.
UsbResult ReadAcceptorReply(UsbDevice device, std::vector<uint8_t>& buffer, c::AcceptorReply& reply)
{
    for (int read = 0; read < 2; ++read) {
        uint32_t count = 0;
        UsbResult result = PipeRead(device, buffer.data(), uint32_t(buffer.size()), &count);
        ResetInPipe(device);
        if (result)
            return result;
        reply = c::ParseAcceptorReply(std::span(buffer.data(), count));
        if (!reply.NotReady)
            break;
    }
    return Code(reply.Outcome);
}

UsbResult SendFrame(UsbDevice device, const std::vector<uint8_t>& frame)
{
    return PipeWrite(device, frame.data(), uint32_t(frame.size()));
}

}  // namespace

UsbResult RunModuleCall(UsbDevice device, const ModuleCall& call)
{
    if (UsbResult result = CheckDevice(device, {USB_DEVICE_KDU, USB_DEVICE_RDU}))
        return result;
    bool complete = ClearOutputs({&call.Status, &call.Values[0], &call.Values[1], &call.Values[2], &call.Block,
                                  &call.BlockLength});
    if (!complete || (call.HasEntry && !call.Entry) || (call.Data.Named && !call.Data.Pointer))
        return USB_RESULT_BAD_ARGUMENT;

    const c::ModuleCommandRow& row = c::ModuleRow(call.Command);
    std::vector<uint8_t> request;
    std::vector<uint32_t> parameters(call.Parameters.begin(), call.Parameters.end());
    if (c::Result built = c::BuildModuleRequest(row, parameters, Bytes(call.Data), request);
        built != c::Result::Success)
        return Code(built);

    uint8_t reply[c::kModuleReplyCapacity];
    uint32_t count = 0;
    if (UsbResult result = Exchange(device, request, reply, sizeof reply, &count))
        return result;
    c::ModuleReply decoded;
    if (c::Result checked = c::DecodeModuleReply(row, std::span<const uint8_t>(reply, count), decoded);
        checked != c::Result::Success)
        return Code(checked);

    Store(call.Status, decoded.Status);
    for (size_t i = 0; i < call.Values.size(); ++i)
        Store(call.Values[i], decoded.Values[i]);
    Copy(call.Block, decoded.Block);
    Store(call.BlockLength, uint32_t(decoded.Block.size()));
    if (call.HasEntry && decoded.Block.size() == layout::kEntryLength) {
        std::span<uint8_t, layout::kSize> record(reinterpret_cast<uint8_t*>(call.Entry), layout::kSize);
        c::FillFileInfoFromEntry(decoded.Block.first<layout::kEntryLength>(), record);
    }
    return USB_RESULT_SUCCESS;
}

AcceptorCall Gsa(uint8_t command)
{
    const c::GsaCommandRow& row = c::GsaRow(command);
    AcceptorCall call;
    call.Command = command;
    call.Handling = row.Handling;
    return call;
}

AcceptorCall Dru(uint8_t cls, uint8_t sub, c::ReplyHandling handling)
{
    AcceptorCall call;
    call.Dru = true;
    call.Class = cls;
    call.Sub = sub;
    call.Handling = handling;
    return call;
}

UsbResult RunAcceptorCall(UsbDevice device, const AcceptorCall& call)
{
    if (UsbResult result = CheckDevice(device, {USB_DEVICE_KNURL}))
        return result;
    // With a capacity, the length output is an input first: it is not cleared.
    uint16_t capacity = call.Capacity && call.Length.Pointer ? *static_cast<uint16_t*>(call.Length.Pointer) : 0;
    Out length = call.Capacity ? Out() : call.Length;
    bool complete = ClearOutputs({&call.Status, &call.Buffer, &length, &call.Exact.Record, &call.Exact.Extra});
    if (!complete || (call.Capacity && !call.Length.Pointer) || (call.Unused.Named && !call.Unused.Pointer) ||
        (call.Data.Named && !call.Data.Pointer) ||
        (call.DataRequired && call.Data.Length == 0))
        return USB_RESULT_BAD_ARGUMENT;

    std::vector<uint8_t> frame;
    size_t exact = 0;
    c::ExactForm form = c::ExactForm::Bytes;
    if (call.Dru) {
        if (c::Result built = c::BuildDruFrame(c::DruBlock(call.Class, call.Sub, Bytes(call.Data)), frame);
            built != c::Result::Success)
            return Code(built);
    } else {
        const c::GsaCommandRow& row = c::GsaRow(call.Command);
        exact = row.Exact;
        form = row.Form;
        std::vector<uint8_t> payload;
        if (c::Result built = c::BuildGsaPayload(row, call.Parameters, Bytes(call.Data), payload);
            built != c::Result::Success)
            return Code(built);
        if (c::Result built = c::BuildAcceptorFrame(payload, frame); built != c::Result::Success)
            return Code(built);
    }

    if (UsbResult result = SendFrame(device, frame))
        return result;
    std::vector<uint8_t> buffer(kAcceptorBuffer);
    c::AcceptorReply reply;
    UsbResult read = ReadAcceptorReply(device, buffer, reply);
    if (call.LengthOfReply && read == USB_RESULT_SUCCESS)
        Store(call.Length, uint32_t(reply.Data.size()));
    if (read != USB_RESULT_SUCCESS)
        return read;

    c::HandledReply handled = c::HandleAcceptorReply(call.Handling, exact, reply);
    if (handled.Outcome != c::Result::Success)
        return Code(handled.Outcome);
    std::span<const uint8_t> data = handled.Data;
    switch (call.Handling) {
    case c::ReplyHandling::Result:
    case c::ReplyHandling::Acknowledged:
        break;
    case c::ReplyHandling::Data:
        Copy(call.Buffer, data);
        Store(call.Length, uint32_t(data.size()));
        break;
    case c::ReplyHandling::DruRead:
        if (call.Capacity && data.size() > capacity) {
            Copy(Out(call.Buffer.Pointer, capacity), data);
            return USB_RESULT_DATA_OVERLOAD;
        }
        Copy(call.Buffer, data);
        Store(call.Length, uint32_t(data.size()));
        break;
    case c::ReplyHandling::Exactly:
        switch (form) {
        case c::ExactForm::Bytes:
            Copy(call.Exact.Record, data);
            break;
        case c::ExactForm::BigEndian16:
            Store(call.Exact.Record, uint32_t(data[0] << 8 | data[1]));
            break;
        case c::ExactForm::Stored16:
            Store(call.Exact.Record, uint32_t(data[0] | data[1] << 8));
            if (data.size() > 2)
                Store(call.Exact.Extra, data[2]);
            break;
        }
        Store(call.Length, uint32_t(data.size()));
        break;
    }
    return USB_RESULT_SUCCESS;
}

UsbResult RunGeneric(UsbDevice device, const uint8_t* request, uint32_t length, uint8_t* buffer,
                     uint16_t* replyLength)
{
    std::shared_ptr<UsbDeviceRecord> record;
    if (UsbResult result = FindDevice(device, record))
        return result;
    DeviceType type = record->Type;
    if (type != USB_DEVICE_KNURL && type != USB_DEVICE_KDU && type != USB_DEVICE_RDU)
        return USB_RESULT_WRONG_DEVICE_TYPE;
    if (replyLength)
        *replyLength = 0;
    uint32_t requestLength = length & kLengthMask;
    if (!replyLength || !request || requestLength == 0)
        return USB_RESULT_BAD_ARGUMENT;

    if (type != USB_DEVICE_KNURL) {
        // One transfer carries at most what the driver takes.
        if (requestLength > c::kAcceptorFrameMax)
            return USB_RESULT_BAD_ARGUMENT;
        std::vector<uint8_t> bytes(request, request + requestLength);
        std::vector<uint8_t> reply(kGenericModuleReply);
        uint32_t count = 0;
        UsbResult result = Exchange(device, bytes, reply.data(), uint32_t(reply.size()), &count);
        *replyLength = uint16_t(count);
        if (count > 0 && !buffer)
            return USB_RESULT_BAD_ARGUMENT;
        if (count > 0)
            std::memcpy(buffer, reply.data(), count);
        return result;
    }

    std::vector<uint8_t> frame;
    if (c::Result built = c::BuildAcceptorFrame(std::span(request, requestLength), frame); built != c::Result::Success)
        return Code(built);
    if (UsbResult result = SendFrame(device, frame))
        return result;
    std::vector<uint8_t> work(kAcceptorBuffer);
    c::AcceptorReply reply;
    if (UsbResult result = ReadAcceptorReply(device, work, reply))
        return result;
    c::HandledReply handled = c::HandleGenericAcceptorReply(reply);
    *replyLength = uint16_t(handled.Data.size());
    if (!handled.Data.empty() && !buffer)
        return USB_RESULT_BAD_ARGUMENT;
    if (!handled.Data.empty())
        std::memcpy(buffer, handled.Data.data(), handled.Data.size());
    return Code(handled.Outcome);
}

}  // namespace kovrin::usblib
