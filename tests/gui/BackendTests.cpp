// The Qt backend's modal boxes as really executed (the window tests answer
// them from a script): which buttons each kind has, what each way of
// answering returns, and the caption, icon and place of the box.
#include "toolkit/Application.h"
#include "toolkit/qt/QtBackend.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

namespace {

// Lets the box come up for real, then answers it as an operator would.
struct OperatorAtBox {
    OperatorAtBox(tkqt::QtBackend& backend, std::function<void(QMessageBox&)> act)
        : backend_(backend)
    {
        backend_.setModalHook([this, act](const tkqt::ModalRequest&) -> std::optional<int> {
            QTimer::singleShot(0, [this, act] {
                auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                if (!box) {
                    ADD_FAILURE() << "no modal box up";
                    return;
                }
                buttons = box->buttons().size();
                title = box->windowTitle();
                icon = box->icon();
                centre = box->geometry().center();
                placedAt = box->pos();
                act(*box);
            });
            return std::nullopt;
        });
    }
    ~OperatorAtBox() { backend_.setModalHook({}); }

    tkqt::QtBackend& backend_;
    qsizetype buttons = 0;
    QString title;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QPoint centre, placedAt;
};

std::function<void(QMessageBox&)> press(QMessageBox::StandardButton which)
{
    return [which](QMessageBox& box) {
        ASSERT_NE(box.button(which), nullptr);
        box.button(which)->click();
    };
}

TEST(QtBackend, ModalBoxesAsTheOperatorAnswersThem)
{
    tkqt::QtBackend backend;
    tk::TApplication application{backend};
    const std::function<void(QMessageBox&)> closeBox = [](QMessageBox& box) { box.close(); };
    const auto key = [](Qt::Key k) { return [k](QMessageBox& box) { QTest::keyClick(&box, k); }; };
    struct Case {
        int flags;
        std::function<void(QMessageBox&)> act;
        qsizetype buttons;
        int answer;
    };
    const Case boxes[] = {
        {tk::MB_OK, press(QMessageBox::Ok), 1, tk::IDOK},
        {tk::MB_OK, closeBox, 1, tk::IDOK},
        {tk::MB_OKCANCEL, closeBox, 2, tk::IDCANCEL},
        {tk::MB_RETRYCANCEL, press(QMessageBox::Retry), 2, tk::IDRETRY},
        {tk::MB_RETRYCANCEL, key(Qt::Key_Escape), 2, tk::IDCANCEL},
        {tk::MB_RETRYCANCEL, key(Qt::Key_Return), 2, tk::IDRETRY},
    };
    for (const Case& c : boxes) {
        OperatorAtBox op(backend, c.act);
        EXPECT_EQ(application.MessageBox("Text\nmore", "The caption", c.flags), c.answer) << c.flags;
        EXPECT_EQ(op.buttons, c.buttons) << c.flags;
        EXPECT_EQ(op.title, "The caption");
        EXPECT_EQ(op.icon, QMessageBox::NoIcon);
    }

    // The warning about closing while programming goes where it was asked to.
    for (const auto& [act, answer] : {std::pair{press(QMessageBox::Yes), tk::mrYes}, std::pair{closeBox, tk::mrCancel}}) {
        OperatorAtBox op(backend, act);
        EXPECT_EQ(tk::MessageDlgPos(application, "Abort?\r\nReally?", tk::TMsgDlgType::mtWarning,
                                    tk::mbYes | tk::mbCancel, 0, 200, 200),
                  answer);
        EXPECT_EQ(op.title, "Warning");
        EXPECT_EQ(op.icon, QMessageBox::Warning);
        EXPECT_EQ(op.buttons, 2);
        EXPECT_EQ(op.placedAt, QPoint(200, 200));
    }

    // A confirmation without a place is centred on the screen.
    OperatorAtBox op(backend, press(QMessageBox::No));
    EXPECT_EQ(tk::MessageDlg(application, "Close application ?", tk::TMsgDlgType::mtConfirmation,
                             tk::mbYes | tk::mbNo, 0),
              tk::mrNo);
    EXPECT_EQ(op.title, "Confirm");
    EXPECT_EQ(op.icon, QMessageBox::Question);
    EXPECT_LE((op.centre - QGuiApplication::primaryScreen()->geometry().center()).manhattanLength(), 4);
}

} // namespace
