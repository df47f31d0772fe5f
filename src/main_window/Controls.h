#pragma once

#include "main_window/Catalogue.h"

#include <QString>

#include <optional>

class QWidget;

// Uniform access to the values of the window's controls, whatever widget
// class stands behind them. Every piece of code that assigns a value by
// program (load, clear, folder picker, drop) goes through these, so an
// assignment raises the control's change handling exactly when the value
// really changes.

// The kind of control a widget is, told by its class; nothing for widgets
// that are no catalogue control.
std::optional<ControlKind> controlKind(const QWidget *w);

// 0 unchecked, 1 checked, 2 grayed.
qint16 checkValueOf(const QWidget *w);
// False when the control is no check box or the value is no valid state.
bool setCheckValueOf(QWidget *w, qint16 value);

// Text of a text box (single- or multi-line) or of a combo box's edit field.
QString textOf(const QWidget *w);
// False when the control holds no text.
bool setTextOf(QWidget *w, const QString &text);

class QComboBox;

// Changing a combo box's drop-down list never changes the text in its edit
// field (Qt would otherwise show the new current entry when the first one is
// added or the current one removed).
void addListItem(QComboBox *combo, const QString &text);
void removeListItem(QComboBox *combo, int index);
void clearList(QComboBox *combo);
