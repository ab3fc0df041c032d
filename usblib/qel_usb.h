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
 * that thread calls VoskUsb_DispatchNotifications (an event loop watches
 * VoskUsb_NotificationDescriptor for it). Every other export may be
 * called from any thread; each blocks the caller for the exchange it makes.
 * Exchanges on one device are not serialised: send one command at a time.
 *
 * Every device export returns a UsbResult. The library checks, in this order:
 * started (else 1), handle (else 3), then what the export itself needs.
 *
 * No C++ exception leaves an export. A device or command export that meets
 * one returns 10 when memory for its copy of the caller's arguments ran out
 * and 6 otherwise (the transfer could not run); VoskUsb_Initialise then
 * returns 0, VoskUsb_Remove 1, and the two notification exports -1.
 *
 * Linking: libqel_usb.so.0 (pkg-config qel_usb); a host may also load
 * libqel_usb.so by name, as Kovrin does. A host may unload the library: it
 * stops itself first if VoskUsb_Remove was not called.
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
 * stops watching. Transfers still running on other threads end: a read with
 * 6, a write that the device had not taken with 7.
 * Returns 1, also when the library was not started.
 */
QEL_USB_API int32_t VoskUsb_Remove(void);

/*
 * A file descriptor that is readable while notifications of arrivals and
 * removals wait for VoskUsb_DispatchNotifications; -1 when the library is not
 * started. It stays the same until VoskUsb_Remove; the library owns it (do not
 * read or close it). A host without an event loop of its own:
 *
 *     VoskUsb_Initialise(OnDeviceChange);
 *     int fd = VoskUsb_NotificationDescriptor();
 *     while (running) {
 *         struct pollfd watch = {fd, POLLIN, 0};
 *         if (poll(&watch, 1, 500) < 0 && errno != EINTR)
 *             break;
 *         if (watch.revents & POLLIN)
 *             VoskUsb_DispatchNotifications();  // OnDeviceChange runs here
 *     }
 *     VoskUsb_Remove();
 */
QEL_USB_API int32_t VoskUsb_NotificationDescriptor(void);

/*
 * Handles the waiting notifications on the calling thread, calling the
 * DeviceChangeCallback for each arrival and removal among them. Returns how
 * many notifications it handled (0 when none waited); -1 when the library is
 * not started or the caller is not the thread that called VoskUsb_Initialise.
 * The callback may dispatch again (a nested event loop) or stop the library.
 */
QEL_USB_API int32_t VoskUsb_DispatchNotifications(void);

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


/* ======================================================================
 * The programming module (DeviceType 2 KDU and 3 RDU)
 *
 * Each export is one exchange: one request, one reply of at most 256 bytes.
 * Checks, in order: started (1), handle (3), a programming module (8); then
 * every output is set to 0 (the KduFileInfo of VoskUsb_PMEnumFile excepted),
 * then a null pointer or a length out of range gives 10 and nothing is sent.
 * 2, 6, 7 and 11 come from the transfers; 9 from a reply of a length the
 * export does not take. The module's own status byte comes back through
 * `status` (0 is success); a refusal by the module still returns 0.
 * ====================================================================== */

/* The directory entry of a module file: 68 bytes, integers in host order. */
typedef struct KduFileInfo {
    uint32_t FileNumber;          /*  0: the module's number (low 16 bits) for open and delete */
    uint32_t VariantId;           /*  4: 0x04000000 Sarnel, 0x08000000 Tekra */
    uint32_t Value1;              /*  8 */
    uint32_t Value2;              /* 12 */
    uint16_t DataFileKind;        /* 16 */
    uint16_t SetupRevision;       /* 18 */
    uint16_t CalibrationRevision; /* 20 */
    uint16_t Value3;              /* 22 */
    uint16_t Value4;              /* 24 */
    int16_t FileClass;            /* 26: 0 data, 1 and 2 boot loader, 3 application, 5 variant */
    char FileName[30];            /* 28: ASCII, zero-filled; byte 29 is never sent or filled */
    uint8_t Reserved[2];          /* 58: never read or written */
    uint32_t Value5;              /* 60: reported by the module */
    uint32_t FileSize;            /* 64: bytes */
} KduFileInfo;

