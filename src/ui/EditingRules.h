#pragma once
// The rules every HTML editor of the program shares, kept free of any browser so they can be
// checked on their own: the formatting command set, colour values, the context-menu placement and
// the clean-up of the editors' own background colour.
#include <QString>
#include <functional>
#include <span>
#include <variant>
#include <vector>

namespace wl {

// Value passed with a formatting command: nothing, an integer (colours in blue-green-red byte
// order 0x00BBGGRR, font sizes 1..7) or a text such as the colour name "red".
using FormatValue = std::variant<std::monostate, int, const char*>;

// The caption of the command that strips the selection's formatting, in every formatting menu.
inline constexpr const char* kClearFormat = "Очистить формат";

struct FormatCommand {
    const char* caption;  // menu caption as the editors show it
    const char* command;  // command name handed to the editing component
    FormatValue value;
};

// Every formatting command, in menu order: "Жирный", "Курсив", "Зачеркнутый", "Черный",
// "Красный", "Зеленый", "Синий", "Размер 1".."Размер 7", "Крупный шрифт", "Обычный шрифт",
// kClearFormat.
std::span<const FormatCommand> FormatCommands();
// The row with this caption; throws std::out_of_range for an unknown caption.
const FormatCommand& FormatCommandByCaption(const QString& caption);

// text as a JavaScript string literal, quotes included; safe for any text (line breaks, quotes,
// backslashes, U+2028) so stored HTML can be handed to the editor's scripts as data.
QString JsStringLiteral(const QString& text);

// 0x00BBGGRR -> "#rrggbb".
QString BgrToHtmlColor(int bgr);
// The value as the browser's execCommand expects it, written as a JavaScript literal
// ("null", "\"#008000\"", "\"5\"", "\"red\""). Integers passed to a colour command become
// "#rrggbb"; other integers become their decimal text.
QString FormatValueToJs(const char* command, const FormatValue& value);

// The editors' formatting keys (Ctrl + a character each, set on the options page); 0 = none.
struct TFormatKeys {
    char32_t bold = 0;    // HotKeyBold, runs "Жирный"
    char32_t strike = 0;  // HotKeyStriceOut, runs "Зачеркнутый"
};
// The menu captions a key press runs: with Ctrl held, the key code (letters a..z folded to A..Z)
// is compared with the bold key and, independently, with the strike-through key. Empty when the
// press is none of them; the press is then left to the editor.
std::vector<const char*> FormatKeyCaptions(int key, bool ctrl, const TFormatKeys& keys);

// Which editor a context menu belongs to; each places its menu by its own rule.
enum class TMenuPlacement { DayEditor, BlockEditor, NotesPage };
// Y of the context menu for a right-button press at cursorY on a screen of screenHeight pixels:
// the day editor opens it 240 px higher when the press is within 300 px of the bottom, the block
// editor 310 px higher within 350 px; the notes and template pages always at the cursor.
int ContextMenuY(TMenuPlacement placement, int cursorY, int screenHeight);

// A template goes only into an empty day editor unless the user agrees to lose what it holds:
// asks through `ask` (title, message) when `html` holds anything. Returns whether it may go in.
bool TemplateMayReplace(const QString& html, const std::function<bool(const QString&, const QString&)>& ask);

// The attribute the editors' own "#f0f0f0" background leaves on pasted text.
inline constexpr const char* kEditorBackgroundAttr = "style=\"BACKGROUND-COLOR: #f0f0f0\"";
// When html holds the exact attribute (case-sensitive), gives html with every occurrence
// removed regardless of letter case and returns true; otherwise leaves html alone and returns false.
bool CleanEditorBackground(QString& html);

// The day template as the editors put it into a document. A template written as plain text
// (the first-run default is, with CR LF line ends) would run into one line as HTML, so a template
// without any tag comes out escaped with each line break a <br> and runs of spaces kept; a
// template holding markup is HTML already and is returned as it is. The stored template itself
// never changes.
QString TemplateToHtml(const QString& tmpl);
// Whether text holds an HTML tag or comment ("<b>", "</p>", "<br/>", "<!-- -->"); a lone "<" as
// in "5 < 6" is not one.
bool HoldsMarkup(const QString& text);

// Document background of every editor.
inline constexpr const char* kEditorBackground = "#f0f0f0";
// Paragraph style of the day editor and of all other editors.
inline constexpr const char* kDayEditorStyle = "p{margin: 0; background-color: transparent}";
inline constexpr const char* kEditorStyle = "p{margin: 0}";

}  // namespace wl
