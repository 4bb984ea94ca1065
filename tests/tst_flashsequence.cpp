#include "bootloadersim.h"
#include "mainwindow.h"
#include "protocol.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

namespace {

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray result;
    for (int value : values)
        result.append(char(value));
    return result;
}

quint32 le32At(const QByteArray &block, int offset)
{
    return qFromLittleEndian<quint32>(block.constData() + offset);
}

QString sizeLine(const QByteArray &image)
{
    return QStringLiteral("File size : %1 CRC : %2")
        .arg(image.size())
        .arg(MainWindow::image_crc(image.constData(), image.size()));
}

// The image as the packets of a whole run carried it: every command between
// the setup and the end of transfer.
QByteArray imageOnTheLine(const QVector<Transaction> &commands)
{
    QByteArray image;
    for (int i = 2; i < commands.size() - 1; ++i)
        image += commands.at(i).params.mid(4);
    return image;
}

// A person at the window: an image chosen with Load, the simulated device's
// port chosen in the chooser, and Program pressed.
struct Station
{
    QTemporaryDir folder;
    BootLoaderSim device;
    MainWindow window;
    // send_command writes its debug line after every transaction, on this
    // thread: sampling the bar there shows it as each command went out.
    QVector<int> progress_at_transaction;
    InfoCapture info{[this](const QString &line) {
        if (line.startsWith(QLatin1String("response length is")))
            progress_at_transaction << progressValue(window);
    }};

    Station() { selectPort(window, device.portName()); }

    QString load(const QByteArray &image)
    {
        const QString path = folder.filePath(QStringLiteral("image.bin"));
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write(image);
        file.close();
        chooseImage(window, path);
        return path;
    }

    void program() { clickButton(window, "pushButton_2"); }

    void flash(const QByteArray &image)
    {
        load(image);
        program();
    }

    // Waits until the device has seen the whole run's commands.
    QVector<Transaction> commands(int count)
    {
        device.waitForTransactions(count);
        return device.transactions();
    }

    void answerAt(int failing_command, const Answer &answer)
    {
        device.setScript([=](const Transaction &command, int n) {
            return n == failing_command ? answer : BootLoaderSim::answerLikeDevice(command, n);
        });
    }
};

} // namespace

class FlashSequenceTest : public QObject
{
    Q_OBJECT

private slots:
    void threeByteImageOnTheLine();
    void thousandByteImageLogAndProgress();
    void checksumWithTopBitSet();
    void packetPlans_data();
    void packetPlans();
    void largeImageArrivesWhole();
    void typedPathIsNotWhatIsFlashed();

    void noImageChosen();
    void unreadableImage_data();
    void unreadableImage();
    void portCannotBeOpened();
    void refusedOrBrokenReplies_data();
    void refusedOrBrokenReplies();
    void acceptedUnusualReplies_data();
    void acceptedUnusualReplies();
    void repliesWithPauses_data();
    void repliesWithPauses();
    void silentSetup();
    void secondRunAfterAFailedOne();
    void deviceHangsUpMidStream();
    void deviceFloods();
};

void FlashSequenceTest::threeByteImageOnTheLine()
{
    Station station;
    station.flash("abc");

    QVERIFY(station.device.waitForTransactions(4));
    QCOMPARE(station.device.received(),
             bytes({0x02, 0, 0, 0, 0x00, 0x80, 0, 0, 0x03, 0, 0, 0, 0x94, 0x46, 0xEB, 0x72,
                    0x05, 0, 0, 0, 0x12, 0, 0, 0, 0, 0, 0, 0,
                    0x03, 0, 0, 0, 0x03, 0, 0, 0, 'a', 'b', 'c',
                    0x04, 0, 0, 0}));
}

void FlashSequenceTest::thousandByteImageLogAndProgress()
{
    Station station;
    const QByteArray image = randomBytes(1000);
    station.flash(image);

    QCOMPARE(logMessages(station.window),
             (QStringList{sizeLine(image), "Opening serial port : " + station.device.portName(),
                          "Response size is : 4", "0 Send pckt size : 512", "0 Response len : 4",
                          "1 Send pckt size : 488", "1 Response len : 4", "Done!"}));
    // At the descriptor, the setup and packet 0: 0; after packet 0: 0; after packet 1: 100.
    QCOMPARE(station.progress_at_transaction, (QVector<int>{0, 0, 0, 0, 100}));
    QCOMPARE(progressValue(station.window), 100);
    QVERIFY(!station.device.portHeldOpen());
    QVERIFY(station.info.lines().contains(QStringLiteral("Response size :  4")));

    const QVector<Transaction> commands = station.commands(5);
    QCOMPARE(commands.at(3).params.left(4), bytes({0xE8, 0x01, 0x00, 0x00}));
}

