#pragma once

#include "main_window/Twips.h"

#include <QLatin1StringView>
#include <QtGlobal>

#include <span>
#include <string_view>

// The option catalogue: every frame, label, option control and button of the
// main window, in creation order (which is also the tab order). The window
// builds its controls from this table (CatalogueTable.h) and nothing else
// repeats it. It is known when the program is compiled, so that names can be
// checked against it then.

enum class ControlKind : quint8 { Frame, Label, CheckBox, TextBox, ComboBox, Button };

// Oldest Robocopy version that accepts the option, shown as the caption colour.
enum class VersionColour : quint8 { XP010, XP026, XP027, V10 };

// How a field fills itself from dropped files and folders.
enum class DropRule : quint8 {
    None,
    Path,         // full path of the first item
    PathList,     // every full path, quoted, blank-separated
    FileName,     // file name of the first item
    FileNameList  // every file name, quoted, each followed by a blank
};

enum ControlFlag : quint16 {
    NoFlags = 0,
    Checked = 1 << 0,       // check box starts checked
    Disabled = 1 << 1,      // starts disabled
    MultiLine = 1 << 2,     // multi-line text box with a vertical scroll bar
    BoxColour = 1 << 3,     // caption-less check box: colour painted behind the box
    NoTextColour = 1 << 4,  // colour only behind the box, not on the text
    BuddyNext = 1 << 5,     // label whose access key focuses the next control
    KeyBlack = 1 << 6,      // version key label drawn in pure black
};

struct ControlSpec
{
    const char *name;
    ControlKind kind;
    const char *parent;  // frame name, or nullptr for the canvas
    const char *caption;
    VersionColour colour;
    Twips geometry;      // relative to the parent
    quint16 flags;
    DropRule drop;
    const char *tooltip;
    const char *initialText;
};

struct MenuSpec
{
    const char *name;
    const char *parent;  // nullptr for a top-level menu
    const char *caption; // "-" for a separator
    const char *shortcut;
    bool checkable;      // check-mark item, created checked
};

#include "main_window/CatalogueTable.h"

constexpr std::span<const ControlSpec> controlCatalogue() { return catalogue_table::kCatalogue; }
constexpr std::span<const MenuSpec> menuCatalogue() { return catalogue_table::kMenus; }

constexpr const ControlSpec *findControlSpec(std::string_view name)
{
    for (const ControlSpec &entry : controlCatalogue())
        if (name == entry.name)
            return &entry;
    return nullptr;
}

constexpr const MenuSpec *findMenuSpec(std::string_view name)
{
    for (const MenuSpec &entry : menuCatalogue())
        if (name == entry.name)
            return &entry;
    return nullptr;
}

// The name of a control or menu item as the code writes it, checked against
// the tables when the program is compiled: a misspelt name does not build
// ("throw" is no constant expression, so the compiler stops at that line and
// names the call). Names known only at run time go as QLatin1StringView.
class ControlName
{
public:
    consteval ControlName(const char *name) : m_name(name)
    {
        if (!findControlSpec(name))
            throw "no control of the catalogue has this name";
    }
    constexpr operator QLatin1StringView() const { return QLatin1StringView(m_name); }

private:
    const char *m_name;
};

class MenuName
{
public:
    consteval MenuName(const char *name) : m_name(name)
    {
        if (!findMenuSpec(name))
            throw "no menu item has this name";
    }
    constexpr operator QLatin1StringView() const { return QLatin1StringView(m_name); }

private:
    const char *m_name;
};

// The tables' own rules, also checked when the program is compiled: every
// name once, every parent a frame or menu that comes before its children.
constexpr bool catalogueIsSound()
{
    const auto controls = controlCatalogue();
    for (size_t i = 0; i < controls.size(); ++i) {
        if (findControlSpec(controls[i].name) != &controls[i])
            return false;
        if (controls[i].parent) {
            const ControlSpec *parent = findControlSpec(controls[i].parent);
            if (!parent || parent->kind != ControlKind::Frame || parent >= &controls[i])
                return false;
        }
    }
    const auto menus = menuCatalogue();
    for (size_t i = 0; i < menus.size(); ++i) {
        if (findMenuSpec(menus[i].name) != &menus[i] || findControlSpec(menus[i].name))
            return false;
        if (menus[i].parent) {
            const MenuSpec *parent = findMenuSpec(menus[i].parent);
            if (!parent || parent->parent || parent >= &menus[i])
                return false;
        }
    }
    return true;
}

// The canvas that holds every control, in twips.
constexpr int kCanvasWidthTwips = 15132;
constexpr int kCanvasHeightTwips = 10135;
