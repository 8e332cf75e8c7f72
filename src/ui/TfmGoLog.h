#pragma once
// The password gate in front of the sync log: a small tool window that opens the log window when
// the typed password (blanks around it ignored, letter case kept) matches. Created hidden at
// start-up and shown modally by the options page's "Просмотр лога"; closing only hides it.
// Main thread only.
#include <QDialog>
#include <functional>

class QLineEdit;
class QPushButton;

namespace wl {

class TfmGoLog : public QDialog {
    Q_OBJECT
  public:
    // logWindow: shown when the password matches (may be null in tests: then only the gate closes).
    explicit TfmGoLog(QWidget* logWindow, QWidget* parent = nullptr);

    // Whether the typed text opens the log.
    static bool PasswordMatches(const QString& typed);

    void btOKClick();
    // Shows the gate modally, centred, with the caret in the password box (the text typed last
    // time stays, selected, so that typing replaces it).
    int exec() override;

    // The message box for a wrong password; a QMessageBox when empty.
    std::function<void(const QString&)> ShowMessage;

    QLineEdit* edPass;
    QPushButton* btOK;
    QPushButton* btCancel;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    QWidget* FLogWindow;
};

}  // namespace wl
