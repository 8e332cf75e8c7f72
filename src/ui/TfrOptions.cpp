#include "ui/TfrOptions.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QRegularExpressionValidator>
#include <QStandardPaths>
#include <QTabWidget>
#include <QThreadPool>
#include <stdexcept>

#include "data/TSettings.h"
#include "diag/ErrLog.h"
#include "ui/TPanelButton.h"
#include "ui/TfmConfirm.h"
#include "ui/UiLook.h"
#include "wallpaper/ImageCodecs.h"
#include "wallpaper/WppLibrary.h"

namespace wl {
namespace {

constexpr int kBottomBarH = 41;
const QColor kSectionHeader{165, 206, 193};
constexpr int kSectionHeaderH = 22;

QString Qs(std::string_view s) {
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}

// A section of the page: the program's green with a light header strip carrying the title.
// Returns the section; its controls go below the header.
QWidget* Section(QWidget* parent, const QString& title, const QRect& r, QLabel** header = nullptr) {
    auto* box = new QWidget(parent);
    box->setGeometry(r);
    box->setAutoFillBackground(true);
    QPalette pal = box->palette();
    pal.setColor(QPalette::Window, kGreen);
    box->setPalette(pal);
    auto* head = new QLabel(title, box);
    head->setGeometry(0, 0, r.width(), kSectionHeaderH);
    head->setFont(UiFont("Tahoma", 12, true));
    head->setIndent(6);
    head->setAutoFillBackground(true);
    QPalette hp = head->palette();
    hp.setColor(QPalette::Window, kSectionHeader);
    hp.setColor(QPalette::WindowText, Qt::black);
    head->setPalette(hp);
    if (header) *header = head;
    return box;
}

QCheckBox* Check(QWidget* parent, const char* name, const QString& caption, int x, int y) {
    auto* c = new QCheckBox(caption, parent);
    c->setObjectName(name);
    c->setFont(UiFont("Comic Sans MS", 13));
    c->setStyleSheet(CheckBoxStyle());
    c->move(x, y);
    c->adjustSize();
    return c;
}

QLabel* Label(QWidget* parent, const QString& text, int x, int y) {
    auto* l = new QLabel(text, parent);
    l->setFont(UiFont("Comic Sans MS", 13));
    l->setStyleSheet("QLabel { color: white; } QLabel:disabled { color: #a5cec1; }");
    l->move(x, y);
    l->adjustSize();
    return l;
}

// The caption of one hot-key row ("Вызов Weekleaf"), with "Ctrl +" as its child in one column for
// every row so that the captions line up whatever their length; disabling the caption greys both.
QLabel* HotKeyCaption(QWidget* parent, const QString& text, int y) {
    constexpr int kLeft = 12, kCtrlX = 158, kWidth = 212;
    QLabel* caption = Label(parent, text, kLeft, y);
    caption->setObjectName("lbHotKeyCaption");
    caption->setFixedWidth(kWidth);
    QLabel* ctrl = Label(caption, "Ctrl +", kCtrlX, 0);
    ctrl->setObjectName("lbHotKeyCtrl");
    return caption;
}

TPanelButton* Button(QWidget* parent, const char* name, const QString& caption, const QRect& r) {
    auto* b = new TPanelButton(caption, parent);
    b->setObjectName(name);
    b->setGeometry(r);
    const QPalette pal = QApplication::palette();
    b->SetColors(kGreen, pal.color(QPalette::Button), pal.color(QPalette::ToolTipText));
    return b;
}

QString CharText(char32_t c) {
    return c ? QString::fromUcs4(&c, 1) : QString();
}

// The first character of a box, or 0 when it is empty.
char32_t FirstChar(const QLineEdit* box) {
    const QList<uint> chars = box->text().toUcs4();
    return chars.isEmpty() ? 0 : char32_t(chars.first());
}

QImage ToQImage(const Image& image) {
    QImage out(image.width, image.height, QImage::Format_RGB32);
    for (int y = 0; y < image.height; ++y) {
        auto* row = reinterpret_cast<uint32_t*>(out.scanLine(y));
        for (int x = 0; x < image.width; ++x) row[x] = 0xff000000u | image.at(x, y);
    }
    return out;
}

// The dialog's type column in Russian whatever the session's locale: Qt names a folder "Folder"
// and a file by its English type description where no translation is found.
class TRussianFileTypes : public QFileIconProvider {
  public:
    QString type(const QFileInfo& info) const override {
        if (info.isDir()) return "Папка";
        const QString suffix = info.suffix().toUpper();
        return suffix.isEmpty() ? QString("Файл") : "Файл " + suffix;
    }
};

// The user's pictures folder (XDG_PICTURES_DIR), else the home folder.
QString PicturesFolder() {
    const QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    return !pictures.isEmpty() && QDir(pictures).exists() ? pictures : QDir::homePath();
}

}  // namespace

std::unique_ptr<QFileDialog> MakePictureDialog(QWidget* parent) {
    static TRussianFileTypes types;  // dialogs only point at it; it outlives them all
    auto dialog = std::make_unique<QFileDialog>(
        parent, "Добавить обои", PicturesFolder(),
        "Изображения (*.jpg *.jpeg *.bmp *.png);;JPEG Image File (*.jpg);;JPEG Image File (*.jpeg);;"
        "Bitmaps (*.bmp);;PNG Image File (*.png)");
    dialog->setFileMode(QFileDialog::ExistingFile);
    dialog->setIconProvider(&types);
    return dialog;
}

namespace {

// The five commands in short: the part they share once, then what differs for each.
QString CommandsText(const HotKeyCommand& command) {
    QStringList commands;
    for (int id = 0; id < 5; ++id) commands << Qs(command(id));
    QString shared = commands.first();
    for (const QString& c : commands) {
        while (!c.startsWith(shared)) shared.chop(1);
    }
    shared.truncate(shared.lastIndexOf(' ') + 1);
    QStringList rest;
    for (const QString& c : commands) rest << c.mid(shared.size());
    return shared + rest.join(", ");
}

}  // namespace

QString HotKeyWayText(THotKeyWay way, const HotKeyCommand& command) {
    const QString bind = command
                             ? " Назначьте их в настройках рабочего стола командам: " + CommandsText(command)
                             : QString(" Назначьте их в настройках рабочего стола.");
    switch (way) {
        case THotKeyWay::Grabbed:
            return {};
        case THotKeyWay::SwayBindings:
            return "Клавиши зарегистрированы в sway и действуют в любом окне, пока программа работает.";
        case THotKeyWay::GnomeShortcuts:
            return "Клавиши добавлены в сочетания клавиш GNOME (Настройки → Клавиатура) и действуют в "
                   "любом окне.";
        case THotKeyWay::Portal:
            return "Клавиши зарегистрированы через портал рабочего стола; изменить их можно в его "
                   "настройках комбинаций клавиш.";
        case THotKeyWay::XwaylandOnly:
            return "Клавиши действуют, только пока активно окно X11." + bind;
        case THotKeyWay::Unavailable:
            return "Программа не смогла сама зарегистрировать клавиши." + bind;
    }
    return {};
}

bool HotKeyKeyAccepted(int key, const QString& text) {
    if (key == Qt::Key_Backspace) return true;
    if (text.size() != 1) return false;
    const QChar c = text.front();
    return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
}

TfrOptions::TfrOptions(TSettings& settings, std::filesystem::path wppFolder, TOptionsLinks links,
                       QWidget* parent)
    : QWidget(parent),
      FSettings(settings),
      L(std::move(links)),
      FLibrary(std::make_unique<TWppLibrary>(std::move(wppFolder))) {
    setObjectName("frOptions");
    resize(500, 445);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);

