#ifndef BOOTLOADERSIM_H
#define BOOTLOADERSIM_H

#include <QByteArray>
#include <QMetaType>
#include <QMutex>
#include <QString>
#include <QVector>

#include <atomic>
#include <functional>
#include <thread>

#include <termios.h>

// One command as the device saw it on the line.
struct Transaction
{
    qint32 code = 0;
    QByteArray params;
};

// What the simulated device does once it has received a whole command.
struct Answer
{
    struct Piece
    {
        int delay_ms = 0; // pause before these bytes
        QByteArray bytes;
    };
    QVector<Piece> pieces;
    bool hang_up = false; // close the line after the pieces
    bool flood = false;   // after the pieces, send without end until stopped

    static Answer silence() { return {}; }
    static Answer reply(const QByteArray &bytes) { return {{{0, bytes}}, false, false}; }
    static Answer ack() { return reply(QByteArray("\x02\x00\x00\x00", 4)); }
    static Answer hangUp() { return {{}, true, false}; }
    static Answer endless() { return {{}, false, true}; }
};
Q_DECLARE_METATYPE(Answer)

// A boot loader on the master side of a pseudo-terminal. The program opens
// portName() (the slave) with its own QSerialPort; a thread here parses what
// arrives into commands, records every byte and answers from a script.
class BootLoaderSim
{
public:
    // Decides the answer to the n-th command (counted from 0).
    using Script = std::function<Answer(const Transaction &command, int n)>;

    BootLoaderSim();
    ~BootLoaderSim();
    BootLoaderSim(const BootLoaderSim &) = delete;
    BootLoaderSim &operator=(const BootLoaderSim &) = delete;

    QString portName() const { return slave_path; }

    // Answers ACK to every command but the end of transfer, which gets none.
    static Answer answerLikeDevice(const Transaction &command, int);
    void setScript(Script script);

    QByteArray received() const;
    QVector<Transaction> transactions() const;
    bool waitForTransactions(int count, int timeout_ms = 5000) const;

    // Whether some descriptor of this process other than the simulator's own
    // has the slave open, i.e. whether the program holds the port.
    bool portHeldOpen() const;

    // The line settings the program's port put on the terminal.
    termios lineSettings() const;

    void hangUp() { hang_up_requested = true; }

    // Parameter bytes that follow the command word, given what has arrived of
    // the parameters so far; -1 while that cannot be told yet.
    static int paramLength(qint32 code, const QByteArray &params_so_far);

private:
    void run();
    void consume(const QByteArray &bytes);
    void answer(const Answer &answer);
    bool writeAll(const QByteArray &bytes);
    void closeMaster();

    int master_fd = -1;
    int slave_fd = -1; // kept open so that the line stays up between the program's opens
    QString slave_path;

    mutable QMutex mutex;
    Script script;
    QByteArray all_received;
    QByteArray pending;
    QVector<Transaction> parsed;

    std::atomic<bool> stop{false};
    std::atomic<bool> hang_up_requested{false};
    std::thread worker;
};

#endif // BOOTLOADERSIM_H
