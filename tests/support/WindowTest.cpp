#include "WindowTest.h"

#include "main_window/Controls.h"
#include "main_window/frmCorvane.h"

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QTest>

#include <algorithm>

void WindowTest::init()
{
    m_scratch = std::make_unique<QTemporaryDir>();
    QVERIFY(m_scratch->isValid());
    m_boxes = std::make_unique<MessageBoxCatcher>();
    m_windows = 0;
}

void WindowTest::cleanup()
{
    m_boxes.reset();
    m_scratch.reset();
}

std::unique_ptr<frmCorvane> WindowTest::newWindow()
{
    ++m_windows;
    const QString folder = settingsFolder();
    if (!QDir().mkpath(folder))
        qFatal("cannot make %s", qPrintable(folder));
    return std::make_unique<frmCorvane>(
        SettingsLocation{folder + QStringLiteral("/Settings.ini"), folder + QStringLiteral("/user.ini")});
}

QString WindowTest::settingsFolder() const { return m_scratch->filePath(QStringLiteral("settings%1").arg(m_windows)); }

void WindowTest::trigger(frmCorvane &w, MenuName item)
{
    QAction *action = w.menuItem(item);
    if (!action || !action->isEnabled())
        qFatal("menu item %s cannot be triggered", QLatin1StringView(item).data());
    action->trigger();
}

void WindowTest::click(frmCorvane &w, ControlName button)
{
    auto *b = w.control<QAbstractButton>(button);
    if (!b || !b->isEnabled())
        qFatal("%s cannot be clicked", QLatin1StringView(button).data());
    b->click();
}

QString WindowTest::commandOf(const frmCorvane &w) { return textOf(w.control("txtCommandLine")); }

QStringList WindowTest::listOf(const QComboBox *combo)
{
    QStringList list;
    for (int i = 0; i < combo->count(); ++i)
        list << combo->itemText(i);
    return list;
}

qsizetype WindowTest::catalogueCount(ControlKind kind)
{
    const auto catalogue = controlCatalogue();
    return std::count_if(catalogue.begin(), catalogue.end(), [kind](const ControlSpec &c) { return c.kind == kind; });
}

qsizetype WindowTest::persistedControlCount()
{
    return catalogueCount(ControlKind::CheckBox) + catalogueCount(ControlKind::TextBox)
        + catalogueCount(ControlKind::ComboBox);
}