    pcOptions = new QTabWidget(this);
    pcOptions->setObjectName("pcOptions");
    pcOptions->setFont(UiFont("Comic Sans MS", 12));
    pcOptions->addTab(BuildWallpaperTab(), "Управление обоями");
    pcOptions->addTab(BuildHotKeyTab(), "Горячие клавиши");
    pcOptions->addTab(BuildGeneralTab(), "Общие");
    btClose = Button(this, "btClose", "OK", {0, 0, 70, 30});
    connect(btClose, &QAbstractButton::clicked, this, &TfrOptions::btCloseClick);
    LoadSettings();
}

TfrOptions::~TfrOptions() = default;

void TfrOptions::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    pcOptions->setGeometry(0, 0, width(), height() - kBottomBarH);
    btClose->move(width() - 10 - btClose->width(), height() - kBottomBarH + 6);
}

// ---- building ----------------------------------------------------------------------------------

QWidget* TfrOptions::BuildWallpaperTab() {
    auto* tab = new QWidget;
    tab->setObjectName("tsWallpaper");
    QWidget* wpp = Section(tab, "Обои", {6, 6, 226, 196});
    WppBox = new QListWidget(wpp);
    WppBox->setObjectName("WppBox");
    WppBox->setGeometry(4, kSectionHeaderH + 4, 218, 196 - kSectionHeaderH - 8);
    WppBox->setFont(UiFont("Comic Sans MS", 12));
    connect(WppBox, &QListWidget::itemSelectionChanged, this, &TfrOptions::WppBoxClick);

    QWidget* preview = Section(tab, "Предварительный просмотр", {238, 6, 250, 159});
    imgPreview = new QLabel(preview);
    imgPreview->setObjectName("imgPreview");
    imgPreview->setGeometry(6, kSectionHeaderH + 4, kPreviewWidth, kPreviewHeight);
    imgPreview->setScaledContents(true);
    lbPreviewMessage = new QLabel(preview);
    lbPreviewMessage->setObjectName("lbPreviewMessage");
    lbPreviewMessage->setGeometry(6, kSectionHeaderH + 4, kPreviewWidth, kPreviewHeight);
    lbPreviewMessage->setAlignment(Qt::AlignCenter);
    lbPreviewMessage->setWordWrap(true);
    lbPreviewMessage->setFont(UiFont("Comic Sans MS", 12));
    lbPreviewMessage->setStyleSheet("QLabel { color: white; }");

    btAdd = Button(tab, "btAdd", "Добавить", {238, 172, 80, 30});
    btDelete = Button(tab, "btDelete", "Удалить", {323, 172, 80, 30});
    btApply = Button(tab, "btApply", "Применить", {408, 172, 80, 30});
    connect(btAdd, &QAbstractButton::clicked, this, &TfrOptions::btAddClick);
    connect(btDelete, &QAbstractButton::clicked, this, &TfrOptions::btDeleteClick);
    connect(btApply, &QAbstractButton::clicked, this, &TfrOptions::btApplyClick);

    QWidget* blocks = Section(tab, "Блоки заметок", {6, 208, 482, 80});
    cbShowBloks = Check(blocks, "cbShowBloks", "Отображать блоки заметок", 8, kSectionHeaderH + 6);
    cbAlphaBlend = Check(blocks, "cbAlphaBlend", "Прозрачные блоки заметок", 8, kSectionHeaderH + 30);
    cbFonts = new QComboBox(blocks);
    cbFonts->setObjectName("cbFonts");
    cbFonts->setGeometry(260, kSectionHeaderH + 6, 150, 24);
    cbFonts->hide();
    cbFontSize = new QComboBox(blocks);
    cbFontSize->setObjectName("cbFontSize");
    cbFontSize->setGeometry(420, kSectionHeaderH + 6, 50, 24);
    for (int size = 8; size <= 14; ++size) cbFontSize->addItem(QString::number(size));
    cbFontSize->hide();

    QWidget* change = Section(tab, "Смена обоев", {6, 294, 482, 80});
    cbWppTime = new QComboBox(change);
    cbWppTime->setObjectName("cbWppTime");
    cbWppTime->setFont(UiFont("Comic Sans MS", 12));
    cbWppTime->setGeometry(8, kSectionHeaderH + 8, 160, 26);
    for (std::string_view text : kWppPeriodTexts) cbWppTime->addItem(Qs(text));
    cbWppRandom = Check(change, "cbWppRandom", "Случайный порядок", 190, kSectionHeaderH + 10);
    return tab;
}

