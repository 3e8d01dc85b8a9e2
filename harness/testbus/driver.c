/* ostrivo_testbus.sys: a root-enumerated bus whose children come and go on
 * request, so that tests see real arrivals and removals through Wine's
 * plug-and-play manager (which then broadcasts WM_DEVICECHANGE itself).
 *
 * The bus's function device is also its control device (TESTBUS_DOS_NAME).
 * An added child is reported in BusRelations; Wine asks it for its ids,
 * text and capabilities and starts it, and the start enables its device
 * interface. Add and remove requests stay pending until Wine has started or
 * removed the child, so the caller's wait ends with the event itself. */
#include <ntddk.h>
#include <ntddstor.h>

#include "testbus_ioctl.h"

#define TAG 0x6254734Fu /* "OsTb" in a pool dump */
#define ENUM_ROOT L"\\Registry\\Machine\\System\\CurrentControlSet\\Enum\\"
#define FALLBACK_DEVICE_ID L"OSTRIVOTB\\CHILD"
#define MAX_DEVICE_ID 200

struct common {
    BOOLEAN is_bus;
};

struct bus {
    struct common common;
    DEVICE_OBJECT *self;
    DEVICE_OBJECT *pdo;
    DEVICE_OBJECT *lower;
    KSPIN_LOCK lock; /* children, serials and pending requests */
    LIST_ENTRY children;
    ULONG next_serial;
    IRP *remove_all; /* pending until no child is left */
    BOOLEAN link_made;
};

struct child {
    struct common common;
    LIST_ENTRY entry;
    DEVICE_OBJECT *self;
    struct bus *bus;
    ULONG serial;
    ULONG flags;
    ULONG device_number;
    GUID setup_class;
    GUID interface_class;
    WCHAR device_id[MAX_DEVICE_ID];
    WCHAR instance[32];
    WCHAR hardware_ids[TESTBUS_MAX_IDS];
    WCHAR description[TESTBUS_MAX_TEXT];
    UNICODE_STRING link;   /* its interface, once registered */
    BOOLEAN wanted;        /* false once its removal was asked for */
    BOOLEAN reported;      /* Wine has seen it in a BusRelations answer */
    BOOLEAN interface_on;
    BOOLEAN withdrawn;     /* its Enum key is gone */
    IRP *pending;          /* the add (until started) or remove (until removed) */
};

DRIVER_INITIALIZE DriverEntry;
static DRIVER_ADD_DEVICE add_device;
static DRIVER_UNLOAD unload;
static DRIVER_CANCEL cancel_pending;

/* ---- small string helpers: the image links no C library ---- */

static SIZE_T wlen(const WCHAR *s)
{
    SIZE_T n = 0;
    while (s[n])
        ++n;
    return n;
}

/* Appends src to dst (capacity in characters); false when it does not fit. */
static BOOLEAN wappend(WCHAR *dst, SIZE_T capacity, const WCHAR *src)
{
    SIZE_T at = wlen(dst), n = wlen(src);
    if (at + n + 1 > capacity)
        return FALSE;
    RtlCopyMemory(dst + at, src, (n + 1) * sizeof(WCHAR));
    return TRUE;
}

static void format_decimal(WCHAR *out, ULONG value, int digits)
{
    int i;
    for (i = digits - 1; i >= 0; --i) {
        out[i] = (WCHAR)(L'0' + value % 10);
        value /= 10;
    }
    out[digits] = 0;
}

static void format_hex(WCHAR *out, ULONG value, int digits)
{
    static const WCHAR hex[] = L"0123456789ABCDEF";
    int i;
    for (i = digits - 1; i >= 0; --i) {
        out[i] = hex[value & 0xF];
        value >>= 4;
    }
}

/* "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" */
static void format_guid(WCHAR out[39], const GUID *guid)
{
    int i;
    out[0] = L'{';
    format_hex(out + 1, guid->Data1, 8);
    out[9] = L'-';
    format_hex(out + 10, guid->Data2, 4);
    out[14] = L'-';
    format_hex(out + 15, guid->Data3, 4);
    out[19] = L'-';
    format_hex(out + 20, guid->Data4[0], 2);
    format_hex(out + 22, guid->Data4[1], 2);
    out[24] = L'-';
    for (i = 0; i < 6; ++i)
        format_hex(out + 25 + 2 * i, guid->Data4[2 + i], 2);
    out[37] = L'}';
    out[38] = 0;
}

/* Length in characters of a multi-sz, both closing NULs included; 0 when it
 * is not closed within capacity or holds no string. */
