#include "platform/usb/urb.h"

#include <cstring>

#include "platform/kernel/pool.h"

namespace kovrin::platform::usb {

namespace {
constexpr uint32_t kUrbTag = MakePoolTag("Usbd");
}

void BuildGetDescriptorUrb(UrbControlDescriptorRequest* urb, uint8_t descriptorType, uint8_t index,
                           uint16_t languageId, void* buffer, uint32_t length)
{
    std::memset(urb, 0, sizeof *urb);
    urb->Header.Length = sizeof *urb;
    urb->Header.Function = UrbFunctionGetDescriptorFromDevice;
    urb->TransferBuffer = buffer;
    urb->TransferBufferLength = length;
    urb->Index = index;
    urb->DescriptorType = descriptorType;
    urb->LanguageId = languageId;
}

void BuildDeconfigureUrb(UrbSelectConfiguration* urb)
{
    std::memset(urb, 0, sizeof *urb);
    urb->Header.Length = sizeof *urb;
    urb->Header.Function = UrbFunctionSelectConfiguration;
}

void BuildPipeRequestUrb(UrbPipeRequest* urb, UrbFunction function, uint32_t pipeHandle)
{
    std::memset(urb, 0, sizeof *urb);
    urb->Header.Length = sizeof *urb;
    urb->Header.Function = function;
    urb->PipeHandle = pipeHandle;
}

void BuildBulkTransferUrb(UrbBulkOrInterruptTransfer* urb, uint32_t pipeHandle, MemoryDescriptor* mdl,
                          uint32_t length, uint32_t flags)
{
    std::memset(urb, 0, sizeof *urb);
    urb->Header.Length = sizeof *urb;
    urb->Header.Function = UrbFunctionBulkOrInterruptTransfer;
    urb->PipeHandle = pipeHandle;
    urb->TransferFlags = flags;
    urb->TransferBufferLength = length;
    urb->TransferBufferMdl = mdl;
}

UrbSelectConfiguration* CreateSelectConfigurationUrb(const UsbConfigurationDescriptor* configuration,
                                                     const UsbInterfaceDescriptor* interface)
{
    if (!configuration || !interface)
        return nullptr;
    uint32_t pipes = interface->bNumEndpoints;
    uint32_t size = SelectConfigurationUrbSize(pipes);
    auto* urb = static_cast<UrbSelectConfiguration*>(AllocatePool(size, kUrbTag));
    if (!urb)
        return nullptr;
    std::memset(urb, 0, size);
    urb->Header.Length = uint16_t(size);
    urb->Header.Function = UrbFunctionSelectConfiguration;
    urb->ConfigurationDescriptor = configuration;
    urb->Interface.Length = uint16_t(InterfaceInformationSize(pipes));
    urb->Interface.InterfaceNumber = interface->bInterfaceNumber;
    urb->Interface.AlternateSetting = interface->bAlternateSetting;
    urb->Interface.NumberOfPipes = pipes;
    return urb;
}

}  // namespace kovrin::platform::usb
