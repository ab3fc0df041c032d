// The program's client of the programming module over answers it does not
// control: the walk over the module's directory, the read of a file and the
// write of one with its clean-up, with the library's exports answering from
// the fuzzer's bytes. Input: a selector byte (0: walk the directory, 1: read a
// file, 2: write one), a limit (one byte for the walk's entries, two for the
// file's size; for a write the pieces and the numbers listed before, with how
// that listing ended), then per export call its result byte (0xE0 and above give a library result, else
// success), its status byte and what it hands back (an entry's 68 bytes; a
// piece's length and bytes). List lines and the facts of the walk are checked
// against the list's table as written out here.

#include <algorithm>
#include <cctype>
#include <cstring>
#include <optional>
#include <set>

#include "app/module/kdu_directory.h"
#include "app/module/module_downloads.h"
#include "app/module/module_transfers.h"
#include "tests/fuzz/fuzz_support.h"

using namespace kovrin;
using kovrin::fuzz::Input;

namespace {

// Every export call as the fake answered it, in order: which export, its result, its status, a piece's length.
enum class Call { Enum, Open, Read, Create, Write, Delete, Close };
struct Answered {
    Call call;
    UsbResult result;
    uint8_t status;
    size_t length = 0;
};
std::vector<Answered> calls;

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
        calls.push_back({Call::Enum, r, *status});
        return r;
    };
    e.PMOpenFileForRead = [&](UsbDevice, uint8_t* status, uint32_t) {
        const UsbResult r = ResultFrom(in);
        *status = r ? 0 : in.Byte() % 8 == 7 ? in.Byte() : 0;
        calls.push_back({Call::Open, r, *status});
        return r;
    };
    e.PMReadFile = [&](UsbDevice, uint8_t* status, uint8_t* buffer, uint16_t* length) {
        const UsbResult r = ResultFrom(in);
        *status = r ? 0 : in.Byte() % 8 == 7 ? in.Byte() : 0;
        *length = 0;
        calls.push_back({Call::Read, r, *status});
        if (r || (*status != 0 && *status != 4))
            return r;
        // At most 255 bytes, as the library hands over; the end of the input ends the file.
        const Bytes piece = in.Bytes(in.Empty() ? 0 : size_t(in.Byte()) % 256);
        std::copy(piece.begin(), piece.end(), buffer);
        *length = uint16_t(piece.size());
        calls.back().length = piece.size();
        served.insert(served.end(), piece.begin(), piece.end());
        ended = piece.empty();
        return r;
    };
    e.PMCreateFile = [&](UsbDevice, uint8_t* status, const KduFileInfo*) {
        const UsbResult r = ResultFrom(in);
        *status = r ? 0 : in.Byte() % 8 == 7 ? in.Byte() : 0;
        calls.push_back({Call::Create, r, *status});
        return r;
    };
    e.PMWriteFile = [&](UsbDevice, uint8_t* status, const uint8_t* bytes, uint32_t length) {
        const UsbResult r = ResultFrom(in);
        *status = r ? 0 : in.Byte() % 8 == 7 ? in.Byte() : 0;
        served.push_back(uint8_t(length));
        served.insert(served.end(), bytes, bytes + length);
        calls.push_back({Call::Write, r, *status, length});
        return r;
    };
    e.PMDeleteFile = [&](UsbDevice, uint8_t* status, uint32_t number) {
        const UsbResult r = ResultFrom(in);
        *status = r ? 0 : in.Byte() % 8 == 7 ? in.Byte() : 0;
        KduFileInfo deleted{};
        deleted.FileNumber = number;
        deleted.FileSize = uint32_t(r) << 8 | *status;  // how it went
        listed.push_back(deleted);
        listed.back().Value5 = 0xDE1E7E;  // marks a delete among the entries
        calls.push_back({Call::Delete, r, *status});
        return r;
    };
    e.PMCloseFile = [&](UsbDevice, uint8_t* status) {
        const UsbResult r = ResultFrom(in);
        *status = r ? 0 : in.Byte() % 8 == 7 ? in.Byte() : 0;
        calls.push_back({Call::Close, r, *status});
        return r;
    };
    return e;
}

std::string TypeText(const KduFileInfo& info)
{
    const bool sarnel = info.VariantId == 0x04000000, tekra = info.VariantId == 0x08000000;
    switch (info.FileClass) {
    case 0: return info.DataFileKind == 1 || info.DataFileKind == 4 ? "Audit" : "Configuration";
    case 1:
    case 2: return "Bootloader";
    case 3: return std::string("Application") + (sarnel ? " (Sarnel)" : tekra ? " (Tekra)" : "");
    case 5: return "Variant";
    default: return "Unknown";
    }
}

