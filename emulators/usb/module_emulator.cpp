#include "emulators/usb/module_emulator.h"

#include <algorithm>

namespace kovrin::emulator::usb {
namespace {

using namespace module_status;

constexpr size_t kErrorLogMax = 127;

uint16_t NumberIn(std::span<const uint8_t> request) { return uint16_t(request[1] << 8 | request[2]); }

void PutBigEndian(Bytes& bytes, uint32_t value, size_t width)
{
    for (size_t i = 0; i < width; ++i)
        bytes.push_back(uint8_t(value >> (8 * (width - 1 - i))));
}

}  // namespace

// One command: its byte, the request lengths it takes and what it does.
struct ModuleEmulator::Handler {
    uint8_t Command;
    size_t MinLength;
    size_t MaxLength;
    Bytes (ModuleEmulator::*Run)(std::span<const uint8_t> request);
};

const ModuleEmulator::Handler* ModuleEmulator::HandlerOf(uint8_t command)
{
    using M = ModuleEmulator;
    static const Handler kHandlers[] = {
        {0x10, 1, 1, &M::Status},
        {0x11, 1, 1, &M::Revision},
        {0x1B, 2, 2, &M::GetUnitData},
        {0x1C, 18, 18, &M::SetUnitData},
        {0x1D, 1, 1, &M::GetErrorLog},
        {0x1E, 1, 1, &M::ClearErrorLog},
        {0x1F, 1, 1, &M::ClearPowerCount},
        {0x2B, 2, 2, &M::GetItem},
        {0x2C, 3, 3, &M::SetItem},
        {0x30, 1, 1, &M::Check},
        {0x31, 1, 1, &M::Format},
        {0x33, 3, 3, &M::Open},
        {0x34, 1, 1, &M::Read},
        {0x36, 1 + kCreateLength, 1 + kCreateLength, &M::Create},
        {0x37, 2, 129, &M::Write},
        {0x38, 1, 1, &M::Close},
        {0x39, 3, 3, &M::Delete},
        {0x3A, 3, 3, &M::Enumerate},
        {0x3B, 1, 1, &M::Capacity},
        {0x44, 1, 1, &M::Accept},   // run the boot loader
        {0x45, 2, 2, &M::Accept},   // self test
        {0x50, 1, 1, &M::Accept},   // boot loader: delete the application
        {0x51, 4, 4, &M::Accept},   // load the application
        {0x52, 1, 1, &M::Accept},   // run the application
        {0x53, 7, 7, &M::Accept},   // update the secondary boot loader
        {0x54, 2, 2, &M::Utility},  // delete a utility
        {0x55, 4, 4, &M::Utility},  // load a utility
        {0x56, 2, 2, &M::Utility},  // run a utility
        {0x5E, 4, 132, &M::Accept}, // download
        {0x5F, 1, 1, &M::Accept},   // end of download
    };
    for (const Handler& h : kHandlers)
        if (h.Command == command)
            return &h;
    return nullptr;
}

ModuleEmulator::ModuleEmulator(ModuleOptions options)
    : UsbEmulatorDevice(options.ProductId), options_(options), files_(options.Capacity)
{
}

std::vector<ModuleFile> ModuleEmulator::Files() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return files_.Files();
}

int ModuleEmulator::CommandOf(std::span<const uint8_t> request) const
{
    return request.empty() ? kAnyCommand : request[0];
}

std::vector<Bytes> ModuleEmulator::Answer(std::span<const uint8_t> request)
{
    const Handler* handler = request.empty() ? nullptr : HandlerOf(request[0]);
    bool wellFormed = handler && request.size() >= handler->MinLength && request.size() <= handler->MaxLength;
    Bytes reply = wellFormed ? (this->*handler->Run)(request) : Bytes{UnableToRespond};
    // The error log's own reply starts with a count; enumerating past the end
    // is how a host finds the last file. Neither is an error.
    bool refused = !wellFormed || (reply[0] != Ok && handler->Command != 0x1D && handler->Command != 0x3A);
    if (refused && !request.empty()) {
        errorLog_.push_back(request[0]);
        if (errorLog_.size() > kErrorLogMax)
            errorLog_.pop_front();
    }
    return {reply};
}

