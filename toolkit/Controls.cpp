#include "toolkit/Controls.h"

#include <algorithm>
#include <utility>

namespace tk {

TControl::TControl(std::string name)
    : name_(std::move(name))
{
}

void TControl::SetText(const std::string& text)
{
    if (text_ == text)
        return;
    text_ = text;
    changed();
}

void TControl::SetHint(const std::string& hint)
{
    if (hint_ == hint)
        return;
    hint_ = hint;
    changed();
}

void TControl::SetVisible(bool visible)
{
    if (visible_ == visible)
        return;
    visible_ = visible;
    changed();
}

void TControl::SetEnabled(bool enabled)
{
    if (enabled_ == enabled)
        return;
    enabled_ = enabled;
    changed();
}

void TControl::changed()
{
    if (observer_)
        observer_->controlChanged(*this);
}

void TLabel::Click()
{
    if (OnClick)
        OnClick();
}

void TButton::Click()
{
    if (Enabled() && OnClick)
        OnClick();
}

void TMenuItem::Click()
{
    if (Enabled() && OnClick)
        OnClick();
}

void TListBox::SetItemIndex(int index)
{
    if (index < -1 || index >= static_cast<int>(Items.size()))
        index = -1;
    if (itemIndex_ == index)
        return;
    itemIndex_ = index;
    changed();
}

int TListBox::KeyPicks(Key key, int caret, int count, bool picked)
{
    const int last = count - 1;
    const int from = caret >= 0 && caret <= last ? caret : 0;
    const int step = picked ? 1 : 0;
    int row = from;
    switch (key) {
    case Key::Up:
        row = from - step;
        break;
    case Key::Down:
        row = from + step;
        break;
    case Key::PageUp:
        row = picked ? 0 : from;
        break;
    case Key::PageDown:
        row = picked ? last : from;
        break;
    case Key::Home:
        row = 0;
        break;
    case Key::End:
        row = last;
        break;
    }
    return row < 0 || row > last || (picked && row == from) ? -1 : row;
}

void TListBox::Select(int index)
{
    if (!Enabled())
        return;
    const int before = itemIndex_;
    SetItemIndex(index);
    if (itemIndex_ != before && OnClick)
        OnClick();
}

void TProgressBar::SetMin(int value)
{
    min_ = value;
    if (max_ < min_)
        max_ = min_;
    position_ = std::clamp(position_, min_, max_);
    changed();
}

void TProgressBar::SetMax(int value)
{
    max_ = value;
    if (min_ > max_)
        min_ = max_;
    position_ = std::clamp(position_, min_, max_);
    changed();
}

void TProgressBar::SetPosition(int value)
{
    position_ = std::clamp(value, min_, max_);
    changed();
}

} // namespace tk