QLineEdit* TfrOptions::HotKeyBox(QWidget* parent, const char* name, int x, int y) {
    auto* box = new QLineEdit(parent);
    box->setObjectName(name);
    box->setGeometry(x, y, 30, 24);
    box->setAlignment(Qt::AlignCenter);
    box->setMaxLength(1);
    box->setFont(UiFont("Comic Sans MS", 13, true));
    // Pasted text is held to the same rule as typing.
    box->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9A-Za-z]?"), box));
    box->setContextMenuPolicy(Qt::NoContextMenu);
    box->installEventFilter(this);
    // edHKmainChange: the box always shows its character in capitals.
    connect(box, &QLineEdit::textChanged, box, [box](const QString& text) {
        const QString upper = text.toUpper();
        if (upper != text) box->setText(upper);
    });
    return box;
}

QWidget* TfrOptions::BuildHotKeyTab() {
    auto* tab = new QWidget;
    tab->setObjectName("tsHotKeys");
    QLabel* header = nullptr;
    QWidget* app = Section(tab, "Управление приложением", {6, 6, 482, 186}, &header);
    cbUseHotKey = Check(header, "cbUseHotKey", QString(), 456, 2);
    connect(cbUseHotKey, &QCheckBox::clicked, this, &TfrOptions::SetHotKeyState);
    const char* labels[5] = {"Вызов Weekleaf", "Вызов \"Заметки\"", "Вызов \"Шаблон\"", "Скрыть заметки",
                             "Редактор недели"};
    const char* names[5] = {"edHKmain", "edHKnote", "edHKtemplate", "edHK_block", "edHK_Editor"};
    QLineEdit** boxes[5] = {&edHKmain, &edHKnote, &edHKtemplate, &edHK_block, &edHK_Editor};
    for (int i = 0; i < 5; ++i) {
        const int y = kSectionHeaderH + 8 + i * 31;
        lbHotKeys[i] = HotKeyCaption(app, labels[i], y + 2);
        *boxes[i] = HotKeyBox(app, names[i], 230, y);
    }
    QLabel* editorHeader = nullptr;
    QWidget* editor = Section(tab, "Редактор заметок", {6, 198, 482, 124}, &editorHeader);
    // Kept for the layout's sake; it switches nothing.
    cbEditorKeys = Check(editorHeader, "cbEditorKeys", QString(), 456, 2);
    cbEditorKeys->hide();
    connect(cbEditorKeys, &QCheckBox::clicked, this, &TfrOptions::SetHotKeyState);
    const char* editorLabels[3] = {"Шрифт жирный", "Шрифт курсивом", "Шрифт зачеркнутый"};
    const char* editorNames[3] = {"edHKBold", "edHKItalic", "edHKStrikeOut"};
    QLineEdit** editorBoxes[3] = {&edHKBold, &edHKItalic, &edHKStrikeOut};
    for (int i = 0; i < 3; ++i) {
        const int y = kSectionHeaderH + 8 + i * 31;
        HotKeyCaption(editor, editorLabels[i], y + 2);
        *editorBoxes[i] = HotKeyBox(editor, editorNames[i], 230, y);
    }
    edHKItalic->setEnabled(false);
    lbHotKeyWay = new QLabel(tab);
    lbHotKeyWay->setObjectName("lbHotKeyWay");
    lbHotKeyWay->setGeometry(8, 326, 478, 48);
    lbHotKeyWay->setWordWrap(true);
    lbHotKeyWay->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lbHotKeyWay->setTextInteractionFlags(Qt::TextSelectableByMouse);  // the commands can be copied
    lbHotKeyWay->setFont(UiFont("Comic Sans MS", 10));
    lbHotKeyWay->setStyleSheet(QString("QLabel { color: %1; }").arg(kDarkGreen.name()));
    return tab;
}

