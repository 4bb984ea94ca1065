/*
 * ptycom: a COM port for wine whose line is a Linux pseudo-terminal.
 *
 * Wine's own COM ports never complete an overlapped wait for received bytes
 * through an APC, which is how Qt's Windows serial backend learns that a
 * reply came. A port served by a driver gets its requests as IRPs, completed
 * the Windows way. This driver is a test tool for the wine check: it serves
 * exactly one pseudo-terminal and answers only what Qt's backend asks of a
 * port.
 *
 * Loaded as a service; its key holds
 *   PortName     REG_SZ     the port's name, e.g. COM9
 *   PtyPath      REG_SZ     the pseudo-terminal's slave, e.g. /dev/pts/3
 *   StrayRxChar  REG_DWORD  1: every read that returned bytes leaves a
 *                           received-byte event behind, so the next wait for
 *                           one completes at once even with nothing to read,
 *                           as a driver that keeps an event history does
 *   LineLog      REG_SZ     a file (a Unix path): DTR starts low, as a port
 *                           that no program has raised it on; the device's
 *                           bytes are dropped while DTR is low, as a USB
 *                           device that waits for a terminal drops them; and
 *                           every new state of DTR and RTS is appended to the
 *                           file ("DTR on, RTS off"), as is every drop
 *
 * DTR and RTS follow IOCTL_SERIAL_SET_DTR/CLR_DTR/SET_RTS/CLR_RTS and the
 * line control bits of IOCTL_SERIAL_SET_HANDFLOW (SetCommState), as they do
 * with Windows' serial driver.
 *
 * When the other end hangs up, every pending and later request fails with
 * STATUS_DEVICE_REMOVED, as with an unplugged adapter.
 */
#include <ntddk.h>
#include <ntddser.h>

#define DEVICE_NAME L"\\Device\\PtyCom"
#define RECEIVE_BUFFER_BYTES 65536
#define PTY_CHUNK_BYTES 4096
#define NAME_CHARS 128
/* How long one read of the line waits for a byte before the reader checks
   that the line is still up (a hung-up terminal only ever reads nothing). */
#define LINE_CHECK_MS 100

static struct port {
    HANDLE line;
    BOOLEAN stray_rxchar;
    BOOLEAN hung_up;
    /* Received and not yet read; guarded by the cancel lock, as are the
       parked requests and the event history. */
    UCHAR received[RECEIVE_BUFFER_BYTES];
    ULONG received_count;
    PIRP parked_wait;
    PIRP parked_read;
    ULONG wait_mask;
    BOOLEAN rxchar_in_history;
    /* Settings are kept to be read back, as Qt reads them before each change. */
    SERIAL_BAUD_RATE baud_rate;
    SERIAL_LINE_CONTROL line_control;
    SERIAL_HANDFLOW handflow;
    SERIAL_CHARS chars;
    SERIAL_TIMEOUTS timeouts;
    ULONG dtr_rts;
    HANDLE line_log; /* with LineLog only */
    UCHAR chunk[PTY_CHUNK_BYTES]; /* the reader thread's alone */
} port;

/* The settings Qt gets and sets as a whole structure. */
static const struct setting {
    ULONG get_code, set_code;
    void *value;
    ULONG size;
} settings[] = {
    { IOCTL_SERIAL_GET_BAUD_RATE, IOCTL_SERIAL_SET_BAUD_RATE, &port.baud_rate, sizeof(port.baud_rate) },
    { IOCTL_SERIAL_GET_LINE_CONTROL, IOCTL_SERIAL_SET_LINE_CONTROL, &port.line_control, sizeof(port.line_control) },
    { IOCTL_SERIAL_GET_HANDFLOW, IOCTL_SERIAL_SET_HANDFLOW, &port.handflow, sizeof(port.handflow) },
    { IOCTL_SERIAL_GET_CHARS, IOCTL_SERIAL_SET_CHARS, &port.chars, sizeof(port.chars) },
    { IOCTL_SERIAL_GET_TIMEOUTS, IOCTL_SERIAL_SET_TIMEOUTS, &port.timeouts, sizeof(port.timeouts) },
    { IOCTL_SERIAL_GET_DTRRTS, 0, &port.dtr_rts, sizeof(port.dtr_rts) },
};

/* What LineLog receives, the line states indexed by their SERIAL_DTR_STATE
   and SERIAL_RTS_STATE bits. */
