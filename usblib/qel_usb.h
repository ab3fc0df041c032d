/*
 * qel_usb: the USB communications library for the acceptor family's USB
 * devices (the USB acceptor "Knurl" and the programming modules "KDU" and
 * "RDU"), served by the QelUsb driver.
 *
 * A program starts the library with VoskUsb_Initialise and is told through its
 * DeviceChangeCallback of every device that arrives or leaves. Each device is
 * named by a UsbDevice handle; the program opens it with VoskUsb_OpenDevice and
 * then sends it commands. VoskUsb_Remove stops the library.
 *
 * Threads: the callback runs on the thread that called VoskUsb_Initialise:
 * from inside VoskUsb_Initialise for the devices already present, later when
 * that thread dispatches its message queue (the platform's thread message
 * queue; an event loop watches its descriptor). Every other export may be
 * called from any thread; each blocks the caller for the exchange it makes.
 * Exchanges on one device are not serialised: send one command at a time.
 *
 * Every device export returns a UsbResult. The library checks, in this order:
 * started (else 1), handle (else 3), then what the export itself needs.
 */

#ifndef QEL_USB_H
#define QEL_USB_H

#include <stdint.h>

#if defined(QEL_USB_BUILDING)
#define QEL_USB_API __attribute__((visibility("default")))
#else
#define QEL_USB_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/*
 * A device as the library knows it: a 32-bit handle, never 0. It stays valid
 * from the callback's event 0 until the callback for event 1 returns (or until
 * VoskUsb_Remove); afterwards every export refuses it with 3, as it refuses a
 * handle that it never gave out.
 */
typedef uint32_t UsbDevice;

/* What every device export returns. */
typedef int32_t UsbResult;
enum {
    USB_RESULT_SUCCESS = 0,
    USB_RESULT_NOT_INITIALISED = 1, /* the library is not started */
    USB_RESULT_NOT_OPEN = 2,        /* the device is not opened with VoskUsb_OpenDevice */
    USB_RESULT_BAD_HANDLE = 3,      /* not a handle the library holds */
    USB_RESULT_ALREADY_OPEN = 4,
    USB_RESULT_OPEN_FAILED = 5,
    USB_RESULT_LINK_FAILED = 6,  /* a transfer could not start, or a read failed */
    USB_RESULT_WRITE_FAILED = 7, /* a write completed with an error */
    USB_RESULT_WRONG_DEVICE_TYPE = 8,
    USB_RESULT_BAD_REPLY = 9,
    USB_RESULT_BAD_ARGUMENT = 10,
    USB_RESULT_TIME_OUT = 11, /* a transfer did not finish within 10 000 ms */
    USB_RESULT_REFUSED = 12,  /* acceptor status 0xFF */
    USB_RESULT_NOT_SUPPORTED = 13, /* acceptor status 0x99 */
    USB_RESULT_DATA_OVERLOAD = 14, /* the reply holds more than the caller's buffer */
    USB_RESULT_ACCEPTOR_ERROR_E0 = 15, /* 15 to 19: acceptor statuses 0xE0 to 0xE4 */
    USB_RESULT_ACCEPTOR_ERROR_E4 = 19
};

/* From the device's USB product identifier. */
typedef int32_t DeviceType;
enum {
    USB_DEVICE_KNURL = 1, /* product 0x0100: the USB acceptor */
    USB_DEVICE_KDU = 2,   /* product 0x0200: the programming module */
    USB_DEVICE_RDU = 3    /* product 0x0300: the second programming module */
};

/* The events of a DeviceChangeCallback. */
enum {
    USB_DEVICE_ARRIVED = 0, /* after the device was found and its pipes opened and reset */
    USB_DEVICE_REMOVED = 1  /* after its handles were closed and it left the library's list */
};

/*
 * The program's function that the library calls with a device, the event
 * (USB_DEVICE_ARRIVED or USB_DEVICE_REMOVED) and the device's type. During
 * the call for USB_DEVICE_REMOVED the handle is still accepted (so that the
 * program can close it); once the call returns it is not. The callback may
 * call any export, VoskUsb_Remove included.
 */
typedef void (*DeviceChangeCallback)(UsbDevice device, int32_t event, DeviceType type);

/*
 * Starts the library: finds the devices present (calling `callback` with
 * event 0 for each before it returns) and watches for arrivals and removals.
 *
 * Returns 1 when started, also when it was already started (then nothing else
 * happens); 0 when a start step failed (the library counts as started until
 * VoskUsb_Remove).
 */
QEL_USB_API int32_t VoskUsb_Initialise(DeviceChangeCallback callback);

/*
 * Stops the library: forgets every device without calling the callback and
 * stops watching. Transfers still running on other threads end with 6.
 * Returns 1, also when the library was not started.
 */
QEL_USB_API int32_t VoskUsb_Remove(void);

/*
 * Opens a device for commands: resets the device and both of its pipes.
 * Returns 0, 1, 3, 4 (already open) or 5 (a handle of the device is not open
 * or a reset failed; the device then stays unusable until it is plugged in again).
 */
QEL_USB_API UsbResult VoskUsb_OpenDevice(UsbDevice device);

/*
 * Marks a device closed for commands; nothing is sent to it.
 * Returns 0, 1 or 3.
 */
QEL_USB_API UsbResult VoskUsb_CloseDevice(UsbDevice device);

/*
 * The library's version: writes 0 to *major and 1 to *minor, each only when
 * its pointer is not null.
 */
QEL_USB_API void VoskUsb_Version(uint8_t* major, uint8_t* minor);

/* `value` shifted right by 8 bits: for a 16-bit value, its high byte. */
QEL_USB_API uint32_t HiByte(uint32_t value);

/* The low 8 bits of `value`. */
QEL_USB_API uint8_t LoByte(uint32_t value);

#ifdef __cplusplus
}
#endif

#endif /* QEL_USB_H */
