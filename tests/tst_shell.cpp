#include "mainwindow.h"
#include "testsupport.h"

#include <QAction>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMetaMethod>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QtTest>

class ShellTest : public QObject
{
    Q_OBJECT

private slots:
    void formObjects_data();
    void formObjects();
    void stateAfterConstruction();
    void metaObjectHasExactlyTheFourSlots();
    void helpAboutShowsVersion();
    void logMessagePutsAnEmptyLineBeforeEachMessage();
    void iconIsCompiledIn();
};

void ShellTest::formObjects_data()
{
    QTest::addColumn<QString>("className");
    QTest::addColumn<QString>("parentName");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<QString>("text");

    QTest::newRow("pushButton") << "QPushButton" << "centralWidget" << QRect(330, 20, 75, 23) << "Load";
    QTest::newRow("pushButton_2") << "QPushButton" << "centralWidget" << QRect(230, 60, 75, 23) << "Program";
    QTest::newRow("plainTextEdit_2") << "QPlainTextEdit" << "centralWidget" << QRect(10, 140, 381, 121) << "";
    QTest::newRow("comboBox") << "QComboBox" << "centralWidget" << QRect(100, 60, 69, 22) << "";
    QTest::newRow("label") << "QLabel" << "centralWidget" << QRect(10, 60, 71, 21) << "Serial Port :";
    QTest::newRow("lineEdit") << "QLineEdit" << "centralWidget" << QRect(90, 20, 231, 20) << "";
    QTest::newRow("progressBar") << "QProgressBar" << "centralWidget" << QRect(30, 100, 341, 23) << "";
    QTest::newRow("pushButton_3") << "QPushButton" << "centralWidget" << QRect(10, 20, 75, 23) << "Reload";
    QTest::newRow("menuBar") << "QMenuBar" << "MainWindow" << QRect(0, 0, 411, 21) << "";
}

void ShellTest::formObjects()
{
    QFETCH(QString, className);
    QFETCH(QString, parentName);
    QFETCH(QRect, geometry);
    QFETCH(QString, text);

    MainWindow window;
    auto *object = widget<QWidget>(window, QTest::currentDataTag());
    QVERIFY(object);
    QCOMPARE(QString::fromLatin1(object->metaObject()->className()), className);
    QCOMPARE(object->parentWidget()->objectName(), parentName);
    QCOMPARE(object->geometry(), geometry);
    if (!text.isEmpty())
        QCOMPARE(object->property("text").toString(), text);
}

void ShellTest::stateAfterConstruction()
{
    MainWindow window;
    QCOMPARE(window.objectName(), QStringLiteral("MainWindow"));
    QCOMPARE(window.windowTitle(), QStringLiteral("TQ5801 flash tool"));
    QCOMPARE(window.size(), QSize(411, 166));
    QCOMPARE(window.centralWidget()->objectName(), QStringLiteral("centralWidget"));
    QCOMPARE(window.statusBar()->objectName(), QStringLiteral("statusBar"));

    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QVERIFY(!widget<QPlainTextEdit>(window, "plainTextEdit_2")->isVisible());
    QVERIFY(widget<QPushButton>(window, "pushButton_2")->isVisible());

    auto *progress = widget<QProgressBar>(window, "progressBar");
    QCOMPARE(progress->minimum(), 0);
    QCOMPARE(progress->maximum(), 100);
    QCOMPARE(progress->value(), 0);
    QVERIFY(widget<QLineEdit>(window, "lineEdit")->text().isEmpty());
    QVERIFY(!widget<QComboBox>(window, "comboBox")->isEditable());
}

void ShellTest::metaObjectHasExactlyTheFourSlots()
{
    const QMetaObject &meta = MainWindow::staticMetaObject;
    QCOMPARE(meta.className(), "MainWindow");
    QCOMPARE(meta.superClass(), &QMainWindow::staticMetaObject);
    QCOMPARE(meta.methodCount() - meta.methodOffset(), 4);
    QCOMPARE(meta.propertyCount() - meta.propertyOffset(), 0);
    QCOMPARE(meta.classInfoCount() - meta.classInfoOffset(), 0);

    const QByteArrayList slots_in_order = {"connectclick()", "fileload()", "reload_action()", "about()"};
    for (int i = 0; i < slots_in_order.size(); ++i) {
        const QMetaMethod method = meta.method(meta.methodOffset() + i);
        QCOMPARE(method.methodSignature(), slots_in_order.at(i));
        QCOMPARE(method.methodType(), QMetaMethod::Slot);
        QCOMPARE(method.access(), QMetaMethod::Private);
        QCOMPARE(method.returnType(), int(QMetaType::Void));
    }
}

void ShellTest::helpAboutShowsVersion()
{
    MainWindow window;
    window.show();
    const QList<QAction *> menus = window.menuBar()->actions();
    QCOMPARE(menus.size(), 1);
    QCOMPARE(menus.first()->text(), QStringLiteral("&Help"));
    const QList<QAction *> items = menus.first()->menu()->actions();
    QCOMPARE(items.size(), 1);
    QCOMPARE(items.first()->text(), QStringLiteral("&About"));
    QCOMPARE(items.first()->parent(), &window);

    const ModalSeen box = runAnsweringModal([&] { items.first()->trigger(); });
    QVERIFY(box.shown);
    QCOMPARE(box.title, QStringLiteral("Info"));
    QCOMPARE(box.text, QStringLiteral("version 1.0.0"));
    QVERIFY(!QApplication::activeModalWidget());
}

void ShellTest::logMessagePutsAnEmptyLineBeforeEachMessage()
{
    MainWindow window;
    window.log_message(QStringLiteral("first"));
    window.log_message(QStringLiteral("second line"));
    QCOMPARE(logText(window), QStringLiteral("\nfirst\n\nsecond line"));
    QCOMPARE(widget<QPlainTextEdit>(window, "plainTextEdit_2")->document()->blockCount(), 4);
}

void ShellTest::iconIsCompiledIn()
{
    QImage icon(QStringLiteral(":icons/logo1.png"));
    QVERIFY(!icon.isNull());
    QCOMPARE(icon.size(), QSize(140, 85));
    QVERIFY(icon.hasAlphaChannel());
    // Both transparent background and opaque drawing: a real picture.
    QCOMPARE(qAlpha(icon.pixel(0, 0)), 0);
    QCOMPARE(qAlpha(icon.pixel(70, 42)), 255);
}

QTEST_MAIN(ShellTest)
#include "tst_shell.moc"
