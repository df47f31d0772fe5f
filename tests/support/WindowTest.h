#pragma once

#include "MessageBoxes.h"
#include "main_window/Catalogue.h"

#include <QObject>
#include <QTemporaryDir>

#include <memory>

class QComboBox;
class frmCorvane;

// The base of every test class that works with the real window. Each test
// function gets a scratch folder of its own and a catcher that answers the
// message boxes it raises; both go when the function ends. A test class that
// has init() or cleanup() of its own calls these first and last.
class WindowTest : public QObject
{
    Q_OBJECT

public:
    // What a user does: a menu item chosen, a button clicked.
    static void trigger(frmCorvane &w, MenuName item);
    static void click(frmCorvane &w, ControlName button);
    static QString commandOf(const frmCorvane &w);
    // The entries of a combo box's drop-down list, in order.
    static QStringList listOf(const QComboBox *combo);

    // How many controls of a kind the catalogue holds, and how many of them
    // the settings keep (check boxes, text boxes and combo boxes).
    static qsizetype catalogueCount(ControlKind kind);
    static qsizetype persistedControlCount();

protected:
    // A window that keeps its settings in a folder of its own inside this
    // test's scratch folder (the per-user store as a file there too).
    std::unique_ptr<frmCorvane> newWindow();
    // The folder the last window from newWindow() keeps its settings in.
    QString settingsFolder() const;
    // The message boxes raised so far in this test, oldest first.
    QList<ShownBox> &shown() { return m_boxes->boxes; }
    QString describeShown() const { return m_boxes->describe(); }
    // The catcher itself, to choose how Yes/No boxes are answered.
    MessageBoxCatcher &boxes() { return *m_boxes; }

protected slots:
    void init();
    void cleanup();

private:
    std::unique_ptr<QTemporaryDir> m_scratch;
    std::unique_ptr<MessageBoxCatcher> m_boxes;
    int m_windows = 0;
};