static SIZE_T multi_sz_length(const WCHAR *s, SIZE_T capacity)
{
    SIZE_T i;
    for (i = 0; i + 1 < capacity; ++i) {
        if (s[i] == 0 && s[i + 1] == 0)
            return i == 0 ? 0 : i + 2;
    }
    return 0;
}

/* A device id is "ENUMERATOR\DEVICE": one separator, printable characters,
 * no comma. The first hardware id serves when it has that form, so the
 * interface path carries it (the drive lookup classifies disks by it). */
static void choose_device_id(struct child *child)
{
    const WCHAR *first = child->hardware_ids;
    SIZE_T n = wlen(first), i, separators = 0;
    BOOLEAN usable = n > 2 && n < MAX_DEVICE_ID - 1 && first[0] != L'\\' && first[n - 1] != L'\\';
    for (i = 0; usable && i < n; ++i) {
        if (first[i] == L'\\')
            ++separators;
        else if (first[i] <= L' ' || first[i] > 0x7E || first[i] == L',')
            usable = FALSE;
    }
    child->device_id[0] = 0;
    wappend(child->device_id, MAX_DEVICE_ID, usable && separators == 1 ? first : FALLBACK_DEVICE_ID);
}

static WCHAR *pool_copy(const WCHAR *data, SIZE_T characters)
{
    WCHAR *copy = ExAllocatePoolWithTag(PagedPool, characters * sizeof(WCHAR), TAG);
    if (copy)
        RtlCopyMemory(copy, data, characters * sizeof(WCHAR));
    return copy;
}

/* ---- the child's Enum key ---- */

static BOOLEAN enum_key_path(const struct child *child, WCHAR *path, SIZE_T capacity)
{
    path[0] = 0;
    return wappend(path, capacity, ENUM_ROOT) && wappend(path, capacity, child->device_id) &&
           wappend(path, capacity, L"\\") && wappend(path, capacity, child->instance);
}

static NTSTATUS open_key(HANDLE *key, HANDLE root, const WCHAR *path, ACCESS_MASK access)
{
    UNICODE_STRING name;
    OBJECT_ATTRIBUTES attributes;
    RtlInitUnicodeString(&name, path);
    InitializeObjectAttributes(&attributes, &name, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE, root,
                               NULL);
    return ZwOpenKey(key, access, &attributes);
}

/* Wine's Setup API lists a raw child without a description unless the key
 * holds one, and with no class unless it names one. */
static void write_enum_values(const struct child *child)
{
    WCHAR path[300];
    HANDLE key;
    UNICODE_STRING name;
    if (!enum_key_path(child, path, ARRAYSIZE(path)) ||
        !NT_SUCCESS(open_key(&key, NULL, path, KEY_SET_VALUE)))
        return;
    if (child->flags & TESTBUS_CHILD_DESCRIPTION) {
        RtlInitUnicodeString(&name, L"DeviceDesc");
        ZwSetValueKey(key, &name, 0, REG_SZ, (void *)child->description,
                      (ULONG)((wlen(child->description) + 1) * sizeof(WCHAR)));
    }
    if (child->flags & TESTBUS_CHILD_SETUP_CLASS) {
        WCHAR text[39];
        format_guid(text, &child->setup_class);
        RtlInitUnicodeString(&name, L"ClassGUID");
        ZwSetValueKey(key, &name, 0, REG_SZ, text, sizeof(text));
    }
    ZwClose(key);
}

/* Deletes an open key with everything below it; closes the handle. */
static void delete_key_tree(HANDLE key, int depth)
{
    union {
        KEY_BASIC_INFORMATION info;
        UCHAR bytes[sizeof(KEY_BASIC_INFORMATION) + 512 * sizeof(WCHAR)];
    } buffer;
    ULONG size;
    /* Always index 0: each deleted subkey moves the next one there. */
    while (depth < 8 && NT_SUCCESS(ZwEnumerateKey(key, 0, KeyBasicInformation, &buffer,
                                                  sizeof(buffer) - sizeof(WCHAR), &size))) {
        WCHAR name[513];
        HANDLE sub;
        ULONG n = buffer.info.NameLength / sizeof(WCHAR);
        if (n > 512)
            break;
        RtlCopyMemory(name, buffer.info.Name, n * sizeof(WCHAR));
        name[n] = 0;
        if (!NT_SUCCESS(open_key(&sub, key, name, KEY_ALL_ACCESS)))
            break;
        delete_key_tree(sub, depth + 1);
    }
    ZwDeleteKey(key);
    ZwClose(key);
}

