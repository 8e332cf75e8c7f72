#include "ui/TfmGoLog.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>

namespace wl {
namespace {
constexpr const char* kPassword = "lanternix";
}

TfmGoLog::TfmGoLog(QWidget* logWindow, QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      FLogWindow(logWindow) {
    setObjectName("fmGoLog");
    setWindowTitle("Авторизация");
    setFixedSize(283, 111);
    setModal(true);
    edPass = new QLineEdit(this);
    edPass->setObjectName("edPass");
    edPass->setEchoMode(QLineEdit::Password);
    edPass->setPlaceholderText("Введите пароль");
    edPass->setToolTip("Введите пароль");
    edPass->setGeometry(16, 20, 251, 25);
    edPass->installEventFilter(this);
    btOK = new QPushButton("ОК", this);
    btOK->setObjectName("btOK");
    btOK->setGeometry(16, 66, 115, 25);
    btOK->setAutoDefault(false);
    btCancel = new QPushButton("Отмена", this);
    btCancel->setObjectName("btCancel");
    btCancel->setGeometry(152, 66, 115, 25);
    btCancel->setAutoDefault(false);
    setTabOrder(btCancel, edPass);
    setTabOrder(edPass, btOK);
    connect(btOK, &QPushButton::clicked, this, &TfmGoLog::btOKClick);
    connect(btCancel, &QPushButton::clicked, this, &TfmGoLog::reject);
}

bool TfmGoLog::PasswordMatches(const QString& typed) {
    return typed.trimmed() == QLatin1String(kPassword);
}

void TfmGoLog::btOKClick() {
    if (!PasswordMatches(edPass->text())) {
        if (ShowMessage) {
            ShowMessage("Не верный пароль!");
        } else {
            QMessageBox::warning(this, "Weekleaf", "Не верный пароль!");
        }
        return;
    }
    if (FLogWindow) {
        FLogWindow->show();
        FLogWindow->raise();
    }
    accept();
}

int TfmGoLog::exec() {
    if (const QScreen* s = QGuiApplication::primaryScreen())
        move(s->availableGeometry().center() - rect().center());
    return QDialog::exec();
}

void TfmGoLog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // The caret waits in the password box, so what is typed goes there at once.
    edPass->setFocus();
    edPass->selectAll();
}

bool TfmGoLog::eventFilter(QObject* watched, QEvent* event) {
    // Enter in the password edit acts as "ОК" and goes no further.
    if (watched == edPass && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            btOKClick();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

}  // namespace wl
