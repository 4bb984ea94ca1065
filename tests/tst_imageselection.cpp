#include "mainwindow.h"
#include "testsupport.h"

#include <QFile>
#include <QLineEdit>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

namespace {
#ifdef Q_OS_WIN
const QString SETTINGS_FILE = QStringLiteral("lumbo/quoril.ini");
#else
const QString SETTINGS_FILE = QStringLiteral("lumbo/quoril.conf");
#endif
} // namespace

class ImageSelectionTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void chosenImageIsShownAndRemembered();
    void cancellingEmptiesTheChoice();
    void anyExtensionCanBeChosen();

private:
    QString makeImage(const QString &name);
    QString lastImageSetting() const;
    QTemporaryDir settings_dir;
    QTemporaryDir images;
};

void ImageSelectionTest::initTestCase()
{
    QVERIFY(settings_dir.isValid() && images.isValid());
    QCoreApplication::setOrganizationName(QStringLiteral("lumbo"));
    QCoreApplication::setApplicationName(QStringLiteral("quoril"));
#ifdef Q_OS_WIN
    // The registry cannot be pointed at a test folder; an INI file there stands in for it.
    QSettings::setDefaultFormat(QSettings::IniFormat);
#endif
    QSettings::setPath(QSettings::defaultFormat(), QSettings::UserScope, settings_dir.path());
}

void ImageSelectionTest::init()
{
    QSettings().clear();
}

QString ImageSelectionTest::makeImage(const QString &name)
{
    QFile file(images.filePath(name));
    file.open(QIODevice::WriteOnly);
    file.write("image");
    return file.fileName();
}

QString ImageSelectionTest::lastImageSetting() const
{
    return QSettings().value(QStringLiteral("default_dir")).toString();
}

void ImageSelectionTest::chosenImageIsShownAndRemembered()
{
    const QString image = makeImage(QStringLiteral("first.bin"));
    {
        MainWindow window;
        InfoCapture info;
        const FileDialogSeen dialog = chooseImage(window, image);
        QCOMPARE(dialog.caption, QStringLiteral("Please choose a file"));
        QCOMPARE(dialog.filters, (QStringList{"Bin Files (*.bin)", "All Files (*)"}));
        QCOMPARE(widget<QLineEdit>(window, "lineEdit")->text(), image);
        QCOMPARE(info.lines(), QStringList{"Load file:  \"" + image + "\""});
    }
    // Stored under the application's identity, so a new start finds it.
    QVERIFY(QSettings().fileName().startsWith(settings_dir.path()));
    QVERIFY(QSettings().fileName().endsWith(SETTINGS_FILE));
    QCOMPARE(lastImageSetting(), image);

    MainWindow next_run;
    const FileDialogSeen dialog = chooseImage(next_run, QString());
    QCOMPARE(dialog.directory, images.path());
    QCOMPARE(dialog.selected, image);
}

void ImageSelectionTest::cancellingEmptiesTheChoice()
{
    const QString image = makeImage(QStringLiteral("kept.bin"));
    MainWindow window;
    chooseImage(window, image);

    InfoCapture info;
    chooseImage(window, QString());
    QVERIFY(widget<QLineEdit>(window, "lineEdit")->text().isEmpty());
    QCOMPARE(info.lines(), QStringList{"Load file:  \"\""});
    QCOMPARE(lastImageSetting(), image);

    // The flash sequence sees no image either.
    clickButton(window, "pushButton_2");
    QCOMPARE(logMessages(window), QStringList{"Press load button to load file"});
}

void ImageSelectionTest::anyExtensionCanBeChosen()
{
    const QString image = makeImage(QStringLiteral("firmware.hex"));
    MainWindow window;
    chooseImage(window, image);
    QCOMPARE(widget<QLineEdit>(window, "lineEdit")->text(), image);
    QCOMPARE(lastImageSetting(), image);
}

QTEST_MAIN(ImageSelectionTest)
#include "tst_imageselection.moc"
