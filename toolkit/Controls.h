// Controls as state, without a display: the update logic reads and writes
// these, and whichever front end is attached (Qt window, console, test
// script) observes them and shows them as it can.
#pragma once

#include "toolkit/Types.h"

#include <string>
#include <vector>

namespace tk {

class TControl;

// A front end's view of a control; told after each change of its state.
class ControlObserver {
public:
    virtual ~ControlObserver() = default;
    virtual void controlChanged(TControl& control) = 0;
};

class TControl {
public:
    explicit TControl(std::string name);
    virtual ~TControl() = default;
    TControl(const TControl&) = delete;
    TControl& operator=(const TControl&) = delete;

    const std::string& Name() const { return name_; }

    const std::string& GetText() const { return text_; }
    void SetText(const std::string& text);

    bool Visible() const { return visible_; }
    void SetVisible(bool visible);

    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled);

    // Shown whole as the control's tool tip. On a one-line label whose text
    // holds it (a path, say), it is also the part shortened when the text
    // is too wide for the label's room (ElideText).
    const std::string& GetHint() const { return hint_; }
    void SetHint(const std::string& hint);

    // One observer per control is enough: one front end at a time.
    void setObserver(ControlObserver* observer) { observer_ = observer; }

protected:
    void changed();

private:
    std::string name_;
    std::string text_;
    std::string hint_;
    bool visible_ = true;
    bool enabled_ = true;
    ControlObserver* observer_ = nullptr;
};

class TLabel : public TControl {
public:
    using TControl::TControl;
    TNotifyEvent OnClick;
    // The operator clicked it.
    void Click();
};

class TButton : public TControl {
public:
    using TControl::TControl;
    TNotifyEvent OnClick;
    // The operator clicked it; a disabled button does nothing.
    void Click();
};

class TListBox : public TControl {
public:
    using TControl::TControl;

    std::vector<std::string> Items;

    int GetItemIndex() const { return itemIndex_; }
    // Changing the selection from the program runs no handler.
    void SetItemIndex(int index);

    // The operator changed the selection (mouse or keyboard): runs OnClick
    // once when the selection really changed. A disabled list ignores it.
    void Select(int index);

    // The keys that move through a list.
    enum class Key { Up, Down, PageUp, PageDown, Home, End };
    // The item a key picks in a list of count items with nothing selected
    // and the caret at caret; -1 for none. The first key picks the item at
    // the caret (the first, when the list has just got the focus) rather
    // than the one after it, as a click on it would. Once the operator has
    // picked an item whose choice did not hold (picked: a port that would
    // not open), the keys move on from it as from a selection, and a key
    // that would stay on it picks nothing.
    static int KeyPicks(Key key, int caret, int count, bool picked);

    TNotifyEvent OnClick;

private:
    int itemIndex_ = -1;
};

class TProgressBar : public TControl {
public:
    using TControl::TControl;

    int Min() const { return min_; }
    int Max() const { return max_; }
    int Step() const { return step_; }
    int Position() const { return position_; }

    void SetMin(int value);
    void SetMax(int value);
    void SetStep(int value) { step_ = value; changed(); }
    // Kept within Min..Max.
    void SetPosition(int value);
    void StepBy(int delta) { SetPosition(position_ + delta); }
    void StepIt() { StepBy(step_); }

private:
    int min_ = 0;
    int max_ = 100;
    int step_ = 10;
    int position_ = 0;
};

class TMenuItem : public TControl {
public:
    using TControl::TControl;
    TNotifyEvent OnClick;
    void Click();
};

} // namespace tk
