#include "ui/TTextPage.h"

#include <QMenu>
#include <stdexcept>

#include "ui/EditingRules.h"
#include "ui/TPanelButton.h"
#include "ui/TWebBrowser.h"
#include "ui/TfmConfirm.h"

namespace wl {

TTextPage::TTextPage(QWidget* parent, TTextPageLinks links, int surfaceTop, int bottomHeight)
    : QWidget(parent), L(std::move(links)), FSurfaceTop(surfaceTop), FBottomHeight(bottomHeight) {
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);
    WebBrowser = new TWebBrowser(this);
    WebBrowser->setObjectName("WebBrowser");
    btOK = new TPanelButton("OK", this);
    btOK->setObjectName("btOK");
    connect(btOK, &QAbstractButton::clicked, this, &TTextPage::btOKClick);
    BuildMenu();
    IsSterted = false;
}

TTextPage::~TTextPage() = default;

void TTextPage::BuildMenu() {
    pmEditor = new QMenu(this);
    pmEditor->setObjectName("pmEditor");
    auto format = [this](const char* caption) {
        QAction* a = pmEditor->addAction(QString::fromUtf8(caption));
        connect(a, &QAction::triggered, this, [this, c = a->text()] {
            Guard([&] { WebBrowser->FormatSelection(FormatCommandByCaption(c)); });
        });
    };
    for (const char* c : {"Жирный", "Курсив", "Зачеркнутый"}) format(c);
    pmEditor->addSeparator();
    for (const char* c : {"Черный", "Красный", "Зеленый", "Синий"}) format(c);
    pmEditor->addSeparator();
    connect(pmEditor->addAction(kClearFormat), &QAction::triggered, this,
            [this] { Guard([&] { WebBrowser->ClearFormat(); }); });
    WebBrowser->SetContextMenu(pmEditor, TMenuPlacement::NotesPage);
}

void TTextPage::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    const int bandTop = height() - FBottomHeight;
    WebBrowser->setGeometry(0, FSurfaceTop, width(), bandTop - FSurfaceTop);
    PlaceButtons(bandTop);
}

std::string TTextPage::StoredText() const {
    return L.StoredText ? L.StoredText() : std::string();
}

bool TTextPage::Guard(const std::function<void()>& action) {
    return RunShowingErrors(this, action);
}

void TTextPage::GoOnceLoadNote() {
    if (IsSterted) return;
    IsSterted = true;
    Guard([&] {
        // Opening the page loaded the text already; loading it again could drop what was typed since.
        if (!FLoaded) LoadStored();
        WebBrowser->AddStyleSheet(kEditorStyle);
    });
}

void TTextPage::LoadStored() {
    Guard([&] {
        WebBrowser->SetBodyHtml(ToEditorHtml(StoredText()));
        FLoaded = true;
    });
}

void TTextPage::btOKClick() {
    if (FSaving) return;
    FSaving = true;
    WebBrowser->GetBodyHtml([this](const QString& html) {
        FSaving = false;
        const std::string text = html.toStdString();
        // The page stays open with its text when the store cannot be written.
        if (!Guard([&] {
                if (L.Store) L.Store(text);
            }))
            return;
        Guard([&] {
            if (L.Send) L.Send(text);
        });
        emit Stored(html);
        emit Closed();
    });
}

}  // namespace wl
