#include "mainwindow.h"
#include "protocol.h"

#include <QComboBox>
#include <QDebug>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QSerialPort>
#include <QSettings>

#include <limits>

#ifdef Q_OS_WIN
#include <qt_windows.h>
#include <mmsystem.h>
#endif

namespace {

const QString LAST_IMAGE_KEY = QStringLiteral("default_dir");

constexpr quint32 CRC_POLYNOMIAL = 0x1EDC6F41;

// The largest image one byte array can hold: its count is a signed 32-bit
// number and its header takes a few bytes of that.
constexpr qint64 IMAGE_MAX_BYTES = std::numeric_limits<int>::max() - 32;

QByteArray image_descriptor(qint32 length, quint32 checksum)
{
    return le32(DESCRIPTOR_FIXED_WORD) + le32(quint32(length)) + le32(checksum);
}

bool accepted_handshake(const QByteArray &reply)
{
    return !reply.isEmpty() && reply.at(0) == ACK;
}

#ifdef Q_OS_WIN
// Windows ends the serial waits on its timer tick, 15.6 ms unless asked for
// finer, which would stretch every reply's 10 ms of silence. The fine tick
// costs battery, so it is held for one run only, however that run ends.
class FineTimerTick
{
public:
    FineTimerTick() { timeBeginPeriod(FINE_TICK_MS); }
    ~FineTimerTick() { timeEndPeriod(FINE_TICK_MS); }
    FineTimerTick(const FineTimerTick &) = delete;
    FineTimerTick &operator=(const FineTimerTick &) = delete;

private:
    static constexpr UINT FINE_TICK_MS = 1;
};
#endif

} // namespace

void MainWindow::fileload()
{
    QSettings settings;
    const QString last_image = settings.value(LAST_IMAGE_KEY, QVariant()).toString();

    file_name = QFileDialog::getOpenFileName(this, tr("Please choose a file"), last_image,
                                             tr("Bin Files (*.bin);;All Files (*)"));
    qInfo() << "Load file: " << file_name;

    if (!file_name.isEmpty())
        settings.setValue(LAST_IMAGE_KEY, QFileInfo(file_name).absoluteFilePath());
    image_path_edit->setText(file_name);
}

quint32 MainWindow::image_crc(const char *data, qint64 length)
{
    quint32 crc = 0;
    for (qint64 i = 0; i < length; ++i) {
        crc ^= quint32(quint8(data[i])) << 24;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 0x80000000u) ? (crc << 1) ^ CRC_POLYNOMIAL : crc << 1;
    }
    return crc;
}

// Reads the chosen image whole. A file that cannot be opened or read whole is
// reported in a message box: an image is never flashed in part.
bool MainWindow::read_image(QByteArray &image)
{
    QFile file(file_name);
    QString problem;
    if (!file.open(QIODevice::ReadOnly)) {
        problem = file.errorString();
    } else if (file.isSequential()) {
        // A device or pipe has no size to announce and may never end.
        problem = tr("The image must be a file of fixed size, not a device or a pipe.");
    } else if (file.size() > IMAGE_MAX_BYTES) {
        problem = tr("The image is too large to flash: %1 bytes, at most %2 bytes fit.")
                      .arg(file.size())
                      .arg(IMAGE_MAX_BYTES);
    } else {
        image = file.readAll();
        if (image.size() != file.size())
            problem = tr("The image could not be read whole: %1 of %2 bytes read. %3")
                          .arg(image.size())
                          .arg(file.size())
                          .arg(file.errorString());
    }
    if (problem.isEmpty())
        return true;
    QMessageBox::information(this, tr("Choose file to flash"), problem);
    return false;
}

void MainWindow::connectclick()
{
    if (file_name.isEmpty()) {
        log_message(QStringLiteral("Press load button to load file"));
        return;
    }

    QByteArray image;
    if (!read_image(image))
        return;
    const qint32 length = image.size();
    const quint32 checksum = image_crc(image.constData(), length);
    log_message(QStringLiteral("File size : ") + QString::number(length) + QStringLiteral(" CRC : ")
                + QString::number(checksum));

#ifdef Q_OS_WIN
    const FineTimerTick fine_tick;
#endif
    if (open_port(port_chooser->currentText()) != 0)
        return;

    progress_bar->setValue(0);
    QByteArray reply = send_command(CMD_BEGIN, image_descriptor(length, checksum), REPLY_SIZE);
    qInfo() << "Response size : " << reply.size();
    if (!accepted_handshake(reply)) {
        log_message(QStringLiteral("Fail to get Ack! 1"));
        return;
    }

    reply = send_command(CMD_SETUP, le64(SETUP_VALUE), REPLY_SIZE);
    log_message(QStringLiteral("Response size is : ") + QString::number(reply.size()));
    if (!accepted_handshake(reply)) {
        log_message(QStringLiteral("Fail to get Ack! 2"));
        return;
    }

    // floor(L / 512) + 1 packets: the last one carries L mod 512 bytes, none
    // at all when L is a multiple of 512.
    const qint32 last_packet = length / PACKET_SIZE;
    qint32 offset = 0;
    for (qint32 i = 0; i <= last_packet; ++i) {
        const qint32 n = qMin(length - offset, PACKET_SIZE);
        const QByteArray packet = le32(quint32(n)) + image.mid(offset, n);
        log_message(QString::number(i) + QStringLiteral(" Send pckt size : ") + QString::number(n));

        reply = send_command(CMD_DATA, packet, REPLY_SIZE);
        log_message(QString::number(i) + QStringLiteral(" Response len : ") + QString::number(reply.size()));
        if (reply.size() != REPLY_SIZE)
            return;

        offset += n;
        // An image shorter than one packet travels in a single, final packet.
        progress_bar->setValue(last_packet == 0 ? 100 : 100 * i / last_packet);
        update();
    }

    send_command(CMD_END, QByteArray(), 0);
    progress_bar->setValue(100);
    log_message(QStringLiteral("Done!"));
    serial->close();
}