QWidget* TfrOptions::BuildGeneralTab() {
    auto* tab = new QWidget;
    tab->setObjectName("tsGeneral");
    QWidget* general = Section(tab, "Общие", {6, 6, 482, 110});
    cbAutorun = Check(general, "cbAutorun", "Автозапуск при входе в систему", 8, kSectionHeaderH + 8);
    cbHide = Check(general, "cbHide", "Скрывать в трей при запуске", 8, kSectionHeaderH + 34);
    cbCheckUpdates =
        Check(general, "cbCheckUpdates", "Проверять наличие обновлений", 8, kSectionHeaderH + 60);
    btLog = Button(tab, "btLog", "Просмотр лога", {6, 124, 140, 30});
    connect(btLog, &QAbstractButton::clicked, this, [this] {
        if (L.ShowLog) L.ShowLog();
    });
    return tab;
}

// ---- loading and saving ----------------------------------------------------------------------------

void TfrOptions::LoadSettings() {
    try {
        cbWppRandom->setChecked(FSettings.WppRandom());
        const int32_t period = FSettings.WppToChange();
        cbWppTime->setCurrentIndex(period >= 0 && period < cbWppTime->count() ? period : -1);
        cbUseHotKey->setChecked(FSettings.UseHotKey());
        edHKmain->setText(CharText(FSettings.HotKeyMain()));
        edHKnote->setText(CharText(FSettings.HotKeyNote()));
        edHKtemplate->setText(CharText(FSettings.HotKeyTemplate()));
        edHK_block->setText(CharText(FSettings.HotKeyBlock()));
        edHK_Editor->setText(CharText(FSettings.HotKeyEditor()));
        cbShowBloks->setChecked(FSettings.ShowBloks());
        cbFontSize->setCurrentIndex(cbFontSize->findText(QString::number(FSettings.FontSize())));
        cbAutorun->setChecked(FSettings.StartWithOS());
        cbHide->setChecked(FSettings.HideOnStart());
        cbCheckUpdates->setChecked(FSettings.CheckUpdate());
        // The installed families do not change while the page lives; the list is filled once.
        if (cbFonts->count() == 0) cbFonts->addItems(QFontDatabase::families());
        cbFonts->setCurrentIndex(cbFonts->findText(Qs(FSettings.Font()), Qt::MatchFixedString));
        edHKBold->setText(CharText(FSettings.HotKeyBold()));
        edHKItalic->setText(CharText(FSettings.HotKeyItalic()));
        edHKStrikeOut->setText(CharText(FSettings.HotKeyStriceOut()));
        cbAlphaBlend->setChecked(FSettings.ALPHABLEND_VALUE() != 255);
        UseAlphaBlend = cbAlphaBlend->isChecked();
    } catch (const std::exception&) {
        Message("Error load Config");
    }
    ListUpdate();
    SetHotKeyState();
    ShowHotKeyWay();
}

