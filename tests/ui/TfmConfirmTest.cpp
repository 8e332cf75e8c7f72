#include "ui/TfmConfirm.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include "UiTestSupport.h"

namespace wl {
namespace {

// Presses a button of the dialog once it is up, keeping what it asked.
void Answer(bool ok, QString* asked) {
    QTimer::singleShot(0, [ok, asked] {
        TfmConfirm& dlg = fmConfirm();
        ASSERT_TRUE(dlg.isVisible());
        *asked = dlg.Title->text() + "|" + dlg.Msg->text();
        dlg.grab().save(QStringLiteral(WL_UI_SHOT_DIR) + "/confirm.png");
        (ok ? dlg.btOK : dlg.btCancel)->click();
    });
}

TEST(TfmConfirmTest, OnlyOkConfirmsAndTheDialogIsReusedWithTheNewQuestion) {
    QString asked;
    Answer(false, &asked);
    EXPECT_FALSE(Confirm("Удалить обои?", "Файл будет удален из списка доступных"));
    EXPECT_EQ(asked, "Удалить обои?|Файл будет удален из списка доступных");

    Answer(true, &asked);
    EXPECT_TRUE(Confirm("Удалить данные за день?", "Все данные за день будут стерты!"));
    EXPECT_EQ(asked, "Удалить данные за день?|Все данные за день будут стерты!");

    TfmConfirm& dlg = fmConfirm();
    EXPECT_EQ(dlg.size(), QSize(389, 170));
    EXPECT_EQ(dlg.btOK->text(), "OK");
    EXPECT_EQ(dlg.btCancel->text(), "Отмена");
    EXPECT_EQ(dlg.btOK->size(), QSize(105, 33));
    EXPECT_EQ(dlg.Msg->size(), QSize(321, 81));
    EXPECT_TRUE(dlg.windowFlags() & Qt::FramelessWindowHint);
}

}  // namespace
}  // namespace wl