void FlashSequenceTest::checksumWithTopBitSet()
{
    Station station;
    station.flash("123456789");
    QCOMPARE(logMessages(station.window).first(), QStringLiteral("File size : 9 CRC : 3226642632"));
    QCOMPARE(station.commands(1).first().params, bytes({0x00, 0x80, 0, 0, 9, 0, 0, 0, 0xC8, 0xA8, 0x52, 0xC0}));
}

void FlashSequenceTest::packetPlans_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<QVector<int>>("payloads");
    QTest::addColumn<QVector<int>>("progressAfterEachPacket");

    QTest::newRow("empty") << 0 << QVector<int>{0} << QVector<int>{100};
    QTest::newRow("shorter than a packet") << 100 << QVector<int>{100} << QVector<int>{100};
    QTest::newRow("one packet exactly") << 512 << QVector<int>{512, 0} << QVector<int>{0, 100};
    QTest::newRow("three packets exactly") << 1536 << QVector<int>{512, 512, 512, 0} << QVector<int>{0, 33, 66, 100};
    QTest::newRow("ragged end") << 1300 << QVector<int>{512, 512, 276} << QVector<int>{0, 50, 100};
}

void FlashSequenceTest::packetPlans()
{
    QFETCH(int, length);
    QFETCH(QVector<int>, payloads);
    QFETCH(QVector<int>, progressAfterEachPacket);

    Station station;
    const QByteArray image = randomBytes(length);
    station.flash(image);

    const QVector<Transaction> commands = station.commands(payloads.size() + 3);
    QCOMPARE(commands.size(), payloads.size() + 3);
    int offset = 0;
    for (int i = 0; i < payloads.size(); ++i) {
        const Transaction &packet = commands.at(2 + i);
        QCOMPARE(packet.code, CMD_DATA);
        QCOMPARE(int(le32At(packet.params, 0)), payloads.at(i));
        QCOMPARE(packet.params.mid(4), image.mid(offset, payloads.at(i)));
        offset += payloads.at(i);
    }
    QCOMPARE(commands.last().code, CMD_END);
    QVERIFY(commands.last().params.isEmpty());

    // The bar as the next command went out: after each packet, then at the end.
    QCOMPARE(station.progress_at_transaction.mid(3), progressAfterEachPacket);
    QCOMPARE(progressValue(station.window), 100);
    QCOMPARE(logMessages(station.window).last(), QStringLiteral("Done!"));
    QVERIFY(!station.device.portHeldOpen());
}

void FlashSequenceTest::largeImageArrivesWhole()
{
    Station station;
    const QByteArray image = randomBytes(70000);
    station.flash(image);

    const int packets = 70000 / PACKET_SIZE + 1;
    const QVector<Transaction> commands = station.commands(packets + 3);
    QCOMPARE(commands.size(), packets + 3);
    const QByteArray arrived = imageOnTheLine(commands);
    QCOMPARE(arrived, image);

    const QByteArray descriptor = commands.first().params;
    QCOMPARE(int(le32At(descriptor, 4)), arrived.size());
    QCOMPARE(le32At(descriptor, 8), MainWindow::image_crc(arrived.constData(), arrived.size()));
    QCOMPARE(logMessages(station.window).last(), QStringLiteral("Done!"));
}

void FlashSequenceTest::typedPathIsNotWhatIsFlashed()
{
    Station station;
    const QByteArray chosen = randomBytes(100);
    const QString chosen_path = station.load(chosen);
    const QString other_path = station.folder.filePath(QStringLiteral("other.bin"));
    QFile other(other_path);
    QVERIFY(other.open(QIODevice::WriteOnly));
    other.write(randomBytes(700));
    other.close();

    // A person selects the shown path and types another one over it.
    auto *field = widget<QLineEdit>(station.window, "lineEdit");
    station.window.show();
    field->setFocus();
    QTest::keySequence(field, QKeySequence::SelectAll);
    QTest::keyClicks(field, other_path);
    QCOMPARE(field->text(), chosen_path);

    station.program();
    const QVector<Transaction> commands = station.commands(4);
    QCOMPARE(commands.size(), 4);
    QCOMPARE(int(le32At(commands.first().params, 4)), chosen.size());
    QCOMPARE(commands.at(2).params.mid(4), chosen);
}

void FlashSequenceTest::noImageChosen()
{
    Station station;
    station.program();
    QCOMPARE(logMessages(station.window), QStringList{"Press load button to load file"});
    QVERIFY(!station.device.portHeldOpen());
    QVERIFY(station.device.received().isEmpty());
}

