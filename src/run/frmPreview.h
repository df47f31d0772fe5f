#pragma once

#include "run/Listing.h"

#include <QDialog>

#include <functional>

class QLabel;
class QPlainTextEdit;
class QPushButton;

// Asks before a run that would delete or move: what the listing showed (or
// why there is no listing), the first paths, every path behind "Show
// Details", and the buttons "Run" and "Cancel". Cancel is the default
// button, so Enter and Escape both leave everything as it is.
class frmPreview : public QDialog
{
public:
    frmPreview(const PreviewText &text, QWidget *owner);

    // Shows the dialog modally; true only when the user chose Run.
    static bool Ask(const PreviewText &text, QWidget *owner);

    QLabel *lblMessage() const { return m_message; }
    QLabel *lblPaths() const { return m_paths; }
    QPlainTextEdit *txtDetails() const { return m_details; }
    QPushButton *cmdDetails() const { return m_showDetails; }
    QPushButton *cmdRun() const { return m_run; }
    QPushButton *cmdCancel() const { return m_cancel; }

private:
    void cmdDetails_Click();

    QLabel *m_message = nullptr;
    QLabel *m_paths = nullptr;
    QPlainTextEdit *m_details = nullptr;
    QPushButton *m_showDetails = nullptr;
    QPushButton *m_run = nullptr;
    QPushButton *m_cancel = nullptr;
};

// Shows the prepared dialog modally and returns its result: the one place
// the dialog hands over to the platform. Tests answer the real dialog here;
// an empty function shows it as usual. Returns the function it replaces.
using PreviewDialogExec = std::function<int(frmPreview &dialog)>;
PreviewDialogExec SetPreviewDialogExec(PreviewDialogExec exec);
