// The USB acceptor's exports (GSA and Dru command sets) and the raw
// VoskUsb_Generic: each is a row of the command tables with the caller's
// arguments and outputs.

#include "usblib/boundary.h"
#include "usblib/command_runner.h"
#include "usblib/qel_usb.h"

namespace {

using kovrin::usblib::AcceptorCall;
using kovrin::usblib::Buffer;
using kovrin::usblib::In;
using kovrin::usblib::Out;
using H = kovrin::usblib::commands::ReplyHandling;

constexpr uint32_t kLengthMask = 0xFFFF;

UsbResult Run(UsbDevice device, const AcceptorCall& call) { return kovrin::usblib::RunAcceptorCall(device, call); }

AcceptorCall WithStatus(AcceptorCall call, uint8_t* status)
{
    call.Status = Out(status);
    return call;
}

AcceptorCall GsaWithStatus(uint8_t command, uint8_t* status)
{
    return WithStatus(kovrin::usblib::Gsa(command), status);
}

AcceptorCall GsaWith(uint8_t command, uint8_t* status, std::vector<uint32_t> parameters)
{
    AcceptorCall call = GsaWithStatus(command, status);
    call.Parameters = std::move(parameters);
    return call;
}

AcceptorCall DataCall(uint8_t command, uint8_t* buffer, uint16_t* length)
{
    AcceptorCall call = kovrin::usblib::Gsa(command);
    call.Buffer = Buffer(buffer, VOSKUSB_REPLY_DATA_MAX);
    call.Length = Out(length);
    return call;
}

// A reply of the row's exact length into a record of that many bytes.
AcceptorCall ExactCall(uint8_t command, uint8_t* record, uint16_t* length)
{
    AcceptorCall call = kovrin::usblib::Gsa(command);
    call.Exact.Record = Out(record, kovrin::usblib::commands::GsaRow(command).Exact);
    call.Length = Out(length);
    return call;
}

AcceptorCall ValueCall(uint8_t command, uint16_t* value, uint16_t* length)
{
    AcceptorCall call = kovrin::usblib::Gsa(command);
    call.Exact.Record = Out(value);
    call.Length = Out(length);
    return call;
}

AcceptorCall DruAcknowledged(uint8_t cls, uint8_t sub, uint8_t* status)
{
    return WithStatus(kovrin::usblib::Dru(cls, sub, H::Acknowledged), status);
}

AcceptorCall DruWrite(uint8_t cls, uint8_t sub, uint8_t* status, const uint8_t* data, uint32_t length)
{
    AcceptorCall call = DruAcknowledged(cls, sub, status);
    call.Data = In(data, length & kLengthMask);
    return call;
}

AcceptorCall DruRead(uint8_t cls, uint8_t sub, uint8_t* status, uint8_t* buffer, uint16_t* length)
{
    AcceptorCall call = WithStatus(kovrin::usblib::Dru(cls, sub, H::DruRead), status);
    call.Buffer = Buffer(buffer, VOSKUSB_DRU_DATA_MAX);
    call.Length = Out(length);
    return call;
}

}  // namespace