std::string ListedName(const KduFileInfo& info)
{
    std::string name;
    for (size_t i = 0; i < 29; ++i)
        name += uint8_t(info.FileName[i]) < 0x20 ? ' ' : info.FileName[i];
    return name;
}

// The list's line by its table: number, name, type and size, the revision digits of an application
// rewritten in hexadecimal; nothing where the rewrite has no defined place.
std::optional<std::string> Line(const KduFileInfo& info)
{
    std::string line = std::to_string(info.FileNumber & 0xFFFF) + "\t" + ListedName(info) + "\t";
    std::string type = TypeText(info);
    if (info.FileClass == 3 && (info.VariantId == 0x04000000 || info.VariantId == 0x08000000)) {
        // Made on the line as far as "Application", before the variant's name.
        line += "Application";
        type.erase(0, 11);
        const size_t p = line.find("Ver");
        if (p == std::string::npos || p + 8 >= line.size())
            return std::nullopt;
        int value = 0;
        for (size_t i = p + 6; i < p + 9 && std::isdigit(uint8_t(line[i])); ++i)
            value = value * 10 + (line[i] - '0');
        static const char digits[] = "0123456789ABCDEF";
        for (int k = 0; k < 3; ++k)
            line[p + 8 - size_t(k)] = digits[(value >> (4 * k)) & 0xF];
    }
    return line + type + "\t" + std::to_string(info.FileSize) + " bytes";
}

void CheckWalkByTable(const KduFileList& list, const std::vector<KduFileInfo>& listed)
{
    KduFileList expected;
    for (size_t i = 0; i < listed.size(); ++i) {
        const KduFileInfo& info = listed[i];
        const auto number = uint16_t(info.FileNumber & 0xFFFF);
        const bool sarnel = info.VariantId == 0x04000000, tekra = info.VariantId == 0x08000000;
        const KduFileRow& row = list.Lines[i];
        // The columns by position: an application's rewritten digits may reach into the type.
        if (const auto line = Line(info)) {
            FUZZ_CHECK(row.Line == *line);
            const size_t name = line->find('\t') + 1;
            FUZZ_CHECK(row.Name == line->substr(name, 29));
            FUZZ_CHECK(row.Type == line->substr(name + 30, line->rfind('\t') - name - 30));
        }
        if (info.FileClass != 3) {
            FUZZ_CHECK(row.Name == ListedName(info));
            FUZZ_CHECK(row.Type == TypeText(info));
        }
        if (info.FileClass == 0) {
            if (info.DataFileKind == 1)
                expected.AuditFileId = number;
            else if (info.DataFileKind == 4)
                expected.TekraAuditFileId = number;
            else if (info.DataFileKind == 3 && (sarnel || tekra))
                expected.RevisionTable[number] = {info.SetupRevision, info.CalibrationRevision, uint8_t(sarnel ? 5 : 7)};
            else if (info.DataFileKind != 3) {
                expected.SarnelConfigPresent |= sarnel;
                expected.TekraConfigPresent |= tekra;
            }
        } else if (info.FileClass == 3) {
            expected.SarnelFirmwarePresent |= sarnel;
            expected.TekraFirmwarePresent |= tekra;
        }
    }
    FUZZ_CHECK(list.AuditFileId == expected.AuditFileId && list.TekraAuditFileId == expected.TekraAuditFileId);
    FUZZ_CHECK(list.SarnelConfigPresent == expected.SarnelConfigPresent);
    FUZZ_CHECK(list.TekraConfigPresent == expected.TekraConfigPresent);
    FUZZ_CHECK(list.SarnelFirmwarePresent == expected.SarnelFirmwarePresent);
    FUZZ_CHECK(list.TekraFirmwarePresent == expected.TekraFirmwarePresent);
    FUZZ_CHECK(list.RevisionTable.size() == expected.RevisionTable.size());
    for (const auto& [number, entry] : expected.RevisionTable) {
        const auto found = list.RevisionTable.find(number);
        FUZZ_CHECK(found != list.RevisionTable.end());
        FUZZ_CHECK(found->second.SetupRevision == entry.SetupRevision &&
                   found->second.CalibrationRevision == entry.CalibrationRevision &&
                   found->second.Variant == entry.Variant);
    }
}

