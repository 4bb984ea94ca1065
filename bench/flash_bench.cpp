// Prints what the program adds on top of the line and the protocol's pauses:
// flash timing against a device that answers at once, checksum throughput,
// start-up time against a bare window, and peak memory.

#include "bootloadersim.h"
#include "mainwindow.h"
#include "protocol.h"
#include "testsupport.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QIcon>
#include <QProcess>
#include <QSerialPortInfo>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

namespace {

constexpr int STARTUP_RUNS = 15;
constexpr int CRC_BUFFER_BYTES = 64 * 1024 * 1024;
const char SHOW_WINDOW[] = "--show-window";

void benchFlash(const QTemporaryDir &folder, int length, bool report = true)
{
    BootLoaderSim device;
    MainWindow window;
    selectPort(window, device.portName());
    const QString path = folder.filePath(QStringLiteral("image-%1.bin").arg(length));
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(randomBytes(length));
    file.close();
    chooseImage(window, path);

    InfoCapture quiet; // the per-command debug lines would swamp the figures
    const double cpu_before = processCpuSeconds();
    QElapsedTimer wall;
    wall.start();
    clickButton(window, "pushButton_2");
    const double wall_s = wall.nsecsElapsed() / 1e9;
    const double cpu_s = processCpuSeconds() - cpu_before;

    if (!report)
        return;
    const int packets = length / PACKET_SIZE + 1;
    const bool done = logMessages(window).last() == QLatin1String("Done!");
    std::printf("flash %7d bytes: %4d packets, %6.3f s wall, %6.3f ms per packet, "
                "wall / (packets x %d ms) = %.3f, CPU / wall = %4.1f %%%s\n",
                length, packets, wall_s, wall_s * 1000 / packets, REPLY_GAP_MS,
                wall_s / (packets * REPLY_GAP_MS / 1000.0), 100 * cpu_s / wall_s,
                done ? "" : "  (FAILED: no Done!)");
}

// The same exchange as one packet of a flash, written straight onto the
// terminal without Qt: the floor that the simulator and the pseudo-terminal
// allow, against which the program's own overhead shows.
void benchRawExchange(int packets)
{
    BootLoaderSim device;
    const int fd = ::open(device.portName().toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
    termios raw{};
    tcgetattr(fd, &raw);
    cfmakeraw(&raw);
    tcsetattr(fd, TCSANOW, &raw);

    const QByteArray command = le32(quint32(CMD_DATA));
    const QByteArray packet = le32(PACKET_SIZE) + QByteArray(PACKET_SIZE, 'x');
    char reply[64];
    QElapsedTimer wall;
    wall.start();
    for (int i = 0; i < packets; ++i) {
        // The word is sent before the parameters, as the program does.
        const bool sent = ::write(fd, command.constData(), size_t(command.size())) == command.size()
            && tcdrain(fd) == 0 && ::write(fd, packet.constData(), size_t(packet.size())) == packet.size();
        if (!sent) {
            std::fprintf(stderr, "raw exchange: the terminal refused a write\n");
            break;
        }
        pollfd watch{fd, POLLIN, 0};
        while (::read(fd, reply, sizeof reply) > 0 && poll(&watch, 1, REPLY_GAP_MS) > 0) {
        }
    }
    const double wall_s = wall.nsecsElapsed() / 1e9;
    ::close(fd);
    std::printf("raw exchange without Qt: %4d packets, %6.3f ms per packet, wall / (packets x %d ms) = %.3f\n",
                packets, wall_s * 1000 / packets, REPLY_GAP_MS, wall_s / (packets * REPLY_GAP_MS / 1000.0));
}

void benchChecksum()
{
    const QByteArray buffer = randomBytes(CRC_BUFFER_BYTES);
    QElapsedTimer timer;
    timer.start();
    const quint32 crc = MainWindow::image_crc(buffer.constData(), buffer.size());
    const double seconds = timer.nsecsElapsed() / 1e9;
    std::printf("checksum over %d MiB: %.1f MB/s (crc %08x)\n", CRC_BUFFER_BYTES >> 20,
                CRC_BUFFER_BYTES / 1e6 / seconds, crc);
}

// Milliseconds from starting this program anew until its window is shown and
// it has quit, the median of several runs.
double medianStartupMs(const QString &kind)
{
    QVector<double> runs;
    for (int i = 0; i < STARTUP_RUNS; ++i) {
        QProcess child;
        QElapsedTimer timer;
        timer.start();
        child.start(QCoreApplication::applicationFilePath(), {QLatin1String(SHOW_WINDOW), kind});
        child.waitForFinished();
        runs << timer.nsecsElapsed() / 1e6;
    }
    std::sort(runs.begin(), runs.end());
    return runs.at(runs.size() / 2);
}

// What the window's constructor spends listing the serial ports.
void benchPortListing()
{
    QVector<double> runs;
    for (int i = 0; i < STARTUP_RUNS; ++i) {
        QElapsedTimer timer;
        timer.start();
        QSerialPortInfo::availablePorts();
        runs << timer.nsecsElapsed() / 1e6;
    }
    std::sort(runs.begin(), runs.end());
    std::printf("listing the serial ports (median of %d): %.1f ms\n", STARTUP_RUNS, runs.at(runs.size() / 2));
}

// The child of medianStartupMs: start-up as the program does it, then quit
// as soon as the window is on screen.
int showWindowAndQuit(int argc, char **argv, const QString &kind)
{
    QApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("quoril"));
    app.setOrganizationName(QStringLiteral("lumbo"));
    QScopedPointer<QMainWindow> window(kind == QLatin1String("quoril") ? new MainWindow : new QMainWindow);
    window->setWindowIcon(QIcon(QStringLiteral(":icons/logo1.png")));
    window->show();
    QTimer::singleShot(0, &app, &QCoreApplication::quit);
    return app.exec();
}

} // namespace

int main(int argc, char **argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (argc == 3 && qstrcmp(argv[1], SHOW_WINDOW) == 0)
        return showWindowAndQuit(argc, argv, QString::fromLatin1(argv[2]));

    // Keep the benchmark's own choices out of the person's settings.
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", home.path().toLocal8Bit());
    QApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("quoril"));
    app.setOrganizationName(QStringLiteral("lumbo"));
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, home.path());

    benchFlash(home, 4 * 1024, false); // warm-up: first dialog, first port, caches
    benchFlash(home, 64 * 1024);
    benchFlash(home, 1024 * 1024);
    benchRawExchange(64 * 1024 / PACKET_SIZE + 1);
    benchChecksum();

    const double quoril_ms = medianStartupMs(QStringLiteral("quoril"));
    const double bare_ms = medianStartupMs(QStringLiteral("bare"));
    std::printf("start-up to window shown (median of %d): %.1f ms, bare QMainWindow %.1f ms, ratio %.2f\n",
                STARTUP_RUNS, quoril_ms, bare_ms, quoril_ms / bare_ms);
    benchPortListing();

    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("peak resident memory of this process: %.1f MiB\n", usage.ru_maxrss / 1024.0);
    return 0;
}
