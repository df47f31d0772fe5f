#include "main_window/frmCorvane.h"

#include "main_window/Controls.h"
#include "main_window/RecentFolders.h"
#include "settings/CSettings.h"
#include "tools/basTools.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>

#include <exception>
#include <functional>

namespace {

// Controls are told apart by kind only; their names are just the keys. A
// widget that is no control of the catalogue holds no value, as a frame.
ControlKind kindOf(const QWidget *w) { return controlKind(w).value_or(ControlKind::Frame); }

QString listItemKey(const QString &name, int position) { return name + u'_' + QString::number(position); }

void saveWalk(const QList<QWidget *> &controls, CSettings &store)
{
    for (QWidget *w : controls) {
        const QString name = w->objectName();
        switch (kindOf(w)) {
        case ControlKind::CheckBox:
            store.SaveSetting(name, checkValueOf(w));
            break;
        case ControlKind::TextBox:
            store.SaveSetting(name, textOf(w));
            break;
        case ControlKind::ComboBox: {
            store.SaveSetting(name, textOf(w));
            const auto *combo = qobject_cast<const QComboBox *>(w);
            for (int i = 0; combo && i < combo->count(); ++i)
                store.SaveSetting(listItemKey(name, i), combo->itemText(i));
            break;
        }
        case ControlKind::Frame:
        case ControlKind::Label:
        case ControlKind::Button:
            break;
        }
    }
}

bool saveInOneBatch(CSettings &store, const std::function<void()> &write)
{
    CSettings::Batch batch(store);
    write();
    return batch.commit();
}

// A save the INI file refuses (its folder made read-only, or the disk full,
// since the store chose it) goes whole to the per-user store instead, as the
// store's choice at start-up would have done: a save never loses the user's
// settings quietly. The check mark of Options > Use INI follows the store.
void saveFallingBack(CSettings &store, QAction *useIniMark, const std::function<void()> &write)
{
    if (saveInOneBatch(store, write) || !store.SaveToINI())
        return;
    store.setSaveToINI(false);
    useIniMark->setChecked(store.SaveToINI());
    // Whatever fails now is the per-user store's, and it reports that itself.
    (void)saveInOneBatch(store, write);
}

// 0, 1 or 2 from a stored text of decimal digits; -1 for anything else.
int checkState(const QString &stored)
{
    const QString text = stored.trimmed();
    if (text.isEmpty() || text.size() > 5)
        return -1;
    for (QChar c : text)
        if (c < u'0' || c > u'9')
            return -1;
    const int value = text.toInt();
    return value <= 2 ? value : -1;
}

void loadControl(QWidget *w, CSettings &store)
{
    const QString name = w->objectName();
    switch (kindOf(w)) {
    case ControlKind::CheckBox:
        // An absent key or a text that is no check state leaves the box as it was.
        if (const int value = checkState(store.GetSetting(name, QString())); value >= 0)
            setCheckValueOf(w, qint16(value));
        break;
    case ControlKind::TextBox:
        setTextOf(w, store.GetSetting(name, QString()));
        break;
    case ControlKind::ComboBox:
        if (auto *combo = qobject_cast<QComboBox *>(w)) {
            QStringList entries;
            for (int i = 0;; ++i) {
                const QString entry = store.GetSetting(listItemKey(name, i), QString());
                if (entry.isEmpty())
                    break;
                entries.append(entry);
            }
            RestoreRecentFolders(combo, entries);
        }
        setTextOf(w, store.GetSetting(name, QString()));
        break;
    case ControlKind::Frame:
    case ControlKind::Label:
    case ControlKind::Button:
        break;
    }
}

// The store tells of its failures; the window decides what the user sees: a
// run-time failure of an INI function in a box titled with that function's
// name, a per-user store that cannot be written as an error of the save.
void showSettingsFailure(const SettingsError &error)
{
    if (error.backend == SettingsError::Backend::IniFile)
        MsgBox(QStringLiteral("Error: %1. %2").arg(error.number).arg(error.description), vbOKOnly, error.operation);
    else
        MsgBox(QStringLiteral("Error: %1 %2").arg(error.description).arg(error.number), vbCritical);
}

} // namespace

CSettings &frmCorvane::store()
{
    if (!m_settings)
        m_settings = std::make_unique<CSettings>(m_location, showSettingsFailure);
    return *m_settings;
}

// ---- The form-state walk

void frmCorvane::SaveFormSettings()
{
    CSettings &settings = store();
    saveFallingBack(settings, menuItem("mnuOptionsUseIni"), [&] { saveWalk(controls(), settings); });
}

void frmCorvane::LoadFormSettings()
{
    // The new store is created (and chooses its back end) before the old one
    // is released (and stores its flag).
    {
        auto fresh = std::make_unique<CSettings>(m_location, showSettingsFailure);
        m_settings.swap(fresh);
    }
    CSettings &settings = *m_settings;
    // The new store may have chosen another back end than the old one had.
    menuItem("mnuOptionsUseIni")->setChecked(settings.SaveToINI());
    {
        CSettings::Batch batch(settings);
        for (QWidget *w : controls()) {
            // A step that fails (a value too large to hold) costs only that
            // one control, and the load goes on.
            try {
                loadControl(w, settings);
            } catch (const std::exception &) {
            }
        }
    }
    // The walk may have left the command box holding its stored text; the box
    // must always show the command of the options as they now are.
    UpdateCommandLine();
}

