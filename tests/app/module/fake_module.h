#pragma once
// A programming module in memory behind the client's exports, with one
// spoilt answer at a time: a library result or a module status for the n-th
// call of an export.

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "app/module/qel_usb_client.h"
#include "app/link/serial_frame.h"

namespace kovrin::test {

struct FakeFile {
    KduFileInfo Info{};
    Bytes Data;
};

inline KduFileInfo Entry(uint16_t number, int16_t fileClass, uint16_t kind, uint32_t variant, const std::string& name,
                         uint32_t size = 0)
{
    KduFileInfo info;
    std::memset(&info, 0, sizeof info);
    info.FileNumber = number;
    info.FileClass = fileClass;
    info.DataFileKind = kind;
    info.VariantId = variant;
    std::memcpy(info.FileName, name.data(), std::min(name.size(), sizeof info.FileName));
    info.FileSize = size;
    return info;
}

class FakeModule {
public:
    enum class Call { Enum, Open, Read, Create, Write, Close, Delete, OpenDevice, CloseDevice, GetFWRev };
    struct Spoil {
        UsbResult Result = USB_RESULT_SUCCESS;
        uint8_t Status = 0;
        bool Done = false;  // with a result: the call did its work and only the reply was lost
    };

    std::vector<FakeFile> Files;
    // Spoils the `nth` (from 1) call of `call`; with a result or a status the call does nothing.
    std::map<std::pair<Call, int>, Spoil> Spoils;
    std::map<Call, int> Calls;
    std::vector<Call> Log;  // every call, in order
    uint8_t Software = 5;   // the module's application software revision
    size_t ReadPiece = 255;
    bool EndlessRead = false;  // never reports the end of the file

    ModuleExports Exports()
    {
        ModuleExports e;
        e.OpenDevice = [this](UsbDevice) { return DeviceCall(Call::OpenDevice); };
        e.CloseDevice = [this](UsbDevice) { return DeviceCall(Call::CloseDevice); };
        e.PMGetFWRev = [this](UsbDevice, uint8_t* record) {
            const UsbResult result = DeviceCall(Call::GetFWRev);
            if (!result)
                record[1] = Software;
            return result;
        };
        e.PMEnumFile = [this](UsbDevice, uint32_t index, uint8_t* status, KduFileInfo* info) {
            return Run(Call::Enum, status, [&] {
                if (index >= Files.size())
                    return uint8_t(5);
                *info = Files[index].Info;
                info->FileSize = uint32_t(Files[index].Data.size());
                return uint8_t(0);
            });
        };
        e.PMOpenFileForRead = [this](UsbDevice, uint8_t* status, uint32_t number) {
            return Run(Call::Open, status, [&] {
                reading_ = Find(uint16_t(number));
                at_ = 0;
                return uint8_t(reading_ ? 0 : 5);
            });
        };
        e.PMReadFile = [this](UsbDevice, uint8_t* status, uint8_t* buffer, uint16_t* length) {
            *length = 0;
            return Run(Call::Read, status, [&] {
                if (!reading_)
                    return uint8_t(5);
                const Bytes& d = reading_->Data;
                const size_t n = EndlessRead ? ReadPiece : std::min(ReadPiece, d.size() - at_);
                for (size_t i = 0; i < n; ++i)
                    buffer[i] = EndlessRead ? uint8_t(i) : d[at_ + i];
                at_ += EndlessRead ? 0 : n;
                *length = uint16_t(n);
                return uint8_t(0);
            });
        };
        e.PMCreateFile = [this](UsbDevice, uint8_t* status, const KduFileInfo* info) {
            return Run(Call::Create, status, [&] {
                FakeFile f{*info, {}};
                f.Info.FileNumber = nextNumber_++;
                Files.push_back(f);
                writing_ = f.Info.FileNumber;
                return uint8_t(0);
            });
        };
        e.PMWriteFile = [this](UsbDevice, uint8_t* status, const uint8_t* data, uint32_t length) {
            return Run(Call::Write, status, [&] {
                FakeFile* f = Find(uint16_t(writing_));
                if (!f)
                    return uint8_t(5);
                f->Data.insert(f->Data.end(), data, data + length);
                return uint8_t(0);
            });
        };
        e.PMCloseFile = [this](UsbDevice, uint8_t* status) {
            return Run(Call::Close, status, [&] {
                writing_ = 0;
                reading_ = nullptr;
                return uint8_t(0);
            });
        };
        e.PMDeleteFile = [this](UsbDevice, uint8_t* status, uint32_t number) {
            return Run(Call::Delete, status, [&] {
                if (!Find(uint16_t(number)))
                    return uint8_t(5);
                std::erase_if(Files, [&](const FakeFile& f) { return f.Info.FileNumber == number; });
                return uint8_t(0);
            });
        };
        return e;
    }

    FakeFile* Find(uint16_t number)
    {
        for (FakeFile& f : Files)
            if (f.Info.FileNumber == number)
                return &f;
        return nullptr;
    }

    uint16_t nextNumber_ = 100;

private:
    UsbResult DeviceCall(Call call)
    {
        Log.push_back(call);
        const int n = ++Calls[call];
        const auto spoil = Spoils.find({call, n});
        return spoil != Spoils.end() ? spoil->second.Result : USB_RESULT_SUCCESS;
    }

    template <class Action>
    UsbResult Run(Call call, uint8_t* status, Action action)
    {
        *status = 0;
        Log.push_back(call);
        const int n = ++Calls[call];
        const auto spoil = Spoils.find({call, n});
        if (spoil != Spoils.end() && spoil->second.Result) {
            if (spoil->second.Done)
                action();
            return spoil->second.Result;
        }
        // A refusal by status is not carried out, as a module does.
        if (spoil != Spoils.end() && spoil->second.Status) {
            *status = spoil->second.Status;
            return USB_RESULT_SUCCESS;
        }
        *status = action();
        return USB_RESULT_SUCCESS;
    }

    FakeFile* reading_ = nullptr;
    uint32_t writing_ = 0;
    size_t at_ = 0;
};

}  // namespace kovrin::test
