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
    tk::TApplication app{backend};
    const auto box = [&](int flags) { return [&app, flags] { return app.MessageBox("Text\nmore", "Caption", flags); }; };
    const auto closeBox = [](QMessageBox& b) { b.close(); };
    const auto key = [](Qt::Key k) { return [k](QMessageBox& b) { QTest::keyClick(&b, k); }; };
    struct Case {
        std::function<int()> show;
        std::function<void(QMessageBox&)> act;
        qsizetype buttons;
        int answer;
        QString title;
        QMessageBox::Icon icon;
    };
    const Case cases[] = {
        {box(tk::MB_OK), press(QMessageBox::Ok), 1, tk::IDOK, "Caption", QMessageBox::NoIcon},
        {box(tk::MB_OK), closeBox, 1, tk::IDOK, "Caption", QMessageBox::NoIcon},
        {box(tk::MB_OKCANCEL), closeBox, 2, tk::IDCANCEL, "Caption", QMessageBox::NoIcon},
        {box(tk::MB_RETRYCANCEL), key(Qt::Key_Escape), 2, tk::IDCANCEL, "Caption", QMessageBox::NoIcon},
        {box(tk::MB_RETRYCANCEL), key(Qt::Key_Return), 2, tk::IDRETRY, "Caption", QMessageBox::NoIcon},
        {[&] { return tk::MessageDlgPos(app, "Abort?", tk::TMsgDlgType::mtWarning, tk::mbYes | tk::mbCancel, 0, 200,
                                        200); },
         closeBox, 2, tk::mrCancel, "Warning", QMessageBox::Warning},
        {[&] { return tk::MessageDlg(app, "Close?", tk::TMsgDlgType::mtConfirmation, tk::mbYes | tk::mbNo, 0); },
         press(QMessageBox::No), 2, tk::mrNo, "Confirm", QMessageBox::Question},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title.toStdString() + " " + std::to_string(c.answer));
        OperatorAtBox op(backend, c.act);
        EXPECT_EQ(c.show(), c.answer);
        EXPECT_EQ(op.buttons, c.buttons);
        EXPECT_EQ(op.title, c.title);
        EXPECT_EQ(op.icon, c.icon);
        // Placed where asked, else centred on the screen.
        if (c.icon == QMessageBox::Warning)
            EXPECT_EQ(op.placedAt, QPoint(200, 200));
        else
            EXPECT_LE((op.centre - QGuiApplication::primaryScreen()->geometry().center()).manhattanLength(), 4);
    }
}

} // namespace
