#include "testsupport.h"

#include "mainwindow.h"

#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTimer>

#include <ctime>

namespace {
InfoCapture *active_capture = nullptr;
constexpr int MODAL_POLL_MS = 10;
}

InfoCapture::InfoCapture(std::function<void(const QString &)> line_probe)
    : on_line(std::move(line_probe))
    , previous(qInstallMessageHandler(&InfoCapture::handler))
{
    active_capture = this;
}

InfoCapture::~InfoCapture()
{
    qInstallMessageHandler(previous);
    active_capture = nullptr;
}

void InfoCapture::handler(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    if (type == QtInfoMsg && active_capture) {
        active_capture->captured.append(text);
        if (active_capture->on_line)
            active_capture->on_line(text);
        return;
    }
    if (active_capture && active_capture->previous)
        active_capture->previous(type, context, text);
}

ModalSeen runAnsweringModal(const std::function<void()> &action,
                            const std::function<void(QWidget *dialog)> &respond)
{
    ModalSeen seen;
    QTimer watcher;
    watcher.setInterval(MODAL_POLL_MS);
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        QWidget *dialog = QApplication::activeModalWidget();
        if (!dialog)
            return;
        watcher.stop();
        seen.shown = true;
        seen.title = dialog->windowTitle();
        if (auto *box = qobject_cast<QMessageBox *>(dialog))
            seen.text = box->text();
        if (respond) {
            respond(dialog);
        } else if (auto *box = qobject_cast<QMessageBox *>(dialog)) {
            box->button(QMessageBox::Ok)->click();
        }
    });
    watcher.start();
    action();
    return seen;
}

FileDialogSeen chooseImage(MainWindow &window, const QString &path)
{
    FileDialogSeen seen;
    runAnsweringModal([&] { clickButton(window, "pushButton"); },
                      [&](QWidget *dialog) {
                          auto *files = qobject_cast<QFileDialog *>(dialog);
                          seen.caption = files->windowTitle();
                          seen.filters = files->nameFilters();
                          seen.directory = files->directory().absolutePath();
                          seen.selected = files->selectedFiles().value(0);
                          if (path.isEmpty()) {
                              files->reject();
                              return;
                          }
                          // Typed into the name field, as a person would; the
                          // field overrides any selection made from outside.
                          files->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->setText(path);
                          static_cast<QDialog *>(files)->accept();
                      });
    return seen;
}

void selectPort(MainWindow &window, const QString &port)
{
    auto *chooser = widget<QComboBox>(window, "comboBox");
    chooser->addItem(port);
    chooser->setCurrentIndex(chooser->count() - 1);
}

QString logText(MainWindow &window)
{
    return widget<QPlainTextEdit>(window, "plainTextEdit_2")->toPlainText();
}

QStringList logMessages(MainWindow &window)
{
    // Every message follows an empty line: "\nfirst\n\nsecond".
    const QString text = logText(window);
    return text.isEmpty() ? QStringList() : text.mid(1).split(QStringLiteral("\n\n"));
}

int progressValue(MainWindow &window)
{
    return widget<QProgressBar>(window, "progressBar")->value();
}

void clickButton(MainWindow &window, const char *name)
{
    widget<QPushButton>(window, name)->click();
}

QByteArray randomBytes(int length)
{
    QRandomGenerator random{quint32(length)};
    QByteArray bytes(length, Qt::Uninitialized);
    for (char &byte : bytes)
        byte = char(random.bounded(256));
    return bytes;
}

double processCpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}