void FlashSequenceTest::unreadableImage_data()
{
    QTest::addColumn<QString>("replacement");
    QTest::addColumn<QString>("message");
    QTest::newRow("deleted") << "" << "No such file or directory";
    QTest::newRow("directory") << "directory" << "file to open is a directory";
    QTest::newRow("3 GiB") << "3 GiB" << "The image is too large to flash: 3221225472 bytes, at most 2147483615 bytes fit.";
    QTest::newRow("endless device") << "device" << "The image must be a file of fixed size, not a device or a pipe.";
}

void FlashSequenceTest::unreadableImage()
{
    QFETCH(QString, replacement);
    QFETCH(QString, message);

    Station station;
    const QString path = station.load("chosen, then replaced");
    QVERIFY(QFile::remove(path));
    if (replacement == QLatin1String("directory"))
        QVERIFY(QDir().mkdir(path));
    if (replacement == QLatin1String("3 GiB")) {
        QFile sparse(path);
        QVERIFY(sparse.open(QIODevice::WriteOnly));
        QVERIFY(sparse.resize(3LL << 30)); // sparse: costs no disk
    }
    if (replacement == QLatin1String("device"))
        QVERIFY(QFile::link(QStringLiteral("/dev/zero"), path));

    const ModalSeen box = runAnsweringModal([&] { station.program(); });
    QVERIFY(box.shown);
    QCOMPARE(box.title, QStringLiteral("Choose file to flash"));
    QCOMPARE(box.text, message);
    QVERIFY(logText(station.window).isEmpty());
    QVERIFY(station.device.received().isEmpty());
    QVERIFY(!station.device.portHeldOpen());
}

void FlashSequenceTest::portCannotBeOpened()
{
    Station station;
    station.flash("abc"); // a good run leaves the bar at 100
    QCOMPARE(progressValue(station.window), 100);

    const QString missing = QStringLiteral("/dev/quoril-no-such-port");
    selectPort(station.window, missing);
    station.program();
    QCOMPARE(logMessages(station.window).mid(6),
             (QStringList{"File size : 3 CRC : 1928021652", "Opening serial port : " + missing, "Open port failed!"}));
    QCOMPARE(progressValue(station.window), 100);
}

void FlashSequenceTest::refusedOrBrokenReplies_data()
{
    QTest::addColumn<int>("failingCommand");
    QTest::addColumn<Answer>("answer");
    QTest::addColumn<QStringList>("lastMessages");
    QTest::addColumn<int>("progress");

    QTest::newRow("descriptor refused") << 0 << Answer::reply(bytes({0x01, 0, 0, 0}))
                                        << QStringList{"Fail to get Ack! 1"} << 0;
    QTest::newRow("setup refused") << 1 << Answer::reply(bytes({0x03, 0x02, 0, 0}))
                                   << QStringList{"Response size is : 4", "Fail to get Ack! 2"} << 0;
    QTest::newRow("first packet reply of 5 bytes") << 2 << Answer::reply(bytes({2, 0, 0, 0, 0}))
                                                   << QStringList{"0 Send pckt size : 512", "0 Response len : 5"} << 0;
    // A reply that stays short is waited for until the deadline, then judged.
    QTest::newRow("third packet reply of 3 bytes") << 4 << Answer::reply(bytes({2, 0, 0}))
                                                   << QStringList{"2 Send pckt size : 512", "2 Response len : 3"} << 33;
    QTest::newRow("no packet reply") << 3 << Answer::silence()
                                     << QStringList{"1 Send pckt size : 512", "Error read response timeout", "1 Response len : 0"} << 0;
}

void FlashSequenceTest::refusedOrBrokenReplies()
{
    QFETCH(int, failingCommand);
    QFETCH(Answer, answer);
    QFETCH(QStringList, lastMessages);
    QFETCH(int, progress);

    Station station;
    station.answerAt(failingCommand, answer);
    station.flash(randomBytes(1536));

    const QStringList log = logMessages(station.window);
    QCOMPARE(log.mid(log.size() - lastMessages.size()), lastMessages);
    QCOMPARE(progressValue(station.window), progress);
    QVERIFY(station.device.portHeldOpen());
    QTest::qWait(50);
    QCOMPARE(station.device.transactions().size(), failingCommand + 1); // nothing after the failure
}

void FlashSequenceTest::acceptedUnusualReplies_data()
{
    QTest::addColumn<int>("command");
    QTest::addColumn<Answer>("answer");
    QTest::newRow("ACK and three other bytes to the descriptor") << 0 << Answer::reply(bytes({0x02, 0x15, 0x15, 0x15}));
    QTest::newRow("long reply starting with ACK to the setup") << 1 << Answer::reply(bytes({0x02, 9, 9, 9, 9, 9}));
    QTest::newRow("packet reply without ACK") << 2 << Answer::reply(bytes({0x15, 0x15, 0x15, 0x15}));
}

