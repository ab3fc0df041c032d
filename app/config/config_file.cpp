#include "app/config/config_file.h"

#include <QSaveFile>
#include <QString>
#include <cerrno>
#include <cstring>
#include <fstream>

#include "app/config/eeprom_map.h"

namespace kovrin {

namespace {

// Walks the record's fields in file order; `io` is called for every byte run
// and every 32-bit value, so writing and reading share one field list.
template <typename Record, typename Io>
void ForEachField(Record& r, Io&& io)
{
    io.bytes(&r.HeaderByte, 1);
    io.bytes(&r.InterfaceType, 1);
    io.bytes(r.SecurityMask.data(), r.SecurityMask.size());
    io.bytes(r.ChannelEnableMask.data(), r.ChannelEnableMask.size());
    io.bytes(&r.PulsesPerUnit, 1);
    io.bytes(r.IsoCode.data(), r.IsoCode.size());
    io.long32(r.ScalingFactor);
    io.bytes(&r.DecimalPlaces, 1);
    io.bytes(&r.OptionFlags, 1);
    io.bytes(&r.SignalFlags, 1);
    for (auto& v : r.ChannelPulseAssignment)
        io.long32(v);
    io.bytes(r.ChannelVendAssignment.data(), r.ChannelVendAssignment.size());
    io.bytes(r.MdbChannelValue.data(), r.MdbChannelValue.size());
    io.long32(r.Word80);
    io.bytes(&r.PulseOnTime, 1);
    io.bytes(&r.PulseOffTime, 1);
    io.bytes(&r.EscrowTime, 1);
    io.bytes(&r.Byte107, 1);
    io.bytes(&r.CcTalkAddress, 1);
    io.bytes(r.CcTalkEncryptionCode.data(), r.CcTalkEncryptionCode.size());
    io.bytes(r.CcTalkSerialNumber.data(), r.CcTalkSerialNumber.size());
    io.bytes(&r.CcTalkFlag, 1);
    io.bytes(r.Block116.data(), r.Block116.size());
    io.bytes(&r.Byte131, 1);
    io.bytes(r.SerialNumber.data(), r.SerialNumber.size());
    io.bytes(r.AuditCounters.data(), r.AuditCounters.size());
    io.bytes(r.Block163.data(), r.Block163.size());
    io.bytes(r.Block176.data(), r.Block176.size());
    io.bytes(r.Block182.data(), r.Block182.size());
    io.bytes(r.Block188.data(), r.Block188.size());
    io.bytes(r.Block194.data(), r.Block194.size());
    io.bytes(r.Block201.data(), r.Block201.size());
    io.bytes(r.Block208.data(), r.Block208.size());
    io.bytes(r.Block220.data(), r.Block220.size());
    io.bytes(r.ExtraBytes.data(), r.ExtraBytes.size());
    io.bytes(&r.ExtraByte, 1);
    io.bytes(r.Bytes232.data(), r.Bytes232.size());
    io.bytes(r.Block238.data(), r.Block238.size());
    io.bytes(r.Block244.data(), r.Block244.size());
    io.bytes(&r.Byte250, 1);
    io.bytes(&r.SetupRevision, 1);
    io.bytes(&r.VariantCode, 1);
    io.bytes(&r.CalibrationRevision, 1);
    io.long32(r.EndWord);
    io.bytes(r.ExtendedBlock.data(), r.ExtendedBlock.size());
    io.bytes(r.SpareBlock.data(), r.SpareBlock.size());
}

struct Writer {
    uint8_t* out;
    size_t pos = 0;
    void bytes(const uint8_t* p, size_t n)
    {
        std::memcpy(out + pos, p, n);
        pos += n;
    }
    void long32(int32_t v)
    {
        const auto u = static_cast<uint32_t>(v);
        for (int i = 0; i < 4; ++i)
            out[pos++] = static_cast<uint8_t>(u >> (8 * i));
    }
};

struct Reader {
    const uint8_t* in;
    size_t pos = 0;
    void bytes(uint8_t* p, size_t n)
    {
        std::memcpy(p, in + pos, n);
        pos += n;
    }
    void long32(int32_t& v)
    {
        uint32_t u = 0;
        for (int i = 0; i < 4; ++i)
            u |= uint32_t(in[pos++]) << (8 * i);
        v = static_cast<int32_t>(u);
    }
};

std::string Refused(const std::string& fileName, const std::string& reason)
{
    return "\"" + fileName + "\" cannot be loaded: " + reason;
}

}  // namespace

ConfigFileBytes RecordToConfigFile(const EepromRecord& record)
{
    ConfigFileBytes bytes{};
    Writer w{bytes.data()};
    ForEachField(record, w);
    return bytes;
}

ConfigFileResult ConfigFileToRecord(std::span<const uint8_t> bytes, const std::string& fileName)
{
    // A longer file is a record written over a longer file that was there before: its first record counts.
    if (bytes.size() < ConfigFileLength)
        return {std::nullopt, Refused(fileName, "it holds " + std::to_string(bytes.size()) +
                                                    " bytes, a Tyx configuration file holds 601.")};
    EepromRecord record;
    Reader r{bytes.data()};
    ForEachField(record, r);

    // A record made before any acceptor was identified carries variant 0 and
    // the layout 5/9 defaults. A variant without a layout has no limits to
    // check; such a record can be looked at but never sent.
    const EepromLayout layout = DefaultsLayoutOfVariant(record.VariantCode);
    if (layout == EepromLayout::None)
        return {record, {}};
    if (CodecResult fits = CheckRecordFitsLayout(record, layout); !fits)
        return {std::nullopt, Refused(fileName, fits.message)};
    return {record, {}};
}

ConfigFileResult ReadConfigFile(const std::string& path)
{
    const std::string name = path.substr(path.find_last_of("/\\") + 1);
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return {std::nullopt, Refused(name, std::strerror(errno) + std::string("."))};
    ConfigFileBytes buffer{};
    in.read(reinterpret_cast<char*>(buffer.data()), buffer.size());
    if (in.bad())
        return {std::nullopt, Refused(name, "it could not be read.")};
    return ConfigFileToRecord(std::span<const uint8_t>(buffer.data(), size_t(in.gcount())), name);
}

std::string WriteConfigFile(const std::string& path, const EepromRecord& record)
{
    const ConfigFileBytes bytes = RecordToConfigFile(record);
    QSaveFile file(QString::fromStdString(path));
    // Without a commit the new file is thrown away and `path` stays as it was. Unbuffered, a
    // short write shows at once; a buffered one could be committed cut short.
    const auto failed = [&](const char* what) {
        return "The configuration could not be saved to \"" + path + "\" (" + what + ": " +
               file.errorString().toStdString() + ").";
    };
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return failed("create");
    if (file.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size())) != qint64(bytes.size()) ||
        !file.commit())
        return failed("write");
    return {};
}

}  // namespace kovrin
