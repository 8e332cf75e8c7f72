#include "ui/TfmSocket.h"

#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QScreen>
#include <QScrollBar>
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
    // Long lines (a whole message as sent) wrap instead of running off to the right.
    Log->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    Log->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    auto* lay = new QVBoxLayout(this);
    lay->setContentsMargins(0, 0, 0, 0);
    lay->addWidget(Log);
}

void TfmSocket::SetLines(const std::vector<std::string>& lines) {
    QStringList text;
    for (const std::string& l : lines) text << QString::fromStdString(l);
    Log->setPlainText(text.join('\n'));
    ShowNewest();
}

void TfmSocket::AddLine(const std::string& line) {
    QMetaObject::invokeMethod(
        this,
        [this, text = QString::fromStdString(line)] {
            // A reader who scrolled up to look at older lines stays where they are.
            QScrollBar* bar = Log->verticalScrollBar();
            const bool atEnd = bar->value() >= bar->maximum();
            Log->appendPlainText(text);
            if (atEnd) ShowNewest();
        },
        Qt::QueuedConnection);
}

void TfmSocket::ShowNewest() {
    Log->moveCursor(QTextCursor::End);
    Log->verticalScrollBar()->setValue(Log->verticalScrollBar()->maximum());
}

void TfmSocket::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!FPlaced) {
        // The first time on the screen: in its middle, not in a corner.
        FPlaced = true;
        if (const QScreen* s = QGuiApplication::primaryScreen())
            move(s->availableGeometry().center() - rect().center());
    }
    ShowNewest();
}

}  // namespace wl
