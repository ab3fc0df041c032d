/*
 * Starts qel_usb on a bus where a device arrives and leaves after start-up
 * (a schedule in QELUSB_EMULATED), watches the library's notification
 * descriptor with poll() and dispatches on the starting thread until it has
 * seen event 0 and then event 1 for the same device; then stops the library.
 * With STARTS above 1 it starts it again that many times, the schedule
 * counting from each start, and with "unload" it also unloads and loads the
 * library between the starts.
 *
 *   notification_host LIBRARY [STARTS [unload]]
 */
#include <poll.h>
#include <pthread.h>
#include <string.h>

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

static int Fail(int start, const char* what)
{
    fprintf(stderr, "start %d: %s\n", start, what);
    return 1;
}

/* One start of the loaded library, until the device has come and gone, and its stop. */
static int StartAndWatch(void* library, int start)
{
    InitialiseFunction initialise = (InitialiseFunction)Export(library, "VoskUsb_Initialise");
    PlainFunction removeFunction = (PlainFunction)Export(library, "VoskUsb_Remove");
    PlainFunction descriptor = (PlainFunction)Export(library, "VoskUsb_NotificationDescriptor");
    dispatch = (PlainFunction)Export(library, "VoskUsb_DispatchNotifications");
    arrived = removed = 0;
    events = outOfOrder = 0;

    if (descriptor() != -1 || dispatch() != -1)
        return Fail(start, "before the start: a descriptor or a dispatch");
    if (initialise(OnDeviceChange) != 1)
        return Fail(start, "VoskUsb_Initialise failed");
    int fd = descriptor();
    if (fd < 0)
        return Fail(start, "started, but no notification descriptor");

    int32_t elsewhere = 0;
    pthread_t thread;
    if (pthread_create(&thread, NULL, DispatchElsewhere, &elsewhere) != 0 || pthread_join(thread, NULL) != 0)
        return Fail(start, "cannot run a second thread");
    if (elsewhere != -1)
        return Fail(start, "a dispatch on another thread was not refused");

    /* The device may already be there if the start took longer than its schedule. */
    int waited = 0;
    while (!removed && !outOfOrder && waited < kGiveUpSeconds) {
        struct pollfd watch = {fd, POLLIN, 0};
        int ready = poll(&watch, 1, 1000);
        if (ready < 0)
            return Fail(start, "poll failed");
        if (ready == 0) {
            ++waited;
            continue;
        }
        if (dispatch() < 1)
            return Fail(start, "the descriptor was readable but nothing was dispatched");
    }
    if (outOfOrder || !arrived || !removed)
        return Fail(start, "did not see event 0 and then event 1 for one device");
    if (events != 2)
        return Fail(start, "more events than the one device's two");
    if (removeFunction() != 1 || descriptor() != -1 || dispatch() != -1)
        return Fail(start, "after the stop: a descriptor or a dispatch");
    printf("start %d: event 0 and event 1 for device %u\n", start, (unsigned)arrived);
    return 0;
}

int main(int argc, char** argv)
{
    if (argc < 2 || argc > 4 || (argc == 4 && strcmp(argv[3], "unload") != 0)) {
        fprintf(stderr, "usage: notification_host LIBRARY [STARTS [unload]]\n");
        return 2;
    }
    int starts = argc > 2 ? atoi(argv[2]) : 1;
    int unload = argc > 3;
    void* library = LoadLibrary(argv[1]);
    for (int start = 1; start <= starts; ++start) {
        if (start > 1 && unload) {
            if (dlclose(library) != 0)
                return Fail(start, "the library did not unload");
            library = LoadLibrary(argv[1]);
        }
        if (StartAndWatch(library, start) != 0)
            return 1;
    }
    dlclose(library);
    return 0;
}
