#include "toolkit/qt/Binding.h"

#include "toolkit/Elide.h"
#include "toolkit/qt/Design.h"
#include "toolkit/qt/QtBackend.h"

#include <QAbstractButton>
#include <QAction>
#include <QDialog>
#include <QEvent>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMouseEvent>
#include <QProgressBar>
#include <QWidget>

#include <limits>
#include <map>

namespace tkqt {

namespace {

QString qs(const std::string& text)
{
    return QString::fromStdString(text);
}

void showState(QWidget& widget, const tk::TControl& control)
{
    if (const QString hint = qs(control.GetHint()); widget.toolTip() != hint)
        widget.setToolTip(hint);
    // setVisible(true) on a child of a hidden window only marks it to be
    // shown with the window; comparing with isHidden keeps that intact.
    if (widget.isHidden() == control.Visible())
        widget.setVisible(control.Visible());
    if (widget.isEnabled() != control.Enabled())
        widget.setEnabled(control.Enabled());
}

// A control whose widget is of another kind than expected still shows
// whether it is visible and enabled.
class WidgetBinding final : public ControlBinding {
public:
    WidgetBinding(QtBackend& backend, tk::TApplication& application, tk::TControl& control, QWidget& widget)
        : ControlBinding(backend, application, control)
        , widget_(widget)
    {
        WidgetBinding::sync();
    }

    void sync() override { showState(widget_, *control_); }

private:
    QWidget& widget_;
};

class LabelBinding final : public ControlBinding {
public:
    LabelBinding(QtBackend& backend, tk::TApplication& application, tk::TControl& control, QLabel& label)
        : ControlBinding(backend, application, control)
        , label_(label)
    {
        label_.setTextFormat(Qt::PlainText);
        label_.installEventFilter(this);
        LabelBinding::sync();
    }

    void sync() override
    {
        const bool oneLine = label_.property(autoSizeProperty).toBool();
        const QString text = oneLine ? qs(elided()) : qs(control_->GetText());
        if (label_.text() != text) {
            label_.setText(text);
            if (oneLine)
                label_.adjustSize();
        }
        showState(label_, *control_);
    }

protected:
    // A click is a press and a release of the left button on the label.
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched != &label_)
            return false;
        if (event->type() == QEvent::MouseButtonPress) {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            pressed_ = mouse->button() == Qt::LeftButton;
            return pressed_;
        }
        if (event->type() == QEvent::MouseButtonRelease && pressed_) {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() != Qt::LeftButton)
                return false;
            pressed_ = false;
            if (label_.rect().contains(mouse->position().toPoint()))
                act<tk::TLabel>([](tk::TLabel& clicked) { clicked.Click(); });
            return true;
        }
        return false;
    }

private:
    // A label that fits its text ends, at the latest, at the edge of what
    // holds it.
    std::string elided() const
    {
        const QWidget* holder = label_.parentWidget();
        const int room = holder ? holder->width() - label_.x() : std::numeric_limits<int>::max();
        const QFontMetrics metrics(label_.font());
        return tk::ElideText(control_->GetText(), control_->GetHint(), room,
                             [&metrics](const std::string& text) { return metrics.horizontalAdvance(qs(text)); });
    }

    QLabel& label_;
    bool pressed_ = false;
};

class ButtonBinding final : public ControlBinding {
public:
    ButtonBinding(QtBackend& backend, tk::TApplication& application, tk::TControl& control, QAbstractButton& button)
        : ControlBinding(backend, application, control)
        , button_(button)
    {
        connect(&button_, &QAbstractButton::clicked, this,
                [this] { act<tk::TButton>([](tk::TButton& pressed) { pressed.Click(); }); });
        button_.installEventFilter(this);
        ButtonBinding::sync();
    }

    void sync() override
    {
        const QString text = qs(control_->GetText());
        if (button_.text() != text)
            button_.setText(text);
        showState(button_, *control_);
    }

protected:
    // Enter presses the focused button, as Space does, in a main window too
    // (Qt leaves that to dialogs' default buttons).
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched != &button_ || event->type() != QEvent::KeyPress)
            return false;
        const auto* key = static_cast<QKeyEvent*>(event);
        if ((key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter) ||
            (key->modifiers() & ~Qt::KeypadModifier))
            return false;
        button_.click();
        return true;
    }

private:
    QAbstractButton& button_;
};