bool SameEntry(const KduFileInfo& a, const KduFileInfo& b)
{
    return a.FileClass == b.FileClass && a.VariantId == b.VariantId && a.DataFileKind == b.DataFileKind &&
           a.SetupRevision == b.SetupRevision && a.CalibrationRevision == b.CalibrationRevision &&
           std::memcmp(a.FileName, b.FileName, 29) == 0;
}

// A read by ReadKduFile's steps, from the calls as answered: the open; reads until one of
// length 0, each of status 0 or 4 adding its piece; a library result (status 1) or another status ends it as a
// failure, as does a file past the size limit (status 1); the close, whose status is the result when nothing
// failed. No close after a failed open.
void CheckReadBySteps(const KduFileRead& read, const Bytes& served, uint64_t sizeLimit)
{
    FUZZ_CHECK(!calls.empty() && calls[0].call == Call::Open);
    uint8_t status = 1;
    size_t messages = 0, taken = 0;
    const auto starts = [&](size_t m, const std::string& prefix) {
        return m < read.Messages.size() && read.Messages[m].rfind(prefix, 0) == 0;
    };
    if (calls[0].result || calls[0].status) {
        FUZZ_CHECK(calls.size() == 1);
        if (calls[0].result == USB_RESULT_SUCCESS) {
            status = calls[0].status;
            FUZZ_CHECK(starts(0, "Could not open file: "));
        }
        FUZZ_CHECK(read.Status == status && read.Data.empty() && read.Messages.size() == 1);
        return;
    }
    bool failed = false;
    size_t i = 1;
    for (; i < calls.size() && calls[i].call == Call::Read; ++i) {
        const Answered& a = calls[i];
        if (a.result) {
            failed = true;
            ++messages;
            status = 1;
            break;
        }
        if (a.status != 0 && a.status != 4) {
            failed = true;
            FUZZ_CHECK(starts(messages, "Error reading BA: "));
            ++messages;
            status = a.status;
            break;
        }
        if (a.length == 0)
            break;
        taken += a.length;
        if (taken > sizeLimit) {
            failed = true;
            ++messages;
            status = 1;
            break;
        }
    }
    FUZZ_CHECK(i + 2 == calls.size() && calls[i + 1].call == Call::Close);
    const Answered& close = calls[i + 1];
    if (close.result)
        ++messages;
    else if (!failed && close.status) {
        FUZZ_CHECK(starts(messages, "Could not close file: "));
        ++messages;
    }
    if (!failed)
        status = close.status;
    FUZZ_CHECK(read.Status == status);
    FUZZ_CHECK(read.Messages.size() == messages);
    FUZZ_CHECK(read.Data.size() == taken && std::equal(read.Data.begin(), read.Data.end(), served.begin()));
}

// `all` cut into pieces of exactly `most` bytes, the last one the rest; none for nothing.
void CheckSplit(const Bytes& all, const std::vector<Bytes>& pieces, size_t most)
{
    FUZZ_CHECK(pieces.size() == (all.size() + most - 1) / most);
    for (size_t i = 0; i < pieces.size(); ++i) {
        const size_t end = std::min(all.size(), (i + 1) * most);
        FUZZ_CHECK(pieces[i] == Bytes(all.begin() + long(i * most), all.begin() + long(end)));
    }
}

// A write's calls, as the downloads make them: the create; when the module refused it, the close and nothing more;
// else one write per piece, in order and whole, up to the first that fails; then the close.
void CheckWriteCalls(const std::vector<Bytes>& pieces)
{
    FUZZ_CHECK(calls.size() >= 2 && calls[0].call == Call::Create);
    if (calls[0].result == USB_RESULT_SUCCESS && calls[0].status != 0) {
        FUZZ_CHECK(calls.size() == 2 && calls[1].call == Call::Close);
        return;
    }
    size_t i = 1;
    bool failed = calls[0].result != USB_RESULT_SUCCESS;
    for (size_t k = 0; !failed && k < pieces.size(); ++k, ++i) {
        FUZZ_CHECK(i < calls.size() && calls[i].call == Call::Write && calls[i].length == pieces[k].size());
        failed = calls[i].result || calls[i].status;
    }
    FUZZ_CHECK(i < calls.size() && calls[i].call == Call::Close);
}