/* Wine's Setup API goes on listing a removed child as present while its
 * Enum key exists; gone before the interface is disabled, it is gone by the
 * time the broadcast makes a program look. */
static void delete_enum_key(struct child *child)
{
    WCHAR path[300];
    HANDLE key;
    if (child->withdrawn)
        return;
    child->withdrawn = TRUE;
    if (enum_key_path(child, path, ARRAYSIZE(path)) &&
        NT_SUCCESS(open_key(&key, NULL, path, KEY_ALL_ACCESS)))
        delete_key_tree(key, 0);
}

/* ---- pending requests ---- */

/* Parks irp in *slot (under the bus lock) until complete_slot or a cancel. */
static NTSTATUS park(struct bus *bus, IRP **slot, IRP *irp)
{
    KIRQL irql;
    KeAcquireSpinLock(&bus->lock, &irql);
    if (*slot) {
        KeReleaseSpinLock(&bus->lock, irql);
        irp->IoStatus.Status = STATUS_DEVICE_BUSY;
        IoCompleteRequest(irp, IO_NO_INCREMENT);
        return STATUS_DEVICE_BUSY;
    }
    IoMarkIrpPending(irp);
    *slot = irp;
    IoSetCancelRoutine(irp, cancel_pending);
    if (irp->Cancel && IoSetCancelRoutine(irp, NULL)) {
        *slot = NULL;
        KeReleaseSpinLock(&bus->lock, irql);
        irp->IoStatus.Status = STATUS_CANCELLED;
        irp->IoStatus.Information = 0;
        IoCompleteRequest(irp, IO_NO_INCREMENT);
        return STATUS_PENDING;
    }
    KeReleaseSpinLock(&bus->lock, irql);
    return STATUS_PENDING;
}

/* Takes the parked request out of *slot, unless a cancel has it already
 * (that routine then completes it). Call with the bus lock held. */
static IRP *unpark_locked(IRP **slot)
{
    IRP *irp = *slot;
    if (!irp || !IoSetCancelRoutine(irp, NULL))
        return NULL;
    *slot = NULL;
    return irp;
}

static void finish(IRP *irp, NTSTATUS status, ULONG_PTR information)
{
    if (!irp)
        return;
    irp->IoStatus.Status = status;
    irp->IoStatus.Information = information;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
}

static struct bus *the_bus;

static void NTAPI cancel_pending(DEVICE_OBJECT *device, IRP *irp)
{
    struct bus *bus = the_bus;
    KIRQL irql;
    LIST_ENTRY *entry;
    UNREFERENCED_PARAMETER(device);
    IoReleaseCancelSpinLock(irp->CancelIrql);
    if (bus) {
        KeAcquireSpinLock(&bus->lock, &irql);
        if (bus->remove_all == irp)
            bus->remove_all = NULL;
        for (entry = bus->children.Flink; entry != &bus->children; entry = entry->Flink) {
            struct child *child = CONTAINING_RECORD(entry, struct child, entry);
            if (child->pending == irp)
                child->pending = NULL;
        }
        KeReleaseSpinLock(&bus->lock, irql);
    }
    finish(irp, STATUS_CANCELLED, 0);
}

/* ---- children ---- */

static NTSTATUS child_query_id(struct child *child, IRP *irp, BUS_QUERY_ID_TYPE type)
{
    WCHAR *answer = NULL;
    switch (type) {
    case BusQueryDeviceID:
        answer = pool_copy(child->device_id, wlen(child->device_id) + 1);
        break;
    case BusQueryInstanceID:
        answer = pool_copy(child->instance, wlen(child->instance) + 1);
        break;
    case BusQueryHardwareIDs:
        /* A device with none: an empty list. */
        if (child->flags & TESTBUS_CHILD_NO_HARDWARE_IDS) {
            static const WCHAR none[2] = {0, 0};
            answer = pool_copy(none, 2);
            break;
        }
        answer = pool_copy(child->hardware_ids,
                           multi_sz_length(child->hardware_ids, TESTBUS_MAX_IDS));
        break;
    case BusQueryCompatibleIDs: {
        static const WCHAR none[2] = {0, 0};
        answer = pool_copy(none, 2);
        break;
    }
    default:
        return irp->IoStatus.Status;
    }
    if (!answer)
        return STATUS_INSUFFICIENT_RESOURCES;
    irp->IoStatus.Information = (ULONG_PTR)answer;
    return STATUS_SUCCESS;
}