/* Status (request 0x10): first = bytes 1-2, second = bytes 3-4, third = byte 5. */
QEL_USB_API UsbResult VoskUsb_PMGetStatus(UsbDevice device, uint8_t* status, uint16_t* first, uint16_t* second,
                                          uint8_t* third);
/* Firmware revision (0x11): writes 7 bytes to `record`: the status, then the revision bytes. */
QEL_USB_API UsbResult VoskUsb_PMGetFWRev(UsbDevice device, uint8_t* record);
/* Unit record `index` (0x1B): writes 16 bytes to `record` (zeros when the module sends none). */
QEL_USB_API UsbResult VoskUsb_PMGetUnitData(UsbDevice device, uint8_t* status, uint32_t index, uint8_t* record);
/* Sets unit record `index` (0x1C) from the 16 bytes of `record`. */
QEL_USB_API UsbResult VoskUsb_PMSetUnitData(UsbDevice device, uint8_t* status, uint32_t index, const uint8_t* record);
/* Error log (0x1D): `count` = reply byte 0; a count of 1 to 127 puts that many
 * bytes in `buffer` (127 bytes); a reply holding fewer bytes than its count is 9. */
QEL_USB_API UsbResult VoskUsb_PMGetErrorLog(UsbDevice device, uint8_t* count, uint8_t* buffer);
/* Clear the error log (0x1E), the power-up count (0x1F): 0 only for the single reply byte 0, else 9. */
QEL_USB_API UsbResult VoskUsb_PMClearErrorLog(UsbDevice device);
QEL_USB_API UsbResult VoskUsb_PMClearPowerCount(UsbDevice device);
/* Item `item` (0x2B) into `value`; set item (0x2C). */
QEL_USB_API UsbResult VoskUsb_PMGetItem(UsbDevice device, uint8_t* status, uint32_t item, uint8_t* value);
QEL_USB_API UsbResult VoskUsb_PMSetItem(UsbDevice device, uint8_t* status, uint32_t item, uint32_t value);
/* Filing system check (0x30) and format (0x31). */
QEL_USB_API UsbResult VoskUsb_PMCheckFilingSystem(UsbDevice device, uint8_t* status);
QEL_USB_API UsbResult VoskUsb_PMFormatFilingSystem(UsbDevice device, uint8_t* status);
/* Makes file `number` (low 16 bits) the current file for reading (0x33). */
QEL_USB_API UsbResult VoskUsb_PMOpenFileForRead(UsbDevice device, uint8_t* status, uint32_t number);
/* The next piece of the file open for reading (0x34): at most 255 bytes into
 * `buffer` (255 bytes), their number in `length`; length 0 at the end. */
QEL_USB_API UsbResult VoskUsb_PMReadFile(UsbDevice device, uint8_t* status, uint8_t* buffer, uint16_t* length);
/* Creates a file from `entry` and makes it the current file for writing (0x36). */
QEL_USB_API UsbResult VoskUsb_PMCreateFile(UsbDevice device, uint8_t* status, const KduFileInfo* entry);
/* Appends `length` (1 to 128) bytes to the current file (0x37). */
QEL_USB_API UsbResult VoskUsb_PMWriteFile(UsbDevice device, uint8_t* status, const uint8_t* data, uint32_t length);
/* Closes the current file (0x38). */
QEL_USB_API UsbResult VoskUsb_PMCloseFile(UsbDevice device, uint8_t* status);
/* Deletes file `number` (0x39). */
QEL_USB_API UsbResult VoskUsb_PMDeleteFile(UsbDevice device, uint8_t* status, uint32_t number);
/* Directory entry `index` (0x3A; note the index before the status): fills
 * `entry` from a whole entry; a status-only reply (past the last file) leaves
 * it as it was; any other length is 9. */
QEL_USB_API UsbResult VoskUsb_PMEnumFile(UsbDevice device, uint32_t index, uint8_t* status, KduFileInfo* entry);
/* Capacity (0x3B) into `capacity` (0 when the module sends none). */
QEL_USB_API UsbResult VoskUsb_PMGetCapacity(UsbDevice device, uint8_t* status, uint32_t* capacity);
/* Starts the module's boot loader (0x44); runs self test `test` (0x45). */
QEL_USB_API UsbResult VoskUsb_PMRunBootloader(UsbDevice device, uint8_t* status);
QEL_USB_API UsbResult VoskUsb_PMSelfTest(UsbDevice device, uint8_t* status, uint32_t test);

