// The module's filing system through its commands: a file's life from create
// to delete, and the status each misuse earns.

#include "emulators/usb/module_emulator.h"
#include "tests/emulators/usb/emulator_fixture.h"

namespace kovrin::emulator::usb::testing {
namespace {

// A create request: variant, value 1, value 2, kind, setup, calibration,
// value 3, value 4, class, and the 29 name bytes.
Bytes CreateRequest(const std::string& name, uint8_t fileClass = 0, uint16_t kind = 1)
{
    Bytes r = {0x36, 0x04, 0x00, 0x00, 0x00, 0x11, 0x12, 0x13, 0x14, 0x21, 0x22, 0x23, 0x24,
               uint8_t(kind >> 8), uint8_t(kind), 0x00, 0x2A, 0x01, 0x05, 0x31, 0x32, 0x41, 0x42, fileClass};
    Bytes n(29, 0);
    std::copy(name.begin(), name.end(), n.begin());
    return Join(r, n);
}

Bytes WriteRequest(const Bytes& data) { return Join({0x37}, data); }

class ModuleFilesTest : public EmulatorTest {
protected:
    void SetUp() override
    {
        EmulatorTest::SetUp();
        ModuleOptions options;
        options.Capacity = 1000;
        module_ = std::make_shared<ModuleEmulator>(options);
        Plug(module_);
    }

    // Creates, writes in pieces of at most 128 bytes and closes.
    void Store(const std::string& name, const Bytes& contents)
    {
        ASSERT_EQ(Exchange(CreateRequest(name)), Bytes{0});
        for (size_t at = 0; at < contents.size(); at += 128) {
            Bytes piece(contents.begin() + at, contents.begin() + std::min(contents.size(), at + 128));
            ASSERT_EQ(Exchange(WriteRequest(piece)), Bytes{0});
        }
        ASSERT_EQ(Exchange({0x38}), Bytes{0});
    }

