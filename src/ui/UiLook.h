#pragma once
// The program's look: its colours and its fonts with graceful fall-backs on systems that lack
// the Windows fonts the design uses.
#include <QColor>
#include <QFont>
#include <QString>

namespace wl {

inline const QColor kGreen{0x19, 0xAE, 0x84};           // headers, buttons and lines
inline const QColor kGreenSeparator{0x1D, 0xC5, 0x97};  // 1-pixel separators of the toolbar
inline const QColor kGreenLine{0x1D, 0xC9, 0x99};       // thin lines of the left panel
inline const QColor kDarkGreen{0x10, 0x74, 0x58};       // frame of the confirmation dialog
inline const QColor kCalendarDisabled{0x19, 0xAA, 0x84};
inline const QColor kWeekend{0xFF, 0xCC, 0x99};           // weekend block headers; "waiting" marks
inline const QColor kEntryDot{0x0E, 0x6E, 0x53};          // calendar: the day holds an entry
inline const QColor kHoverOnGreen{255, 255, 255, 56};     // backdrop of a hovered button on green
inline const QColor kHoverOnLight{0x19, 0xAE, 0x84, 40};  // ... on white or the editor's grey

// family at pixelSize; when the family is missing the closest installed sans face stands in.
QFont UiFont(const char* family, int pixelSize, bool bold = false);

// The program's sans face as installed here (its design face, else a look-alike, else the
// system's sans), the same the wallpaper draws in; the editors write in it unless a text names
// another.
QString SansFamily();

// Style sheet of a check box on the program's green: white text, an empty white-framed box, and
// when ticked a white box with a dark green tick, so a ticked box can never pass for a disabled one.
QString CheckBoxStyle();

}  // namespace wl
