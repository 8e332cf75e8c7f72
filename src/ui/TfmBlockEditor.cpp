#include "ui/TfmBlockEditor.h"

#include <QLabel>
#include <QMenu>

#include "ui/TWebBrowser.h"
#include "ui/TfmConfirm.h"
#include "ui/UiLook.h"
#include "wallpaper/TextLook.h"

namespace wl {
namespace {

constexpr int kHeadH = 35, kMargin = 10, kLabelInset = 15;

void Fill(QWidget* w, const QColor& c) {
    w->setAutoFillBackground(true);
    QPalette pal = w->palette();
    pal.setColor(QPalette::Window, c);
    w->setPalette(pal);
}

}  // namespace

TfmBlockEditor::TfmBlockEditor(QWidget* parent, TBlockEditorLinks links)
    : QWidget(parent), L(std::move(links)) {
    setObjectName("fmBlockEditor");
    resize(284, 345);
    Fill(this, QColor(kEditorBackground));
    pHead = new QWidget(this);
    pHead->setObjectName("pHead");
    Fill(pHead, kGreen);
    lbTitle = new QLabel("ЗАМЕТКИ", pHead);
    lbTitle->setObjectName("lbTitle");
    lbDate = new QLabel("ЗАМЕТКИ", pHead);
    lbDate->setObjectName("lbDate");
    lbDate->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    lbTitle->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    SetLabelFont("Segoe UI", 15);
    WebBrowser = new TWebBrowser(this);
    WebBrowser->setObjectName("WebBrowser");
    WebBrowser->SetFormatKeys([this] { return L.FormatKeys ? L.FormatKeys() : TFormatKeys{}; },
                              [this](const QString& caption) { Guard([&] { FormatClick(caption); }); });
    BuildMenu();
}

QString TfmBlockEditor::SurfaceStyle() {
    // The text starts 10 px from the left and 45 px from the top, as on the wallpaper; the right
    // 10 px of the block hold a thin scroll bar that is always there, so the text wraps at the
    // wallpaper's width whether or not it overflows.
    return QString::fromStdString(WeekTextCss()) +
           "html { overflow-y: scroll; } body { margin: 0; }"
           // The blank document is in quirks mode, which drops the browser's own margins of a
           // list at the top of the text; the wallpaper keeps them.
           "ul, ol, dl, menu, dir { margin-top: 1em; margin-bottom: 1em; }"
           "ul ul, ul ol, ol ol, ol ul { margin-top: 0; margin-bottom: 0; } blockquote { margin: 1em 40px; }"
           "::-webkit-scrollbar { width: 10px; background: transparent; }"
           "::-webkit-scrollbar-thumb { background: #c4c4c4; border-radius: 5px; }";
}

void TfmBlockEditor::SetHeaderColor(const QColor& c) {
    Fill(pHead, c);
}

void TfmBlockEditor::CenterTitleOnly() {
    FTitleOnly = true;
    lbDate->hide();
    lbTitle->setAlignment(Qt::AlignCenter);
    resizeEvent(nullptr);
}

void TfmBlockEditor::SetLabelFont(const QString& family, int pixelSize) {
    // The face the wallpaper's titles use, a missing family included.
    QFont f(QString::fromStdString(InstalledFace(family.toStdString())));
    f.setPixelSize(pixelSize);
    f.setBold(true);
    lbTitle->setFont(f);
    lbDate->setFont(f);
}

void TfmBlockEditor::resizeEvent(QResizeEvent*) {
    pHead->setGeometry(0, 0, width(), kHeadH);
    if (FTitleOnly) {
        lbTitle->setGeometry(0, 0, width(), kHeadH);
    } else {
        const int half = (width() - 2 * kLabelInset) / 2;
        lbTitle->setGeometry(kLabelInset, 0, half, kHeadH);
        lbDate->setGeometry(width() - kLabelInset - half, 0, half, kHeadH);
    }
    // Margins of 10 px at the left, top and bottom, none at the right.
    WebBrowser->setGeometry(kMargin, kHeadH + kMargin, std::max(0, width() - kMargin),
                            std::max(0, height() - kHeadH - 2 * kMargin));
}

void TfmBlockEditor::BuildMenu() {
    pmBlock = new QMenu(this);
    pmBlock->setObjectName("pmBlock");
    auto item = [this](QMenu* menu, const QString& caption, std::function<void()> action) {
        QAction* a = menu->addAction(caption);
        connect(a, &QAction::triggered, this, [this, action = std::move(action)] { Guard(action); });
        return a;
    };
    auto format = [&](QMenu* menu, const QString& caption) {
        return item(menu, caption, [this, caption] { FormatClick(caption); });
    };
    item(pmBlock, "Вставить шаблон", [this] { InsertTemplateClick(); });
    item(pmBlock, "Очистить", [this] { ClearClick(); });
    pmBlock->addSeparator();
    for (const char* c : {"Жирный", "Курсив", "Зачеркнутый"}) format(pmBlock, c);
    pmBlock->addSeparator();
    for (const char* c : {"Черный", "Красный", "Зеленый", "Синий"}) format(pmBlock, c);
    pmBlock->addSeparator();
    item(pmBlock, "Вырезать", [this] { WebBrowser->ExecDocumentCommand("Cut"); });
    item(pmBlock, "Вставить", [this] { WebBrowser->ExecDocumentCommand("Paste"); });
    pmBlock->addSeparator();
    QMenu* sizes = pmBlock->addMenu("Размер шрифта");
    for (int tag = 1; tag <= 7; ++tag) format(sizes, QString("Размер %1").arg(tag))->setData(tag);
    pmBlock->addSeparator();
    item(pmBlock, kClearFormat, [this] { ClearFormatClick(); });
    WebBrowser->SetContextMenu(pmBlock, TMenuPlacement::BlockEditor);
}

void TfmBlockEditor::Guard(const std::function<void()>& action) {
    RunShowingErrors(this, action);
}

bool TfmBlockEditor::Ask(const QString& title, const QString& msg) {
    return L.Confirm ? L.Confirm(title, msg) : wl::Confirm(title, msg);
}

void TfmBlockEditor::FormatClick(const QString& caption) {
    WebBrowser->FormatSelection(FormatCommandByCaption(caption));
}

void TfmBlockEditor::ClearFormatClick() {
    WebBrowser->ClearFormat();
}

void TfmBlockEditor::InsertTemplateClick() {
    WebBrowser->GetBodyHtml([this](const QString& html) {
        Guard([&] {
            if (!TemplateMayReplace(html, [this](const QString& t, const QString& m) { return Ask(t, m); }))
                return;
            const std::string tmpl = L.StoredText ? L.StoredText("template") : std::string();
            WebBrowser->SetBodyHtml(TemplateToHtml(QString::fromStdString(tmpl)));
        });
    });
}

void TfmBlockEditor::ClearClick() {
    if (!Ask("Удалить данные за день?", "Все данные за день будут стерты!")) return;
    WebBrowser->SetBodyHtml(QString());
}

}  // namespace wl