void TfrOptions::ShowHotKeyWay() {
    const THotKeyWay way = L.HotKeyWay ? L.HotKeyWay() : THotKeyWay::Grabbed;
    const QString text = HotKeyWayText(way, L.RemoteCommand);
    lbHotKeyWay->setText(text);
    lbHotKeyWay->setVisible(!text.isEmpty());
    QStringList commands;
    const bool bind = way == THotKeyWay::XwaylandOnly || way == THotKeyWay::Unavailable;
    for (int id = 0; bind && L.RemoteCommand && id < 5; ++id)
        commands << lbHotKeys[id]->text() + ": " + Qs(L.RemoteCommand(id));
    lbHotKeyWay->setToolTip(commands.join('\n'));
}

void TfrOptions::SetHotKeyState() {
    const bool on = cbUseHotKey->isChecked();
    QLineEdit* boxes[5] = {edHKmain, edHKnote, edHKtemplate, edHK_block, edHK_Editor};
    for (int i = 0; i < 5; ++i) {
        boxes[i]->setEnabled(on);
        lbHotKeys[i]->setEnabled(on);
    }
}

void TfrOptions::SetSettings() {
    if (L.WppTimer) L.WppTimer(true);
    const int period = cbWppTime->currentIndex();
    if (period >= 0) {
        FSettings.SetWppDateToChange(WppNextDate(Clock(), period));
        if (period == kWppNever && L.WppTimer) L.WppTimer(false);
        FSettings.SetWppToChange(period);
    }
    FSettings.SetWppRandom(cbWppRandom->isChecked());
    FSettings.SetUseHotKey(cbUseHotKey->isChecked());
    // A stored font or size the lists do not offer (a font not installed here) stays as it is: the
    // drawing and the editors stand in the program's sans for a missing font, and the font comes
    // back once it is installed.
    if (cbFonts->currentIndex() >= 0) FSettings.SetFont(cbFonts->currentText().toStdString());
    if (cbFontSize->currentIndex() >= 0) FSettings.SetFontSize(cbFontSize->currentText().toInt());
    FSettings.SetStartWithOS(cbAutorun->isChecked());
    FSettings.SetHideOnStart(cbHide->isChecked());
    FSettings.SetCheckUpdate(cbCheckUpdates->isChecked());
    FSettings.SetShowBloks(cbShowBloks->isChecked());
    // An emptied box keeps the key it had.
    struct Key {
        QLineEdit* box;
        void (TSettings::*set)(char32_t);
    };
    const Key appKeys[] = {{edHKmain, &TSettings::SetHotKeyMain},
                           {edHKnote, &TSettings::SetHotKeyNote},
                           {edHKtemplate, &TSettings::SetHotKeyTemplate},
                           {edHK_block, &TSettings::SetHotKeyBlock},
                           {edHK_Editor, &TSettings::SetHotKeyEditor}};
    const Key editorKeys[] = {{edHKBold, &TSettings::SetHotKeyBold},
                              {edHKItalic, &TSettings::SetHotKeyItalic},
                              {edHKStrikeOut, &TSettings::SetHotKeyStriceOut}};
    for (const Key& k : appKeys) {
        if (const char32_t c = FirstChar(k.box)) (FSettings.*k.set)(c);
    }
    if (L.HotKeys) L.HotKeys(cbUseHotKey->isChecked());
    for (const Key& k : editorKeys) {
        if (const char32_t c = FirstChar(k.box)) (FSettings.*k.set)(c);
    }
    FSettings.SetALPHABLEND_VALUE(cbAlphaBlend->isChecked() ? 125 : 255);
    if (L.SettingsApplied) L.SettingsApplied();
}

