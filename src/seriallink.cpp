#include "mainwindow.h"
#include "porttooltip.h"
#include "protocol.h"

#include <QComboBox>
#include <QDebug>
#include <QElapsedTimer>
#include <QSerialPort>
#include <QSerialPortInfo>

#ifdef Q_OS_LINUX
#include <linux/serial.h>
#include <sys/ioctl.h>
#endif

namespace {

constexpr int REPLY_POLL_MS = 1; // slice of a wait for bytes still to come

// The serial library's ready signal alone can miss a reply: on Windows it
// takes the reply into the port's buffer and may then report no data, when a
// spurious "data arrived" event ends in an empty read. So bytes that the
// buffer holds count as arrived, whatever the wait said.
bool arrived(QSerialPort &port, int wait_ms)
{
    return port.waitForReadyRead(wait_ms) || port.bytesAvailable() > 0;
}

// Waits up to timeout_ms for more bytes, in short slices, so that bytes the
// ready signal missed are seen within a slice.
bool wait_for_bytes(QSerialPort &port, qint64 timeout_ms)
{
    QElapsedTimer waiting;
    waiting.start();
    for (;;) {
        const qint64 left = timeout_ms - waiting.elapsed();
        if (left <= 0)
            return false;
        if (arrived(port, int(qMin<qint64>(left, REPLY_POLL_MS))))
            return true;
        // A line that is gone fails every wait at once; nothing more will come.
        if (port.error() != QSerialPort::TimeoutError)
            return false;
    }
}

// Takes what has arrived and keeps taking until the reply has its expected
// length and the line then falls silent for REPLY_GAP_MS. A pause inside a
// short reply does not end it: USB serial adapters hand a reply over in two
// parts when it straddles their latency timer's tick. A device that never
// falls silent, or never completes its reply, is cut off by size and time;
// whatever it sends beyond that stays in the port's buffer.
QByteArray collect_reply(QSerialPort &port, int expected_length)
{
    QElapsedTimer collecting;
    collecting.start();
    QByteArray reply = port.read(REPLY_MAX_BYTES);
    while (reply.size() < REPLY_MAX_BYTES && !collecting.hasExpired(REPLY_TIMEOUT_MS)) {
        const bool more = reply.size() < expected_length
            ? wait_for_bytes(port, REPLY_TIMEOUT_MS - collecting.elapsed())
            : arrived(port, REPLY_GAP_MS);
        if (!more)
            break;
        reply += port.read(REPLY_MAX_BYTES - reply.size());
    }
    return reply;
}

#ifdef Q_OS_LINUX
// USB serial adapters hold received bytes until their latency timer runs out,
// 16 ms by default; on request, drivers such as ftdi_sio pass them on within
// 1 ms. Lines that have no such setting, a pseudo-terminal among them, refuse,
// and the port works as it is.
void request_low_latency(QSerialPort &port)
{
    const int fd = int(port.handle());
    serial_struct line{};
    if (ioctl(fd, TIOCGSERIAL, &line) == 0 && !(line.flags & ASYNC_LOW_LATENCY)) {
        line.flags |= ASYNC_LOW_LATENCY;
        ioctl(fd, TIOCSSERIAL, &line);
    }
}
#endif

// The closed chooser tells the chosen port as its entry in the open list does.
void show_chosen_port_tooltip(QComboBox &chooser)
{
    chooser.setToolTip(chooser.currentData(Qt::ToolTipRole).toString());
}

} // namespace

void MainWindow::create_serial_link()
{
    serial = new QSerialPort;

    // A vanished device (adapter unplugged, line hung up) makes an open port
    // report the same error from every turn of the event loop. A failed run
    // leaves the port open, so close it here; queued, so that a transaction
    // under way finishes as it would anyway.
    connect(serial, &QSerialPort::errorOccurred, this, [this](QSerialPort::SerialPortError error) {
        const bool device_gone = error == QSerialPort::ReadError || error == QSerialPort::ResourceError;
        if (device_gone && serial->isOpen() && serial->error() == error)
            serial->close();
    }, Qt::QueuedConnection);

    connect(port_chooser, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            [this] { show_chosen_port_tooltip(*port_chooser); });
    fill_port_chooser();
}

void MainWindow::fill_port_chooser()
{
    const QList<QSerialPortInfo> ports = QSerialPortInfo::availablePorts();
    port_chooser->clear();
    // The name is what Program opens; the tooltip tells which device it is.
    for (const QSerialPortInfo &port : ports) {
        const QString tooltip = port_tooltip(port_fields(port));
        port_chooser->addItem(port.portName());
        const int entry = port_chooser->count() - 1;
        port_chooser->setItemData(entry, tooltip, Qt::ToolTipRole);
        port_chooser->setItemData(entry, tooltip, Qt::AccessibleDescriptionRole);
    }
    // The first entry was chosen before its tooltip was set.
    show_chosen_port_tooltip(*port_chooser);
}

void MainWindow::reload_action()
{
    serial->close();
    fill_port_chooser();
}

int MainWindow::open_port(const QString &name)
{
    log_message(QStringLiteral("Opening serial port : ") + name);
    serial->close();
    serial->setBaudRate(BAUD_RATE);
    serial->setPortName(name);
    if (!serial->open(QIODevice::ReadWrite)) {
        log_message(QStringLiteral("Open port failed!"));
        return -1;
    }
#ifdef Q_OS_WIN
    // Windows keeps DTR as the last program left it, and many USB devices send nothing while it is low.
    if (!serial->setDataTerminalReady(true))
        serial->clearError(); // a port without DTR works as before
#endif
#ifdef Q_OS_LINUX
    request_low_latency(*serial);
#endif
    return 0;
}

QByteArray MainWindow::send_command(qint32 code, const QByteArray &params, qint32 expected_length)
{
    QByteArray reply;

    serial->write(le32(quint32(code)));
    if (!serial->waitForBytesWritten(WRITE_TIMEOUT_MS))
        log_message(QStringLiteral("Error sending command"));

    if (!params.isEmpty()) {
        serial->write(params);
        if (!serial->waitForBytesWritten(WRITE_TIMEOUT_MS))
            log_message(QStringLiteral("Error sending params"));
    }

    if (expected_length > 0) {
        if (wait_for_bytes(*serial, REPLY_TIMEOUT_MS))
            reply = collect_reply(*serial, expected_length);
        else
            log_message(QStringLiteral("Error read response timeout"));
    }

    qInfo() << "response length is  " << reply.size() << " expected :" << expected_length;
    return reply;
}
