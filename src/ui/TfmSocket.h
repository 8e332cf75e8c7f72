#pragma once
// The sync log window: one read-only memo "Log" with the sync client's lines, newest at the
// bottom and in view, long lines wrapped. Created hidden at start-up; the gate shows it, first in
// the middle of the screen; closing only hides it and the lines keep coming while hidden.
// AddLine may be called from any thread; the window itself lives on the main thread.
#include <QWidget>
#include <string>
#include <vector>

class QPlainTextEdit;

namespace wl {

class TfmSocket : public QWidget {
    Q_OBJECT
  public:
    // The most lines kept, as the sync client's own log keeps.
    static constexpr int kMaxLines = 201;

    explicit TfmSocket(QWidget* parent = nullptr);

    // Replaces the memo's text with these lines (the log as it stands when the window is linked).
    void SetLines(const std::vector<std::string>& lines);
    // Appends one line; safe from any thread.
    void AddLine(const std::string& line);

    QPlainTextEdit* Log;

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    // Scrolls to the last line.
    void ShowNewest();
    bool FPlaced = false;
};

}  // namespace wl
