// A form as its description (.ui) draws it: caption, size and place, and for
// every control its kind, place, font, text and initial state; the menu bar
// with its access keys. Generated at build time from the description file
// (toolkit/formgen.py), so the headless forms and each backend read the same
// texts from the one file the designer edits.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace tk {

struct FontDescription {
    std::string family; // empty: the parent's face
    int pointSize = 0;  // 0: the parent's size
    bool bold = false;
};

struct ControlDescription {
    std::string name;
    // The designer's widget class: QLabel, QPushButton, QListWidget,
    // QProgressBar, QFrame or QWidget.
    std::string kind;
    // The control that holds it; empty for one placed on the form itself.
    std::string parent;
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    FontDescription font;
    std::string text;
    std::vector<std::string> items;
    bool enabled = true;
    bool visible = true;
    // Every other property as written in the description: numbers, true or
    // false, enumeration and set names, resource paths.
    std::map<std::string, std::string> properties;

    // The property's text, or fallback when the description has none.
    std::string property(const std::string& key, const std::string& fallback = {}) const;
};

struct MenuItemDescription {
    std::string name;
    // With an ampersand before the access key; "-" for a separator.
    std::string text;
    // A submenu when not empty.
    std::vector<MenuItemDescription> items;
};

struct FormDescription {
    std::string name;
    std::string kind; // QMainWindow or QDialog
    std::string caption;
    // Screen position of the outer corner, and the client area's size.
    int designLeft = 0;
    int designTop = 0;
    int clientWidth = 0;
    int clientHeight = 0;
    std::string borderStyle; // "single" (main window) or "dialog"
    FontDescription font;
    std::string activeControl;
    // Parents before their children.
    std::vector<ControlDescription> controls;
    std::string menuName;
    std::vector<MenuItemDescription> menu;
    std::vector<std::string> tabOrder;

    const ControlDescription* control(const std::string& controlName) const;
    const MenuItemDescription* menuItem(const std::string& itemName) const;
};

} // namespace tk
