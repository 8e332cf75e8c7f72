#pragma once
// A picture button of the main window's header: a highlighted picture while the mouse is over it,
// moved one pixel right and down while it is held (a pressed look), clicked on release over it.
#include <QLabel>
#include <QPixmap>
#include <functional>

namespace wl {

class THeaderButton : public QLabel {
  public:
    THeaderButton(const QString& normal, const QString& highlighted, QWidget* parent);
    std::function<void()> onClick;
    bool Highlighted() const { return FHighlighted; }

  protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    QPixmap FNormal, FHighlight;
    bool FHighlighted = false;
    bool FPressed = false;
};

}  // namespace wl
