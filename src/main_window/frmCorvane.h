#pragma once

#include "command/OptionReader.h"
#include "main_window/Catalogue.h"
#include "settings/SettingsLocation.h"

#include <QHash>
#include <QList>
#include <QMainWindow>

#include <functional>
#include <memory>
#include <optional>

class QAction;
class QDropEvent;
class QMimeData;
class QPushButton;
class QScrollBar;
class CSettings;
struct CommandReading;
struct ListingReading;

// The main window. Its controls are the option state: there is no separate
// model. Controls are built from the option catalogue and addressed by name.
// The handlers of its controls and menus are private: they run when a control
// changes, a button is clicked or a menu item is triggered. Each part of the
// window lives in a file of its own, named beside each group below.
class frmCorvane : public QMainWindow, public OptionReader
{
    Q_OBJECT

public:
    explicit frmCorvane(const SettingsLocation &location = {}, QWidget *parent = nullptr);
    ~frmCorvane() override;

    // Start-up: creates the settings store and restores the window (settings).
    void Form_Load();
    // Sets every option control from a command, batch or job file (run).
    void OpenCommandFile(const QString &path);
    // Called when closing has saved everything and released the settings
    // store, before any window is taken down; the program ends the process
    // there (settings).
    void SetEndAtClose(std::function<void()> end) { m_endAtClose = std::move(end); }

    // ---- Controls (frmCorvane.cpp) ----
    // By a name written in the code, checked when the program is compiled.
    QWidget *control(ControlName name) const { return control(QLatin1StringView(name)); }
    template <class T>
    T *control(ControlName name) const { return qobject_cast<T *>(control(name)); }
    QAction *menuItem(MenuName name) const { return menuItem(QLatin1StringView(name)); }
    // By a name known only at run time (from a table or a test's data); null
    // when there is no such control or item.
    QWidget *control(QLatin1StringView name) const;
    template <class T>
    T *control(QLatin1StringView name) const { return qobject_cast<T *>(control(name)); }
    QAction *menuItem(QLatin1StringView name) const;
    // Every catalogue control in creation order (frames and labels included).
    const QList<QWidget *> &controls() const { return m_controls; }
    QWidget *canvas() const { return m_canvas; }
    QScrollBar *hScroll() const { return m_hScroll; }
    QScrollBar *vScroll() const { return m_vScroll; }
    QPushButton *filler() const { return m_filler; }
    // The settings store, once created.
    const CSettings *settings() const { return m_settings.get(); }

    // ---- Options and the command (frmCorvane_options.cpp) ----
    // The builder's reads (OptionReader); a name that is no check box, or no
    // text or combo box, is a mistake of the switch table (asserted).
    qint16 checkValue(QLatin1StringView name) const override;
    QString text(QLatin1StringView name) const override;
    qint16 checkValue(ControlName name) const { return checkValue(QLatin1StringView(name)); }
    QString text(ControlName name) const { return text(QLatin1StringView(name)); }
    // " /sCmd:sValue", or empty when sValue is empty.
    static QString ParmStr(const QString &sCmd, const QString &sValue);

    // ---- Drops (frmCorvane_drop.cpp) ----
    // Local paths of the files and folders a drop carries, in native separators.
    static QStringList droppedPaths(const QMimeData *data);
    // The four ways a drop target fills itself from the dropped items.
    static QString GetDroppedPath(const QStringList &items);
    static QString GetDroppedPathList(const QStringList &items);
    static QString GetDroppedFileName(const QStringList &items);
    static QString GetDroppedFileNameList(const QStringList &items);

protected:
    void closeEvent(QCloseEvent *event) override;   // settings
    void resizeEvent(QResizeEvent *event) override; // layout
    void changeEvent(QEvent *event) override;       // layout
    void wheelEvent(QWheelEvent *event) override;   // layout
    bool eventFilter(QObject *watched, QEvent *event) override; // hands on to keyboard, layout, drops

private slots:
    // ---- Options and the command (frmCorvane_options.cpp) ----
    void UpdateCommandLine();
    void chkSubdirectories_Click();
    void chkMoveFiles_Click();
    void chkSourceArchiveOnly_Click();
    void chkThreadsEnable_Click();
    void txtLogFile_Change();

    // ---- Running and export (run/frmCorvane_run.cpp) ----
    void cmdExecute_Click();
    void mnuFileExecute_Click();
    void cmdCopy_Click();
    void mnuFileSaveAs_Click();
    void mnuHelpRoboCopy_Click();
    void mnuHelpAbout_Click();

    // ---- Opening a command (run/frmCorvane_open.cpp) ----
    void mnuFileOpen_Click();
    void mnuFileApplyCommand_Click();

    // ---- Scheduling the command (run/frmCorvane_schedule.cpp) ----
    void mnuFileSchedule_Click();
    void mnuFileSchedules_Click();

    // ---- Settings, start-up and shut-down (settings/frmCorvane_settings.cpp) ----
    void Form_Unload();
    void SaveFormSettings();
    void LoadFormSettings();
    void ClearFormSettings();
    void mnuFileSave_Click();
    void mnuFileLoad_Click();
    void mnuFileClear_Click();
    void mnuFileExit_Click();
    void mnuOptionsAutoClose_Click();
    void mnuOptionsSaveOnExit_Click();
    void mnuOptionsUseIni_Click();
    void mnuOptionsPreview_Click();
    void mnuOptionsShowProgress_Click();

    // ---- Layout and pickers (frmCorvane_layout.cpp, frmCorvane_pickers.cpp) ----
    void Form_Resize();
    void HScroll1_Change();
    void VScroll1_Change();
    void cmdBrowseSource_Click();
    void cmdBrowseDestination_Click();

private:
    // frmCorvane.cpp
    void buildControls();
    void buildMenus();
    void connectControls();

    // layout
    void setUpScrolling();
    void restoreFromMaximized();
    bool filterWheel(QObject *watched, QEvent *event); // true when used up
    bool m_restoreQueued = false;

    // keyboard
    void setUpKeyboard();
    bool keyboardEvent(QObject *watched, QEvent *event); // true when used up
    void scrollIntoView(QWidget *w);

    // drops
    void setUpDropTargets();
    bool filterDrop(QObject *watched, QDropEvent *drop);
    // Fills a drop target from dropped data; false when the data carries no
    // files, or a name the command line cannot hold (told in a message).
    bool dropOnto(QWidget *target, const QMimeData *mime);

    // running (run/frmCorvane_run.cpp): before a run that can delete or
    // move, a listing and the user's word; true when the run may start.
    // listed: the listing it made, when it made one and the run may start.
    bool PreviewAllowsRun(const QString &commandLine, const std::function<bool()> &windowOpen,
                          std::optional<ListingReading> *listed = nullptr);

    // opening a command
    void setOptionsFrom(const CommandReading &reading, const QString &where);
    bool m_rebuildHeld = false; // the controls change together; one rebuild follows

    // settings
    void connectOptionsMenu();
    CSettings &store(); // the settings store, created on first use
    SettingsLocation m_location;
    std::unique_ptr<CSettings> m_settings;
    std::function<void()> m_endAtClose;

    QWidget *m_canvas = nullptr;
    QScrollBar *m_hScroll = nullptr;
    QScrollBar *m_vScroll = nullptr;
    QPushButton *m_filler = nullptr;
    QList<QWidget *> m_controls;
    QHash<QLatin1StringView, QWidget *> m_byName;
    QHash<QLatin1StringView, QAction *> m_menuItems;
};
