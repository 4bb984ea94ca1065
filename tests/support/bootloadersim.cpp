#include "bootloadersim.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QThread>
#include <QtEndian>

#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <stdexcept>

namespace {
constexpr int POLL_MS = 5;
constexpr int FLOOD_CHUNK = 256;
}

BootLoaderSim::BootLoaderSim()
    : script(&BootLoaderSim::answerLikeDevice)
{
    char name[128] = {};
    if (openpty(&master_fd, &slave_fd, name, nullptr, nullptr) != 0)
        throw std::runtime_error("openpty failed");
    // Raw from the start: no echo, no line editing, whoever opens the slave.
    termios settings{};
    tcgetattr(slave_fd, &settings);
    cfmakeraw(&settings);
    tcsetattr(slave_fd, TCSANOW, &settings);
    slave_path = QString::fromLocal8Bit(name);
    worker = std::thread(&BootLoaderSim::run, this);
}

BootLoaderSim::~BootLoaderSim()
{
    stop = true;
    worker.join();
    closeMaster();
    ::close(slave_fd);
}

Answer BootLoaderSim::answerLikeDevice(const Transaction &command, int)
{
    return command.code == 4 ? Answer::silence() : Answer::ack();
}

void BootLoaderSim::setScript(Script new_script)
{
    QMutexLocker lock(&mutex);
    script = std::move(new_script);
}

QByteArray BootLoaderSim::received() const
{
    QMutexLocker lock(&mutex);
    return all_received;
}

QVector<Transaction> BootLoaderSim::transactions() const
{
    QMutexLocker lock(&mutex);
    return parsed;
}

bool BootLoaderSim::waitForTransactions(int count, int timeout_ms) const
{
    QElapsedTimer waited;
    waited.start();
    while (transactions().size() < count) {
        if (waited.hasExpired(timeout_ms))
            return false;
        QThread::msleep(1);
    }
    return true;
}

bool BootLoaderSim::portHeldOpen() const
{
    const QFileInfoList fds = QDir(QStringLiteral("/proc/self/fd")).entryInfoList(QDir::System | QDir::Files);
    for (const QFileInfo &fd : fds) {
        if (fd.fileName().toInt() != slave_fd && fd.symLinkTarget() == slave_path)
            return true;
    }
    return false;
}

termios BootLoaderSim::lineSettings() const
{
    termios settings{};
    tcgetattr(slave_fd, &settings);
    return settings;
}

int BootLoaderSim::paramLength(qint32 code, const QByteArray &params_so_far)
{
    switch (code) {
    case 2:
        return 12;
    case 5:
        return 8;
    case 3:
        if (params_so_far.size() < 4)
            return -1;
        return 4 + qFromLittleEndian<qint32>(params_so_far.constData());
    default:
        return 0;
    }
}

void BootLoaderSim::run()
{
    while (!stop) {
        if (hang_up_requested && master_fd >= 0)
            closeMaster();
        if (master_fd < 0) {
            QThread::msleep(POLL_MS);
            continue;
        }
        pollfd watch{master_fd, POLLIN, 0};
        if (poll(&watch, 1, POLL_MS) <= 0)
            continue;
        char buffer[4096];
        const ssize_t got = ::read(master_fd, buffer, sizeof buffer);
        if (got > 0)
            consume(QByteArray(buffer, int(got)));
        else
            QThread::msleep(POLL_MS); // nobody has the slave open yet
    }
}

void BootLoaderSim::consume(const QByteArray &bytes)
{
    QVector<std::pair<Transaction, int>> complete;
    Script current;
    {
        QMutexLocker lock(&mutex);
        all_received += bytes;
        pending += bytes;
        while (pending.size() >= 4) {
            const qint32 code = qFromLittleEndian<qint32>(pending.constData());
            const QByteArray params_so_far = pending.mid(4);
            const int length = paramLength(code, params_so_far);
            if (length < 0 || params_so_far.size() < length)
                break;
            complete.append({{code, params_so_far.left(length)}, parsed.size()});
            parsed.append(complete.last().first);
            pending.remove(0, 4 + length);
        }
        current = script;
    }
    for (const auto &command : complete)
        answer(current(command.first, command.second));
}

void BootLoaderSim::answer(const Answer &answer)
{
    for (const Answer::Piece &piece : answer.pieces) {
        QThread::msleep(piece.delay_ms);
        if (!writeAll(piece.bytes))
            return;
    }
    if (answer.hang_up)
        hang_up_requested = true;
    if (answer.flood) {
        const QByteArray chunk(FLOOD_CHUNK, '\x02');
        while (!stop && !hang_up_requested && writeAll(chunk)) {
        }
    }
}

bool BootLoaderSim::writeAll(const QByteArray &bytes)
{
    int written = 0;
    while (written < bytes.size()) {
        if (stop || hang_up_requested || master_fd < 0)
            return false;
        pollfd watch{master_fd, POLLOUT, 0};
        if (poll(&watch, 1, POLL_MS) <= 0)
            continue;
        const ssize_t sent = ::write(master_fd, bytes.constData() + written, size_t(bytes.size() - written));
        if (sent < 0)
            return false;
        written += int(sent);
    }
    return true;
}

void BootLoaderSim::closeMaster()
{
    if (master_fd >= 0)
        ::close(master_fd);
    master_fd = -1;
}
