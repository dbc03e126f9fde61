// The Qt backend on its own, with a small form of every control kind: what
// the widgets show of the controls, what the operator's actions do to them,
// the modal boxes as really executed, and the end of the message loop.
#include "tests/gui/ModalScript.h"
#include "toolkit/Application.h"
#include "toolkit/qt/QtBackend.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QLabel>
#include <QListWidget>
#include <QMainWindow>
#include <QMenuBar>
#include <QMessageBox>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

class ProbeForm : public tk::TForm {
public:
    ProbeForm(tk::TApplication& application, std::string name)
        : tk::TForm(application, std::move(name))
    {
        list.Items = {"COM1", "COM2", "COM3", "COM4"};
        for (tk::TControl* control : {static_cast<tk::TControl*>(&label), static_cast<tk::TControl*>(&button),
                                      static_cast<tk::TControl*>(&list), static_cast<tk::TControl*>(&bar),
                                      static_cast<tk::TControl*>(&item)})
            registerControl(*control);
    }

    tk::TLabel label{"label"};
    tk::TButton button{"button"};
    tk::TListBox list{"list"};
    tk::TProgressBar bar{"bar"};
    tk::TMenuItem item{"item"};
};

template <typename Window>
std::unique_ptr<QWidget> probeWindow()
{
    auto window = std::make_unique<Window>();
    QWidget* client = window.get();
    auto* action = new QAction(window.get());
    action->setObjectName("item");
    if constexpr (std::is_same_v<Window, QMainWindow>) {
        client = new QWidget;
        window->setCentralWidget(client);
        window->menuBar()->addAction(action);
    }
    auto* label = new QLabel(client);
    label->setObjectName("label");
    label->setGeometry(10, 10, 60, 16);
    auto* button = new QPushButton(client);
    button->setObjectName("button");
    button->setGeometry(80, 10, 60, 24);
    auto* list = new QListWidget(client);
    list->setObjectName("list");
    list->setGeometry(10, 40, 60, 80);
    auto* bar = new QProgressBar(client);
    bar->setObjectName("bar");
    bar->setGeometry(10, 130, 200, 20);
    window->resize(240, 180);
    return window;
}

class BackendTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        main = &application.CreateForm<ProbeForm>("main");
        backend.attach(*main, probeWindow<QMainWindow>());
        dialog = &application.CreateForm<ProbeForm>("dialog");
        backend.attach(*dialog, probeWindow<QDialog>());
    }

    template <typename Widget>
    Widget& widget(ProbeForm& form, const char* name)
    {
        auto* found = backend.window(form)->findChild<Widget*>(name);
        EXPECT_NE(found, nullptr) << name;
        return *found;
    }

    // Shows the main window and waits until it has the focus.
    void showMain()
    {
        main->Show();
        ASSERT_TRUE(QTest::qWaitForWindowActive(backend.window(*main)));
    }

    tkqt::QtBackend backend;
    tk::TApplication application{backend};
    ProbeForm* main = nullptr;
    ProbeForm* dialog = nullptr;
};

// Runs a modal box for real and acts on it once it is up: the way an
// operator answers, with the box's own buttons or its close box.
class OperatorAtBox {
public:
    OperatorAtBox(tkqt::QtBackend& backend, std::function<void(QMessageBox&)> act)
        : backend_(backend)
    {
        backend_.setModalHook([this, act](const tkqt::ModalRequest& request) -> std::optional<int> {
            buttons = request.box->buttons().size();
            QTimer::singleShot(0, [this, act] {
                auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                if (!box) {
                    ADD_FAILURE() << "no modal box up";
                    return;
                }
                placedAt = box->pos();
                size = box->size();
                title = box->windowTitle();
                icon = box->icon();
                act(*box);
            });
            return std::nullopt;
        });
    }
    ~OperatorAtBox() { backend_.setModalHook({}); }
    OperatorAtBox(const OperatorAtBox&) = delete;
    OperatorAtBox& operator=(const OperatorAtBox&) = delete;

    tkqt::QtBackend& backend_;
    qsizetype buttons = 0;
    QPoint placedAt;
    QSize size;
    QString title;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
};

void click(QMessageBox::StandardButton which, QMessageBox& box)
{
    ASSERT_NE(box.button(which), nullptr);
    box.button(which)->click();
}

