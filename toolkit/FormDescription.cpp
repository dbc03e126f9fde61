#include "toolkit/FormDescription.h"

namespace tk {

std::string ControlDescription::property(const std::string& key, const std::string& fallback) const
{
    const auto found = properties.find(key);
    return found == properties.end() ? fallback : found->second;
}

const ControlDescription* FormDescription::control(const std::string& controlName) const
{
    for (const ControlDescription& candidate : controls)
        if (candidate.name == controlName)
            return &candidate;
    return nullptr;
}

namespace {

const MenuItemDescription* findItem(const std::vector<MenuItemDescription>& items, const std::string& name)
{
    for (const MenuItemDescription& item : items) {
        if (item.name == name)
            return &item;
        if (const MenuItemDescription* inner = findItem(item.items, name))
            return inner;
    }
    return nullptr;
}

} // namespace

const MenuItemDescription* FormDescription::menuItem(const std::string& itemName) const
{
    return itemName.empty() ? nullptr : findItem(menu, itemName);
}

} // namespace tk
