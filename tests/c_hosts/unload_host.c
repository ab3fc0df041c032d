/*
 * Loads qel_usb, starts and stops it CYCLES times, unloads it and returns from
 * main: the process must end cleanly. With "keep-running" the last start is
 * never stopped, so the library has to stop itself when it is unloaded.
 *
 *   unload_host LIBRARY CYCLES [keep-running] [EXPECTED-ARRIVALS-PER-START]
 */
#include <string.h>

#include "tests/c_hosts/host_support.h"

static int arrivals;

static void OnDeviceChange(UsbDevice device, int32_t event, DeviceType type)
{
    (void)device;
    (void)type;
    if (event == USB_DEVICE_ARRIVED)
        ++arrivals;
}

int main(int argc, char** argv)
{
    if (argc < 3) {
        fprintf(stderr, "usage: unload_host LIBRARY CYCLES [keep-running|stop] [ARRIVALS]\n");
        return 2;
    }
    int cycles = atoi(argv[2]);
    int keepRunning = argc > 3 && strcmp(argv[3], "keep-running") == 0;
    int expected = argc > 4 ? atoi(argv[4]) : -1;

    void* library = LoadLibrary(argv[1]);
    InitialiseFunction initialise = (InitialiseFunction)Export(library, "VoskUsb_Initialise");
    PlainFunction removeFunction = (PlainFunction)Export(library, "VoskUsb_Remove");
    for (int cycle = 1; cycle <= cycles; ++cycle) {
        arrivals = 0;
        int32_t started = initialise(OnDeviceChange);
        if (expected >= 0 && (started != 1 || arrivals != expected)) {
            fprintf(stderr, "start %d: result %d, %d arrivals, %d expected\n", cycle, started, arrivals, expected);
            return 1;
        }
        if (!(keepRunning && cycle == cycles) && removeFunction() != 1) {
            fprintf(stderr, "stop %d did not return 1\n", cycle);
            return 1;
        }
    }
    if (dlclose(library) != 0) {
        fprintf(stderr, "dlclose: %s\n", dlerror());
        return 1;
    }
    printf("unloaded after %d starts\n", cycles);
    return 0;
}
