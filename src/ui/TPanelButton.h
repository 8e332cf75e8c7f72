#pragma once
// The program's flat panel button: a coloured rectangle with a centred caption whose colour changes
// while the mouse is over it, optionally moving one pixel right and down while held. The notes,
// template, options and credits pages use it for their "OK", "Отмена" and library buttons.
#include <QAbstractButton>
#include <QColor>

namespace wl {

class TPanelButton : public QAbstractButton {
    Q_OBJECT
  public:
    TPanelButton(const QString& caption, QWidget* parent);
    // Fill, caption colour, and caption colour under the mouse.
    void SetColors(const QColor& fill, const QColor& text, const QColor& hoverText);
    // Whether the caption moves one pixel right and down while the button is held.
    void SetPressShift(bool shift) { FPressShift = shift; }
    bool Hovered() const { return FHovered; }
    QColor TextColor() const { return FHovered ? FHoverText : FText; }
    QSize sizeHint() const override { return {70, 30}; }

  protected:
    void paintEvent(QPaintEvent*) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

  private:
    QColor FFill;
    QColor FText = Qt::black;
    QColor FHoverText = Qt::white;
    bool FPressShift = true;
    bool FHovered = false;
};

}  // namespace wl