void FlashSequenceTest::acceptedUnusualReplies()
{
    QFETCH(int, command);
    QFETCH(Answer, answer);

    Station station;
    station.answerAt(command, answer);
    station.flash(randomBytes(600));
    QCOMPARE(logMessages(station.window).last(), QStringLiteral("Done!"));
    QVERIFY(!station.device.portHeldOpen());
}

void FlashSequenceTest::repliesWithPauses_data()
{
    QTest::addColumn<Answer>("answer");
    QTest::addColumn<QStringList>("lastMessages");

    const QStringList done{"2 Send pckt size : 276", "2 Response len : 4", "Done!"};
    // A USB serial adapter hands a reply that straddles its latency timer's
    // tick over in two parts, one tick apart.
    QTest::newRow("every reply in two parts 16 ms apart")
        << Answer{{{0, bytes({0x02, 0})}, {16, bytes({0, 0})}}, false, false} << done;
    QTest::newRow("every reply in two parts 100 ms apart")
        << Answer{{{0, bytes({0x02})}, {100, bytes({0, 0, 0})}}, false, false} << done;
    // Within the silence that ends a whole reply, one more byte still joins it.
    QTest::newRow("a byte 3 ms after every whole reply")
        << Answer{{{0, bytes({0x02, 0, 0, 0})}, {3, bytes({0})}}, false, false}
        << QStringList{"Response size is : 5", "0 Send pckt size : 512", "0 Response len : 5"};
}

void FlashSequenceTest::repliesWithPauses()
{
    QFETCH(Answer, answer);
    QFETCH(QStringList, lastMessages);

    Station station;
    station.device.setScript([=](const Transaction &command, int n) {
        return command.code == CMD_END ? BootLoaderSim::answerLikeDevice(command, n) : answer;
    });
    const QByteArray image = randomBytes(1300);
    station.flash(image);

    const QStringList log = logMessages(station.window);
    QCOMPARE(log.mid(log.size() - lastMessages.size()), lastMessages);
    if (lastMessages.last() == QLatin1String("Done!")) {
        const QVector<Transaction> commands = station.commands(6);
        QCOMPARE(commands.size(), 6);
        QCOMPARE(imageOnTheLine(commands), image);
    }
}

void FlashSequenceTest::silentSetup()
{
    Station station;
    station.answerAt(1, Answer::silence());
    station.flash("abc");
    QCOMPARE(logMessages(station.window).mid(2),
             (QStringList{"Error read response timeout", "Response size is : 0", "Fail to get Ack! 2"}));
    QVERIFY(station.device.portHeldOpen());
}

void FlashSequenceTest::secondRunAfterAFailedOne()
{
    Station station;
    station.answerAt(0, Answer::reply(bytes({0x01, 0, 0, 0})));
    station.flash("abc");
    QCOMPARE(logMessages(station.window).last(), QStringLiteral("Fail to get Ack! 1"));
    QVERIFY(station.device.portHeldOpen());

    station.device.setScript(&BootLoaderSim::answerLikeDevice);
    station.program();
    QCOMPARE(logMessages(station.window).mid(3),
             (QStringList{"File size : 3 CRC : 1928021652", "Opening serial port : " + station.device.portName(),
                          "Response size is : 4", "0 Send pckt size : 3", "0 Response len : 4", "Done!"}));
    QCOMPARE(station.commands(5).at(1).code, CMD_BEGIN);
    QVERIFY(!station.device.portHeldOpen());
}

void FlashSequenceTest::deviceHangsUpMidStream()
{
    Station station;
    station.answerAt(5, Answer::hangUp());
    station.flash(randomBytes(70000));

    const QStringList log = logMessages(station.window);
    QCOMPARE(log.last(), QStringLiteral("3 Response len : 0"));
    QVERIFY(!log.contains(QStringLiteral("Done!")));
    QTRY_VERIFY(!station.device.portHeldOpen()); // closed once the loop sees the line is gone
}

void FlashSequenceTest::deviceFloods()
{
    Station station;
    station.answerAt(2, Answer::endless());
    station.flash(randomBytes(2000));

    QCOMPARE(logMessages(station.window).last(), QStringLiteral("0 Response len : %1").arg(REPLY_MAX_BYTES));
    QCOMPARE(progressValue(station.window), 0);
    station.device.hangUp();
}

QTEST_MAIN(FlashSequenceTest)
#include "tst_flashsequence.moc"
