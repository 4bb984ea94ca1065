#ifndef TESTSUPPORT_H
#define TESTSUPPORT_H

#include <QString>
#include <QStringList>
#include <QWidget>

#include <functional>

class MainWindow;

// Collects the lines the program writes to the informational debug channel
// while it is alive. on_line, when set, runs on the writing thread for each.
class InfoCapture
{
public:
    explicit InfoCapture(std::function<void(const QString &)> on_line = {});
    ~InfoCapture();
    QStringList lines() const { return captured; }

private:
    static void handler(QtMsgType type, const QMessageLogContext &context, const QString &text);
    QStringList captured;
    std::function<void(const QString &)> on_line;
    QtMessageHandler previous;
};

// What a modal dialog showed before it was answered.
struct ModalSeen
{
    bool shown = false;
    QString title;
    QString text; // a message box's text
};

// Runs action, which is expected to open a modal dialog and wait for it; the
// dialog is answered by respond as soon as it shows, as a person would.
// The default response reads a message box and presses its OK button.
ModalSeen runAnsweringModal(const std::function<void()> &action,
                            const std::function<void(QWidget *dialog)> &respond = {});

// Chooses path in the window's Load dialog; an empty path cancels it.
// Returns the dialog as it was when it showed up.
struct FileDialogSeen
{
    QString caption;
    QStringList filters;
    QString directory;
    QString selected;
};
FileDialogSeen chooseImage(MainWindow &window, const QString &path);

// Adds the given port to the chooser and selects it.
void selectPort(MainWindow &window, const QString &port);

// The messages in the window's log, in order.
QStringList logMessages(MainWindow &window);
QString logText(MainWindow &window);

template<typename T>
T *widget(QWidget &window, const char *name)
{
    return window.findChild<T *>(QLatin1String(name));
}

int progressValue(MainWindow &window);
void clickButton(MainWindow &window, const char *name);

// Bytes that look like an image, the same for the same length.
QByteArray randomBytes(int length);

// CPU time this process has used, all threads together.
double processCpuSeconds();

#endif // TESTSUPPORT_H
