// The program's client of the programming module over answers it does not
// control: the walk over the module's directory and the read of a file, with
// the library's exports answering from the fuzzer's bytes. Input: a selector
// byte (bit 0: read a file, else walk the directory), a limit (one byte for
// the walk's entries, two for the file's size), then per export call its
// result byte (0xE0 and above give a library result, else success), its status
// byte and what it hands back (an entry's 68 bytes; a piece's length and bytes).

#include <algorithm>
#include <set>

#include "app/module/kdu_directory.h"
#include "app/module/module_transfers.h"
#include "tests/fuzz/fuzz_support.h"

using namespace kovrin;
using kovrin::fuzz::Input;

namespace {

UsbResult ResultFrom(Input& in)
{
    const uint8_t b = in.Byte();
    return b < 0xE0 ? USB_RESULT_SUCCESS : UsbResult(std::min(b - 0xE0 + 1, int(USB_RESULT_ACCEPTOR_ERROR_E4)));
}

// The library's contract: a failed export leaves the status 0, and only a whole entry fills the record.
ModuleExports ExportsFrom(Input& in, std::vector<KduFileInfo>& listed, Bytes& served, bool& ended)
{
    ModuleExports e;
    e.PMEnumFile = [&](UsbDevice, uint32_t, uint8_t* status, KduFileInfo* info) {
        const UsbResult r = ResultFrom(in);
        *status = r ? 0 : in.Byte() % 8 == 7 ? in.Byte() : 0;
        if (r == USB_RESULT_SUCCESS && *status == 0) {
            in.Fill(*info);
            listed.push_back(*info);
        }
        return r;
    };
    e.PMOpenFileForRead = [&](UsbDevice, uint8_t* status, uint32_t) {
        const UsbResult r = ResultFrom(in);
        *status = r ? 0 : in.Byte() % 8 == 7 ? in.Byte() : 0;
        return r;
    };
    e.PMReadFile = [&](UsbDevice, uint8_t* status, uint8_t* buffer, uint16_t* length) {
        const UsbResult r = ResultFrom(in);
        *status = r ? 0 : in.Byte() % 8 == 7 ? in.Byte() : 0;
        *length = 0;
        if (r || (*status != 0 && *status != 4))
            return r;
        // At most 255 bytes, as the library hands over; the end of the input ends the file.
        const Bytes piece = in.Bytes(in.Empty() ? 0 : size_t(in.Byte()) % 256);
        std::copy(piece.begin(), piece.end(), buffer);
        *length = uint16_t(piece.size());
        served.insert(served.end(), piece.begin(), piece.end());
        ended = piece.empty();
        return r;
    };
    e.PMCloseFile = [&](UsbDevice, uint8_t* status) {
        const UsbResult r = ResultFrom(in);
        *status = r ? 0 : in.Byte() % 8 == 7 ? in.Byte() : 0;
        return r;
    };
    return e;
}

void CheckWalk(const KduFileList& list, const std::vector<KduFileInfo>& listed, uint32_t maxEntries)
{
    FUZZ_CHECK(list.Lines.size() == listed.size());
    FUZZ_CHECK(listed.size() <= maxEntries);
    FUZZ_CHECK(list.Complete == (list.Failure == USB_RESULT_SUCCESS && !list.Capped));
    for (size_t i = 0; i < listed.size(); ++i) {
        const KduFileRow& row = list.Lines[i];
        const KduFileInfo& info = listed[i];
        FUZZ_CHECK(row.Number == uint16_t(info.FileNumber & 0xFFFF));
        FUZZ_CHECK(row.Size == info.FileSize);
        FUZZ_CHECK(row.Line.rfind(std::to_string(*row.Number) + "\t", 0) == 0);
        FUZZ_CHECK(row.Line.size() > row.Name.size() + row.Type.size());
        // The listed name is the entry's 29 name bytes, each control byte shown as a blank.
        FUZZ_CHECK(row.Name.size() == 29);
        FUZZ_CHECK(std::none_of(row.Name.begin(), row.Name.end(), [](char c) { return uint8_t(c) < 0x20; }));
        FUZZ_CHECK(!row.Type.empty() && row.Type.find('\t') == std::string::npos);
    }
    const std::set<uint16_t> numbers = list.Numbers();
    for (int32_t id : {list.AuditFileId, list.TekraAuditFileId})
        FUZZ_CHECK(id == -1 || numbers.count(uint16_t(id)));
    for (const auto& [number, entry] : list.RevisionTable) {
        FUZZ_CHECK(numbers.count(number));
        FUZZ_CHECK(entry.Variant == 5 || entry.Variant == 7);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Input in(data, size);
    const bool readFile = in.Byte() & 1;
    std::vector<KduFileInfo> listed;
    Bytes served;
    bool ended = false;
    if (!readFile) {
        const uint32_t maxEntries = in.Byte() % 40 + 1;
        const ModuleExports exports = ExportsFrom(in, listed, served, ended);
        CheckWalk(EnumerateKduFiles(exports, 1, maxEntries), listed, maxEntries);
        return 0;
    }
    const uint16_t sizeLimit = in.Word();
    const ModuleExports exports = ExportsFrom(in, listed, served, ended);
    const KduFileRead read = ReadKduFile(exports, 1, 7, sizeLimit);
    // What came back is what the module sent, never more; a good read is the whole file within its limit.
    FUZZ_CHECK(read.Data.size() <= served.size());
    FUZZ_CHECK(std::equal(read.Data.begin(), read.Data.end(), served.begin()));
    if (read.Status == 0 && read.Messages.empty()) {
        FUZZ_CHECK(ended);
        FUZZ_CHECK(read.Data == served);
        FUZZ_CHECK(read.Data.size() <= sizeLimit);
    }
    if (read.Status != 0)
        FUZZ_CHECK(!read.Messages.empty());
    return 0;
}