TEST_F(BackendTest, MessageBoxButtonSetsAndAnswers)
{
    struct Case {
        int flags;
        qsizetype buttons;
        std::function<void(QMessageBox&)> act;
        int answer;
    };
    const std::vector<Case> cases = {
        {tk::MB_OK, 1, [](QMessageBox& box) { click(QMessageBox::Ok, box); }, tk::IDOK},
        {tk::MB_OK, 1, [](QMessageBox& box) { box.close(); }, tk::IDOK},
        {tk::MB_OKCANCEL, 2, [](QMessageBox& box) { click(QMessageBox::Ok, box); }, tk::IDOK},
        {tk::MB_OKCANCEL, 2, [](QMessageBox& box) { click(QMessageBox::Cancel, box); }, tk::IDCANCEL},
        {tk::MB_OKCANCEL, 2, [](QMessageBox& box) { box.close(); }, tk::IDCANCEL},
        {tk::MB_RETRYCANCEL, 2, [](QMessageBox& box) { click(QMessageBox::Retry, box); }, tk::IDRETRY},
        {tk::MB_RETRYCANCEL, 2, [](QMessageBox& box) { QTest::keyClick(&box, Qt::Key_Escape); }, tk::IDCANCEL},
        {tk::MB_RETRYCANCEL, 2, [](QMessageBox& box) { QTest::keyClick(&box, Qt::Key_Return); }, tk::IDRETRY},
    };
    for (const Case& c : cases) {
        OperatorAtBox op(backend, c.act);
        EXPECT_EQ(application.MessageBox("Text\nmore", "The caption", c.flags), c.answer) << "flags " << c.flags;
        EXPECT_EQ(op.buttons, c.buttons);
        EXPECT_EQ(op.title, "The caption");
        EXPECT_EQ(op.icon, QMessageBox::NoIcon);
    }
}

TEST_F(BackendTest, DialogsHaveTheirKindsCaptionAndIconAndArePlaced)
{
    {
        OperatorAtBox op(backend, [](QMessageBox& box) { click(QMessageBox::Yes, box); });
        EXPECT_EQ(tk::MessageDlgPos(application, "Abort?\r\nReally?", tk::TMsgDlgType::mtWarning,
                                    tk::mbYes | tk::mbCancel, 0, 200, 200),
                  tk::mrYes);
        EXPECT_EQ(op.title, "Warning");
        EXPECT_EQ(op.icon, QMessageBox::Warning);
        EXPECT_EQ(op.buttons, 2);
        EXPECT_EQ(op.placedAt, QPoint(200, 200));
    }
    {
        OperatorAtBox op(backend, [](QMessageBox& box) { box.close(); });
        EXPECT_EQ(tk::MessageDlgPos(application, "Abort?", tk::TMsgDlgType::mtWarning, tk::mbYes | tk::mbCancel, 0,
                                    200, 200),
                  tk::mrCancel);
    }
    {
        OperatorAtBox op(backend, [](QMessageBox& box) { click(QMessageBox::No, box); });
        EXPECT_EQ(tk::MessageDlg(application, "Close application ?", tk::TMsgDlgType::mtConfirmation,
                                 tk::mbYes | tk::mbNo, 0),
                  tk::mrNo);
        EXPECT_EQ(op.title, "Confirm");
        EXPECT_EQ(op.icon, QMessageBox::Question);
        // Centred on the screen.
        const QPoint centre = QGuiApplication::primaryScreen()->geometry().center();
        const QPoint boxCentre = op.placedAt + QPoint(op.size.width() / 2, op.size.height() / 2);
        EXPECT_LE((boxCentre - centre).manhattanLength(), 4);
    }
}

TEST_F(BackendTest, ModalBoxStillWorksAfterTerminateUntilTheHandlerReturns)
{
    int answer = 0;
    main->button.OnClick = [&] {
        application.Terminate();
        OperatorAtBox op(backend, [](QMessageBox& box) { click(QMessageBox::Ok, box); });
        answer = application.MessageBox("Still here", "c", tk::MB_OKCANCEL);
    };
    QTimer::singleShot(0, [&] { widget<QPushButton>(*main, "button").click(); });
    // Fails the test rather than hang if the loop never ends.
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [] {
        ADD_FAILURE() << "message loop did not end";
        QCoreApplication::exit(1);
    });
    watchdog.start(10000);
    application.Run();
    EXPECT_EQ(answer, tk::IDOK);
    EXPECT_TRUE(backend.quitReached());
}

TEST_F(BackendTest, WidgetsShowTheControls)
{
    main->label.SetText("Getting Device Infomation");
    main->button.SetEnabled(false);
    main->bar.SetMax(128);
    main->bar.SetPosition(5);
    main->list.SetItemIndex(2);
    main->label.SetVisible(false);
    main->item.SetText("E&xit");

    EXPECT_EQ(widget<QLabel>(*main, "label").text(), "Getting Device Infomation");
    EXPECT_TRUE(widget<QLabel>(*main, "label").isHidden());
    EXPECT_FALSE(widget<QPushButton>(*main, "button").isEnabled());
    auto& bar = widget<QProgressBar>(*main, "bar");
    EXPECT_EQ(bar.maximum(), 128);
    EXPECT_EQ(bar.value(), 5);
    auto& list = widget<QListWidget>(*main, "list");
    ASSERT_EQ(list.count(), 4);
    ASSERT_EQ(list.selectedItems().size(), 1);
    EXPECT_EQ(list.row(list.selectedItems().first()), 2);
    EXPECT_EQ(backend.window(*main)->findChild<QAction*>("item")->text(), "E&xit");

    // An empty range is an empty bar, not Qt's busy indicator; the control
    // keeps what it was given.
    main->bar.SetMax(0);
    EXPECT_GT(bar.maximum(), bar.minimum());
    EXPECT_EQ(bar.value(), bar.minimum());
    EXPECT_EQ(main->bar.Max(), 0);
}

