/* The requests that the test bus driver's control device accepts, shared by
 * the driver (kernel mode, C) and its control library (user mode, C++).
 * Fixed-size records: the driver checks one size and needs no parsing. */
#ifndef OSTRIVO_TESTBUS_IOCTL_H
#define OSTRIVO_TESTBUS_IOCTL_H

/* User mode opens this; the driver names its control device after it. */
#define TESTBUS_DOS_NAME L"\\\\.\\OstrivoTestBus"
#define TESTBUS_DEVICE_NAME L"\\Device\\OstrivoTestBus"
#define TESTBUS_LINK_NAME L"\\DosDevices\\OstrivoTestBus"

/* Every child's instance part starts with this, which is how leftovers in
 * the registry are recognised as the bus's own. */
#define TESTBUS_INSTANCE_MARK L"OSTRIVOTB&"

#define TESTBUS_DEVICE_TYPE 0x8A5Bu
#define TESTBUS_IOCTL(n) CTL_CODE(TESTBUS_DEVICE_TYPE, 0x800 + (n), METHOD_BUFFERED, FILE_ANY_ACCESS)
/* in: testbus_add_request; out: testbus_add_reply. Completes once Wine has
 * started the child (its interface enabled), or fails. */
#define IOCTL_TESTBUS_ADD_CHILD TESTBUS_IOCTL(0)
/* in: testbus_remove_request. Completes once Wine has removed the child. */
#define IOCTL_TESTBUS_REMOVE_CHILD TESTBUS_IOCTL(1)
/* no input. Completes once every child is gone. */
#define IOCTL_TESTBUS_REMOVE_ALL TESTBUS_IOCTL(2)

#define TESTBUS_MAX_IDS 512   /* characters of the hardware-id multi-sz, NULs included */
#define TESTBUS_MAX_TEXT 256  /* characters of the description, its NUL included */
#define TESTBUS_MAX_INSTANCE 200

/* testbus_add_request.flags */
#define TESTBUS_CHILD_DESCRIPTION 0x01u  /* description holds the bus-reported text */
#define TESTBUS_CHILD_SETUP_CLASS 0x02u  /* setup_class is written as the child's class */
#define TESTBUS_CHILD_INTERFACE   0x04u  /* interface_class is registered and enabled */
#define TESTBUS_CHILD_DISK        0x08u  /* answers the storage device-number request */
#define TESTBUS_CHILD_REMOVABLE   0x10u  /* reported removable in its capabilities */
#define TESTBUS_CHILD_NO_HARDWARE_IDS 0x20u  /* hardware_ids names it; an empty list is reported */

struct testbus_add_request {
    ULONG size; /* sizeof(struct testbus_add_request) */
    ULONG flags;
    ULONG device_number; /* for a disk */
    GUID setup_class;
    GUID interface_class;
    WCHAR hardware_ids[TESTBUS_MAX_IDS];
    WCHAR description[TESTBUS_MAX_TEXT];
};

struct testbus_add_reply {
    ULONG serial;                               /* names the child in a removal */
    WCHAR instance_id[TESTBUS_MAX_INSTANCE];    /* as Wine's Enum key names it */
};

struct testbus_remove_request {
    ULONG serial;
};

#endif