void frmCorvane::ClearFormSettings()
{
    for (QWidget *w : controls()) {
        switch (kindOf(w)) {
        case ControlKind::CheckBox:
            setCheckValueOf(w, 0);
            break;
        case ControlKind::TextBox:
        case ControlKind::ComboBox:
            setTextOf(w, QString());
            break;
        case ControlKind::Frame:
        case ControlKind::Label:
        case ControlKind::Button:
            break;
        }
    }
    UpdateCommandLine();
}

void frmCorvane::mnuFileSave_Click() { SaveFormSettings(); }
void frmCorvane::mnuFileLoad_Click() { LoadFormSettings(); }
void frmCorvane::mnuFileClear_Click() { ClearFormSettings(); }

// ---- Start-up and shut-down

void frmCorvane::Form_Load()
{
    LoadFormSettings();
    CSettings &settings = store();
    menuItem("mnuOptionsSaveOnExit")
        ->setChecked(CSettings::toBoolean(settings.GetSetting(QStringLiteral("mnuOptionsSaveOnExit"), 1), true));
    menuItem("mnuOptionsAutoClose")
        ->setChecked(CSettings::toBoolean(settings.GetSetting(QStringLiteral("mnuOptionsAutoClose"), 1), true));
    menuItem("mnuOptionsPreview")
        ->setChecked(CSettings::toBoolean(settings.GetSetting(QStringLiteral("mnuOptionsPreview"), 1), true));
    // Unchecked unless chosen: Execute runs in the console as it always did.
    menuItem("mnuOptionsShowProgress")
        ->setChecked(CSettings::toBoolean(settings.GetSetting(QStringLiteral("mnuOptionsShowProgress"), 0), false));
    menuItem("mnuOptionsUseIni")->setChecked(settings.SaveToINI());
    UpdateCommandLine();
}

void frmCorvane::Form_Unload()
{
    const bool saveOnExit = menuItem("mnuOptionsSaveOnExit")->isChecked();
    const bool autoClose = menuItem("mnuOptionsAutoClose")->isChecked();
    const bool preview = menuItem("mnuOptionsPreview")->isChecked();
    const bool showProgress = menuItem("mnuOptionsShowProgress")->isChecked();
    // A window that never loaded its settings has nothing of the user's to keep.
    if (m_settings) {
        CSettings &settings = *m_settings;
        // One batch: the INI file is written once at exit.
        saveFallingBack(settings, menuItem("mnuOptionsUseIni"), [&] {
            if (saveOnExit)
                saveWalk(controls(), settings);
            settings.SaveSetting(QStringLiteral("mnuOptionsSaveOnExit"), saveOnExit);
            settings.SaveSetting(QStringLiteral("mnuOptionsAutoClose"), autoClose);
            settings.SaveSetting(QStringLiteral("mnuOptionsPreview"), preview);
            settings.SaveSetting(QStringLiteral("mnuOptionsShowProgress"), showProgress);
        });
    }
    // All is saved: the program may end here, and its windows go with it at
    // once. Taken down one by one, each would wait for the window manager
    // (under Wine without one, 2 s apiece).
    if (m_endAtClose) {
        m_settings.reset(); // its release step saves its flag
        m_endAtClose();
    }
    UnloadOtherForms(objectName());
}

void frmCorvane::closeEvent(QCloseEvent *event)
{
    Form_Unload();
    event->accept(); // closing is never cancelled
}

void frmCorvane::mnuFileExit_Click() { close(); }

// ---- Options menu. Each handler inverts its own check mark. Qt has flipped
// the mark already when an item is triggered, so that flip is undone first.

void frmCorvane::connectOptionsMenu()
{
    using Handler = void (frmCorvane::*)();
    const std::pair<MenuName, Handler> items[] = {
        {MenuName("mnuOptionsAutoClose"), &frmCorvane::mnuOptionsAutoClose_Click},
        {MenuName("mnuOptionsSaveOnExit"), &frmCorvane::mnuOptionsSaveOnExit_Click},
        {MenuName("mnuOptionsUseIni"), &frmCorvane::mnuOptionsUseIni_Click},
        {MenuName("mnuOptionsPreview"), &frmCorvane::mnuOptionsPreview_Click},
        {MenuName("mnuOptionsShowProgress"), &frmCorvane::mnuOptionsShowProgress_Click},
    };
    for (const auto &[name, handler] : items) {
        QAction *action = menuItem(name);
        connect(action, &QAction::triggered, this, [this, action, h = handler] {
            action->setChecked(!action->isChecked());
            (this->*h)();
        });
    }
}

void frmCorvane::mnuOptionsAutoClose_Click()
{
    QAction *item = menuItem("mnuOptionsAutoClose");
    item->setChecked(!item->isChecked());
}

void frmCorvane::mnuOptionsSaveOnExit_Click()
{
    QAction *item = menuItem("mnuOptionsSaveOnExit");
    item->setChecked(!item->isChecked());
}

void frmCorvane::mnuOptionsPreview_Click()
{
    QAction *item = menuItem("mnuOptionsPreview");
    item->setChecked(!item->isChecked());
}

void frmCorvane::mnuOptionsShowProgress_Click()
{
    QAction *item = menuItem("mnuOptionsShowProgress");
    item->setChecked(!item->isChecked());
}

void frmCorvane::mnuOptionsUseIni_Click()
{
    QAction *item = menuItem("mnuOptionsUseIni");
    item->setChecked(!item->isChecked());
    CSettings &settings = store();
    settings.setSaveToINI(item->isChecked());
    // When the INI file cannot be written the store stays with the per-user
    // store; the mark shows where settings really go.
    item->setChecked(settings.SaveToINI());
}
