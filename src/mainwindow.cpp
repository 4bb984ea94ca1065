#include "mainwindow.h"
#include "ui_mainwindow.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QStyle>
#include <QStyleOption>
#include <QtMath>

namespace {

// The closed chooser must show a port name this long whole.
#ifdef Q_OS_WIN
const char LONGEST_PORT_NAME[] = "COM10"; // Windows names every serial port COMn
#else
const char LONGEST_PORT_NAME[] = "ttyUSB10";
#endif

constexpr double GROWTH_STEP = 0.01; // the form grows in steps of 1 %
constexpr double MAX_GROWTH = 8.0;    // no font makes sense beyond this

// Where a control of the given size draws its text, as the style lays it out.
QRect text_area(const QPushButton *button, const QSize &size)
{
    QStyleOptionButton option;
    option.initFrom(button);
    option.rect.setSize(size);
    option.text = button->text();
    return button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
}

QRect text_area(const QLabel *label, const QSize &size)
{
    return QRect(QPoint(), size).marginsRemoved(label->contentsMargins());
}

QRect text_area(const QComboBox *chooser, const QSize &size)
{
    QStyleOptionComboBox option;
    option.initFrom(chooser);
    option.rect.setSize(size);
    return chooser->style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, chooser);
}

QRect text_area(const QProgressBar *bar, const QSize &size, const QString &text)
{
    QStyleOptionProgressBar option;
    option.initFrom(bar);
    option.rect.setSize(size);
    option.minimum = bar->minimum();
    option.maximum = bar->maximum();
    option.progress = bar->maximum();
    option.text = text;
    option.textVisible = bar->isTextVisible();
    option.textAlignment = bar->alignment();
    option.orientation = bar->orientation();
    return bar->style()->subElementRect(QStyle::SE_ProgressBarLabel, &option, bar);
}

bool text_fits(const QWidget *control, const QRect &area, const QString &text)
{
    const QSize needed = control->fontMetrics().size(Qt::TextShowMnemonic, text);
    return needed.width() <= area.width() && needed.height() <= area.height();
}

QRect scaled(const QRect &rect, double factor)
{
    return QRect(qRound(rect.x() * factor), qRound(rect.y() * factor),
                 qCeil(rect.width() * factor), qCeil(rect.height() * factor));
}

} // namespace

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , ui(new Ui::MainWindow)
{
    ui->setupUi(this);

    port_chooser = findChild<QComboBox *>(QStringLiteral("comboBox"));
    reload_button = findChild<QPushButton *>(QStringLiteral("pushButton_3"));
    program_button = findChild<QPushButton *>(QStringLiteral("pushButton_2"));
    load_button = findChild<QPushButton *>(QStringLiteral("pushButton"));
    image_path_edit = findChild<QLineEdit *>(QStringLiteral("lineEdit"));
    log_view = findChild<QPlainTextEdit *>(QStringLiteral("plainTextEdit_2"));
    progress_bar = findChild<QProgressBar *>(QStringLiteral("progressBar"));

    progress_bar->setRange(0, 100);
    progress_bar->setValue(0);
    // The log collects every line of a run but is never shown.
    log_view->hide();

    create_actions();
    create_menus();
    fit_form_to_font();

    create_serial_link();

    connect(program_button, &QPushButton::clicked, this, &MainWindow::connectclick);
    connect(load_button, &QPushButton::clicked, this, &MainWindow::fileload);
    connect(reload_button, &QPushButton::clicked, this, &MainWindow::reload_action);
}

MainWindow::~MainWindow()
{
    delete ui;
}

// The form was drawn for Windows' 8-point dialog font at 100 %. Where the
// desktop's font needs more room, the whole form grows by the smallest factor
// that fits every text, as display scaling would; fonts stay as they are.
// Decided once, so that the window never jumps.
void MainWindow::fit_form_to_font()
{
    const auto *label = findChild<QLabel *>(QStringLiteral("label"));
    const QString port_name = QLatin1String(LONGEST_PORT_NAME);
    const QString widest_bar_text = QString(progress_bar->format())
        .replace(QLatin1String("%p"), progress_bar->locale().toString(progress_bar->maximum()));
    // The menu and status bars take their height from the font and do not
    // grow with the form: the space below the progress bar must hold them.
    const int bars_height = menuBar()->sizeHint().height() + statusBar()->sizeHint().height();

    const auto fits = [&](double factor) {
        const auto size = [factor](const QWidget *control) { return scaled(control->geometry(), factor).size(); };
        for (const QPushButton *button : {reload_button, program_button, load_button}) {
            if (!text_fits(button, text_area(button, size(button)), button->text()))
                return false;
        }
        return text_fits(label, text_area(label, size(label)), label->text())
            && text_fits(port_chooser, text_area(port_chooser, size(port_chooser)), port_name)
            && text_fits(progress_bar, text_area(progress_bar, size(progress_bar), widest_bar_text), widest_bar_text)
            && scaled(rect(), factor).height() - bars_height > scaled(progress_bar->geometry(), factor).bottom();
    };
    double factor = 1.0;
    while (!fits(factor) && factor < MAX_GROWTH)
        factor += GROWTH_STEP;
    if (factor == 1.0)
        return;

    const QList<QWidget *> controls = centralWidget()->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly);
    for (QWidget *control : controls)
        control->setGeometry(scaled(control->geometry(), factor));
    resize(scaled(rect(), factor).size());
}

void MainWindow::log_message(const QString &text)
{
    // The leading line feed puts an empty line before every message.
    log_view->appendPlainText(QLatin1Char('\n') + text);
    update();
}

void MainWindow::create_actions()
{
    about_action = new QAction(tr("&About"), this);
    connect(about_action, &QAction::triggered, this, &MainWindow::about);
}

void MainWindow::create_menus()
{
    help_menu = menuBar()->addMenu(tr("&Help"));
    help_menu->addAction(about_action);
}

void MainWindow::about()
{
    QMessageBox::about(this, tr("Info"), tr("version 1.0.0"));
}