class ListBinding final : public ControlBinding {
public:
    ListBinding(QtBackend& backend, tk::TApplication& application, tk::TControl& control, QListWidget& list)
        : ControlBinding(backend, application, control)
        , list_(list)
    {
        list_.setSelectionMode(QAbstractItemView::SingleSelection);
        list_.installEventFilter(this);
        connect(&list_, &QListWidget::itemSelectionChanged, this, [this] { selectionChanged(); });
        ListBinding::sync();
    }

    void sync() override
    {
        const auto& box = static_cast<const tk::TListBox&>(*control_);
        syncing_ = true;
        if (!sameItems(box)) {
            list_.clear();
            // A port list is narrow; an adapter's name shows whole on hover.
            for (const std::string& item : box.Items) {
                list_.addItem(qs(item));
                list_.item(list_.count() - 1)->setToolTip(qs(item));
            }
            applyItemHeight(list_);
        }
        const int index = box.GetItemIndex();
        if (selectedRow() != index) {
            if (index < 0)
                list_.clearSelection();
            else
                list_.setCurrentRow(index, QItemSelectionModel::ClearAndSelect);
        }
        showState(list_, box);
        syncing_ = false;
    }

protected:
    // With nothing selected, the navigation keys pick as TListBox::KeyPicks
    // says, rather than as Qt's list would.
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched != &list_ || event->type() != QEvent::KeyPress || selectedRow() >= 0 || list_.count() == 0)
            return false;
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->modifiers() & ~Qt::KeypadModifier)
            return false;
        using Key = tk::TListBox::Key;
        static const std::map<int, Key> keys = {{Qt::Key_Up, Key::Up},         {Qt::Key_Down, Key::Down},
                                                {Qt::Key_PageUp, Key::PageUp}, {Qt::Key_PageDown, Key::PageDown},
                                                {Qt::Key_Home, Key::Home},     {Qt::Key_End, Key::End}};
        const auto found = keys.find(key->key());
        if (found == keys.end())
            return false;
        const int row = tk::TListBox::KeyPicks(found->second, list_.currentRow(), list_.count(), picked_);
        if (row >= 0)
            list_.setCurrentRow(row, QItemSelectionModel::ClearAndSelect);
        return true;
    }

private:
    int selectedRow() const
    {
        const QList<QListWidgetItem*> selected = list_.selectedItems();
        return selected.isEmpty() ? -1 : list_.row(selected.first());
    }

    bool sameItems(const tk::TListBox& box) const
    {
        if (list_.count() != static_cast<int>(box.Items.size()))
            return false;
        for (int row = 0; row < list_.count(); ++row)
            if (list_.item(row)->text() != qs(box.Items[static_cast<size_t>(row)]))
                return false;
        return true;
    }

    void selectionChanged()
    {
        if (syncing_ || !control_)
            return;
        const int row = selectedRow();
        if (row == static_cast<const tk::TListBox&>(*control_).GetItemIndex())
            return;
        // The operator can pick another item but not clear the selection
        // (Ctrl+click would), as in a single-selection list box.
        if (row >= 0) {
            picked_ = true;
            act<tk::TListBox>([row](tk::TListBox& box) { box.Select(row); });
        }
        // The handler may have changed the selection again (a port that
        // would not open clears it); show where it ended.
        if (control_)
            sync();
    }

    QListWidget& list_;
    bool syncing_ = false;
    // The operator has picked an item since the list was bound.
    bool picked_ = false;
};

class ProgressBinding final : public ControlBinding {
public:
    ProgressBinding(QtBackend& backend, tk::TApplication& application, tk::TControl& control, QProgressBar& bar)
        : ControlBinding(backend, application, control)
        , bar_(bar)
    {
        ProgressBinding::sync();
    }

    void sync() override
    {
        const auto& progress = static_cast<const tk::TProgressBar&>(*control_);
        // An empty range is an empty bar; Qt would show it as busy.
        const int min = progress.Min();
        const int max = progress.Max() > min ? progress.Max() : min + 1;
        if (bar_.minimum() != min || bar_.maximum() != max)
            bar_.setRange(min, max);
        if (bar_.value() != progress.Position())
            bar_.setValue(progress.Position());
        showState(bar_, progress);
    }

private:
    QProgressBar& bar_;
};

class MenuBinding final : public ControlBinding {
public:
    MenuBinding(QtBackend& backend, tk::TApplication& application, tk::TControl& control, QAction& action)
        : ControlBinding(backend, application, control)
        , action_(action)
    {
        connect(&action_, &QAction::triggered, this,
                [this] { act<tk::TMenuItem>([](tk::TMenuItem& chosen) { chosen.Click(); }); });
        MenuBinding::sync();
    }