static NTSTATUS child_start(struct child *child)
{
    KIRQL irql;
    IRP *waiting;
    NTSTATUS status = STATUS_SUCCESS;
    ULONG_PTR information = 0;

    write_enum_values(child);
    if ((child->flags & TESTBUS_CHILD_INTERFACE) && !child->interface_on) {
        if (!child->link.Buffer)
            status = IoRegisterDeviceInterface(child->self, &child->interface_class, NULL,
                                               &child->link);
        if (NT_SUCCESS(status))
            status = IoSetDeviceInterfaceState(&child->link, TRUE);
        child->interface_on = NT_SUCCESS(status);
    }

    KeAcquireSpinLock(&child->bus->lock, &irql);
    waiting = child->wanted ? unpark_locked(&child->pending) : NULL;
    KeReleaseSpinLock(&child->bus->lock, irql);
    if (waiting && NT_SUCCESS(status)) {
        struct testbus_add_reply *reply = waiting->AssociatedIrp.SystemBuffer;
        RtlZeroMemory(reply, sizeof(*reply));
        reply->serial = child->serial;
        wappend(reply->instance_id, TESTBUS_MAX_INSTANCE, child->device_id);
        wappend(reply->instance_id, TESTBUS_MAX_INSTANCE, L"\\");
        wappend(reply->instance_id, TESTBUS_MAX_INSTANCE, child->instance);
        information = sizeof(*reply);
    }
    finish(waiting, status, information);
    return status;
}

/* Out of sight for programs: Enum key first (see delete_enum_key), then the
 * interface, whose disabling makes Wine broadcast the change. */
static void child_withdraw(struct child *child)
{
    if (!child->wanted)
        delete_enum_key(child);
    if (child->interface_on) {
        IoSetDeviceInterfaceState(&child->link, FALSE);
        child->interface_on = FALSE;
    }
}

static void child_free(struct child *child)
{
    if (child->link.Buffer)
        RtlFreeUnicodeString(&child->link);
    IoDeleteDevice(child->self);
}

/* Called with the child unlinked from the bus; ends its pending request and,
 * when the last child went, a pending remove-all. */
static void child_gone(struct bus *bus, struct child *child, NTSTATUS status)
{
    KIRQL irql;
    IRP *mine, *all = NULL;
    KeAcquireSpinLock(&bus->lock, &irql);
    mine = unpark_locked(&child->pending);
    if (IsListEmpty(&bus->children))
        all = unpark_locked(&bus->remove_all);
    KeReleaseSpinLock(&bus->lock, irql);
    finish(mine, status, 0);
    finish(all, STATUS_SUCCESS, 0);
}

