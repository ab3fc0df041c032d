/* What the plain C hosts share: loading qel_usb by path and naming its exports. */
#ifndef HOST_SUPPORT_H
#define HOST_SUPPORT_H

#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>

#include "usblib/qel_usb.h"

typedef int32_t (*InitialiseFunction)(DeviceChangeCallback);
typedef int32_t (*PlainFunction)(void);

static void* LoadLibrary(const char* path)
{
    void* library = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        fprintf(stderr, "cannot load %s: %s\n", path, dlerror());
        exit(2);
    }
    return library;
}

static void* Export(void* library, const char* name)
{
    void* function = dlsym(library, name);
    if (!function) {
        fprintf(stderr, "no export %s\n", name);
        exit(2);
    }
    return function;
}

#endif
