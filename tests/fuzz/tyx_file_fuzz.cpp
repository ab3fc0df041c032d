// The ".tyx" configuration file. Input: the file's bytes. A refused file
// gives no record and says why, naming the file; an accepted one saves to the
// same bytes and loads back to the same record, through the file system too.

#include <fstream>

#include "app/config/config_file.h"
#include "tests/fuzz/fuzz_support.h"

using namespace kovrin;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const fuzz::ScratchFolder folder;
    const std::span<const uint8_t> bytes(data, size);
    const ConfigFileResult loaded = ConfigFileToRecord(bytes, "fuzz.tyx");
    FUZZ_CHECK(loaded.record.has_value() == loaded.error.empty());
    if (size < ConfigFileLength)
        FUZZ_CHECK(!loaded.record);

    // The same bytes read from a file give the same answer.
    const std::string path = folder.File("fuzz.tyx");
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), std::streamsize(size));
    }
    const ConfigFileResult read = ReadConfigFile(path);
    FUZZ_CHECK(read.record == loaded.record);
    FUZZ_CHECK(read.error == loaded.error);

    if (!loaded.record) {
        FUZZ_CHECK(loaded.error.find("\"fuzz.tyx\"") != std::string::npos);
        return 0;
    }
    const ConfigFileBytes saved = RecordToConfigFile(*loaded.record);
    FUZZ_CHECK(std::equal(saved.begin(), saved.end(), data));

    const std::string copy = folder.File("copy.tyx");
    FUZZ_CHECK(WriteConfigFile(copy, *loaded.record).empty());
    const ConfigFileResult again = ReadConfigFile(copy);
    FUZZ_CHECK(again.error.empty() && again.record == loaded.record);
    return 0;
}