extern "C" {

// ---- GSA: data replies

UsbResult VoskUsb_GSARequestManCode(UsbDevice device, uint8_t* buffer, uint16_t* length)
try {
    return Run(device, DataCall(0xD1, buffer, length));
} catch (...) {
    return kovrin::usblib::ResultOfException();
}

UsbResult VoskUsb_GSARequestSN(UsbDevice device, uint8_t* buffer, uint16_t* length)
try {
    return Run(device, DataCall(0xD2, buffer, length));
} catch (...) {
    return kovrin::usblib::ResultOfException();
}

UsbResult VoskUsb_GSABillTable(UsbDevice device, uint8_t* buffer, uint16_t* length)
try {
    return Run(device, DataCall(0xE2, buffer, length));
} catch (...) {
    return kovrin::usblib::ResultOfException();
}

UsbResult VoskUsb_GSAStackedBillInfo(UsbDevice device, uint8_t* buffer, uint16_t* length)
try {
    return Run(device, DataCall(0xDC, buffer, length));
} catch (...) {
    return kovrin::usblib::ResultOfException();
}

UsbResult VoskUsb_GSARequestStats(UsbDevice device, uint8_t* buffer, uint16_t* length, uint8_t* status)
try {
    return Run(device, WithStatus(DataCall(0xDD, buffer, length), status));
} catch (...) {
    return kovrin::usblib::ResultOfException();
}

UsbResult VoskUsb_GSARequestBarCode(UsbDevice device, uint8_t* buffer, uint16_t* length, uint8_t* status)
try {
    return Run(device, WithStatus(DataCall(0xE3, buffer, length), status));
} catch (...) {
    return kovrin::usblib::ResultOfException();
}

// ---- GSA: replies of an exact length

UsbResult VoskUsb_GSARequestProdDate(UsbDevice device, uint8_t* record6, uint16_t* length)
try {
    return Run(device, ExactCall(0xD5, record6, length));
} catch (...) {
    return kovrin::usblib::ResultOfException();
}

UsbResult VoskUsb_GSARequestBillInhib(UsbDevice device, uint8_t* record5, uint16_t* length, uint8_t* status)
try {
    return Run(device, WithStatus(ExactCall(0xC1, record5, length), status));
} catch (...) {
    return kovrin::usblib::ResultOfException();
}

UsbResult VoskUsb_GSARequestStatus(UsbDevice device, uint8_t* record6, uint16_t* length, uint8_t* status)
try {
    return Run(device, WithStatus(ExactCall(0xCC, record6, length), status));
} catch (...) {
    return kovrin::usblib::ResultOfException();
}

UsbResult VoskUsb_GSARequestProgRev(UsbDevice device, uint8_t* record9, uint16_t* length, uint8_t* status)
try {
    return Run(device, WithStatus(ExactCall(0xD8, record9, length), status));
} catch (...) {
    return kovrin::usblib::ResultOfException();
}

UsbResult VoskUsb_GSARequestLastFive(UsbDevice device, uint8_t* record6, uint16_t* length, uint8_t* status)
try {
    return Run(device, WithStatus(ExactCall(0xD9, record6, length), status));
} catch (...) {
    return kovrin::usblib::ResultOfException();
}

UsbResult VoskUsb_GSARequestSWCRC(UsbDevice device, uint16_t* value, uint16_t* length, uint8_t* status)
try {
    return Run(device, WithStatus(ValueCall(0x63, value, length), status));
} catch (...) {
    return kovrin::usblib::ResultOfException();
}

UsbResult VoskUsb_GSARequestOrientation(UsbDevice device, uint16_t* value, uint16_t* length, uint8_t* status)
try {
    return Run(device, WithStatus(ValueCall(0xC3, value, length), status));
} catch (...) {
    return kovrin::usblib::ResultOfException();
}

UsbResult VoskUsb_GSABLinkSupported(UsbDevice device, VoskUsbBLinkInfo* info, uint16_t* length, void* unused)
try {
    AcceptorCall call = ValueCall(0xDE, info ? &info->Value : nullptr, length);
    call.Exact.Extra = Out(info ? &info->Flag : nullptr);
    call.Unused = Out(unused, 0);
    return Run(device, call);
} catch (...) {
    return kovrin::usblib::ResultOfException();
}

// ---- GSA: the acceptor's result alone

UsbResult VoskUsb_GSAResetStats(UsbDevice device, uint8_t* status)
try {
    return Run(device, GsaWithStatus(0x32, status));
} catch (...) {
    return kovrin::usblib::ResultOfException();
}

UsbResult VoskUsb_GSAResetBillCounter(UsbDevice device, uint8_t* status)
try {
    return Run(device, GsaWithStatus(0x34, status));
} catch (...) {
    return kovrin::usblib::ResultOfException();
}

UsbResult VoskUsb_GSAResetBA(UsbDevice device, uint8_t* status)
try {
    return Run(device, GsaWithStatus(0x36, status));
} catch (...) {
    return kovrin::usblib::ResultOfException();
}

UsbResult VoskUsb_GSAEndDownload(UsbDevice device, uint8_t* status)
try {
    return Run(device, GsaWithStatus(0x67, status));
} catch (...) {
    return kovrin::usblib::ResultOfException();
}

UsbResult VoskUsb_GSAFinishDownload(UsbDevice device, uint8_t* status)
try {
    return Run(device, GsaWithStatus(0x68, status));
} catch (...) {
    return kovrin::usblib::ResultOfException();
}

// ---- GSA: acknowledged commands

UsbResult VoskUsb_GSAStartDownload(UsbDevice device, uint8_t* status)
try {
    return Run(device, GsaWithStatus(0x61, status));
} catch (...) {
    return kovrin::usblib::ResultOfException();
}

UsbResult VoskUsb_GSACancelDownload(UsbDevice device, uint8_t* status)
try {
    return Run(device, GsaWithStatus(0x66, status));
} catch (...) {
    return kovrin::usblib::ResultOfException();
}

UsbResult VoskUsb_GSAAcceptBill(UsbDevice device, uint8_t* status)
try {
    return Run(device, GsaWithStatus(0x80, status));
} catch (...) {
    return kovrin::usblib::ResultOfException();
}

UsbResult VoskUsb_GSAReturnBill(UsbDevice device, uint8_t* status)
try {
    return Run(device, GsaWithStatus(0x81, status));
} catch (...) {
    return kovrin::usblib::ResultOfException();
}

UsbResult VoskUsb_GSAClearEventFlags(UsbDevice device, uint8_t* status)
try {
    return Run(device, GsaWithStatus(0x83, status));
} catch (...) {
    return kovrin::usblib::ResultOfException();
}

UsbResult VoskUsb_GSASendCRCparam(UsbDevice device, uint32_t first, uint32_t second, uint16_t* length, uint8_t* status)
try {
    AcceptorCall call = GsaWith(0x62, status, {first, second});
    call.Length = Out(length);
    call.LengthOfReply = true;
    return Run(device, call);
} catch (...) {
    return kovrin::usblib::ResultOfException();
}

UsbResult VoskUsb_GSADLDimensions(UsbDevice device, uint8_t* status, uint32_t first, uint32_t second)
try {
    return Run(device, GsaWith(0x64, status, {first, second}));
} catch (...) {
    return kovrin::usblib::ResultOfException();
}

UsbResult VoskUsb_GSADLPacket(UsbDevice device, uint8_t* status, uint32_t first, uint32_t count, const uint8_t* data)
try {
    AcceptorCall call = GsaWith(0x65, status, {first, count & kLengthMask});
    call.Data = In(data, count & kLengthMask);
    return Run(device, call);
} catch (...) {
    return kovrin::usblib::ResultOfException();
}

UsbResult VoskUsb_GSASetInhibits(UsbDevice device, uint32_t value, uint32_t, uint8_t* status)
try {
    return Run(device, GsaWith(0x41, status, {value}));
} catch (...) {
    return kovrin::usblib::ResultOfException();
}

UsbResult VoskUsb_GSASetOrientation(UsbDevice device, uint32_t value, uint32_t, uint8_t* status)
try {
    return Run(device, GsaWith(0x43, status, {value}));
} catch (...) {
    return kovrin::usblib::ResultOfException();
}

// ---- Dru

UsbResult VoskUsb_DruClearStdPerformanceData(UsbDevice device, uint8_t* status)
try {
    return Run(device, DruAcknowledged(0x01, 0x03, status));
} catch (...) {
    return kovrin::usblib::ResultOfException();
}

UsbResult VoskUsb_DruClearExdPerformanceData(UsbDevice device, uint8_t* status)
try {
    return Run(device, DruAcknowledged(0x01, 0x04, status));
} catch (...) {
    return kovrin::usblib::ResultOfException();
}

UsbResult VoskUsb_DruClear50Exceptions(UsbDevice device, uint8_t* status)
try {
    return Run(device, DruAcknowledged(0x01, 0x05, status));
} catch (...) {
    return kovrin::usblib::ResultOfException();
}

UsbResult VoskUsb_DruClearBillsBtwJams(UsbDevice device, uint8_t* status)
try {
    return Run(device, DruAcknowledged(0x01, 0x06, status));
} catch (...) {
    return kovrin::usblib::ResultOfException();
}

UsbResult VoskUsb_DruStdAudit(UsbDevice device, uint8_t* status, uint8_t* buffer, uint16_t* length)
try {
    return Run(device, DruRead(0x01, 0x07, status, buffer, length));
} catch (...) {
    return kovrin::usblib::ResultOfException();
}

UsbResult VoskUsb_DruExtAudit(UsbDevice device, uint8_t* status, uint8_t* buffer, uint16_t* length)
try {
    return Run(device, DruRead(0x01, 0x08, status, buffer, length));
} catch (...) {
    return kovrin::usblib::ResultOfException();
}

UsbResult VoskUsb_DruClearLifeTotals(UsbDevice device, uint8_t* status)
try {
    return Run(device, DruAcknowledged(0x01, 0x09, status));
} catch (...) {
    return kovrin::usblib::ResultOfException();
}

UsbResult VoskUsb_DruReadBillTable(UsbDevice device, uint8_t* status, uint8_t* buffer, uint16_t* length)
try {
    return Run(device, DruRead(0x01, 0x0A, status, buffer, length));
} catch (...) {
    return kovrin::usblib::ResultOfException();
}

UsbResult VoskUsb_DruReadConfig(UsbDevice device, uint8_t* status, uint8_t* buffer, uint16_t* length)
try {
    return Run(device, DruRead(0x02, 0x01, status, buffer, length));
} catch (...) {
    return kovrin::usblib::ResultOfException();
}

UsbResult VoskUsb_DruWriteConfig(UsbDevice device, uint8_t* status, const uint8_t* data, uint32_t length)
try {
    return Run(device, DruWrite(0x02, 0x02, status, data, length));
} catch (...) {
    return kovrin::usblib::ResultOfException();
}

UsbResult VoskUsb_DruReadInhibits(UsbDevice device, uint8_t* status, uint8_t* buffer, uint16_t* length)
try {
    return Run(device, DruRead(0x02, 0x03, status, buffer, length));
} catch (...) {
    return kovrin::usblib::ResultOfException();
}

UsbResult VoskUsb_DruWriteInhibits(UsbDevice device, uint8_t* status, const uint8_t* data, uint32_t length)
try {
    return Run(device, DruWrite(0x02, 0x04, status, data, length));
} catch (...) {
    return kovrin::usblib::ResultOfException();
}

UsbResult VoskUsb_DruReadSecurity(UsbDevice device, uint8_t* status, uint8_t* buffer, uint16_t* length)
try {
    return Run(device, DruRead(0x02, 0x05, status, buffer, length));
} catch (...) {
    return kovrin::usblib::ResultOfException();
}

UsbResult VoskUsb_DruWriteSecurity(UsbDevice device, uint8_t* status, const uint8_t* data, uint32_t length)
try {
    return Run(device, DruWrite(0x02, 0x06, status, data, length));
} catch (...) {
    return kovrin::usblib::ResultOfException();
}

UsbResult VoskUsb_DruCalibrateMode(UsbDevice device, uint8_t* status)
try {
    return Run(device, DruAcknowledged(0x03, 0x01, status));
} catch (...) {
    return kovrin::usblib::ResultOfException();
}

UsbResult VoskUsb_DruStartSMtrFoward(UsbDevice device, uint8_t* status)
try {
    return Run(device, DruAcknowledged(0x03, 0x02, status));
} catch (...) {
    return kovrin::usblib::ResultOfException();
}

UsbResult VoskUsb_DruStartSMtrReverse(UsbDevice device, uint8_t* status)
try {
    return Run(device, DruAcknowledged(0x03, 0x03, status));
} catch (...) {
    return kovrin::usblib::ResultOfException();
}

UsbResult VoskUsb_DruStopSMtr(UsbDevice device, uint8_t* status)
try {
    return Run(device, DruAcknowledged(0x03, 0x04, status));
} catch (...) {
    return kovrin::usblib::ResultOfException();
}

UsbResult VoskUsb_DruSendCommand(UsbDevice device, uint32_t cls, uint32_t sub)
try {
    return Run(device, kovrin::usblib::Dru(uint8_t(cls), uint8_t(sub), H::Acknowledged));
} catch (...) {
    return kovrin::usblib::ResultOfException();
}

UsbResult VoskUsb_DruReadCommand(UsbDevice device, uint32_t cls, uint32_t sub, uint8_t* buffer, uint16_t* length)
try {
    AcceptorCall call = kovrin::usblib::Dru(uint8_t(cls), uint8_t(sub), H::DruRead);
    call.Buffer = Buffer(buffer, length ? *length : 0);
    call.Length = Out(length);
    call.Capacity = true;
    return Run(device, call);
} catch (...) {
    return kovrin::usblib::ResultOfException();
}

UsbResult VoskUsb_DruWriteCommand(UsbDevice device, uint32_t cls, uint32_t sub, const uint8_t* data, uint32_t length)
try {
    AcceptorCall call = kovrin::usblib::Dru(uint8_t(cls), uint8_t(sub), H::Acknowledged);
    call.Data = In(data, length & kLengthMask);
    call.DataRequired = true;
    return Run(device, call);
} catch (...) {
    return kovrin::usblib::ResultOfException();
}

UsbResult VoskUsb_Generic(UsbDevice device, const uint8_t* request, uint32_t length, uint8_t* buffer,
                          uint16_t* replyLength)
try {
    return kovrin::usblib::RunGeneric(device, request, length, buffer, replyLength);
} catch (...) {
    return kovrin::usblib::ResultOfException();
}

}  // extern "C"
