#include "main_window/Controls.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>

QString controlKind(const QWidget *w)
{
    if (qobject_cast<const QCheckBox *>(w))
        return QStringLiteral("CheckBox");
    if (qobject_cast<const QLineEdit *>(w) || qobject_cast<const QPlainTextEdit *>(w))
        return QStringLiteral("TextBox");
    if (qobject_cast<const QComboBox *>(w))
        return QStringLiteral("ComboBox");
    if (qobject_cast<const QLabel *>(w))
        return QStringLiteral("Label");
    if (qobject_cast<const QGroupBox *>(w))
        return QStringLiteral("Frame");
    if (qobject_cast<const QPushButton *>(w))
        return QStringLiteral("CommandButton");
    return QString();
}

qint16 checkValueOf(const QWidget *w)
{
    if (const auto *box = qobject_cast<const QCheckBox *>(w)) {
        switch (box->checkState()) {
        case Qt::Checked: return 1;
        case Qt::PartiallyChecked: return 2;
        case Qt::Unchecked: return 0;
        }
    }
    return 0;
}

bool setCheckValueOf(QWidget *w, qint16 value)
{
    auto *box = qobject_cast<QCheckBox *>(w);
    if (!box || value < 0 || value > 2)
        return false;
    if (value == 2)
        box->setTristate(true); // grayed is a state the user cannot click into
    box->setCheckState(value == 0 ? Qt::Unchecked : value == 1 ? Qt::Checked : Qt::PartiallyChecked);
    return true;
}

QString textOf(const QWidget *w)
{
    if (const auto *edit = qobject_cast<const QLineEdit *>(w))
        return edit->text();
    if (const auto *combo = qobject_cast<const QComboBox *>(w))
        return combo->currentText();
    if (const auto *multi = qobject_cast<const QPlainTextEdit *>(w))
        return multi->toPlainText();
    return QString();
}

bool setTextOf(QWidget *w, const QString &text)
{
    // Only a real change raises the control's change signal, as for a user's edit.
    if (auto *edit = qobject_cast<QLineEdit *>(w)) {
        if (edit->text() != text)
            edit->setText(text);
        return true;
    }
    if (auto *combo = qobject_cast<QComboBox *>(w)) {
        if (combo->currentText() != text)
            combo->setEditText(text);
        return true;
    }
    if (auto *multi = qobject_cast<QPlainTextEdit *>(w)) {
        if (multi->toPlainText() != text)
            multi->setPlainText(text);
        return true;
    }
    return false;
}

namespace {
template <typename Change>
void keepingEditText(QComboBox *combo, Change change)
{
    const QString text = combo->currentText();
    {
        const QSignalBlocker blocker(combo);
        change();
        if (combo->currentText() != text)
            combo->setEditText(text);
    }
}
} // namespace

void addListItem(QComboBox *combo, const QString &text)
{
    keepingEditText(combo, [&] { combo->addItem(text); });
}

void removeListItem(QComboBox *combo, int index)
{
    keepingEditText(combo, [&] { combo->removeItem(index); });
}

void clearList(QComboBox *combo)
{
    keepingEditText(combo, [&] { combo->clear(); });
}