Bytes ModuleEmulator::Refusal(std::span<const uint8_t>, uint8_t status) const { return {status}; }

Bytes ModuleEmulator::Status(std::span<const uint8_t>)
{
    Bytes reply{Ok};
    PutBigEndian(reply, uint32_t(files_.Files().size()), 2);
    PutBigEndian(reply, powerCount_, 2);
    reply.push_back(files_.FileOpen() ? 1 : 0);
    return reply;
}

Bytes ModuleEmulator::Revision(std::span<const uint8_t>)
{
    Bytes reply{Ok};
    reply.insert(reply.end(), options_.Revision.begin(), options_.Revision.end());
    return reply;
}

Bytes ModuleEmulator::GetUnitData(std::span<const uint8_t> request)
{
    if (request[1] >= unitRecords_.size())
        return {UnableToRespond};
    Bytes reply{Ok};
    reply.insert(reply.end(), unitRecords_[request[1]].begin(), unitRecords_[request[1]].end());
    return reply;
}

Bytes ModuleEmulator::SetUnitData(std::span<const uint8_t> request)
{
    if (request[1] >= unitRecords_.size())
        return {UnableToRespond};
    std::copy(request.begin() + 2, request.end(), unitRecords_[request[1]].begin());
    return {Ok};
}

Bytes ModuleEmulator::GetErrorLog(std::span<const uint8_t>)
{
    Bytes reply{uint8_t(errorLog_.size())};
    reply.insert(reply.end(), errorLog_.begin(), errorLog_.end());
    return reply;
}

Bytes ModuleEmulator::ClearErrorLog(std::span<const uint8_t>)
{
    errorLog_.clear();
    return {Ok};
}

Bytes ModuleEmulator::ClearPowerCount(std::span<const uint8_t>)
{
    powerCount_ = 0;
    return {Ok};
}

Bytes ModuleEmulator::GetItem(std::span<const uint8_t> request) { return {Ok, items_[request[1]]}; }

Bytes ModuleEmulator::SetItem(std::span<const uint8_t> request)
{
    items_[request[1]] = request[2];
    return {Ok};
}

Bytes ModuleEmulator::Check(std::span<const uint8_t>) { return {files_.Check()}; }

Bytes ModuleEmulator::Format(std::span<const uint8_t>) { return {files_.Format()}; }

Bytes ModuleEmulator::Open(std::span<const uint8_t> request) { return {files_.OpenForRead(NumberIn(request))}; }

Bytes ModuleEmulator::Read(std::span<const uint8_t>)
{
    std::vector<uint8_t> piece;
    Bytes reply{files_.Read(piece)};
    reply.insert(reply.end(), piece.begin(), piece.end());
    return reply;
}

Bytes ModuleEmulator::Create(std::span<const uint8_t> request)
{
    return {files_.Create(request.subspan<1, kCreateLength>())};
}

Bytes ModuleEmulator::Write(std::span<const uint8_t> request) { return {files_.Write(request.subspan(1))}; }

Bytes ModuleEmulator::Close(std::span<const uint8_t>) { return {files_.Close()}; }

Bytes ModuleEmulator::Delete(std::span<const uint8_t> request) { return {files_.Delete(NumberIn(request))}; }

Bytes ModuleEmulator::Enumerate(std::span<const uint8_t> request)
{
    std::array<uint8_t, kEntryLength> entry{};
    uint8_t status = files_.Enumerate(NumberIn(request), entry);
    if (status != Ok)
        return {status};
    Bytes reply{Ok};
    reply.insert(reply.end(), entry.begin(), entry.end());
    return reply;
}

Bytes ModuleEmulator::Capacity(std::span<const uint8_t>)
{
    Bytes reply{Ok};
    PutBigEndian(reply, files_.FreeBytes(), 4);
    return reply;
}

Bytes ModuleEmulator::Accept(std::span<const uint8_t>) { return {Ok}; }

Bytes ModuleEmulator::Utility(std::span<const uint8_t> request)
{
    // There are two utilities, 0 and 1.
    return {request[1] <= 1 ? Ok : UnableToRespond};
}

}  // namespace kovrin::emulator::usb