void TfrOptions::btCloseClick() {
    try {
        SetSettings();
    } catch (const std::exception& e) {
        // Config.ini could not be written: the page stays open with the user's choices.
        Message(QString::fromUtf8(e.what()));
        return;
    }
    emit Closed();
    const bool alphaChanged = cbAlphaBlend->isChecked() != UseAlphaBlend;
    if ((!cbShowBloks->isChecked() || alphaChanged) && L.RestoreUserWallpaper) {
        try {
            L.RestoreUserWallpaper();
        } catch (const std::exception& e) {
            Message(QString::fromUtf8(e.what()));
        }
    }
    UseAlphaBlend = cbAlphaBlend->isChecked();
}

bool TfrOptions::eventFilter(QObject* watched, QEvent* event) {
    // edHKmainKeyPress, shared by the eight boxes.
    auto* box = qobject_cast<QLineEdit*>(watched);
    if (!box || event->type() != QEvent::KeyPress) return QWidget::eventFilter(watched, event);
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) return false;  // focus moves on
    if (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) return true;
    if (!HotKeyKeyAccepted(key->key(), key->text())) return true;
    box->clear();
    return key->key() == Qt::Key_Backspace;  // Backspace leaves the box empty
}

// ---- library -------------------------------------------------------------------------------------

void TfrOptions::ListUpdate() {
    FLibrary->ListUpdate();
    const QSignalBlocker quiet(WppBox);
    WppBox->clear();
    for (const std::string& name : FLibrary->Names()) WppBox->addItem(QString::fromStdString(name));
    WppBox->setCurrentRow(-1);
    ++FPreviewRequest;  // a preview still decoding belongs to the old list
    imgPreview->clear();
    lbPreviewMessage->clear();
}

