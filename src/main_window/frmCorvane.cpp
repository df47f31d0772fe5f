#include "main_window/frmCorvane.h"

#include "main_window/AppIcon.h"
#include "main_window/CaptionColours.h"
#include "main_window/Catalogue.h"
#include "main_window/Controls.h"
#include "main_window/RecentFolders.h"
#include "main_window/WindowFont.h"
#include "settings/CSettings.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDropEvent>
#include <QGroupBox>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QStyleOptionFocusRect>
#include <QStyleOptionSlider>

#include <functional>
#include <limits>
#include <utility>

namespace {

// The caption colour is set for the enabled states only, so that a disabled
// control is drawn in the platform's disabled colour.
void setCaptionColour(QWidget *w, const QColor &colour)
{
    QPalette pal = w->palette();
    pal.setColor(QPalette::Active, QPalette::WindowText, colour);
    pal.setColor(QPalette::Inactive, QPalette::WindowText, colour);
    w->setPalette(pal);
}

void setBoxColour(QWidget *w, const QColor &colour)
{
    QPalette pal = w->palette();
    pal.setColor(QPalette::Window, colour);
    w->setPalette(pal);
    w->setBackgroundRole(QPalette::Window);
    w->setAutoFillBackground(true);
}

// The version colours of every caption, readable on the window's palette.
void applyVersionColours(const QList<QWidget *> &controls, const QPalette &palette)
{
    const auto catalogue = controlCatalogue();
    for (qsizetype i = 0; i < controls.size(); ++i) {
        const ControlSpec &entry = catalogue[size_t(i)];
        if (entry.kind != ControlKind::Label && entry.kind != ControlKind::CheckBox)
            continue;
        const bool key = entry.flags & KeyBlack;
        if (entry.colour == VersionColour::XP010 && !key)
            continue; // the palette's own text colour
        const QColor colour = VersionCaptionColour(entry.colour, key, palette);
        if (!(entry.flags & NoTextColour))
            setCaptionColour(controls.at(i), colour);
        if (entry.flags & BoxColour)
            setBoxColour(controls.at(i), colour);
    }
}

// Calls back when the application's palette changes (the user picks
// another theme while the program runs).
class PaletteWatcher : public QObject
{
public:
    PaletteWatcher(QWidget *window, std::function<void()> changed)
        : QObject(window), m_changed(std::move(changed))
    {
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::ApplicationPaletteChange)
            m_changed();
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> m_changed;
};

// A line edit cuts every text at 32,767 characters unless told otherwise; a
// long list of dropped names must reach the command whole.
void takeAnyLength(QLineEdit *edit) { edit->setMaxLength(std::numeric_limits<int>::max()); }

// A scroll bar that shows when it has the keyboard focus, with a focus frame
// around its thumb: the style draws none, as Qt's own bars never take it.
class FocusScrollBar : public QScrollBar
{
public:
    using QScrollBar::QScrollBar;

protected:
    void paintEvent(QPaintEvent *event) override
    {
        QScrollBar::paintEvent(event);
        if (!hasFocus())
            return;
        QStyleOptionSlider slider;
        initStyleOption(&slider);
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = style()->subControlRect(QStyle::CC_ScrollBar, &slider, QStyle::SC_ScrollBarSlider, this);
        QPainter painter(this);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &painter, this);
    }
};

QWidget *createWidget(const ControlSpec &entry, QWidget *parent)
{
    const QString caption = entry.caption ? QString::fromUtf8(entry.caption) : QString();
    switch (entry.kind) {
    case ControlKind::Frame: return new QGroupBox(caption, parent);
    case ControlKind::Label: return new QLabel(caption, parent);
    case ControlKind::CheckBox: return new QCheckBox(caption, parent);
    case ControlKind::Button: return new QPushButton(caption, parent);
    case ControlKind::ComboBox: {
        auto *combo = new QComboBox(parent);
        combo->setEditable(true);
        combo->setInsertPolicy(QComboBox::NoInsert); // only runs add folders to the list
        combo->setMaxVisibleItems(kRecentFolderLimit); // the whole recent-folder list
        // A folder box keeps exactly what was typed: Qt's completer would
        // finish a typed folder from the list, and on leaving the box replace
        // it by an entry that differs only in letter case.
        combo->setCompleter(nullptr);
        takeAnyLength(combo->lineEdit());
        return combo;
    }
    case ControlKind::TextBox: {
        if (entry.flags & MultiLine) {
            auto *multi = new QPlainTextEdit(parent);
            multi->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
            multi->setTabChangesFocus(true);
            return multi;
        }
        auto *edit = new QLineEdit(parent);
        takeAnyLength(edit);
        return edit;
    }
    }
    return nullptr;
}

} // namespace