/* The module's boot loader. Addresses are the low 24 bits; utilities 0 or 1 (low 16 bits). */
QEL_USB_API UsbResult VoskUsb_PMBLDeleteApp(UsbDevice device, uint8_t* status);
QEL_USB_API UsbResult VoskUsb_PMBLLoadApp(UsbDevice device, uint8_t* status, uint32_t address);
QEL_USB_API UsbResult VoskUsb_PMBLRunApp(UsbDevice device, uint8_t* status);
QEL_USB_API UsbResult VoskUsb_PMBLUpdateSecBL(UsbDevice device, uint8_t* status, uint32_t first, uint32_t second);
QEL_USB_API UsbResult VoskUsb_PMBLDeleteUtility(UsbDevice device, uint8_t* status, uint32_t utility);
QEL_USB_API UsbResult VoskUsb_PMBLLoadUtility(UsbDevice device, uint8_t* status, uint32_t utility, uint32_t value);
QEL_USB_API UsbResult VoskUsb_PMBLRunUtility(UsbDevice device, uint8_t* status, uint32_t utility);
/* Sends `length` (0 to 128) bytes of `data` to load at `address` (0x5E). */
QEL_USB_API UsbResult VoskUsb_PMBLDownload(UsbDevice device, uint8_t* status, uint32_t address, const uint8_t* data,
                                           uint32_t length);
QEL_USB_API UsbResult VoskUsb_PMBLDownloadEnd(UsbDevice device, uint8_t* status);

/* ======================================================================
 * The USB acceptor (DeviceType 1): framed commands, CRC-16/XMODEM.
 *
 * Checks, in order: started (1), handle (3), a USB acceptor (8); then every
 * output is set to 0 (`status` stays 0: it is there for callers that look at
 * it), then a null pointer or a length out of range gives 10 and nothing is
 * sent. A reply is checked whole (start byte, length field, CRC: else 9); a
 * short reply 0x55 "not ready" is waited out once; 0xFF gives 12, 0x99 13,
 * 0xE0 to 0xE4 give 15 to 19.
 *
 * Buffers: a `buffer` that receives a reply's data holds at least
 * VOSKUSB_REPLY_DATA_MAX bytes (a Dru read's at least VOSKUSB_DRU_DATA_MAX);
 * `length` receives the number of bytes written to it.
 * ====================================================================== */

#define VOSKUSB_REPLY_DATA_MAX 4090
#define VOSKUSB_DRU_DATA_MAX 4087
#define VOSKUSB_GENERIC_MODULE_REPLY_MAX 1500

/* The reply of VoskUsb_GSABLinkSupported. */
typedef struct VoskUsbBLinkInfo {
    uint16_t Value; /* reply data bytes 0-1 as they came: byte 0 in the low-order byte */
    uint8_t Flag;   /* reply data byte 2 */
} VoskUsbBLinkInfo;

/* Data replies: the data into `buffer`, their number into `length`. */
QEL_USB_API UsbResult VoskUsb_GSARequestManCode(UsbDevice device, uint8_t* buffer, uint16_t* length);
QEL_USB_API UsbResult VoskUsb_GSARequestSN(UsbDevice device, uint8_t* buffer, uint16_t* length);
QEL_USB_API UsbResult VoskUsb_GSABillTable(UsbDevice device, uint8_t* buffer, uint16_t* length);
QEL_USB_API UsbResult VoskUsb_GSAStackedBillInfo(UsbDevice device, uint8_t* buffer, uint16_t* length);
QEL_USB_API UsbResult VoskUsb_GSARequestStats(UsbDevice device, uint8_t* buffer, uint16_t* length, uint8_t* status);
QEL_USB_API UsbResult VoskUsb_GSARequestBarCode(UsbDevice device, uint8_t* buffer, uint16_t* length, uint8_t* status);
/* Replies of an exact length n (else 9): the n bytes into the record, n into `length`. */
QEL_USB_API UsbResult VoskUsb_GSARequestProdDate(UsbDevice device, uint8_t* record6, uint16_t* length);
QEL_USB_API UsbResult VoskUsb_GSARequestBillInhib(UsbDevice device, uint8_t* record5, uint16_t* length,
                                                  uint8_t* status);