    std::shared_ptr<ModuleEmulator> module_;
};

TEST_F(ModuleFilesTest, FileFromCreateToDelete)
{
    Bytes contents = Pattern(300);
    Store("Tyx_Config.bin", contents);

    Bytes entry = Exchange({0x3A, 0x00, 0x00});
    Bytes expected = {0x00, 0x00, 0x01,                          // status, file number 1
                      0x04, 0x00, 0x00, 0x00, 0x11, 0x12, 0x13, 0x14, 0x21, 0x22, 0x23, 0x24,
                      0x00, 0x01, 0x00, 0x2A, 0x01, 0x05, 0x31, 0x32, 0x41, 0x42, 0x00};
    Bytes name(29, 0);
    std::string text = "Tyx_Config.bin";
    std::copy(text.begin(), text.end(), name.begin());
    uint32_t sum = 0;
    for (uint8_t b : contents)
        sum += b;
    expected = Join(Join(expected, name), {uint8_t(sum >> 24), uint8_t(sum >> 16), uint8_t(sum >> 8), uint8_t(sum),
                                           0x00, 0x00, 0x01, 0x2C});
    EXPECT_EQ(entry, expected);
    EXPECT_EQ(Exchange({0x3A, 0x00, 0x01}), Bytes{5});  // past the end

    // Read back in pieces of at most 255 bytes, then status-only replies.
    ASSERT_EQ(Exchange({0x33, 0x00, 0x01}), Bytes{0});
    Bytes first = Exchange({0x34});
    Bytes second = Exchange({0x34});
    EXPECT_EQ(first, Join({0}, Bytes(contents.begin(), contents.begin() + 255)));
    EXPECT_EQ(second, Join({0}, Bytes(contents.begin() + 255, contents.end())));
    EXPECT_EQ(Exchange({0x34}), Bytes{0});
    EXPECT_EQ(Exchange({0x34}), Bytes{0});
    EXPECT_EQ(Exchange({0x38}), Bytes{0});

    EXPECT_EQ(Exchange({0x39, 0x00, 0x01}), Bytes{0});
    EXPECT_EQ(Exchange({0x3A, 0x00, 0x00}), Bytes{5});
    EXPECT_TRUE(module_->Files().empty());
}

TEST_F(ModuleFilesTest, NumbersAreReusedAndTheDirectoryKeepsItsOrder)
{
    Store("a", {1});
    Store("b", {2});
    Store("c", {3});
    ASSERT_EQ(Exchange({0x39, 0x00, 0x01}), Bytes{0});
    Store("d", {4});
    std::vector<std::pair<uint16_t, std::string>> listed;
    for (const ModuleFile& f : module_->Files())
        listed.push_back({f.Number, f.NameText()});
    EXPECT_EQ(listed, (std::vector<std::pair<uint16_t, std::string>>{{2, "b"}, {3, "c"}, {1, "d"}}));
    Bytes entry = Exchange({0x3A, 0x00, 0x02});
    ASSERT_EQ(entry.size(), 63u);
    EXPECT_EQ(entry[1] << 8 | entry[2], 1);
}

TEST_F(ModuleFilesTest, StatusesOfMisuse)
{
    struct Step {
        const char* What;
        Bytes Request;
        Bytes Reply;
    };
    Store("kept", Pattern(10));
    const Step steps[] = {
        {"write with no file created", WriteRequest({1}), {5}},
        {"close with no file open", {0x38}, {5}},
        {"read with no file open", {0x34}, {5}},
        {"open of an unknown number", {0x33, 0x00, 0x09}, {5}},
        {"delete of an unknown number", {0x39, 0x01, 0x01}, {5}},
        {"create", CreateRequest("new"), {0}},
        {"create while one is open", CreateRequest("other"), {3}},
        {"open while one is open", {0x33, 0x00, 0x01}, {3}},
        {"read of a file open for writing", {0x34}, {5}},
        {"delete of the open file", {0x39, 0x00, 0x02}, {3}},
        {"delete of another file", {0x39, 0x00, 0x01}, {0}},
        {"close", {0x38}, {0}},
        {"open", {0x33, 0x00, 0x02}, {0}},
        {"write to a file open for reading", WriteRequest({1}), {5}},
        {"close after reading", {0x38}, {0}},
    };
    for (const Step& s : steps)
        EXPECT_EQ(Exchange(s.Request), s.Reply) << s.What;
}

TEST_F(ModuleFilesTest, NoSpaceLeavesTheFileAsItWas)
{
    Store("big", Pattern(900));
    ASSERT_EQ(Exchange(CreateRequest("small")), Bytes{0});
    EXPECT_EQ(Exchange(WriteRequest(Pattern(100))), Bytes{0});
    EXPECT_EQ(Exchange(WriteRequest(Pattern(1))), Bytes{2});
    EXPECT_EQ(Exchange({0x3B}), (Bytes{0, 0, 0, 0, 0}));
    EXPECT_EQ(Exchange({0x38}), Bytes{0});
    EXPECT_EQ(module_->Files().back().Contents.size(), 100u);
    ASSERT_EQ(Exchange({0x39, 0x00, 0x01}), Bytes{0});
    EXPECT_EQ(Exchange({0x3B}), (Bytes{0, 0x00, 0x00, 0x03, 0x84}));  // 900 bytes free
}

TEST_F(ModuleFilesTest, CorruptFilingSystemUntilFormatted)
{
    Store("kept", Pattern(10));
    module_->WithFiles([](ModuleFiles& files) { files.SetCorrupt(true); });
    const Bytes refused[] = {{0x30}, {0x3A, 0x00, 0x00}, CreateRequest("x"), {0x33, 0x00, 0x01}, {0x39, 0x00, 0x01}};
    for (const Bytes& request : refused)
        EXPECT_EQ(Exchange(request), Bytes{6}) << int(request[0]);
    EXPECT_EQ(Exchange({0x31}), Bytes{0});
    EXPECT_EQ(Exchange({0x30}), Bytes{0});
    EXPECT_EQ(Exchange({0x3A, 0x00, 0x00}), Bytes{5});
    EXPECT_EQ(Exchange({0x3B}), (Bytes{0, 0x00, 0x00, 0x03, 0xE8}));
}

}  // namespace
}  // namespace kovrin::emulator::usb::testing
