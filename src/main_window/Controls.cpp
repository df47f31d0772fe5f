#include "main_window/Controls.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>

namespace {
// A multi-line box keeps each line break as a paragraph separator of its
// document; toPlainText() would also turn no-break spaces into blanks and
// line separators into line feeds, so the raw text is read instead.
QString plainTextOf(const QPlainTextEdit *multi)
{
    QString text = multi->document()->toRawText();
    text.replace(QChar::ParagraphSeparator, u'\n');
    return text;
}

// The document holds every kind of line break (CR LF, CR, LF, U+2029) as a
// paragraph separator, so a text is compared in the form it would read back.
bool isLineBreak(QChar c)
{
    return c == u'\r' || c == u'\n' || c == QChar::ParagraphSeparator || c == QChar(0xFDD0) || c == QChar(0xFDD1);
}

QString asBoxWouldHold(const QString &text)
{
    if (std::none_of(text.cbegin(), text.cend(), isLineBreak))
        return text;
    QString held;
    held.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == u'\r' && i + 1 < text.size() && text.at(i + 1) == u'\n')
            continue; // the LF that follows stands for both
        held += isLineBreak(c) ? QChar(u'\n') : c;
    }
    return held;
}
} // namespace

std::optional<ControlKind> controlKind(const QWidget *w)
{
    if (qobject_cast<const QCheckBox *>(w))
        return ControlKind::CheckBox;
    if (qobject_cast<const QLineEdit *>(w) || qobject_cast<const QPlainTextEdit *>(w))
        return ControlKind::TextBox;
    if (qobject_cast<const QComboBox *>(w))
        return ControlKind::ComboBox;
    if (qobject_cast<const QLabel *>(w))
        return ControlKind::Label;
    if (qobject_cast<const QGroupBox *>(w))
        return ControlKind::Frame;
    if (qobject_cast<const QPushButton *>(w))
        return ControlKind::Button;
    return std::nullopt;
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
        return plainTextOf(multi);
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
        if (plainTextOf(multi) == asBoxWouldHold(text))
            return true;
        // One edit block raises one change and costs a third of
        // setPlainText(); with undo off for it the history is dropped, as
        // setPlainText() would, so assignments never pile up undo steps.
        QTextDocument *doc = multi->document();
        // Without its old layout the box lays the new text out when it is
        // next shown, not on every assignment: a load assigns every control
        // and rebuilds the command each time, and a long text takes long.
        doc->firstBlock().clearLayout();
        doc->setUndoRedoEnabled(false);
        QTextCursor cursor(doc);
        cursor.beginEditBlock();
        // Positions, not a move to the end: a move lays the old text out.
        cursor.setPosition(doc->characterCount() - 1, QTextCursor::KeepAnchor);
        cursor.insertText(text);
        cursor.endEditBlock();
        doc->setUndoRedoEnabled(true);
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