struct log_text {
    const char *text;
    ULONG length;
};
#define LOG_TEXT(text) { text, sizeof(text) - 1 }
static const struct log_text LINE_STATES[] = {
    LOG_TEXT("DTR off, RTS off\n"),
    LOG_TEXT("DTR on, RTS off\n"),
    LOG_TEXT("DTR off, RTS on\n"),
    LOG_TEXT("DTR on, RTS on\n"),
};
static const struct log_text BYTES_DROPPED = LOG_TEXT("DTR off: the device's bytes dropped\n");

static VOID log_line(const struct log_text *entry)
{
    IO_STATUS_BLOCK io;
    if (port.line_log)
        ZwWriteFile(port.line_log, NULL, NULL, NULL, &io, (PVOID)entry->text, entry->length, NULL, NULL);
}

static NTSTATUS finish(PIRP irp, NTSTATUS status, ULONG_PTR information)
{
    irp->IoStatus.Status = status;
    irp->IoStatus.Information = information;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

static NTSTATUS finish_wait(PIRP irp, ULONG events)
{
    *(ULONG *)irp->AssociatedIrp.SystemBuffer = events;
    return finish(irp, STATUS_SUCCESS, sizeof(ULONG));
}

static VOID cancel_parked(PDEVICE_OBJECT device, PIRP irp)
{
    (void)device;
    if (port.parked_wait == irp)
        port.parked_wait = NULL;
    if (port.parked_read == irp)
        port.parked_read = NULL;
    IoReleaseCancelSpinLock(irp->CancelIrql);
    finish(irp, STATUS_CANCELLED, 0);
}

/* With the cancel lock held: the parked request, now ours to complete. */
static PIRP unpark(PIRP *slot)
{
    PIRP irp = *slot;
    if (irp) {
        *slot = NULL;
        IoSetCancelRoutine(irp, NULL);
    }
    return irp;
}

/* With the cancel lock held; the lock is released here. */
static NTSTATUS park(PIRP *slot, PIRP irp, KIRQL irql)
{
    if (port.hung_up) { /* the reader has stopped: nothing would complete it */
        IoReleaseCancelSpinLock(irql);
        return finish(irp, STATUS_DEVICE_REMOVED, 0);
    }
    IoMarkIrpPending(irp);
    *slot = irp;
    IoSetCancelRoutine(irp, cancel_parked);
    IoReleaseCancelSpinLock(irql);
    return STATUS_PENDING;
}

/* With the cancel lock held: moves up to length received bytes to buffer. */
static ULONG take_received(UCHAR *buffer, ULONG length)
{
    ULONG count = min(length, port.received_count);
    RtlCopyMemory(buffer, port.received, count);
    port.received_count -= count;
    RtlMoveMemory(port.received, port.received + count, port.received_count);
    return count;
}

/* With the cancel lock held, after a read: in stray mode a read that returned
   bytes leaves the event behind. Returns a wait to complete with it, if one
   is parked. */
static PIRP after_read(ULONG count)
{
    if (!port.stray_rxchar || count == 0)
        return NULL;
    if (port.parked_wait && (port.wait_mask & SERIAL_EV_RXCHAR))
        return unpark(&port.parked_wait);
    port.rxchar_in_history = TRUE;
    return NULL;
}

static VOID hang_up(void)
{
    KIRQL irql;
    IoAcquireCancelSpinLock(&irql);
    port.hung_up = TRUE;
    PIRP wait = unpark(&port.parked_wait);
    PIRP read = unpark(&port.parked_read);
    IoReleaseCancelSpinLock(irql);
    if (wait)
        finish(wait, STATUS_DEVICE_REMOVED, 0);
    if (read)
        finish(read, STATUS_DEVICE_REMOVED, 0);
}

/* Hands bytes from the line to a parked read, then to a parked wait. With
   LineLog, bytes that come while DTR is low are dropped. */
static VOID deliver(const UCHAR *bytes, ULONG count)
{
    KIRQL irql;
    IoAcquireCancelSpinLock(&irql);
    if (port.line_log && !(port.dtr_rts & SERIAL_DTR_STATE)) {
        IoReleaseCancelSpinLock(irql);
        log_line(&BYTES_DROPPED);
        return;
    }
    count = min(count, RECEIVE_BUFFER_BYTES - port.received_count); /* overrun drops the rest */
    RtlCopyMemory(port.received + port.received_count, bytes, count);
    port.received_count += count;

    PIRP read = unpark(&port.parked_read);
    ULONG read_count = 0;
    if (read)
        read_count = take_received(read->AssociatedIrp.SystemBuffer,
                                   IoGetCurrentIrpStackLocation(read)->Parameters.Read.Length);
    PIRP wait = after_read(read_count);
    if (!wait && port.received_count > 0 && (port.wait_mask & SERIAL_EV_RXCHAR))
        wait = unpark(&port.parked_wait);
    IoReleaseCancelSpinLock(irql);

    if (read)
        finish(read, STATUS_SUCCESS, read_count);
    if (wait)
        finish_wait(wait, SERIAL_EV_RXCHAR);
}

/* Whether the line is still up (a hung-up terminal fails every query), and
   how many bytes it holds. */
static BOOLEAN line_up(ULONG *queued)
{
    SERIAL_STATUS status;
    IO_STATUS_BLOCK io;
    if (!NT_SUCCESS(ZwDeviceIoControlFile(port.line, NULL, NULL, NULL, &io, IOCTL_SERIAL_GET_COMMSTATUS,
                                          NULL, 0, &status, sizeof(status))))
        return FALSE;
    *queued = status.AmountInInQueue;
    return TRUE;
}

static ULONG read_line(ULONG offset, ULONG length)
{
    IO_STATUS_BLOCK io;
    NTSTATUS status = ZwReadFile(port.line, NULL, NULL, NULL, &io, port.chunk + offset, length, NULL, NULL);
    return status == STATUS_SUCCESS ? (ULONG)io.Information : 0;
}

/* Waits for one byte, then takes what else the line holds, so that bytes
   written together are delivered together. */
static VOID reader(PVOID context)
{
    ULONG queued;
    (void)context;
    while (line_up(&queued)) {
        ULONG count = read_line(0, 1);
        if (count == 0)
            continue;
        if (!line_up(&queued))
            break;
        count += read_line(count, min(queued, PTY_CHUNK_BYTES - count));
        deliver(port.chunk, count);
    }
    hang_up();
    PsTerminateSystemThread(STATUS_SUCCESS);
}

static NTSTATUS read_request(PIRP irp, PIO_STACK_LOCATION stack)
{
    KIRQL irql;
    IoAcquireCancelSpinLock(&irql);
    /* Qt reads with "return at once"; under any other time-outs a read waits
       for the first bytes. */
    const BOOLEAN at_once = port.timeouts.ReadIntervalTimeout == MAXULONG
                            && port.timeouts.ReadTotalTimeoutMultiplier == 0
                            && port.timeouts.ReadTotalTimeoutConstant == 0;
    if (!at_once && port.received_count == 0 && !port.parked_read)
        return park(&port.parked_read, irp, irql);
    if (port.parked_read) {
        IoReleaseCancelSpinLock(irql);
        return finish(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
    }
    ULONG count = take_received(irp->AssociatedIrp.SystemBuffer, stack->Parameters.Read.Length);
    PIRP wait = after_read(count);
    IoReleaseCancelSpinLock(irql);
    if (wait)
        finish_wait(wait, SERIAL_EV_RXCHAR);
    return finish(irp, STATUS_SUCCESS, count);
}

static NTSTATUS write_request(PIRP irp, PIO_STACK_LOCATION stack)
{
    IO_STATUS_BLOCK io;
    NTSTATUS status = ZwWriteFile(port.line, NULL, NULL, NULL, &io, irp->AssociatedIrp.SystemBuffer,
                                  stack->Parameters.Write.Length, NULL, NULL);
    if (!NT_SUCCESS(status)) {
        hang_up();
        return finish(irp, STATUS_DEVICE_REMOVED, 0);
    }
    return finish(irp, STATUS_SUCCESS, io.Information);
}

static NTSTATUS wait_on_mask(PIRP irp, PIO_STACK_LOCATION stack)
{
    KIRQL irql;
    if (stack->Parameters.DeviceIoControl.OutputBufferLength < sizeof(ULONG))
        return finish(irp, STATUS_BUFFER_TOO_SMALL, 0);
    IoAcquireCancelSpinLock(&irql);
    if (port.parked_wait) {
        IoReleaseCancelSpinLock(irql);
        return finish(irp, STATUS_INVALID_PARAMETER, 0);
    }
    if ((port.wait_mask & SERIAL_EV_RXCHAR) && (port.received_count > 0 || port.rxchar_in_history)) {
        port.rxchar_in_history = FALSE;
        IoReleaseCancelSpinLock(irql);
        return finish_wait(irp, SERIAL_EV_RXCHAR);
    }
    return park(&port.parked_wait, irp, irql);
}

/* A new mask ends a wait under the old one, with no events. */
static NTSTATUS set_wait_mask(PIRP irp, ULONG mask)
{
    KIRQL irql;
    IoAcquireCancelSpinLock(&irql);
    port.wait_mask = mask;
    port.rxchar_in_history = FALSE;
    PIRP wait = unpark(&port.parked_wait);
    IoReleaseCancelSpinLock(irql);
    if (wait)
        finish_wait(wait, 0);
    return finish(irp, STATUS_SUCCESS, 0);
}

static NTSTATUS purge(PIRP irp, ULONG flags)
{
    KIRQL irql;
    IoAcquireCancelSpinLock(&irql);
    if (flags & SERIAL_PURGE_RXCLEAR) {
        port.received_count = 0;
        port.rxchar_in_history = FALSE;
    }
    PIRP read = (flags & SERIAL_PURGE_RXABORT) ? unpark(&port.parked_read) : NULL;
    IoReleaseCancelSpinLock(irql);
    if (read)
        finish(read, STATUS_CANCELLED, 0);
    return finish(irp, STATUS_SUCCESS, 0);
}

static NTSTATUS comm_status(PIRP irp)
{
    SERIAL_STATUS status;
    KIRQL irql;
    RtlZeroMemory(&status, sizeof(status));
    IoAcquireCancelSpinLock(&irql);
    status.AmountInInQueue = port.received_count;
    IoReleaseCancelSpinLock(irql);
    RtlCopyMemory(irp->AssociatedIrp.SystemBuffer, &status, sizeof(status));
    return finish(irp, STATUS_SUCCESS, sizeof(status));
}

/* Sets the lines to LINES, logging a new state. */
static VOID set_lines(ULONG lines)
{
    KIRQL irql;
    IoAcquireCancelSpinLock(&irql);
    const BOOLEAN changed = lines != port.dtr_rts;
    port.dtr_rts = lines;
    IoReleaseCancelSpinLock(irql);
    if (changed)
        log_line(&LINE_STATES[lines]);
}

/* The lines as the handflow's control bits leave them. A line under flow
   control is up while there is room; a toggled RTS is up only while sending. */
static ULONG lines_from_handflow(void)
{
    ULONG lines = 0;
    if (port.handflow.ControlHandShake & SERIAL_DTR_MASK)
        lines |= SERIAL_DTR_STATE;
    const ULONG rts = port.handflow.FlowReplace & SERIAL_RTS_MASK;
    if (rts == SERIAL_RTS_CONTROL || rts == SERIAL_RTS_HANDSHAKE)
        lines |= SERIAL_RTS_STATE;
    return lines;
}

static NTSTATUS setting(PIRP irp, ULONG code, ULONG in_length, ULONG out_length)
{
    for (ULONG i = 0; i < sizeof(settings) / sizeof(settings[0]); ++i) {
        const struct setting *s = &settings[i];
        if (code == s->get_code && out_length >= s->size) {
            RtlCopyMemory(irp->AssociatedIrp.SystemBuffer, s->value, s->size);
            return finish(irp, STATUS_SUCCESS, s->size);
        }
        if (code == s->set_code && in_length >= s->size) {
            RtlCopyMemory(s->value, irp->AssociatedIrp.SystemBuffer, s->size);
            if (code == IOCTL_SERIAL_SET_HANDFLOW)
                set_lines(lines_from_handflow());
            return finish(irp, STATUS_SUCCESS, 0);
        }
    }
    return finish(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
}

static NTSTATUS control(PIRP irp, PIO_STACK_LOCATION stack)
{
    const ULONG code = stack->Parameters.DeviceIoControl.IoControlCode;
    const ULONG in_length = stack->Parameters.DeviceIoControl.InputBufferLength;
    const ULONG out_length = stack->Parameters.DeviceIoControl.OutputBufferLength;
    const ULONG *in = irp->AssociatedIrp.SystemBuffer;

    switch (code) {
    case IOCTL_SERIAL_WAIT_ON_MASK:
        return wait_on_mask(irp, stack);
    case IOCTL_SERIAL_SET_WAIT_MASK:
        return in_length < sizeof(ULONG) ? finish(irp, STATUS_BUFFER_TOO_SMALL, 0) : set_wait_mask(irp, *in);
    case IOCTL_SERIAL_PURGE:
        return in_length < sizeof(ULONG) ? finish(irp, STATUS_BUFFER_TOO_SMALL, 0) : purge(irp, *in);
    case IOCTL_SERIAL_GET_COMMSTATUS:
        return out_length < sizeof(SERIAL_STATUS) ? finish(irp, STATUS_BUFFER_TOO_SMALL, 0) : comm_status(irp);
    case IOCTL_SERIAL_SET_DTR:
    case IOCTL_SERIAL_CLR_DTR:
    case IOCTL_SERIAL_SET_RTS:
    case IOCTL_SERIAL_CLR_RTS: {
        const ULONG line = (code == IOCTL_SERIAL_SET_DTR || code == IOCTL_SERIAL_CLR_DTR) ? SERIAL_DTR_STATE
                                                                                          : SERIAL_RTS_STATE;
        const BOOLEAN raise = code == IOCTL_SERIAL_SET_DTR || code == IOCTL_SERIAL_SET_RTS;
        set_lines(raise ? port.dtr_rts | line : port.dtr_rts & ~line);
        return finish(irp, STATUS_SUCCESS, 0);
    }
    default:
        return setting(irp, code, in_length, out_length);
    }
}

static NTSTATUS dispatch(PDEVICE_OBJECT device, PIRP irp)
{
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    (void)device;
    if (stack->MajorFunction == IRP_MJ_CLOSE)
        return finish(irp, STATUS_SUCCESS, 0);
    if (port.hung_up)
        return finish(irp, STATUS_DEVICE_REMOVED, 0);

    switch (stack->MajorFunction) {
    case IRP_MJ_CREATE:
        return finish(irp, STATUS_SUCCESS, 0);
    case IRP_MJ_READ:
        return read_request(irp, stack);
    case IRP_MJ_WRITE:
        return write_request(irp, stack);
    case IRP_MJ_DEVICE_CONTROL:
        return control(irp, stack);
    default:
        return finish(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
    }
}

/* Opens the file at the Unix path PATH for ACCESS, through wine's Unix drive. */
static NTSTATUS open_unix_file(HANDLE *file, PCUNICODE_STRING path, ACCESS_MASK access, ULONG disposition)
{
    WCHAR name_buffer[NAME_CHARS];
    UNICODE_STRING name = { 0, sizeof(name_buffer), name_buffer };
    OBJECT_ATTRIBUTES attributes;
    IO_STATUS_BLOCK io;
    RtlAppendUnicodeToString(&name, L"\\??\\unix");
    NTSTATUS status = RtlAppendUnicodeStringToString(&name, path);
    if (!NT_SUCCESS(status))
        return status;
    InitializeObjectAttributes(&attributes, &name, OBJ_KERNEL_HANDLE, NULL, NULL);
    return ZwCreateFile(file, access | SYNCHRONIZE, &attributes, &io, NULL, FILE_ATTRIBUTE_NORMAL,
                        FILE_SHARE_READ | FILE_SHARE_WRITE, disposition, FILE_SYNCHRONOUS_IO_NONALERT, NULL, 0);
}

static NTSTATUS open_line(PCUNICODE_STRING pty_path)
{
    IO_STATUS_BLOCK io;
    NTSTATUS status = open_unix_file(&port.line, pty_path, GENERIC_READ | GENERIC_WRITE, FILE_OPEN);
    if (!NT_SUCCESS(status))
        return status;
    /* The reader's reads of the line return after LINE_CHECK_MS without a byte. */
    SERIAL_TIMEOUTS line_timeouts = { 0 };
    line_timeouts.ReadTotalTimeoutConstant = LINE_CHECK_MS;
    return ZwDeviceIoControlFile(port.line, NULL, NULL, NULL, &io, IOCTL_SERIAL_SET_TIMEOUTS, &line_timeouts,
                                 sizeof(line_timeouts), NULL, 0);
}

static NTSTATUS create_port(PDRIVER_OBJECT driver, PCUNICODE_STRING port_name)
{
    WCHAR link_buffer[NAME_CHARS];
    UNICODE_STRING link = { 0, sizeof(link_buffer), link_buffer };
    UNICODE_STRING device_name;
    PDEVICE_OBJECT device;
    RtlInitUnicodeString(&device_name, DEVICE_NAME);
    NTSTATUS status = IoCreateDevice(driver, 0, &device_name, FILE_DEVICE_SERIAL_PORT, 0, TRUE, &device);
    if (!NT_SUCCESS(status))
        return status;
    device->Flags |= DO_BUFFERED_IO;
    RtlAppendUnicodeToString(&link, L"\\DosDevices\\");
    status = RtlAppendUnicodeStringToString(&link, port_name);
    if (NT_SUCCESS(status))
        status = IoCreateSymbolicLink(&link, &device_name);
    if (NT_SUCCESS(status))
        /* Where programs look for the machine's serial ports. */
        status = RtlWriteRegistryValue(RTL_REGISTRY_DEVICEMAP, L"SERIALCOMM", DEVICE_NAME, REG_SZ,
                                       port_name->Buffer, port_name->Length + sizeof(WCHAR));
    return status;
}

NTSTATUS DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registry_path)
{
    WCHAR port_name_buffer[NAME_CHARS] = { 0 };
    WCHAR pty_path_buffer[NAME_CHARS] = { 0 };
    WCHAR line_log_buffer[NAME_CHARS] = { 0 };
    UNICODE_STRING port_name = { 0, sizeof(port_name_buffer) - sizeof(WCHAR), port_name_buffer };
    UNICODE_STRING pty_path = { 0, sizeof(pty_path_buffer) - sizeof(WCHAR), pty_path_buffer };
    UNICODE_STRING line_log = { 0, sizeof(line_log_buffer) - sizeof(WCHAR), line_log_buffer };
    ULONG stray_rxchar = 0;
    RTL_QUERY_REGISTRY_TABLE query[5];
    RtlZeroMemory(query, sizeof(query));
    query[0].Flags = RTL_QUERY_REGISTRY_DIRECT | RTL_QUERY_REGISTRY_REQUIRED;
    query[0].Name = L"PortName";
    query[0].EntryContext = &port_name;
    query[1].Flags = RTL_QUERY_REGISTRY_DIRECT | RTL_QUERY_REGISTRY_REQUIRED;
    query[1].Name = L"PtyPath";
    query[1].EntryContext = &pty_path;
    query[2].Flags = RTL_QUERY_REGISTRY_DIRECT;
    query[2].Name = L"StrayRxChar";
    query[2].EntryContext = &stray_rxchar;
    query[3].Flags = RTL_QUERY_REGISTRY_DIRECT;
    query[3].Name = L"LineLog";
    query[3].EntryContext = &line_log;
    NTSTATUS status = RtlQueryRegistryValues(RTL_REGISTRY_ABSOLUTE, registry_path->Buffer, query, NULL, NULL);
    if (!NT_SUCCESS(status))
        return status;
    port.stray_rxchar = stray_rxchar != 0;

    port.baud_rate.BaudRate = 9600;
    port.line_control.WordLength = 8;
    port.handflow.ControlHandShake = SERIAL_DTR_CONTROL;
    port.handflow.FlowReplace = SERIAL_RTS_CONTROL;
    if (line_log.Length > 0) {
        status = open_unix_file(&port.line_log, &line_log, FILE_APPEND_DATA, FILE_OPEN_IF);
        if (!NT_SUCCESS(status))
            return status;
        port.handflow.ControlHandShake &= ~SERIAL_DTR_MASK;
    }
    set_lines(lines_from_handflow());
    port.chars.XonChar = 0x11;
    port.chars.XoffChar = 0x13;

    status = open_line(&pty_path);
    if (!NT_SUCCESS(status))
        return status;
    status = create_port(driver, &port_name);
    if (!NT_SUCCESS(status))
        return status;
    for (int i = 0; i <= IRP_MJ_MAXIMUM_FUNCTION; ++i)
        driver->MajorFunction[i] = dispatch;

    HANDLE thread;
    status = PsCreateSystemThread(&thread, THREAD_ALL_ACCESS, NULL, NULL, NULL, reader, NULL);
    if (NT_SUCCESS(status))
        ZwClose(thread);
    return status;
}
