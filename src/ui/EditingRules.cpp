#include "ui/EditingRules.h"

#include <QRegularExpression>
#include <array>
#include <stdexcept>

#include "data/HtmlToText.h"

namespace wl {

namespace {

constexpr std::array<FormatCommand, 17> kCommands{{
    {"Жирный", "Bold", std::monostate{}},
    {"Курсив", "Italic", std::monostate{}},
    {"Зачеркнутый", "StrikeThrough", std::monostate{}},
    {"Черный", "forecolor", 0},
    {"Красный", "forecolor", "red"},
    {"Зеленый", "forecolor", 0x008000},
    {"Синий", "forecolor", 0xFF0000},
    {"Размер 1", "FontSize", 1},
    {"Размер 2", "FontSize", 2},
    {"Размер 3", "FontSize", 3},
    {"Размер 4", "FontSize", 4},
    {"Размер 5", "FontSize", 5},
    {"Размер 6", "FontSize", 6},
    {"Размер 7", "FontSize", 7},
    {"Крупный шрифт", "FontSize", 5},
    {"Обычный шрифт", "FontSize", 3},
    {kClearFormat, "removeformat", std::monostate{}},
}};

}  // namespace

QString JsStringLiteral(const QString& text) {
    QString out;
    out.reserve(text.size() + 2);
    out += '"';
    for (QChar c : text) {
        const char16_t u = c.unicode();
        if (u == '"' || u == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20 || u == 0x2028 || u == 0x2029 || u == '<') {
            out += QString::asprintf("\\u%04x", unsigned(u));
        } else {
            out += c;
        }
    }
    out += '"';
    return out;
}

std::span<const FormatCommand> FormatCommands() {
    return kCommands;
}

const FormatCommand& FormatCommandByCaption(const QString& caption) {
    for (const auto& row : kCommands) {
        if (caption == QString::fromUtf8(row.caption)) return row;
    }
    throw std::out_of_range("unknown formatting command: " + caption.toStdString());
}

QString BgrToHtmlColor(int bgr) {
    const int r = bgr & 0xFF, g = (bgr >> 8) & 0xFF, b = (bgr >> 16) & 0xFF;
    return QString::asprintf("#%02x%02x%02x", r, g, b);
}

QString FormatValueToJs(const char* command, const FormatValue& value) {
    if (const int* number = std::get_if<int>(&value)) {
        const bool colour = QString::fromLatin1(command).compare("forecolor", Qt::CaseInsensitive) == 0;
        return JsStringLiteral(colour ? BgrToHtmlColor(*number) : QString::number(*number));
    }
    if (const char* const* text = std::get_if<const char*>(&value))
        return JsStringLiteral(QString::fromUtf8(*text));
    return "null";
}

std::vector<const char*> FormatKeyCaptions(int key, bool ctrl, const TFormatKeys& keys) {
    std::vector<const char*> captions;
    if (!ctrl) return captions;
    auto fold = [](char32_t c) { return c >= U'a' && c <= U'z' ? c - U'a' + U'A' : c; };
    const char32_t pressed = fold(char32_t(key));
    if (keys.bold != 0 && pressed == fold(keys.bold)) captions.push_back("Жирный");
    if (keys.strike != 0 && pressed == fold(keys.strike)) captions.push_back("Зачеркнутый");
    return captions;
}

int ContextMenuY(TMenuPlacement placement, int cursorY, int screenHeight) {
    const int fromBottom = screenHeight - cursorY;
    switch (placement) {
        case TMenuPlacement::DayEditor:
            return fromBottom <= 300 ? cursorY - 240 : cursorY;
        case TMenuPlacement::BlockEditor:
            return fromBottom <= 350 ? cursorY - 310 : cursorY;
        case TMenuPlacement::NotesPage:
            break;
    }
    return cursorY;
}

bool CleanEditorBackground(QString& html) {
    const QString attr = QString::fromLatin1(kEditorBackgroundAttr);
    if (!html.contains(attr, Qt::CaseSensitive)) return false;
    html.remove(attr, Qt::CaseInsensitive);
    return true;
}

bool HoldsMarkup(const QString& text) {
    static const QRegularExpression tag(R"(<(/?[A-Za-z][A-Za-z0-9-]*(\s[^<>]*)?/?|!--.*--)>)",
                                        QRegularExpression::DotMatchesEverythingOption);
    return tag.match(text).hasMatch();
}

QString TemplateToHtml(const QString& tmpl) {
    if (HoldsMarkup(tmpl)) return tmpl;
    return QString::fromStdString(TextToHtml(tmpl.toStdString()));
}

bool TemplateMayReplace(const QString& html, const std::function<bool(const QString&, const QString&)>& ask) {
    if (html.trimmed().isEmpty()) return true;
    return ask("Удалить данные за день?",
               "Вставка шаблона возможна только в пустое поле, введенные ранее данные будут очищены!");
}

}  // namespace wl