    void sync() override
    {
        // A caption of "-" makes the item a separator line, with no text of its own.
        const bool separator = control_->GetText() == "-";
        const QString text = separator ? QString() : qs(control_->GetText());
        if (action_.text() != text)
            action_.setText(text);
        action_.setSeparator(separator);
        action_.setVisible(control_->Visible());
        action_.setEnabled(control_->Enabled());
    }

private:
    QAction& action_;
};

} // namespace

ControlBinding::ControlBinding(QtBackend& backend, tk::TApplication& application, tk::TControl& control)
    : control_(&control)
    , backend_(backend)
    , application_(application)
{
    control.setObserver(this);
}

ControlBinding::~ControlBinding()
{
    if (control_)
        control_->setObserver(nullptr);
}

void ControlBinding::dispatch(const std::function<void()>& action)
{
    backend_.dispatch(application_, action);
}

std::unique_ptr<ControlBinding> ControlBinding::create(QtBackend& backend, tk::TApplication& application,
                                                       tk::TControl& control, QWidget& window)
{
    const QString name = qs(control.Name());
    if (dynamic_cast<tk::TMenuItem*>(&control)) {
        if (auto* action = window.findChild<QAction*>(name))
            return std::make_unique<MenuBinding>(backend, application, control, *action);
        if (auto* menu = window.findChild<QMenu*>(name))
            return std::make_unique<MenuBinding>(backend, application, control, *menu->menuAction());
        return nullptr;
    }

    auto* widget = window.findChild<QWidget*>(name);
    if (!widget)
        return nullptr;
    if (dynamic_cast<tk::TListBox*>(&control)) {
        if (auto* list = qobject_cast<QListWidget*>(widget))
            return std::make_unique<ListBinding>(backend, application, control, *list);
    } else if (dynamic_cast<tk::TProgressBar*>(&control)) {
        if (auto* bar = qobject_cast<QProgressBar*>(widget))
            return std::make_unique<ProgressBinding>(backend, application, control, *bar);
    } else if (dynamic_cast<tk::TButton*>(&control)) {
        if (auto* button = qobject_cast<QAbstractButton*>(widget))
            return std::make_unique<ButtonBinding>(backend, application, control, *button);
    } else if (dynamic_cast<tk::TLabel*>(&control)) {
        if (auto* label = qobject_cast<QLabel*>(widget))
            return std::make_unique<LabelBinding>(backend, application, control, *label);
    }
    qWarning("form binding: %s is not the kind of widget its control needs", qPrintable(name));
    return std::make_unique<WidgetBinding>(backend, application, control, *widget);
}

FormBinding::FormBinding(QtBackend& backend, tk::TForm& form, std::unique_ptr<QWidget> window)
    : backend_(backend)
    , form_(&form)
    , window_(std::move(window))
{
    applyDesign(*window_);
    if (!form.Caption.empty())
        window_->setWindowTitle(qs(form.Caption));
    for (tk::TControl* control : form.Controls()) {
        if (auto binding = ControlBinding::create(backend, form.Application(), *control, *window_))
            controls_.push_back(std::move(binding));
        else
            qWarning("form binding: %s has no widget named %s", form.Name().c_str(), control->Name().c_str());
    }
    window_->installEventFilter(this);
}

FormBinding::~FormBinding()
{
    window_->removeEventFilter(this);
    controls_.clear();
    window_.reset();
}

void FormBinding::orphan()
{
    form_ = nullptr;
    for (auto& control : controls_)
        control->orphan();
}

void FormBinding::close()
{
    if (!form_)
        return;
    tk::TForm* form = form_;
    backend_.dispatch(form->Application(), [form] { form->Close(); });
}

bool FormBinding::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != window_.get() || !form_)
        return false;
    switch (event->type()) {
    case QEvent::Close:
        // The form decides: its close query and close handler run, and the
        // window is hidden or the application ends through the form.
        event->ignore();
        close();
        return true;
    case QEvent::KeyPress:
        // Escape would make a QDialog hide itself behind the form's back.
        if (qobject_cast<QDialog*>(window_.get()) && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape &&
            static_cast<QKeyEvent*>(event)->modifiers() == Qt::NoModifier) {
            close();
            return true;
        }
        return false;
    case QEvent::WindowActivate:
        form_->Application().setActiveForm(form_);
        return false;
    default:
        return false;
    }
}

} // namespace tkqt
