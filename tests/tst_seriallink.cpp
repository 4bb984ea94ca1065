#include "bootloadersim.h"
#include "mainwindow.h"
#include "porttooltip.h"
#include "protocol.h"
#include "testsupport.h"

#include <QComboBox>
#include <QSerialPort>
#include <QSerialPortInfo>
#include <QtTest>

namespace {

const QByteArray ACK_REPLY("\x02\x00\x00\x00", 4);

QString debugLine(int reply_length, int expected)
{
    return QStringLiteral("response length is   %1  expected : %2").arg(reply_length).arg(expected);
}

// A window whose port is open on a fresh simulated device.
struct Line
{
    BootLoaderSim device;
    MainWindow window;

    int open_result = window.open_port(device.portName());
};

} // namespace

class SerialLinkTest : public QObject
{
    Q_OBJECT

private slots:
    void openPortSetsTheLine();
    void openPortFailures_data();
    void openPortFailures();
    void openPortClosesBeforeOpening();
    void reloadClosesAndListsPortsAfresh();

    void commandBytesOnTheLine_data();
    void commandBytesOnTheLine();
    void sendOnlyLeavesTheAnswerInTheBuffer_data();
    void sendOnlyLeavesTheAnswerInTheBuffer();
    void replyIsCollectedUntilSilence_data();
    void replyIsCollectedUntilSilence();
    void replyAfterALongPauseStartsTheNextReply();
    void silentDeviceTimesOut();
    void endlessSenderIsCutOff();
    void hangUpClosesThePortAndTheLoopStaysIdle();
};

void SerialLinkTest::openPortSetsTheLine()
{
    Line line;
    QCOMPARE(line.open_result, 0);
    QVERIFY(line.device.portHeldOpen());
    QCOMPARE(logMessages(line.window), QStringList{"Opening serial port : " + line.device.portName()});

    const termios settings = line.device.lineSettings();
    QCOMPARE(cfgetispeed(&settings), speed_t(B921600));
    QCOMPARE(cfgetospeed(&settings), speed_t(B921600));
    QCOMPARE(settings.c_cflag & CSIZE, tcflag_t(CS8));
    QCOMPARE(settings.c_cflag & (PARENB | CSTOPB | CRTSCTS), tcflag_t(0));
    QCOMPARE(settings.c_iflag & (IXON | IXOFF), tcflag_t(0));
}

void SerialLinkTest::openPortFailures_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("no such device") << "/dev/quoril-no-such-port";
    QTest::newRow("empty name") << "";
    QTest::newRow("held by another port") << "held";
}

void SerialLinkTest::openPortFailures()
{
    QFETCH(QString, name);
    BootLoaderSim device;
    QSerialPort other;
    if (name == QLatin1String("held")) {
        name = device.portName();
        other.setPortName(name);
        QVERIFY(other.open(QIODevice::ReadWrite));
    }

    MainWindow window;
    QCOMPARE(window.open_port(name), -1);
    QCOMPARE(logMessages(window), (QStringList{"Opening serial port : " + name, "Open port failed!"}));
}

void SerialLinkTest::openPortClosesBeforeOpening()
{
    BootLoaderSim first;
    BootLoaderSim second;
    MainWindow window;

    QCOMPARE(window.open_port(first.portName()), 0);
    QCOMPARE(window.open_port(first.portName()), 0);
    QVERIFY(first.portHeldOpen());

    QCOMPARE(window.open_port(second.portName()), 0);
    QVERIFY(!first.portHeldOpen());
    QVERIFY(second.portHeldOpen());

    // A failed open leaves no port open at all.
    QCOMPARE(window.open_port(QStringLiteral("/dev/quoril-no-such-port")), -1);
    QVERIFY(!second.portHeldOpen());
}

void SerialLinkTest::reloadClosesAndListsPortsAfresh()
{
    Line line;
    selectPort(line.window, line.device.portName());
    QVERIFY(line.device.portHeldOpen());

    clickButton(line.window, "pushButton_3");

    QVERIFY(!line.device.portHeldOpen());
    QStringList reported;
    QStringList reported_tooltips;
    for (const QSerialPortInfo &port : QSerialPortInfo::availablePorts()) {
        reported << port.portName();
        reported_tooltips << port_tooltip(port_fields(port));
    }
    auto *chooser = widget<QComboBox>(line.window, "comboBox");
    QStringList listed;
    QStringList tooltips;
    for (int i = 0; i < chooser->count(); ++i) {
        listed << chooser->itemText(i);
        tooltips << chooser->itemData(i, Qt::ToolTipRole).toString();
        QCOMPARE(chooser->itemData(i, Qt::AccessibleDescriptionRole).toString(), tooltips.last());
    }
    QCOMPARE(listed, reported);
    QCOMPARE(tooltips, reported_tooltips);
    // Every port has a location at least.
    QVERIFY(!tooltips.contains(QString()));
    QCOMPARE(chooser->currentIndex(), reported.isEmpty() ? -1 : 0);
    QCOMPARE(chooser->toolTip(), reported_tooltips.value(0));
}

void SerialLinkTest::commandBytesOnTheLine_data()
{
    QTest::addColumn<qint32>("code");
    QTest::addColumn<QByteArray>("params");
    QTest::addColumn<QByteArray>("onTheLine");

    QTest::newRow("code and parameters")
        << qint32(3) << QByteArray("\x02\x00\x00\x00\xAB\xCD", 6)
        << QByteArray("\x03\x00\x00\x00\x02\x00\x00\x00\xAB\xCD", 10);
    QTest::newRow("negative code") << qint32(-2) << QByteArray() << QByteArray("\xFE\xFF\xFF\xFF", 4);
    QTest::newRow("no parameters") << qint32(4) << QByteArray() << QByteArray("\x04\x00\x00\x00", 4);
}