frmCorvane::frmCorvane(const SettingsLocation &location, QWidget *parent)
    : QMainWindow(parent), m_location(location)
{
    setObjectName(QStringLiteral("frmCorvane"));
    setWindowTitle(QStringLiteral("Corvane"));
    setWindowIcon(corvaneIcon());
    setFont(fitWindowFont(font()));

    auto *client = new QWidget(this);
    client->setObjectName(QStringLiteral("clientArea"));
    setCentralWidget(client);
    m_canvas = new QWidget(client);
    m_canvas->setObjectName(QStringLiteral("picCanvas"));
    m_canvas->setGeometry(0, 0, twipsToPixels(kCanvasWidthTwips), twipsToPixels(kCanvasHeightTwips));

    buildControls();
    applyVersionColours(m_controls, QApplication::palette());
    new PaletteWatcher(this, [this] { applyVersionColours(m_controls, QApplication::palette()); });

    m_hScroll = new FocusScrollBar(Qt::Horizontal, client);
    m_hScroll->setObjectName(QStringLiteral("HScroll1"));
    m_vScroll = new FocusScrollBar(Qt::Vertical, client);
    m_vScroll->setObjectName(QStringLiteral("VScroll1"));
    m_filler = new QPushButton(client);
    m_filler->setObjectName(QStringLiteral("cmdFiller"));
    m_filler->setEnabled(false);
    for (QWidget *w : {static_cast<QWidget *>(m_hScroll), static_cast<QWidget *>(m_vScroll),
                       static_cast<QWidget *>(m_filler)})
        w->hide();

    buildMenus();
    connectControls();
    setUpDropTargets();
    setUpScrolling();
    setUpKeyboard();

    // The window's layout gives the menu bar its height for the window's
    // width, which on Windows is a pixel more than its size hint.
    int menuHeight = menuBar()->heightForWidth(m_canvas->width());
    if (menuHeight < 0)
        menuHeight = menuBar()->sizeHint().height();
    resize(m_canvas->width(), m_canvas->height() + menuHeight);
    UpdateCommandLine();
}

frmCorvane::~frmCorvane() = default;

static_assert(catalogueIsSound(), "a name twice, a control before its frame, or more rows than kMaxCatalogueRows");

void frmCorvane::buildControls()
{
    const auto catalogue = controlCatalogue();
    m_controls.reserve(qsizetype(catalogue.size()));
    for (const ControlSpec &entry : catalogue) {
        QWidget *parent = entry.parent ? m_byName.value(QLatin1StringView(entry.parent)) : m_canvas;
        Q_ASSERT(parent);
        QWidget *w = createWidget(entry, parent);
        w->setObjectName(QLatin1StringView(entry.name));
        w->setGeometry(twipsToPixelRect(entry.geometry));
        if (entry.tooltip)
            w->setToolTip(QString::fromUtf8(entry.tooltip));
        if (entry.flags & Checked)
            setCheckValueOf(w, 1);
        if (entry.initialText)
            setTextOf(w, QString::fromUtf8(entry.initialText));
        if (entry.flags & Disabled)
            w->setEnabled(false);
        // A label's access key moves the focus to the field it captions: the
        // next control in tab order. It is set up at once, in creation order,
        // so that where a later frame shares its key the field comes first.
        if (!m_controls.isEmpty() && (catalogue[size_t(m_controls.size() - 1)].flags & BuddyNext))
            static_cast<QLabel *>(m_controls.last())->setBuddy(w);
        m_byName.insert(QLatin1StringView(entry.name), w);
        m_controls.append(w);
    }
}

void frmCorvane::buildMenus()
{
    QHash<QLatin1StringView, QMenu *> menus;
    for (const MenuSpec &entry : menuCatalogue()) {
        const QLatin1StringView name(entry.name);
        const QString caption = QString::fromUtf8(entry.caption);
        if (!entry.parent) {
            QMenu *menu = menuBar()->addMenu(caption);
            menu->setObjectName(name);
            menu->menuAction()->setObjectName(name);
            menus.insert(name, menu);
            m_menuItems.insert(name, menu->menuAction());
            continue;
        }
        QMenu *menu = menus.value(QLatin1StringView(entry.parent));
        QAction *action = caption == u"-" ? menu->addSeparator() : menu->addAction(caption);
        action->setObjectName(name);
        if (entry.shortcut)
            action->setShortcut(QKeySequence(QString::fromLatin1(entry.shortcut)));
        if (entry.checkable) {
            action->setCheckable(true);
            action->setChecked(!entry.uncheckedAtStart);
        }
        m_menuItems.insert(name, action);
    }
}

