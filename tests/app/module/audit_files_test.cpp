#include <gtest/gtest.h>

#include <cstring>

#include "app/module/audit_files.h"

namespace kovrin {
namespace {

TEST(AuditFiles, EntriesAreZeroButForVariantKindAndName)
{
    const struct {
        AuditFileKind kind;
        uint32_t variant;
        uint16_t dataKind;
        const char* name;
    } cases[] = {
        {AuditFileKind::Sarnel, 0x04000000, 1, "TyxAuditData.bin"},
        {AuditFileKind::Tekra, 0x08000000, 4, "TyxTekraAuditData.bin"},
    };
    for (const auto& c : cases) {
        const KduFileInfo entry = AuditFileEntry(c.kind);
        KduFileInfo expected;
        std::memset(&expected, 0, sizeof expected);
        expected.VariantId = c.variant;
        expected.DataFileKind = c.dataKind;
        std::memcpy(expected.FileName, c.name, std::strlen(c.name));
        // Every byte: no field, name byte or padding carries anything else.
        EXPECT_EQ(std::memcmp(&entry, &expected, sizeof entry), 0) << c.name;
        EXPECT_EQ(entry.FileClass, 0);
        EXPECT_STREQ(entry.FileName, c.name);
    }
    EXPECT_EQ(NewAuditFileContents, Bytes{0x00});
}

TEST(AuditFiles, AListedFileIsAnAuditFileByItsNumber)
{
    KduFileList list;
    list.AuditFileId = 2;
    list.TekraAuditFileId = 7;
    EXPECT_EQ(AuditFileKindOf(list, 2), AuditFileKind::Sarnel);
    EXPECT_EQ(AuditFileKindOf(list, 7), AuditFileKind::Tekra);
    EXPECT_EQ(AuditFileKindOf(list, 3), std::nullopt);
    list = {};
    for (uint16_t number : {0, 1, 0xFFFF})
        EXPECT_EQ(AuditFileKindOf(list, number), std::nullopt) << number;
}

}  // namespace
}  // namespace kovrin
