#pragma once
// The program's one yes/no question box, asked before anything is deleted or overwritten.
// One instance serves the whole run; Confirm() reuses it for every question.
#include <QDialog>
#include <functional>

class QLabel;
class QPushButton;

namespace wl {

class TfmConfirm : public QDialog {
    Q_OBJECT
  public:
    explicit TfmConfirm(QWidget* parent = nullptr);

    // Shows the question modally, centred over the active window; true only for "OK".
    bool Confirm(const QString& ATitle, const QString& AMsg);

    QLabel* Title;
    QLabel* Msg;  // never editable, so it never shows a caret
    QPushButton* btOK;
    QPushButton* btCancel;
};

// The shared dialog, created on first use.
TfmConfirm& fmConfirm();
// Shorthand for fmConfirm().Confirm(ATitle, AMsg).
bool Confirm(const QString& ATitle, const QString& AMsg);

// Runs what a click asked for; a failure is shown in a message box over `parent` and ends only that
// action. Returns whether it went through.
bool RunShowingErrors(QWidget* parent, const std::function<void()>& action);

}  // namespace wl