QEL_USB_API UsbResult VoskUsb_GSARequestStatus(UsbDevice device, uint8_t* record6, uint16_t* length, uint8_t* status);
QEL_USB_API UsbResult VoskUsb_GSARequestProgRev(UsbDevice device, uint8_t* record9, uint16_t* length, uint8_t* status);
QEL_USB_API UsbResult VoskUsb_GSARequestLastFive(UsbDevice device, uint8_t* record6, uint16_t* length, uint8_t* status);
/* Two bytes as a big-endian value. */
QEL_USB_API UsbResult VoskUsb_GSARequestSWCRC(UsbDevice device, uint16_t* value, uint16_t* length, uint8_t* status);
/* Two bytes as they came: the first in the value's low-order byte. */
QEL_USB_API UsbResult VoskUsb_GSARequestOrientation(UsbDevice device, uint16_t* value, uint16_t* length,
                                                    uint8_t* status);
/* Three bytes; `unused` must not be null and is not written. The request's two bytes after the command are 0. */
QEL_USB_API UsbResult VoskUsb_GSABLinkSupported(UsbDevice device, VoskUsbBLinkInfo* info, uint16_t* length,
                                                void* unused);
/* The acceptor's result alone. */
QEL_USB_API UsbResult VoskUsb_GSAResetStats(UsbDevice device, uint8_t* status);
QEL_USB_API UsbResult VoskUsb_GSAResetBillCounter(UsbDevice device, uint8_t* status);
QEL_USB_API UsbResult VoskUsb_GSAResetBA(UsbDevice device, uint8_t* status);
QEL_USB_API UsbResult VoskUsb_GSAEndDownload(UsbDevice device, uint8_t* status);
QEL_USB_API UsbResult VoskUsb_GSAFinishDownload(UsbDevice device, uint8_t* status);
/* Acknowledged commands: a successful reply that is not an acknowledgement
 * (code 0x00, or a first data byte 0) gives 9. */
QEL_USB_API UsbResult VoskUsb_GSAStartDownload(UsbDevice device, uint8_t* status);
QEL_USB_API UsbResult VoskUsb_GSACancelDownload(UsbDevice device, uint8_t* status);
QEL_USB_API UsbResult VoskUsb_GSAAcceptBill(UsbDevice device, uint8_t* status);
QEL_USB_API UsbResult VoskUsb_GSAReturnBill(UsbDevice device, uint8_t* status);
QEL_USB_API UsbResult VoskUsb_GSAClearEventFlags(UsbDevice device, uint8_t* status);
/* `length` receives the reply's data length (0 when no reply was read). */
QEL_USB_API UsbResult VoskUsb_GSASendCRCparam(UsbDevice device, uint32_t first, uint32_t second, uint16_t* length,
                                              uint8_t* status);
QEL_USB_API UsbResult VoskUsb_GSADLDimensions(UsbDevice device, uint8_t* status, uint32_t first, uint32_t second);
/* Sends `count` (at most 2048) bytes of `data`. */
QEL_USB_API UsbResult VoskUsb_GSADLPacket(UsbDevice device, uint8_t* status, uint32_t first, uint32_t count,
                                          const uint8_t* data);
QEL_USB_API UsbResult VoskUsb_GSASetInhibits(UsbDevice device, uint32_t value, uint32_t unused, uint8_t* status);
QEL_USB_API UsbResult VoskUsb_GSASetOrientation(UsbDevice device, uint32_t value, uint32_t unused, uint8_t* status);