static NTSTATUS child_pnp(struct child *child, IRP *irp)
{
    IO_STACK_LOCATION *stack = IoGetCurrentIrpStackLocation(irp);
    NTSTATUS status = irp->IoStatus.Status;
    struct bus *bus = child->bus;
    KIRQL irql;

    switch (stack->MinorFunction) {
    case IRP_MN_QUERY_ID:
        status = child_query_id(child, irp, stack->Parameters.QueryId.IdType);
        break;
    case IRP_MN_QUERY_DEVICE_TEXT:
        if (stack->Parameters.QueryDeviceText.DeviceTextType == DeviceTextDescription &&
            (child->flags & TESTBUS_CHILD_DESCRIPTION)) {
            WCHAR *text = pool_copy(child->description, wlen(child->description) + 1);
            status = text ? STATUS_SUCCESS : STATUS_INSUFFICIENT_RESOURCES;
            irp->IoStatus.Information = (ULONG_PTR)text;
        }
        break;
    case IRP_MN_QUERY_CAPABILITIES: {
        DEVICE_CAPABILITIES *caps = stack->Parameters.DeviceCapabilities.Capabilities;
        /* Raw: no function driver, Wine starts it all the same. */
        caps->RawDeviceOK = 1;
        caps->SurpriseRemovalOK = 1;
        caps->UniqueID = 1;
        caps->Removable = (child->flags & TESTBUS_CHILD_REMOVABLE) ? 1 : 0;
        caps->EjectSupported = caps->Removable;
        status = STATUS_SUCCESS;
        break;
    }
    case IRP_MN_QUERY_DEVICE_RELATIONS:
        if (stack->Parameters.QueryDeviceRelations.Type == TargetDeviceRelation) {
            DEVICE_RELATIONS *relations = ExAllocatePoolWithTag(PagedPool, sizeof(*relations), TAG);
            if (!relations) {
                status = STATUS_INSUFFICIENT_RESOURCES;
                break;
            }
            relations->Count = 1;
            relations->Objects[0] = child->self;
            ObReferenceObject(child->self);
            irp->IoStatus.Information = (ULONG_PTR)relations;
            status = STATUS_SUCCESS;
        }
        break;
    case IRP_MN_START_DEVICE:
        status = child_start(child);
        break;
    case IRP_MN_QUERY_REMOVE_DEVICE:
    case IRP_MN_CANCEL_REMOVE_DEVICE:
    case IRP_MN_QUERY_STOP_DEVICE:
    case IRP_MN_CANCEL_STOP_DEVICE:
    case IRP_MN_STOP_DEVICE:
        status = STATUS_SUCCESS;
        break;
    case IRP_MN_SURPRISE_REMOVAL:
        child_withdraw(child);
        status = STATUS_SUCCESS;
        break;
    case IRP_MN_REMOVE_DEVICE:
        child_withdraw(child);
        /* A child still wanted stays until its bus goes (which deletes it). */
        if (!child->wanted) {
            KeAcquireSpinLock(&bus->lock, &irql);
            RemoveEntryList(&child->entry);
            KeReleaseSpinLock(&bus->lock, irql);
            child_gone(bus, child, STATUS_SUCCESS);
            irp->IoStatus.Status = STATUS_SUCCESS;
            IoCompleteRequest(irp, IO_NO_INCREMENT);
            child_free(child);
            return STATUS_SUCCESS;
        }
        status = STATUS_SUCCESS;
        break;
    default:
        break;
    }
    irp->IoStatus.Status = status;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

static NTSTATUS child_device_control(struct child *child, IRP *irp)
{
    IO_STACK_LOCATION *stack = IoGetCurrentIrpStackLocation(irp);
    NTSTATUS status = STATUS_INVALID_DEVICE_REQUEST;
    ULONG_PTR information = 0;
    if (stack->Parameters.DeviceIoControl.IoControlCode == IOCTL_STORAGE_GET_DEVICE_NUMBER &&
        (child->flags & TESTBUS_CHILD_DISK)) {
        if (stack->Parameters.DeviceIoControl.OutputBufferLength < sizeof(STORAGE_DEVICE_NUMBER)) {
            status = STATUS_BUFFER_TOO_SMALL;
        } else {
            STORAGE_DEVICE_NUMBER *number = irp->AssociatedIrp.SystemBuffer;
            number->DeviceType = FILE_DEVICE_DISK;
            number->DeviceNumber = child->device_number;
            number->PartitionNumber = 0;
            information = sizeof(*number);
            status = STATUS_SUCCESS;
        }
    }
    finish(irp, status, information);
    return status;
}

/* ---- the bus ---- */

static void invalidate(struct bus *bus)
{
    IoInvalidateDeviceRelations(bus->pdo, BusRelations);
}

static NTSTATUS bus_add_child(struct bus *bus, IRP *irp)
{
    IO_STACK_LOCATION *stack = IoGetCurrentIrpStackLocation(irp);
    const struct testbus_add_request *request = irp->AssociatedIrp.SystemBuffer;
    DEVICE_OBJECT *device;
    struct child *child;
    WCHAR name_text[64] = TESTBUS_DEVICE_NAME L"Child";
    WCHAR number[8];
    UNICODE_STRING name;
    NTSTATUS status;
    KIRQL irql;
    ULONG serial;

    if (stack->Parameters.DeviceIoControl.InputBufferLength != sizeof(*request) ||
        request->size != sizeof(*request) ||
        stack->Parameters.DeviceIoControl.OutputBufferLength < sizeof(struct testbus_add_reply) ||
        !multi_sz_length(request->hardware_ids, TESTBUS_MAX_IDS) ||
        request->description[TESTBUS_MAX_TEXT - 1] != 0) {
        finish(irp, STATUS_INVALID_PARAMETER, 0);
        return STATUS_INVALID_PARAMETER;
    }

    KeAcquireSpinLock(&bus->lock, &irql);
    serial = ++bus->next_serial;
    KeReleaseSpinLock(&bus->lock, irql);
    format_decimal(number, serial, 4);
    wappend(name_text, ARRAYSIZE(name_text), number);
    RtlInitUnicodeString(&name, name_text);
    /* Named: Wine links an enabled interface to the device's name. */
    status = IoCreateDevice(bus->self->DriverObject, sizeof(struct child), &name,
                            (request->flags & TESTBUS_CHILD_DISK) ? FILE_DEVICE_DISK
                                                                  : FILE_DEVICE_UNKNOWN,
                            FILE_DEVICE_SECURE_OPEN, FALSE, &device);
    if (!NT_SUCCESS(status)) {
        finish(irp, status, 0);
        return status;
    }
    child = device->DeviceExtension;
    RtlZeroMemory(child, sizeof(*child));
    child->self = device;
    child->bus = bus;
    child->serial = serial;
    child->flags = request->flags;
    child->device_number = request->device_number;
    child->setup_class = request->setup_class;
    child->interface_class = request->interface_class;
    RtlCopyMemory(child->hardware_ids, request->hardware_ids, sizeof(child->hardware_ids));
    RtlCopyMemory(child->description, request->description, sizeof(child->description));
    choose_device_id(child);
    wappend(child->instance, ARRAYSIZE(child->instance), TESTBUS_INSTANCE_MARK);
    wappend(child->instance, ARRAYSIZE(child->instance), number);
    child->wanted = TRUE;
    device->Flags &= ~DO_DEVICE_INITIALIZING;

    KeAcquireSpinLock(&bus->lock, &irql);
    InsertTailList(&bus->children, &child->entry);
    KeReleaseSpinLock(&bus->lock, irql);
    status = park(bus, &child->pending, irp);
    invalidate(bus);
    return status;
}

static struct child *find_child_locked(struct bus *bus, ULONG serial)
{
    LIST_ENTRY *entry;
    for (entry = bus->children.Flink; entry != &bus->children; entry = entry->Flink) {
        struct child *child = CONTAINING_RECORD(entry, struct child, entry);
        if (child->serial == serial && child->wanted)
            return child;
    }
    return NULL;
}

/* A child that Wine has not seen yet goes at once: no removal will come. */
static void drop_unreported(struct bus *bus, struct child *child)
{
    KIRQL irql;
    IRP *add;
    KeAcquireSpinLock(&bus->lock, &irql);
    RemoveEntryList(&child->entry);
    add = unpark_locked(&child->pending);
    KeReleaseSpinLock(&bus->lock, irql);
    finish(add, STATUS_CANCELLED, 0);
    child_gone(bus, child, STATUS_SUCCESS);
    child_free(child);
}

static NTSTATUS bus_remove_child(struct bus *bus, IRP *irp)
{
    IO_STACK_LOCATION *stack = IoGetCurrentIrpStackLocation(irp);
    const struct testbus_remove_request *request = irp->AssociatedIrp.SystemBuffer;
    struct child *child;
    IRP *add;
    KIRQL irql;
    BOOLEAN reported = FALSE;
    NTSTATUS status;

    if (stack->Parameters.DeviceIoControl.InputBufferLength != sizeof(*request)) {
        finish(irp, STATUS_INVALID_PARAMETER, 0);
        return STATUS_INVALID_PARAMETER;
    }
    KeAcquireSpinLock(&bus->lock, &irql);
    child = find_child_locked(bus, request->serial);
    if (child) {
        child->wanted = FALSE;
        reported = child->reported;
    }
    /* An add still waiting for the start ends here. */
    add = child ? unpark_locked(&child->pending) : NULL;
    KeReleaseSpinLock(&bus->lock, irql);
    finish(add, STATUS_CANCELLED, 0);
    if (!child) {
        finish(irp, STATUS_NOT_FOUND, 0);
        return STATUS_NOT_FOUND;
    }
    if (!reported) {
        drop_unreported(bus, child);
        finish(irp, STATUS_SUCCESS, 0);
        return STATUS_SUCCESS;
    }
    status = park(bus, &child->pending, irp);
    invalidate(bus);
    return status;
}

static NTSTATUS bus_remove_all(struct bus *bus, IRP *irp)
{
    LIST_ENTRY *entry, *next;
    LIST_ENTRY dropped;
    IRP *adds[64];
    ULONG n_adds = 0, i;
    KIRQL irql;
    BOOLEAN any_reported = FALSE;
    NTSTATUS status;

    InitializeListHead(&dropped);
    KeAcquireSpinLock(&bus->lock, &irql);
    for (entry = bus->children.Flink; entry != &bus->children; entry = next) {
        struct child *child = CONTAINING_RECORD(entry, struct child, entry);
        IRP *add;
        next = entry->Flink;
        if (child->wanted && (add = unpark_locked(&child->pending)) != NULL && n_adds < 64)
            adds[n_adds++] = add;
        child->wanted = FALSE;
        if (child->reported) {
            any_reported = TRUE;
        } else {
            RemoveEntryList(&child->entry);
            InsertTailList(&dropped, &child->entry);
        }
    }
    KeReleaseSpinLock(&bus->lock, irql);
    for (i = 0; i < n_adds; ++i)
        finish(adds[i], STATUS_CANCELLED, 0);
    while (!IsListEmpty(&dropped)) {
        struct child *child = CONTAINING_RECORD(RemoveHeadList(&dropped), struct child, entry);
        child_free(child);
    }
    if (!any_reported) {
        finish(irp, STATUS_SUCCESS, 0);
        return STATUS_SUCCESS;
    }
    status = park(bus, &bus->remove_all, irp);
    invalidate(bus);
    return status;
}

static NTSTATUS bus_relations(struct bus *bus, IRP *irp)
{
    DEVICE_RELATIONS *relations;
    LIST_ENTRY *entry;
    ULONG count = 0;
    KIRQL irql;

    KeAcquireSpinLock(&bus->lock, &irql);
    for (entry = bus->children.Flink; entry != &bus->children; entry = entry->Flink) {
        if (CONTAINING_RECORD(entry, struct child, entry)->wanted)
            ++count;
    }
    relations = ExAllocatePoolWithTag(PagedPool,
                                      FIELD_OFFSET(DEVICE_RELATIONS, Objects) +
                                          (count ? count : 1) * sizeof(DEVICE_OBJECT *),
                                      TAG);
    if (!relations) {
        KeReleaseSpinLock(&bus->lock, irql);
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    relations->Count = 0;
    for (entry = bus->children.Flink; entry != &bus->children; entry = entry->Flink) {
        struct child *child = CONTAINING_RECORD(entry, struct child, entry);
        if (!child->wanted)
            continue;
        child->reported = TRUE;
        ObReferenceObject(child->self);
        relations->Objects[relations->Count++] = child->self;
    }
    KeReleaseSpinLock(&bus->lock, irql);
    irp->IoStatus.Information = (ULONG_PTR)relations;
    return STATUS_SUCCESS;
}

static void bus_remove(struct bus *bus)
{
    UNICODE_STRING link;
    KIRQL irql;
    IRP *all;
    KeAcquireSpinLock(&bus->lock, &irql);
    all = unpark_locked(&bus->remove_all);
    KeReleaseSpinLock(&bus->lock, irql);
    finish(all, STATUS_DELETE_PENDING, 0);
    while (!IsListEmpty(&bus->children)) {
        struct child *child =
            CONTAINING_RECORD(RemoveHeadList(&bus->children), struct child, entry);
        child->wanted = FALSE;
        child_withdraw(child);
        finish(unpark_locked(&child->pending), STATUS_DELETE_PENDING, 0);
        child_free(child);
    }
    if (bus->link_made) {
        RtlInitUnicodeString(&link, TESTBUS_LINK_NAME);
        IoDeleteSymbolicLink(&link);
        bus->link_made = FALSE;
    }
}

static NTSTATUS bus_pnp(struct bus *bus, IRP *irp)
{
    IO_STACK_LOCATION *stack = IoGetCurrentIrpStackLocation(irp);
    NTSTATUS status;
    DEVICE_OBJECT *lower = bus->lower;

    switch (stack->MinorFunction) {
    case IRP_MN_QUERY_DEVICE_RELATIONS:
        if (stack->Parameters.QueryDeviceRelations.Type != BusRelations)
            break;
        status = bus_relations(bus, irp);
        if (!NT_SUCCESS(status)) {
            finish(irp, status, 0);
            return status;
        }
        irp->IoStatus.Status = STATUS_SUCCESS;
        break;
    case IRP_MN_START_DEVICE:
    case IRP_MN_SURPRISE_REMOVAL:
    case IRP_MN_QUERY_REMOVE_DEVICE:
    case IRP_MN_CANCEL_REMOVE_DEVICE:
    case IRP_MN_QUERY_STOP_DEVICE:
    case IRP_MN_CANCEL_STOP_DEVICE:
    case IRP_MN_STOP_DEVICE:
        irp->IoStatus.Status = STATUS_SUCCESS;
        break;
    case IRP_MN_REMOVE_DEVICE:
        bus_remove(bus);
        irp->IoStatus.Status = STATUS_SUCCESS;
        IoSkipCurrentIrpStackLocation(irp);
        status = IoCallDriver(lower, irp);
        the_bus = NULL;
        IoDetachDevice(lower);
        IoDeleteDevice(bus->self);
        return status;
    default:
        break;
    }
    IoSkipCurrentIrpStackLocation(irp);
    return IoCallDriver(lower, irp);
}

static NTSTATUS bus_device_control(struct bus *bus, IRP *irp)
{
    switch (IoGetCurrentIrpStackLocation(irp)->Parameters.DeviceIoControl.IoControlCode) {
    case IOCTL_TESTBUS_ADD_CHILD:
        return bus_add_child(bus, irp);
    case IOCTL_TESTBUS_REMOVE_CHILD:
        return bus_remove_child(bus, irp);
    case IOCTL_TESTBUS_REMOVE_ALL:
        return bus_remove_all(bus, irp);
    default:
        finish(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
        return STATUS_INVALID_DEVICE_REQUEST;
    }
}

/* ---- entry points ---- */

static NTSTATUS NTAPI dispatch_create_close(DEVICE_OBJECT *device, IRP *irp)
{
    UNREFERENCED_PARAMETER(device);
    finish(irp, STATUS_SUCCESS, 0);
    return STATUS_SUCCESS;
}

static NTSTATUS NTAPI dispatch_device_control(DEVICE_OBJECT *device, IRP *irp)
{
    struct common *common = device->DeviceExtension;
    if (common->is_bus)
        return bus_device_control((struct bus *)common, irp);
    return child_device_control((struct child *)common, irp);
}

static NTSTATUS NTAPI dispatch_pnp(DEVICE_OBJECT *device, IRP *irp)
{
    struct common *common = device->DeviceExtension;
    if (common->is_bus)
        return bus_pnp((struct bus *)common, irp);
    return child_pnp((struct child *)common, irp);
}

static NTSTATUS NTAPI dispatch_power(DEVICE_OBJECT *device, IRP *irp)
{
    struct common *common = device->DeviceExtension;
    NTSTATUS status;
    PoStartNextPowerIrp(irp);
    if (common->is_bus) {
        IoSkipCurrentIrpStackLocation(irp);
        return PoCallDriver(((struct bus *)common)->lower, irp);
    }
    status = irp->IoStatus.Status;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

static NTSTATUS NTAPI dispatch_other(DEVICE_OBJECT *device, IRP *irp)
{
    struct common *common = device->DeviceExtension;
    NTSTATUS status;
    if (common->is_bus) {
        IoSkipCurrentIrpStackLocation(irp);
        return IoCallDriver(((struct bus *)common)->lower, irp);
    }
    status = irp->IoStatus.Status;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

static NTSTATUS NTAPI add_device(DRIVER_OBJECT *driver, DEVICE_OBJECT *pdo)
{
    UNICODE_STRING name, link;
    DEVICE_OBJECT *device;
    struct bus *bus;
    NTSTATUS status;

    if (the_bus)
        return STATUS_DEVICE_ALREADY_ATTACHED; /* one bus; one control name */
    RtlInitUnicodeString(&name, TESTBUS_DEVICE_NAME);
    status = IoCreateDevice(driver, sizeof(struct bus), &name, FILE_DEVICE_BUS_EXTENDER,
                            FILE_DEVICE_SECURE_OPEN, FALSE, &device);
    if (!NT_SUCCESS(status))
        return status;
    bus = device->DeviceExtension;
    RtlZeroMemory(bus, sizeof(*bus));
    bus->common.is_bus = TRUE;
    bus->self = device;
    bus->pdo = pdo;
    KeInitializeSpinLock(&bus->lock);
    InitializeListHead(&bus->children);
    bus->lower = IoAttachDeviceToDeviceStack(device, pdo);
    if (!bus->lower) {
        IoDeleteDevice(device);
        return STATUS_NO_SUCH_DEVICE;
    }
    RtlInitUnicodeString(&link, TESTBUS_LINK_NAME);
    bus->link_made = NT_SUCCESS(IoCreateSymbolicLink(&link, &name));
    the_bus = bus;
    device->Flags &= ~DO_DEVICE_INITIALIZING;
    return STATUS_SUCCESS;
}

static void NTAPI unload(DRIVER_OBJECT *driver)
{
    UNREFERENCED_PARAMETER(driver);
}

NTSTATUS NTAPI DriverEntry(DRIVER_OBJECT *driver, UNICODE_STRING *registry)
{
    UNREFERENCED_PARAMETER(registry);
    driver->MajorFunction[IRP_MJ_CREATE] = dispatch_create_close;
    driver->MajorFunction[IRP_MJ_CLOSE] = dispatch_create_close;
    driver->MajorFunction[IRP_MJ_CLEANUP] = dispatch_create_close;
    driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = dispatch_device_control;
    driver->MajorFunction[IRP_MJ_PNP] = dispatch_pnp;
    driver->MajorFunction[IRP_MJ_POWER] = dispatch_power;
    driver->MajorFunction[IRP_MJ_SYSTEM_CONTROL] = dispatch_other;
    driver->DriverExtension->AddDevice = add_device;
    driver->DriverUnload = unload;
    return STATUS_SUCCESS;
}