TEST_F(BackendTest, OperatorActionsReachTheControls)
{
    showMain();
    int labelClicks = 0;
    int buttonClicks = 0;
    int itemClicks = 0;
    main->label.OnClick = [&] { ++labelClicks; };
    main->button.OnClick = [&] { ++buttonClicks; };
    main->item.OnClick = [&] { ++itemClicks; };

    QTest::mouseClick(&widget<QLabel>(*main, "label"), Qt::LeftButton);
    QTest::mouseClick(&widget<QPushButton>(*main, "button"), Qt::LeftButton);
    backend.window(*main)->findChild<QAction*>("item")->trigger();
    EXPECT_EQ(labelClicks, 1);
    EXPECT_EQ(buttonClicks, 1);
    EXPECT_EQ(itemClicks, 1);

    // An exception escaping a handler is shown, and the program goes on.
    guitest::ModalScript script(backend);
    script.expect("port gone", tk::IDOK);
    main->button.OnClick = [] { throw std::runtime_error("port gone"); };
    QTest::mouseClick(&widget<QPushButton>(*main, "button"), Qt::LeftButton);
    ASSERT_EQ(script.shown.size(), 1u);
    EXPECT_EQ(script.shown[0].kind, tkqt::ModalRequest::Kind::Exception);
    QTest::mouseClick(&widget<QLabel>(*main, "label"), Qt::LeftButton);
    EXPECT_EQ(labelClicks, 2);
}

TEST_F(BackendTest, ListSelectionRunsTheHandlerOncePerChange)
{
    showMain();
    auto& list = widget<QListWidget>(*main, "list");
    std::vector<int> selections;
    main->list.OnClick = [&] { selections.push_back(main->list.GetItemIndex()); };
    const auto clickRow = [&](int row, Qt::KeyboardModifiers modifiers = {}) {
        QTest::mouseClick(list.viewport(), Qt::LeftButton, modifiers, list.visualItemRect(list.item(row)).center());
    };

    // Focus on the list, nothing selected: the first arrow key selects the
    // first item, as a click on it would.
    list.setFocus();
    QTest::keyClick(&list, Qt::Key_Down);
    EXPECT_EQ(selections, std::vector<int>({0}));
    QTest::keyClick(&list, Qt::Key_Down);
    clickRow(2);
    clickRow(2);
    // Ctrl+click would clear a single selection; a list box keeps it.
    clickRow(2, Qt::ControlModifier);
    EXPECT_EQ(selections, std::vector<int>({0, 1, 2}));
    EXPECT_EQ(main->list.GetItemIndex(), 2);

    // Selection set by the program runs nothing.
    main->list.SetItemIndex(3);
    EXPECT_EQ(list.row(list.selectedItems().first()), 3);
    EXPECT_EQ(selections.size(), 3u);

    // A handler that clears the selection leaves the list without one.
    main->list.OnClick = [&] {
        selections.push_back(main->list.GetItemIndex());
        main->list.SetItemIndex(-1);
    };
    clickRow(0);
    EXPECT_TRUE(list.selectedItems().isEmpty());
    EXPECT_EQ(main->list.GetItemIndex(), -1);
    clickRow(0);
    EXPECT_EQ(selections, std::vector<int>({0, 1, 2, 0, 0}));
}

TEST_F(BackendTest, CloseRequestsGoThroughTheForm)
{
    showMain();
    int queries = 0;
    main->OnCloseQuery = [&](bool& canClose) {
        ++queries;
        canClose = false;
    };
    QWidget* window = backend.window(*main);
    EXPECT_FALSE(window->close());
    EXPECT_EQ(queries, 1);
    EXPECT_TRUE(window->isVisible());

    // A secondary window is hidden by its form, by its close box or Escape.
    for (int way = 0; way < 2; ++way) {
        dialog->Show();
        QWidget* dialogWindow = backend.window(*dialog);
        ASSERT_TRUE(dialogWindow->isVisible());
        if (way == 0)
            dialogWindow->close();
        else
            QTest::keyClick(dialogWindow, Qt::Key_Escape);
        EXPECT_FALSE(dialog->Visible()) << way;
        EXPECT_FALSE(dialogWindow->isVisible()) << way;
    }
    EXPECT_FALSE(application.Terminated());

    // On the main window an allowed close ends the application.
    main->OnCloseQuery = nullptr;
    window->close();
    EXPECT_TRUE(application.Terminated());
    EXPECT_TRUE(backend.quitReached());
    EXPECT_TRUE(window->isVisible());
}

TEST_F(BackendTest, ShowBringsToTheFrontAndTheWindowDiesWithItsForm)
{
    showMain();
    dialog->Show();
    QWidget* dialogWindow = backend.window(*dialog);
    ASSERT_TRUE(QTest::qWaitForWindowActive(dialogWindow));
    EXPECT_EQ(application.ActiveForm(), dialog);
    main->Show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(backend.window(*main)));
    EXPECT_EQ(application.ActiveForm(), main);

    QPointer<QWidget> mainWindow = backend.window(*main);
    application.DestroyForms();
    EXPECT_TRUE(mainWindow.isNull());
}

} // namespace
