#include "mainwindow.h"
#include "testsupport.h"

#include <QtTest>

namespace {
quint32 crcOf(const QByteArray &bytes)
{
    return MainWindow::image_crc(bytes.constData(), bytes.size());
}
}

class ImageCrcTest : public QObject
{
    Q_OBJECT

private slots:
    void knownValues_data();
    void knownValues();
    void nothingToReadGivesZero();
    void leadingZeroBytesChangeNothing();
    void appendingTheChecksumGivesZero();
};

void ImageCrcTest::knownValues_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<quint32>("crc");

    QTest::newRow("empty") << QByteArray() << quint32(0);
    QTest::newRow("abc") << QByteArray("abc") << quint32(0x72EB4694);
    QTest::newRow("digits") << QByteArray("123456789") << quint32(0xC052A8C8);
    QTest::newRow("high byte is unsigned") << QByteArray("\x80") << quint32(0xC0C1D64F);
    QTest::newRow("zeros") << QByteArray(1000, '\0') << quint32(0);
}

void ImageCrcTest::knownValues()
{
    QFETCH(QByteArray, input);
    QFETCH(quint32, crc);
    QCOMPARE(crcOf(input), crc);
}

void ImageCrcTest::nothingToReadGivesZero()
{
    QCOMPARE(MainWindow::image_crc(nullptr, 0), quint32(0));
    QCOMPARE(MainWindow::image_crc(nullptr, -5), quint32(0));
}

void ImageCrcTest::leadingZeroBytesChangeNothing()
{
    QCOMPARE(crcOf(QByteArray(7, '\0') + "123456789"), quint32(0xC052A8C8));
}

// With no reflection, a zero start and no final XOR, a message followed by its
// own checksum (most significant byte first) leaves a register of zero.
void ImageCrcTest::appendingTheChecksumGivesZero()
{
    for (int length = 1; length <= 600; length += 1 + length / 8) {
        const QByteArray message = randomBytes(length);
        const quint32 crc = crcOf(message);
        QByteArray sealed = message;
        for (int shift = 24; shift >= 0; shift -= 8)
            sealed.append(char(crc >> shift));
        QVERIFY2(crcOf(sealed) == 0, qPrintable(QStringLiteral("length %1").arg(length)));
    }
}

QTEST_APPLESS_MAIN(ImageCrcTest)
#include "tst_imagecrc.moc"
