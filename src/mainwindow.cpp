#include "mainwindow.h"
#include "ui_mainwindow.h"

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>

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

    create_serial_link();

    connect(program_button, &QPushButton::clicked, this, &MainWindow::connectclick);
    connect(load_button, &QPushButton::clicked, this, &MainWindow::fileload);
    connect(reload_button, &QPushButton::clicked, this, &MainWindow::reload_action);
}

MainWindow::~MainWindow()
{
    delete ui;
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
