#include "mainwindow.h"
#include "porttooltip.h"
#include "testsupport.h"

#include <QAccessible>
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
#include <QStyle>
#include <QStyleOption>
#include <QScopeGuard>
#include <QtTest>

namespace {

// The longest port name the platform gives a USB serial adapter, as people meet it.
#ifdef Q_OS_WIN
const char LONGEST_PORT_NAME[] = "COM10";
#else
const char LONGEST_PORT_NAME[] = "ttyUSB10";
#endif

// The form's objects as drawn: at a font that the form fits, exactly these.
struct FormObject
{
    const char *name;
    QString className;
    QString parentName;
    QRect geometry;
    QString text;
};
const FormObject FORM[] = {
    {"pushButton", "QPushButton", "centralWidget", {330, 20, 75, 23}, "Load"},
    {"pushButton_2", "QPushButton", "centralWidget", {230, 60, 75, 23}, "Program"},
    {"plainTextEdit_2", "QPlainTextEdit", "centralWidget", {10, 140, 381, 121}, ""},
    {"comboBox", "QComboBox", "centralWidget", {100, 60, 69, 22}, ""},
    {"label", "QLabel", "centralWidget", {10, 60, 71, 21}, "Serial Port :"},
    {"lineEdit", "QLineEdit", "centralWidget", {90, 20, 231, 20}, ""},
    {"progressBar", "QProgressBar", "centralWidget", {30, 100, 341, 23}, ""},
    {"pushButton_3", "QPushButton", "centralWidget", {10, 20, 75, 23}, "Reload"},
    {"menuBar", "QMenuBar", "MainWindow", {0, 0, 411, 21}, ""},
};

// A font that the form fits as drawn, as Windows' 8-point dialog font does.
QFont fontTheFormFits()
{
    QFont font = QApplication::font();
    font.setPixelSize(9);
    return font;
}

// How far a text is from filling its area, across or down, whichever is
// less: negative when it is cut.
int roomToSpare(const QWidget *control, const QRect &area, const QString &text)
{
    const QSize needed = control->fontMetrics().size(Qt::TextShowMnemonic, text);
    return qMin(area.width() - needed.width(), area.height() - needed.height());
}

// The area a control draws its text in, as the style lays the control out.
QRect styleArea(const QWidget *control, QStyle::SubElement element, QStyleOption &option)
{
    option.initFrom(control);
    return control->style()->subElementRect(element, &option, control);
}

} // namespace

Q_DECLARE_METATYPE(PortFields)

class ShellTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void formObjects_data();
    void formObjects();
    void stateAfterConstruction();
    void metaObjectHasExactlyTheFourSlots();
    void helpAboutShowsVersion();
    void logMessagePutsAnEmptyLineBeforeEachMessage();
    void iconIsCompiledIn();
    void formGrowsWithALargerFont();
    void portTooltip_data();
    void portTooltip();
    void screenReaderNamesTheControls();
};

void ShellTest::initTestCase()
{
    QApplication::setFont(fontTheFormFits());
}

