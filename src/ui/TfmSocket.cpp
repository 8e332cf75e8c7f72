#include "ui/TfmSocket.h"

#include <QPlainTextEdit>
#include <QVBoxLayout>

namespace wl {

TfmSocket::TfmSocket(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName("fmSocket");
    setWindowTitle("Weekleaf — журнал синхронизации");
    resize(640, 420);
    Log = new QPlainTextEdit(this);
    Log->setObjectName("Log");
    Log->setReadOnly(true);
    Log->setMaximumBlockCount(kMaxLines);
    Log->setLineWrapMode(QPlainTextEdit::NoWrap);
    Log->setPlainText("Log");
    auto* lay = new QVBoxLayout(this);
    lay->setContentsMargins(0, 0, 0, 0);
    lay->addWidget(Log);
}

void TfmSocket::SetLines(const std::vector<std::string>& lines) {
    QStringList text;
    for (const std::string& l : lines) text << QString::fromStdString(l);
    Log->setPlainText(text.join('\n'));
}

void TfmSocket::AddLine(const std::string& line) {
    QMetaObject::invokeMethod(
        this, [this, text = QString::fromStdString(line)] { Log->appendPlainText(text); },
        Qt::QueuedConnection);
}

}  // namespace wl
