#ifndef MAINWINDOW_H
#define MAINWINDOW_H

#include <QByteArray>
#include <QMainWindow>
#include <QString>

class QAction;
class QComboBox;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QSerialPort;

namespace Ui {
class MainWindow;
}

// The flashing tool's one window: picks a port and an image, and streams the
// image to the device's boot loader when Program is pressed.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    void log_message(const QString &text);
    int open_port(const QString &name);
    QByteArray send_command(qint32 code, const QByteArray &params, qint32 expected_length);
    static quint32 image_crc(const char *data, qint64 length);

private slots:
    void connectclick();
    void fileload();
    void reload_action();
    void about();

private:
    void create_actions();
    void create_menus();
    void fit_form_to_font();
    void create_serial_link();
    void fill_port_chooser();
    bool read_image(QByteArray &image);

    QSerialPort *serial = nullptr; // no parent: lives as long as the process
    Ui::MainWindow *ui = nullptr;
    QString file_name;
    QLineEdit *image_path_edit = nullptr;
    QPlainTextEdit *log_view = nullptr;
    QComboBox *port_chooser = nullptr;
    QProgressBar *progress_bar = nullptr;
    QPushButton *program_button = nullptr;
    QPushButton *reload_button = nullptr;
    QPushButton *load_button = nullptr;
    QMenu *help_menu = nullptr;
    QAction *about_action = nullptr;
};

#endif // MAINWINDOW_H
