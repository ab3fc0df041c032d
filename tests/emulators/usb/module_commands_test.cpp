// The module's commands apart from its files: status, unit records, items,
// the error log, capacity, the boot loader's commands and malformed requests.

#include "emulators/usb/module_emulator.h"
#include "tests/emulators/usb/emulator_fixture.h"

namespace kovrin::emulator::usb::testing {
namespace {

class ModuleCommandsTest : public EmulatorTest {
protected:
    void SetUp() override
    {
        EmulatorTest::SetUp();
        module_ = std::make_shared<ModuleEmulator>();
        Plug(module_);
    }
    std::shared_ptr<ModuleEmulator> module_;
};

TEST_F(ModuleCommandsTest, RepliesOfEveryLength)
{
    struct Step {
        const char* What;
        Bytes Request;
        Bytes Reply;
    };
    Bytes record(16);
    for (size_t i = 0; i < record.size(); ++i)
        record[i] = uint8_t(0xC0 + i);
    const Step steps[] = {
        {"status: files, power-up count, no file open", {0x10}, {0, 0, 0, 0, 1, 0}},
        {"clear the power-up count", {0x1F}, {0}},
        {"status again", {0x10}, {0, 0, 0, 0, 0, 0}},
        {"revision", {0x11}, {0, 5, 2, 0, 1, 0, 0}},
        {"unit record 7, still empty", {0x1B, 0x07}, Join({0}, Bytes(16, 0))},
        {"set unit record 7", Join({0x1C, 0x07}, record), {0}},
        {"unit record 7", {0x1B, 0x07}, Join({0}, record)},
        {"unit record 8 does not exist", {0x1B, 0x08}, {1}},
        {"item 0x80", {0x2B, 0x80}, {0, 0}},
        {"set item 0x80", {0x2C, 0x80, 0x5A}, {0}},
        {"item 0x80 again", {0x2B, 0x80}, {0, 0x5A}},
        {"capacity", {0x3B}, {0, 0x00, 0x08, 0x00, 0x00}},
        {"self test", {0x45, 0x01}, {0}},
        {"run the boot loader", {0x44}, {0}},
        {"delete the application", {0x50}, {0}},
        {"load the application", {0x51, 0x00, 0x40, 0x00}, {0}},
        {"update the secondary boot loader", {0x53, 0, 0, 1, 0, 0, 2}, {0}},
        {"delete utility 1", {0x54, 0x01}, {0}},
        {"load utility 0", {0x55, 0x00, 0x12, 0x34}, {0}},
        {"run utility 2, which does not exist", {0x56, 0x02}, {1}},
        {"download with data", Join({0x5E, 0x00, 0x40, 0x00}, Bytes(128, 0xFF)), {0}},
        {"download without data", {0x5E, 0x00, 0x40, 0x80}, {0}},
        {"end of download", {0x5F}, {0}},
        {"run the application", {0x52}, {0}},
    };
    for (const Step& s : steps)
        EXPECT_EQ(Exchange(s.Request), s.Reply) << s.What;
}

TEST_F(ModuleCommandsTest, MalformedRequestsAreRefusedAndLogged)
{
    const Bytes malformed[] = {
        {0x10, 0x00},                                      // status takes no parameter
        {0x99},                                            // no such command
        {0x37},                                            // a write without data
        Join({0x37}, Bytes(129, 0)),                       // a write of 129 bytes
        {0x33, 0x01},                                      // a file number of one byte
        Join({0x5E, 0, 0, 0}, Bytes(129, 0)),              // a download of 129 bytes
    };
    for (const Bytes& request : malformed)
        EXPECT_EQ(Exchange(request), Bytes{1}) << int(request[0]) << " " << request.size();
    EXPECT_EQ(Exchange({0x38}), Bytes{5});              // a refusal of its own
    EXPECT_EQ(Exchange({0x3A, 0x00, 0x00}), Bytes{5});  // past the end: not an error
    EXPECT_EQ(Exchange({0x1D}), (Bytes{7, 0x10, 0x99, 0x37, 0x37, 0x33, 0x5E, 0x38}));
    EXPECT_EQ(Exchange({0x1D}), (Bytes{7, 0x10, 0x99, 0x37, 0x37, 0x33, 0x5E, 0x38}));
    EXPECT_EQ(Exchange({0x1E}), Bytes{0});
    EXPECT_EQ(Exchange({0x1D}), Bytes{0});
}

TEST_F(ModuleCommandsTest, ErrorLogKeepsTheNewest127)
{
    for (int i = 0; i < 130; ++i)
        Exchange({uint8_t(i & 1 ? 0x98 : 0x99)});
    Bytes log = Exchange({0x1D});
    ASSERT_EQ(log.size(), 128u);
    EXPECT_EQ(log[0], 127);
    EXPECT_EQ(log[1], 0x98);  // the first three are gone
    EXPECT_EQ(log[127], 0x98);
}

TEST_F(ModuleCommandsTest, RequestLogKeepsEveryRequest)
{
    Exchange({0x10});
    Exchange({0x99, 0x01});
    EXPECT_EQ(module_->Requests(), (std::vector<Bytes>{{0x10}, {0x99, 0x01}}));
}

}  // namespace
}  // namespace kovrin::emulator::usb::testing
