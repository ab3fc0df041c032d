#include "app/module/module_transfers.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <set>

#include "app/module/kdu_directory.h"
#include "app/module/module_texts.h"

namespace kovrin {

namespace {

constexpr size_t ReadBufferLength = 257;
// Statuses with which a read piece still counts.
constexpr uint8_t ReadPieceLastStatus = 4;

// The entry as the module lists it back: what the create sent of it.
bool SameFile(const KduFileInfo& a, const KduFileInfo& b)
{
    return a.FileClass == b.FileClass && a.VariantId == b.VariantId && a.DataFileKind == b.DataFileKind &&
           a.SetupRevision == b.SetupRevision && a.CalibrationRevision == b.CalibrationRevision &&
           std::memcmp(a.FileName, b.FileName, 29) == 0;
}

// The files that fit `entry` and are not among `numbersBefore`, by a fresh walk; no answer
// when the walk cannot show every file.
std::optional<std::vector<KduFileInfo>> FilesMadeSince(const ModuleExports& exports, UsbDevice device,
                                                       const KduFileInfo& entry, const std::set<uint16_t>& numbersBefore)
{
    std::vector<KduFileInfo> made;
    for (uint32_t index = 0; index < MaxKduDirectoryEntries; ++index) {
        KduFileInfo info;
        std::memset(&info, 0, sizeof info);
        uint8_t status = 0;
        if (exports.PMEnumFile(device, index, &status, &info) != USB_RESULT_SUCCESS)
            return std::nullopt;
        if (status == KduNoEntryStatus)
            return made;
        if (status != 0)
            return std::nullopt;
        if (SameFile(info, entry) && !numbersBefore.count(static_cast<uint16_t>(info.FileNumber & 0xFFFF)))
            made.push_back(info);
    }
    return std::nullopt;
}

// Erases what a failed write left; false when something of it may still be on the module.
// A file the module held before must never go, so a file is taken for this download's only
// where that can be shown: the listing before shows every file and not this one, the module
// now holds no other file that fits the entry, and it holds no more than `written` bytes.
// Two such files mean the listing before was wrong, and either may be one the module held;
// none means this one may be. Only a listing after the erase shows that nothing is left.
bool ErasePartialFile(const ModuleExports& exports, UsbDevice device, const KduFileInfo& entry,
                      const KduFileList& before, uint64_t written)
{
    // A file the module still holds open cannot be erased; closing what is not open does no harm.
    uint8_t closeStatus = 0;
    exports.PMCloseFile(device, &closeStatus);
    if (!before.ShowsEveryFile())
        return false;
    const std::set<uint16_t> numbersBefore = before.Numbers();
    const auto made = FilesMadeSince(exports, device, entry, numbersBefore);
    if (!made || made->size() != 1 || made->front().FileSize > written)
        return false;
    if (!DeleteKduFile(exports, device, static_cast<uint16_t>(made->front().FileNumber & 0xFFFF)).Deleted())
        return false;
    const auto left = FilesMadeSince(exports, device, entry, numbersBefore);
    return left && left->empty();
}

}  // namespace

KduFileRead ReadKduFile(const ModuleExports& exports, UsbDevice device, uint16_t number, uint64_t sizeLimit,
                        const std::function<void(size_t)>& progress)
{
    KduFileRead read;
    uint8_t status = 0;
    if (const UsbResult result = exports.PMOpenFileForRead(device, &status, number)) {
        read.Messages.push_back(UsbErrorText(result));
        return read;
    }
    if (status != 0) {
        read.Messages.push_back("Could not open file: " + KduReplyText(status));
        read.Status = status;
        return read;
    }
    bool failed = false;
    for (;;) {
        uint8_t buffer[ReadBufferLength] = {};
        uint16_t length = 0;
        status = 0;
        if (const UsbResult result = exports.PMReadFile(device, &status, buffer, &length)) {
            read.Messages.push_back(UsbErrorText(result));
            read.Status = 1;
            failed = true;
            break;
        }
        if (status != 0 && status != ReadPieceLastStatus) {
            read.Messages.push_back("Error reading BA: " + KduReplyText(status));
            read.Status = status;
            failed = true;
            break;
        }
        if (length == 0)
            break;
        read.Data.insert(read.Data.end(), buffer, buffer + std::min<size_t>(length, ReadBufferLength));
        if (read.Data.size() > sizeLimit) {
            read.Messages.push_back("The file on the KDU is longer than any file a KDU holds; it was not used.");
            read.Status = 1;
            failed = true;
            break;
        }
        if (progress)
            progress(read.Data.size());
    }
    uint8_t closeStatus = 0;
    if (const UsbResult result = exports.PMCloseFile(device, &closeStatus))
        read.Messages.push_back(UsbErrorText(result));
    else if (!failed && closeStatus != 0)
        read.Messages.push_back("Could not close file: " + KduReplyText(closeStatus));
    if (!failed)
        read.Status = closeStatus;
    return read;
}

KduFileWrite WriteKduFile(const ModuleExports& exports, UsbDevice device, const KduFileInfo& entry,
                          const std::vector<Bytes>& writes, const KduFileList& before,
                          const std::function<void(size_t)>& progress)
{
    KduFileWrite outcome;
    uint8_t status = 0;
    const UsbResult created = exports.PMCreateFile(device, &status, &entry);
    if (created == USB_RESULT_SUCCESS && status != 0) {
        // Refused: the module made no file. The close goes all the same, as after any create.
        outcome.Messages.push_back("Could not create file: " + KduReplyText(status));
        uint8_t closeStatus = 0;
        if (const UsbResult closed = exports.PMCloseFile(device, &closeStatus))
            outcome.Messages.push_back(UsbErrorText(closed));
        outcome.Messages.push_back("Nothing of the file was left on the KDU.");
        return outcome;
    }
    std::string failure = created ? UsbErrorText(created) : "";
    uint64_t sent = 0;  // a piece whose reply was lost may still have been written
    for (size_t i = 0; failure.empty() && i < writes.size(); ++i) {
        status = 0;
        const Bytes& piece = writes[i];
        sent += piece.size();
        if (const UsbResult result = exports.PMWriteFile(device, &status, piece.data(), uint32_t(piece.size())))
            failure = UsbErrorText(result);
        else if (status != 0)
            failure = "Error writing to KDU: " + KduReplyText(status);
        else if (progress)
            progress(i + 1);
    }
    status = 0;
    const UsbResult closed = exports.PMCloseFile(device, &status);
    if (failure.empty() && closed)
        failure = UsbErrorText(closed);
    else if (failure.empty() && status != 0)
        failure = "Could not close file: " + KduReplyText(status);
    if (failure.empty()) {
        outcome.Written = true;
        return outcome;
    }
    outcome.Messages.push_back(failure);
    outcome.Messages.push_back(ErasePartialFile(exports, device, entry, before, sent)
                                   ? "Nothing of the file was left on the KDU."
                                   : "Some of the file may still be on the KDU: erase it there.");
    return outcome;
}

KduFileDelete DeleteKduFile(const ModuleExports& exports, UsbDevice device, uint16_t number)
{
    KduFileDelete deleted;
    deleted.Result = exports.PMDeleteFile(device, &deleted.Status, number);
    return deleted;
}

}  // namespace kovrin