void TfrOptions::btAddClick() {
    QString file;
    if (L.AskPicture) {
        file = L.AskPicture();
    } else {
        const std::unique_ptr<QFileDialog> dialog = MakePictureDialog(this);
        if (dialog->exec() == QDialog::Accepted && !dialog->selectedFiles().isEmpty())
            file = dialog->selectedFiles().front();
    }
    if (file.isEmpty()) return;
    const WppAddResult result = FLibrary->Add(file.toStdString());
    if (!result.ok) {
        Message(QString::fromStdString(result.message));
        return;
    }
    ListUpdate();
    // The new picture is the one the user wants to look at next: selected, so it is previewed.
    const QList<QListWidgetItem*> added = WppBox->findItems(QFileInfo(file).fileName(), Qt::MatchExactly);
    if (!added.isEmpty()) WppBox->setCurrentItem(added.front());
}

void TfrOptions::btDeleteClick() {
    const int selected = WppBox->currentRow();
    if (!FLibrary->CanDelete(selected) || !WppBox->currentItem()->isSelected()) return;
    if (!Ask(Qs(kWppDeleteTitle), Qs(kWppDeleteText))) return;
    FLibrary->Delete(selected);
    ListUpdate();
}

void TfrOptions::btApplyClick() {
    const int selected = WppBox->currentRow();
    const std::filesystem::path path = FLibrary->PathOf(selected);
    if (path.empty() || !L.SetWallpaper) return;
    // A file that cannot be shown leaves the desktop as it was, and the user learns why.
    const QString notApplied = QString("Обои не применены: файл «%1» не читается как изображение.")
                                   .arg(WppBox->currentItem()->text());
    try {
        if (DetectImageFormat(path) == ImageFormat::Other) {
            Message(notApplied);
            return;
        }
        L.SetWallpaper(path.string());
    } catch (const std::exception& e) {
        ErrLog(std::string("btApplyClick: ") + e.what());
        Message(notApplied);
    }
}

void TfrOptions::WppBoxClick() {
    const int selected = WppBox->currentRow();
    const std::filesystem::path path = FLibrary->PathOf(selected);
    if (path.empty()) return;
    try {
        FSettings.SetWppCurIndex(selected);
    } catch (const std::exception& e) {
        Message(QString::fromUtf8(e.what()));
    }
    // Decoded on a worker: a large picture never holds the page up; only the newest answer shows.
    const int request = ++FPreviewRequest;
    lbPreviewMessage->setText("Загрузка…");
    std::weak_ptr<bool> alive = FAlive;
    QThreadPool::globalInstance()->start([this, alive, request, path] {
        QImage picture;
        QString error;
        try {
            picture = ToQImage(LoadPreview(path));
        } catch (const std::exception&) {
            error = "Нет просмотра: файл не читается как изображение";
        }
        QMetaObject::invokeMethod(
            qApp,
            [this, alive, request, picture, error] {
                if (!alive.expired()) ShowPreview(request, picture, error);
            },
            Qt::QueuedConnection);
    });
}

void TfrOptions::ShowPreview(int request, const QImage& picture, const QString& error) {
    if (request != FPreviewRequest) return;
    if (!error.isEmpty()) {
        imgPreview->clear();
        lbPreviewMessage->setText(error);
        return;
    }
    lbPreviewMessage->clear();
    imgPreview->setPixmap(QPixmap::fromImage(picture));
    ++FPreviewsShown;
}

// ---- helpers -------------------------------------------------------------------------------------

bool TfrOptions::Ask(const QString& title, const QString& msg) {
    return L.Confirm ? L.Confirm(title, msg) : wl::Confirm(title, msg);
}

void TfrOptions::Message(const QString& text) {
    if (L.ShowMessage) {
        L.ShowMessage(text);
        return;
    }
    QMessageBox::information(this, "Weekleaf", text);
}

DateTime TfrOptions::Clock() const {
    return L.Now ? L.Now() : Now();
}

}  // namespace wl