void frmCorvane::connectControls()
{
    using Handler = void (frmCorvane::*)();
    // Masters of the interlocks keep handlers of their own; every other option
    // control just rebuilds the command.
    const QHash<QLatin1StringView, Handler> masters = {
        {ControlName("chkSubdirectories"), &frmCorvane::chkSubdirectories_Click},
        {ControlName("chkMoveFiles"), &frmCorvane::chkMoveFiles_Click},
        {ControlName("chkSourceArchiveOnly"), &frmCorvane::chkSourceArchiveOnly_Click},
        {ControlName("chkThreadsEnable"), &frmCorvane::chkThreadsEnable_Click},
        {ControlName("txtLogFile"), &frmCorvane::txtLogFile_Change},
    };
    const QHash<QLatin1StringView, Handler> buttons = {
        {ControlName("cmdBrowseSource"), &frmCorvane::cmdBrowseSource_Click},
        {ControlName("cmdBrowseDestination"), &frmCorvane::cmdBrowseDestination_Click},
        {ControlName("cmdExecute"), &frmCorvane::cmdExecute_Click},
        {ControlName("cmdCopy"), &frmCorvane::cmdCopy_Click},
    };
    const QLatin1StringView commandBox = ControlName("txtCommandLine");

    for (const ControlSpec &entry : controlCatalogue()) {
        const QLatin1StringView name(entry.name);
        QWidget *w = m_byName.value(name);
        const Handler handler = masters.value(name, &frmCorvane::UpdateCommandLine);
        if (auto *box = qobject_cast<QCheckBox *>(w)) {
            connect(box, &QCheckBox::stateChanged, this, [this, box, handler](int state) {
                if (state != Qt::PartiallyChecked)
                    box->setTristate(false); // once left, grayed is not offered to clicks
                (this->*handler)();
            });
        } else if (auto *edit = qobject_cast<QLineEdit *>(w)) {
            connect(edit, &QLineEdit::textChanged, this, [this, handler] { (this->*handler)(); });
        } else if (auto *multi = qobject_cast<QPlainTextEdit *>(w)) {
            if (name != commandBox) // the command box is the output, not an option
                connect(multi, &QPlainTextEdit::textChanged, this, [this, handler] { (this->*handler)(); });
        } else if (auto *combo = qobject_cast<QComboBox *>(w)) {
            connect(combo, &QComboBox::editTextChanged, this, &frmCorvane::UpdateCommandLine);
            connect(combo, &QComboBox::activated, this, &frmCorvane::UpdateCommandLine);
        } else if (auto *button = qobject_cast<QPushButton *>(w)) {
            if (const Handler h = buttons.value(name))
                connect(button, &QPushButton::clicked, this, [this, h] { (this->*h)(); });
        }
    }

    const QHash<QLatin1StringView, Handler> menuHandlers = {
        {MenuName("mnuFileSaveAs"), &frmCorvane::mnuFileSaveAs_Click},
        {MenuName("mnuFileOpen"), &frmCorvane::mnuFileOpen_Click},
        {MenuName("mnuFileApplyCommand"), &frmCorvane::mnuFileApplyCommand_Click},
        {MenuName("mnuFileSchedule"), &frmCorvane::mnuFileSchedule_Click},
        {MenuName("mnuFileSchedules"), &frmCorvane::mnuFileSchedules_Click},
        {MenuName("mnuFileClear"), &frmCorvane::mnuFileClear_Click},
        {MenuName("mnuFileLoad"), &frmCorvane::mnuFileLoad_Click},
        {MenuName("mnuFileSave"), &frmCorvane::mnuFileSave_Click},
        {MenuName("mnuFileExecute"), &frmCorvane::mnuFileExecute_Click},
        {MenuName("mnuFileExit"), &frmCorvane::mnuFileExit_Click},
        {MenuName("mnuHelpRoboCopy"), &frmCorvane::mnuHelpRoboCopy_Click},
        {MenuName("mnuHelpAbout"), &frmCorvane::mnuHelpAbout_Click},
    };
    for (auto it = menuHandlers.cbegin(); it != menuHandlers.cend(); ++it) {
        const Handler h = it.value();
        connect(m_menuItems.value(it.key()), &QAction::triggered, this, [this, h] { (this->*h)(); });
    }
    connectOptionsMenu();
}

// Events of the controls go where they belong: the keyboard's to
// frmCorvane_keyboard.cpp, the wheel's to frmCorvane_layout.cpp, drops to
// frmCorvane_drop.cpp.
bool frmCorvane::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::ShortcutOverride:
    case QEvent::FocusIn:
    case QEvent::KeyPress:
        if (keyboardEvent(watched, event))
            return true;
        break;
    case QEvent::Wheel:
        if (filterWheel(watched, event))
            return true;
        break;
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
        return filterDrop(watched, static_cast<QDropEvent *>(event));
    default:
        break;
    }
    return QMainWindow::eventFilter(watched, event);
}

QWidget *frmCorvane::control(QLatin1StringView name) const { return m_byName.value(name); }

QAction *frmCorvane::menuItem(QLatin1StringView name) const { return m_menuItems.value(name); }