void SerialLinkTest::commandBytesOnTheLine()
{
    QFETCH(qint32, code);
    QFETCH(QByteArray, params);
    QFETCH(QByteArray, onTheLine);

    Line line;
    line.device.setScript([](const Transaction &, int) { return Answer::silence(); });
    InfoCapture info;
    QCOMPARE(line.window.send_command(code, params, 0), QByteArray());
    QVERIFY(line.device.waitForTransactions(1));
    QCOMPARE(line.device.received(), onTheLine);
    QCOMPARE(line.device.transactions().first().code, code);
    QCOMPARE(info.lines(), QStringList{debugLine(0, 0)});
    QCOMPARE(logMessages(line.window).size(), 1); // only the opening line: no failure
}

void SerialLinkTest::sendOnlyLeavesTheAnswerInTheBuffer_data()
{
    QTest::addColumn<qint32>("expected");
    QTest::newRow("zero") << 0;
    QTest::newRow("negative") << -1;
}

void SerialLinkTest::sendOnlyLeavesTheAnswerInTheBuffer()
{
    QFETCH(qint32, expected);
    Line line;
    line.device.setScript([](const Transaction &, int n) {
        return Answer::reply(n == 0 ? QByteArray("early") : QByteArray("late"));
    });
    InfoCapture info;

    QCOMPARE(line.window.send_command(CMD_END, QByteArray(), expected), QByteArray());
    QCOMPARE(info.lines(), QStringList{debugLine(0, expected)});

    // The unread answer is still there, in front of the next collected reply.
    QVERIFY(line.device.waitForTransactions(1));
    QTest::qWait(50);
    QCOMPARE(line.window.send_command(CMD_END, QByteArray(), 4), QByteArray("earlylate"));
}

void SerialLinkTest::replyIsCollectedUntilSilence_data()
{
    QTest::addColumn<Answer>("answer");
    QTest::addColumn<QByteArray>("reply");

    QTest::newRow("as expected") << Answer::ack() << ACK_REPLY;
    QTest::newRow("longer than expected") << Answer::reply("\x02\x01\x02\x03\x04\x05") << QByteArray("\x02\x01\x02\x03\x04\x05");
    QTest::newRow("in pieces with short pauses")
        << Answer{{{0, "\x02"}, {2, QByteArray(1, '\0')}, {2, "\x07"}, {2, "\x08"}}, false, false}
        << QByteArray("\x02\x00\x07\x08", 4);
}

void SerialLinkTest::replyIsCollectedUntilSilence()
{
    QFETCH(Answer, answer);
    QFETCH(QByteArray, reply);

    Line line;
    line.device.setScript([&](const Transaction &, int) { return answer; });
    InfoCapture info;
    QCOMPARE(line.window.send_command(CMD_SETUP, QByteArray(8, '\0'), 4), reply);
    QCOMPARE(info.lines(), QStringList{debugLine(reply.size(), 4)});
    QCOMPARE(logMessages(line.window).size(), 1); // lengths are not judged here
}

void SerialLinkTest::replyAfterALongPauseStartsTheNextReply()
{
    Line line;
    line.device.setScript([](const Transaction &, int n) {
        return n == 0 ? Answer{{{0, "AB"}, {50, "CD"}}, false, false} : Answer::reply("EF");
    });
    // "AB" is all that was expected, so the pause ends it.
    QCOMPARE(line.window.send_command(CMD_END, QByteArray(), 2), QByteArray("AB"));
    QTest::qWait(100);
    QCOMPARE(line.window.send_command(CMD_END, QByteArray(), 4), QByteArray("CDEF"));
}

void SerialLinkTest::silentDeviceTimesOut()
{
    Line line;
    line.device.setScript([](const Transaction &, int) { return Answer::silence(); });
    InfoCapture info;
    QElapsedTimer waited;
    waited.start();

    QCOMPARE(line.window.send_command(CMD_SETUP, QByteArray(8, '\0'), 4), QByteArray());
    QVERIFY(waited.elapsed() >= REPLY_TIMEOUT_MS - 50);
    QCOMPARE(logMessages(line.window).last(), QStringLiteral("Error read response timeout"));
    QCOMPARE(info.lines(), QStringList{debugLine(0, 4)});
}

void SerialLinkTest::endlessSenderIsCutOff()
{
    Line line;
    line.device.setScript([](const Transaction &, int) { return Answer::endless(); });
    const QByteArray reply = line.window.send_command(CMD_SETUP, QByteArray(8, '\0'), 4);
    QCOMPARE(reply.size(), REPLY_MAX_BYTES);
    QCOMPARE(reply.count('\x02'), REPLY_MAX_BYTES);
}

void SerialLinkTest::hangUpClosesThePortAndTheLoopStaysIdle()
{
    Line line;
    line.device.setScript([](const Transaction &, int) {
        return Answer{{{0, "\x02"}}, true, false};
    });
    line.window.send_command(CMD_SETUP, QByteArray(8, '\0'), 4);
    QVERIFY(line.device.waitForTransactions(1));
    QTest::qWait(50); // the hang-up reaches the port

    const double cpu_before = processCpuSeconds();
    QTest::qWait(1000);
    const double cpu_used = processCpuSeconds() - cpu_before;

    QVERIFY2(cpu_used < 0.3, qPrintable(QStringLiteral("%1 s of CPU in 1 s idle").arg(cpu_used)));
    QVERIFY(!line.device.portHeldOpen());
}

QTEST_MAIN(SerialLinkTest)
#include "tst_seriallink.moc"