/* Dru commands: acknowledged. */
QEL_USB_API UsbResult VoskUsb_DruClearStdPerformanceData(UsbDevice device, uint8_t* status);
QEL_USB_API UsbResult VoskUsb_DruClearExdPerformanceData(UsbDevice device, uint8_t* status);
QEL_USB_API UsbResult VoskUsb_DruClear50Exceptions(UsbDevice device, uint8_t* status);
QEL_USB_API UsbResult VoskUsb_DruClearBillsBtwJams(UsbDevice device, uint8_t* status);
QEL_USB_API UsbResult VoskUsb_DruClearLifeTotals(UsbDevice device, uint8_t* status);
QEL_USB_API UsbResult VoskUsb_DruCalibrateMode(UsbDevice device, uint8_t* status);
QEL_USB_API UsbResult VoskUsb_DruStartSMtrFoward(UsbDevice device, uint8_t* status);
QEL_USB_API UsbResult VoskUsb_DruStartSMtrReverse(UsbDevice device, uint8_t* status);
QEL_USB_API UsbResult VoskUsb_DruStopSMtr(UsbDevice device, uint8_t* status);
/* Dru writes of `length` (low 16 bits, 0 allowed) bytes: acknowledged. */
QEL_USB_API UsbResult VoskUsb_DruWriteConfig(UsbDevice device, uint8_t* status, const uint8_t* data, uint32_t length);
QEL_USB_API UsbResult VoskUsb_DruWriteInhibits(UsbDevice device, uint8_t* status, const uint8_t* data, uint32_t length);
QEL_USB_API UsbResult VoskUsb_DruWriteSecurity(UsbDevice device, uint8_t* status, const uint8_t* data, uint32_t length);
/* Dru reads: the data after the reply's echo of class and sub-command go to
 * `buffer` (VOSKUSB_DRU_DATA_MAX bytes), their number to `length`; a reply
 * without the whole echo is 9. */
QEL_USB_API UsbResult VoskUsb_DruStdAudit(UsbDevice device, uint8_t* status, uint8_t* buffer, uint16_t* length);
QEL_USB_API UsbResult VoskUsb_DruExtAudit(UsbDevice device, uint8_t* status, uint8_t* buffer, uint16_t* length);
QEL_USB_API UsbResult VoskUsb_DruReadBillTable(UsbDevice device, uint8_t* status, uint8_t* buffer, uint16_t* length);
QEL_USB_API UsbResult VoskUsb_DruReadConfig(UsbDevice device, uint8_t* status, uint8_t* buffer, uint16_t* length);
QEL_USB_API UsbResult VoskUsb_DruReadInhibits(UsbDevice device, uint8_t* status, uint8_t* buffer, uint16_t* length);
QEL_USB_API UsbResult VoskUsb_DruReadSecurity(UsbDevice device, uint8_t* status, uint8_t* buffer, uint16_t* length);
/* Any Dru command (class and sub-command: low 8 bits each). */
QEL_USB_API UsbResult VoskUsb_DruSendCommand(UsbDevice device, uint32_t cls, uint32_t sub);
/* `length` holds the buffer's capacity on the call: a reply with more data
 * fills the capacity, leaves `length` unchanged and gives 14; otherwise
 * `length` becomes the number of bytes written. */
QEL_USB_API UsbResult VoskUsb_DruReadCommand(UsbDevice device, uint32_t cls, uint32_t sub, uint8_t* buffer,
                                             uint16_t* length);
/* `length` (low 16 bits) at least 1. */
QEL_USB_API UsbResult VoskUsb_DruWriteCommand(UsbDevice device, uint32_t cls, uint32_t sub, const uint8_t* data,
                                              uint32_t length);

/*
 * A raw exchange with any device. To a programming module the `length` (low
 * 16 bits, 1 to 4096) request bytes go as they are and one reply of up to
 * VOSKUSB_GENERIC_MODULE_REPLY_MAX bytes comes back; to the USB acceptor they
 * go as one frame's payload (at most 4091 bytes) and the reply's data (a Dru
 * reply's after its echo) come back, up to VOSKUSB_REPLY_DATA_MAX bytes.
 * `buffer` may be null only when no bytes come back (else 10); `replyLength`
 * receives their number.
 */
QEL_USB_API UsbResult VoskUsb_Generic(UsbDevice device, const uint8_t* request, uint32_t length, uint8_t* buffer,
                                      uint16_t* replyLength);

#ifdef __cplusplus
}
#endif

#endif /* QEL_USB_H */