void ShellTest::formObjects_data()
{
    QTest::addColumn<QString>("className");
    QTest::addColumn<QString>("parentName");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<QString>("text");

    for (const FormObject &object : FORM)
        QTest::newRow(object.name) << object.className << object.parentName << object.geometry << object.text;
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

void ShellTest::formGrowsWithALargerFont()
{
    QFont large = QApplication::font();
    large.setPixelSize(16);
    QApplication::setFont(large);
    const auto restore = qScopeGuard([] { QApplication::setFont(fontTheFormFits()); });
    MainWindow window;
    selectPort(window, QLatin1String(LONGEST_PORT_NAME));
    auto *bar = widget<QProgressBar>(window, "progressBar");
    bar->setValue(100);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    // One factor for the window and every control, as display scaling would.
    const double factor = window.width() / 411.0;
    QVERIFY2(factor > 1.2, qPrintable(QString::number(factor)));
    QVERIFY(qAbs(window.height() - 166 * factor) <= 1);
    for (const FormObject &object : FORM) {
        if (object.parentName != QLatin1String("centralWidget"))
            continue; // the menu bar takes its height from the font
        const QRect grown = widget<QWidget>(window, object.name)->geometry();
        const QRect drawn = object.geometry;
        QVERIFY2(qAbs(grown.left() - drawn.left() * factor) <= 1 && qAbs(grown.top() - drawn.top() * factor) <= 1
                     && qAbs(grown.width() - drawn.width() * factor) <= 1
                     && qAbs(grown.height() - drawn.height() * factor) <= 1,
                 object.name);
    }

    // Every text whole, and the bar whole inside the window.
    QMap<QString, int> spare;
    for (const char *name : {"pushButton", "pushButton_2", "pushButton_3"}) {
        auto *button = widget<QPushButton>(window, name);
        QStyleOptionButton option;
        spare[name] = roomToSpare(button, styleArea(button, QStyle::SE_PushButtonContents, option), button->text());
    }
    auto *label = widget<QLabel>(window, "label");
    spare["label"] = roomToSpare(label, label->contentsRect(), label->text());
    auto *chooser = widget<QComboBox>(window, "comboBox");
    QStyleOptionComboBox combo;
    combo.initFrom(chooser);
    spare["comboBox"] = roomToSpare(
        chooser, chooser->style()->subControlRect(QStyle::CC_ComboBox, &combo, QStyle::SC_ComboBoxEditField, chooser),
        chooser->currentText());
    QStyleOptionProgressBar progress;
    progress.text = bar->text();
    progress.textVisible = true;
    progress.maximum = progress.progress = 100;
    spare["progressBar"] = roomToSpare(bar, styleArea(bar, QStyle::SE_ProgressBarLabel, progress), bar->text());
    spare["space below the bar"] = window.statusBar()->y() - bar->mapTo(&window, QPoint(0, bar->height())).y();
    for (auto text = spare.cbegin(); text != spare.cend(); ++text)
        QVERIFY2(text.value() >= 0, qPrintable(text.key() + QStringLiteral(" is cut by %1 px").arg(-text.value())));

    // The smallest such factor: whatever needs the most room just fits,
    // within the few pixels that one step of growth adds.
    const auto tightest = std::min_element(spare.cbegin(), spare.cend());
    QVERIFY2(*tightest <= 5, qPrintable(tightest.key() + QStringLiteral(" has %1 px to spare").arg(*tightest)));
}

void ShellTest::portTooltip_data()
{
    QTest::addColumn<PortFields>("fields");
    QTest::addColumn<QString>("tooltip");

    QTest::newRow("all fields") << PortFields{"FT232R USB UART", "FTDI", "A50285BI", 0x0403, 0x6001, "/dev/ttyUSB0"}
                                << "Description: FT232R USB UART\nManufacturer: FTDI\nSerial number: A50285BI\n"
                                   "Vendor ID: 0403\nProduct ID: 6001\nLocation: /dev/ttyUSB0";
    QTest::newRow("some missing") << PortFields{"CP2102 USB to UART Bridge Controller", {}, {}, 0x10c4, 0xea60,
                                                "\\\\.\\COM7"}
                                  << "Description: CP2102 USB to UART Bridge Controller\nVendor ID: 10C4\n"
                                     "Product ID: EA60\nLocation: \\\\.\\COM7";
    QTest::newRow("only the location") << PortFields{{}, {}, {}, {}, {}, "/dev/ttyS0"} << "Location: /dev/ttyS0";
}

void ShellTest::portTooltip()
{
    QFETCH(PortFields, fields);
    QFETCH(QString, tooltip);
    QCOMPARE(port_tooltip(fields), tooltip);
}

void ShellTest::screenReaderNamesTheControls()
{
    MainWindow window;
    const auto accessible = [&window](const char *name) {
        return QAccessible::queryAccessibleInterface(widget<QWidget>(window, name));
    };
    QCOMPARE(accessible("lineEdit")->text(QAccessible::Name), QStringLiteral("Image file"));
    QCOMPARE(accessible("progressBar")->text(QAccessible::Name), QStringLiteral("Progress"));

    const auto labels = accessible("comboBox")->relations(QAccessible::Label);
    QCOMPARE(labels.size(), 1);
    QCOMPARE(labels.first().first->object(), widget<QLabel>(window, "label"));
#ifdef Q_OS_WIN
    // Windows takes a chooser's name from its label.
    QCOMPARE(accessible("comboBox")->text(QAccessible::Name), QStringLiteral("Serial Port :"));
#endif
}

QTEST_MAIN(ShellTest)
#include "tst_shell.moc"
