#pragma once

#include "main_window/Twips.h"

#include <QLatin1StringView>
#include <QtGlobal>

#include <algorithm>
#include <array>
#include <cstddef>
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
    bool uncheckedAtStart = false; // a check-mark item created unchecked
};

#include "main_window/CatalogueTable.h"

constexpr std::span<const ControlSpec> controlCatalogue() { return catalogue_table::kCatalogue; }
constexpr std::span<const MenuSpec> menuCatalogue() { return catalogue_table::kMenus; }

namespace catalogue_detail {
// True when the text at b is exactly a. It stops at the first difference, so
// a search costs about one character a row: the compile-time checks below
// stay well inside every compiler's default limits.
constexpr bool sameName(std::string_view a, const char *b)
{
    for (const char c : a) {
        if (*b != c) // b's end differs from every character of a
            return false;
        ++b;
    }
    return *b == '\0';
}
} // namespace catalogue_detail

constexpr const ControlSpec *findControlSpec(std::string_view name)
{
    for (const ControlSpec &entry : controlCatalogue())
        if (catalogue_detail::sameName(name, entry.name))
            return &entry;
    return nullptr;
}

constexpr const MenuSpec *findMenuSpec(std::string_view name)
{
    for (const MenuSpec &entry : menuCatalogue())
        if (catalogue_detail::sameName(name, entry.name))
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
// name once in both tables together, every parent a frame or menu that comes
// before its children. Sorting the names once keeps the work near the
// tables' size; a look-up per row would square it. Tables of more rows than
// it holds (kMaxCatalogueRows) fail the check.
inline constexpr size_t kMaxCatalogueRows = 1024;

constexpr bool catalogueIsSound(std::span<const ControlSpec> controls, std::span<const MenuSpec> menus)
{
    if (controls.size() + menus.size() > kMaxCatalogueRows)
        return false;
    std::array<std::string_view, kMaxCatalogueRows> names{};
    size_t count = 0;
    for (const ControlSpec &entry : controls)
        names[count++] = entry.name;
    for (const MenuSpec &entry : menus)
        names[count++] = entry.name;
    const auto used = names.begin() + std::ptrdiff_t(count);
    std::sort(names.begin(), used);
    if (std::adjacent_find(names.begin(), used) != used)
        return false;

    // The names are unique: a parent is the one frame of its name among the rows before.
    std::array<const char *, kMaxCatalogueRows> frames{};
    size_t frameCount = 0;
    for (const ControlSpec &entry : controls) {
        if (entry.parent) {
            bool found = false;
            for (size_t f = 0; f < frameCount && !found; ++f)
                found = catalogue_detail::sameName(frames[f], entry.parent);
            if (!found)
                return false;
        }
        if (entry.kind == ControlKind::Frame)
            frames[frameCount++] = entry.name;
    }
    for (size_t i = 0; i < menus.size(); ++i) {
        if (menus[i].parent) {
            bool found = false;
            for (size_t j = 0; j < i && !found; ++j)
                found = !menus[j].parent && catalogue_detail::sameName(menus[j].name, menus[i].parent);
            if (!found)
                return false;
        }
    }
    return true;
}

constexpr bool catalogueIsSound() { return catalogueIsSound(controlCatalogue(), menuCatalogue()); }

// The canvas that holds every control, in twips.
constexpr int kCanvasWidthTwips = 15132;
constexpr int kCanvasHeightTwips = 10135;
