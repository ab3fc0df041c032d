/*
 * Starts qel_usb on a bus where a device arrives and leaves after start-up
 * (a schedule in QELUSB_EMULATED), watches the library's notification
 * descriptor with poll() and dispatches on the starting thread until it has
 * seen event 0 and then event 1 for the same device.
 *
 *   notification_host LIBRARY
 */
#include <poll.h>
#include <pthread.h>

#include "tests/c_hosts/host_support.h"

/* Only a limit for a broken library; the events normally come within seconds. */
enum { kGiveUpSeconds = 120 };

static PlainFunction dispatch;
static UsbDevice arrived, removed;
static int events, outOfOrder;

static void OnDeviceChange(UsbDevice device, int32_t event, DeviceType type)
{
    (void)type;
    ++events;
    if (event == USB_DEVICE_ARRIVED && !arrived && !removed)
        arrived = device;
    else if (event == USB_DEVICE_REMOVED && device == arrived && !removed)
        removed = device;
    else
        outOfOrder = 1;
}

static void* DispatchElsewhere(void* result)
{
    *(int32_t*)result = dispatch();
    return NULL;
}

static int Fail(const char* what)
{
    fprintf(stderr, "%s\n", what);
    return 1;
}

int main(int argc, char** argv)
{
    if (argc != 2)
        return Fail("usage: notification_host LIBRARY");
    void* library = LoadLibrary(argv[1]);
    InitialiseFunction initialise = (InitialiseFunction)Export(library, "VoskUsb_Initialise");
    PlainFunction removeFunction = (PlainFunction)Export(library, "VoskUsb_Remove");
    PlainFunction descriptor = (PlainFunction)Export(library, "VoskUsb_NotificationDescriptor");
    dispatch = (PlainFunction)Export(library, "VoskUsb_DispatchNotifications");

    if (descriptor() != -1 || dispatch() != -1)
        return Fail("before the start: a descriptor or a dispatch");
    if (initialise(OnDeviceChange) != 1)
        return Fail("VoskUsb_Initialise failed");
    int fd = descriptor();
    if (fd < 0)
        return Fail("started, but no notification descriptor");

    int32_t elsewhere = 0;
    pthread_t thread;
    if (pthread_create(&thread, NULL, DispatchElsewhere, &elsewhere) != 0 || pthread_join(thread, NULL) != 0)
        return Fail("cannot run a second thread");
    if (elsewhere != -1)
        return Fail("a dispatch on another thread was not refused");

    /* The device may already be there if the start took longer than its schedule. */
    int waited = 0;
    while (!removed && !outOfOrder && waited < kGiveUpSeconds) {
        struct pollfd watch = {fd, POLLIN, 0};
        int ready = poll(&watch, 1, 1000);
        if (ready < 0)
            return Fail("poll failed");
        if (ready == 0) {
            ++waited;
            continue;
        }
        if (dispatch() < 1)
            return Fail("the descriptor was readable but nothing was dispatched");
    }
    if (outOfOrder || !arrived || !removed)
        return Fail("did not see event 0 and then event 1 for one device");
    if (events != 2)
        return Fail("more events than the one device's two");
    if (removeFunction() != 1 || descriptor() != -1 || dispatch() != -1)
        return Fail("after the stop: a descriptor or a dispatch");
    dlclose(library);
    printf("event 0 and event 1 for device %u\n", (unsigned)arrived);
    return 0;
}