// A write reports success only when the module took every piece as given; its clean-up erases at most
// one file, one that fits the entry and was not listed before, and only when it is the only such file,
// holds no more than was sent and the listing before showed every file; it says nothing is left only
// when a listing after the erase shows no such file.
void CheckWrite(Input& in)
{
    KduFileInfo entry;
    in.Fill(entry);
    std::vector<Bytes> pieces(in.Byte() % 4);
    for (Bytes& piece : pieces)
        piece = in.Bytes(in.Byte() % 129 + 1);
    std::set<uint16_t> before;
    const uint8_t listing = in.Byte();
    for (int n = listing % 4; n > 0; --n)
        before.insert(in.Word());
    // The listing before the create ended on the module's "no such entry", or on a status that may hide files.
    KduFileList listedBefore;
    for (uint16_t number : before) {
        KduFileRow row;
        row.Number = number;
        listedBefore.Lines.push_back(row);
    }
    listedBefore.Complete = true;
    listedBefore.EndStatus = listing & 4 ? 1 : KduNoEntryStatus;
    std::vector<KduFileInfo> listed;  // the clean-up's listing, with its deletes among it
    Bytes sent;                       // each write: its length, then its bytes
    bool ended = false;
    const ModuleExports exports = ExportsFrom(in, listed, sent, ended);
    const KduFileWrite write = WriteKduFile(exports, 1, entry, pieces, listedBefore);
    CheckWriteCalls(pieces);
    // The same bytes as a firmware record (pieces of 126 characters) and as a configuration (of 128 bytes).
    Bytes all;
    for (const Bytes& piece : pieces)
        all.insert(all.end(), piece.begin(), piece.end());
    FUZZ_CHECK(FirmwareWriteLength == 126 && ConfigWriteLength == 128);
    CheckSplit(all, RecordWrites(std::string(all.begin(), all.end())), 126);
    CheckSplit(all, Pieces(all, 128), 128);
    const size_t most = size_t(entry.FileSize % 130) + 1;
    CheckSplit(all, Pieces(all, most), most);
    Bytes given;
    for (const Bytes& piece : pieces) {
        given.push_back(uint8_t(piece.size()));
        given.insert(given.end(), piece.begin(), piece.end());
    }
    FUZZ_CHECK(std::equal(sent.begin(), sent.end(), given.begin(), given.begin() + long(std::min(sent.size(), given.size()))));
    size_t written = 0;
    for (const Answered& a : calls)
        written += a.call == Call::Write ? a.length : 0;
    std::vector<KduFileInfo> fitting;
    int deletes = 0;
    bool deleted = false;
    bool fitsAfterDelete = false;  // a listing after the erase still shows a file of this download
    for (const KduFileInfo& info : listed) {
        if (info.Value5 == 0xDE1E7E) {
            ++deletes;
            // Only the one fitting file, after a listing before that showed every file, no longer than what was sent.
            FUZZ_CHECK(listedBefore.ShowsEveryFile());
            FUZZ_CHECK(fitting.size() == 1 && uint16_t(fitting[0].FileNumber) == uint16_t(info.FileNumber));
            FUZZ_CHECK(fitting[0].FileSize <= written);
            deleted = info.FileSize == 0;
        } else if (SameEntry(info, entry) && !before.count(uint16_t(info.FileNumber & 0xFFFF))) {
            fitting.push_back(info);
            fitsAfterDelete |= deletes > 0;
        }
    }
    FUZZ_CHECK(deletes <= 1);
    if (write.Written) {
        FUZZ_CHECK(sent == given && write.Messages.empty() && deletes == 0);
        return;
    }
    FUZZ_CHECK(write.Messages.size() >= 2);
    if (write.Messages.back() == "Nothing of the file was left on the KDU.")
        FUZZ_CHECK((deleted && !fitsAfterDelete) ||
                   (sent.empty() && deletes == 0 && write.Messages.front().rfind("Could not create file: ", 0) == 0));
    else
        FUZZ_CHECK(write.Messages.back() == "Some of the file may still be on the KDU: erase it there.");
}

void CheckWalk(const KduFileList& list, const std::vector<KduFileInfo>& listed, uint32_t maxEntries)
{
    FUZZ_CHECK(list.Lines.size() == listed.size());
    FUZZ_CHECK(listed.size() <= maxEntries);
    FUZZ_CHECK(list.Complete == (list.Failure == USB_RESULT_SUCCESS && !list.Capped));
    FUZZ_CHECK(list.Complete == (list.EndStatus != 0));
    FUZZ_CHECK(list.ShowsEveryFile() == (list.Complete && list.EndStatus == 5));
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
    CheckWalkByTable(list, listed);
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
    calls.clear();
    const uint8_t mode = in.Byte() % 3;
    if (mode == 2) {
        CheckWrite(in);
        return 0;
    }
    const bool readFile = mode == 1;
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
    CheckReadBySteps(read, served, sizeLimit);
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
