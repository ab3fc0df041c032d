// Open names and transfer lengths.

#include "tests/driver/driver_fixture.h"

namespace kovrin::qelusb::testing {
namespace {

TEST_F(DriverTest, OpenNames)
{
    Plug();
    std::string path = OnlyInterface();
    EXPECT_EQ(OpenStatus(path), Status::Success);                 // "": a device handle
    EXPECT_EQ(OpenStatus(path + "\\0"), Status::Success);
    EXPECT_EQ(OpenStatus(path + "\\1"), Status::Success);
    EXPECT_EQ(OpenStatus(path + "\\2"), Status::InsufficientResources);  // not below the pipe count
    EXPECT_EQ(OpenStatus(path + "\\"), Status::InsufficientResources);
    EXPECT_EQ(OpenStatus(path + "\\abc"), Status::InsufficientResources);
    EXPECT_EQ(OpenStatus(path + "\\1x"), Status::Success);  // the last digits count
    EXPECT_EQ(OpenStatus(path + "\\0001"), Status::Success);
    // Overlong numbers select no pipe, even one that would wrap round to 1 in 32 bits.
    EXPECT_EQ(OpenStatus(path + "\\4294967297"), Status::InsufficientResources);
    EXPECT_EQ(OpenStatus(path + "\\99999999999999999999"), Status::InsufficientResources);
    EXPECT_EQ(OpenStatus(path + "1"), Status::ObjectNameNotFound);  // not a name below the interface
}

TEST_F(DriverTest, ReadOnADeviceHandleIsAnInvalidHandle)
{
    Plug();
    Handle device = OpenOk(OnlyInterface());
    std::vector<uint8_t> buffer(64);
    size_t bytes = 0;
    EXPECT_EQ(ReadSync(device, buffer.data(), buffer.size(), &bytes), Status::InvalidHandle);
    EXPECT_EQ(WriteSync(device, buffer.data(), buffer.size(), &bytes), Status::InvalidHandle);
    Close(device);
}

TEST_F(DriverTest, TransferLengths)
{
    int port = Plug();
    std::string path = OnlyInterface();
    Handle out = OpenOk(path + "\\0");
    Handle in = OpenOk(path + "\\1");
    std::vector<uint8_t> buffer(4097);
    size_t bytes = 99;
    EXPECT_EQ(ReadSync(in, buffer.data(), 4097, &bytes), Status::InvalidParameter);
    EXPECT_EQ(WriteSync(out, buffer.data(), 4097, &bytes), Status::InvalidParameter);
    EXPECT_EQ(Bus().OutPacketSizes(port, kOut).size(), 0u);

    // Length 0: one zero-length packet out, echoed as one zero-length packet.
    EXPECT_EQ(WriteSync(out, buffer.data(), 0, &bytes), Status::Success);
    EXPECT_EQ(bytes, 0u);
    EXPECT_EQ(Bus().OutPacketSizes(port, kOut), std::vector<size_t>{0});
    EXPECT_EQ(ReadSync(in, buffer.data(), 0, &bytes), Status::Success);
    EXPECT_EQ(bytes, 0u);

    // Length 4096: 64 full packets; the echo fills the read, and its closing
    // zero-length packet is the next read.
    std::vector<uint8_t> data = Bytes(4096);
    std::vector<uint8_t> reply = Exchange(out, in, data, 4096);
    EXPECT_EQ(reply, data);
    EXPECT_EQ(Bus().OutPacketSizes(port, kOut).size(), 1u + 64u);
    EXPECT_EQ(ReadSync(in, buffer.data(), 4096, &bytes), Status::Success);
    EXPECT_EQ(bytes, 0u);
    Close(in);
    Close(out);
}

}  // namespace
}  // namespace kovrin::qelusb::testing
