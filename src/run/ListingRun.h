#pragma once

#include "run/Listing.h"
#include "run/basShell.h"

#include <QDialog>
#include <QString>

#include <memory>

// The Robocopy a listing runs: on Windows robocopy.exe as cmd.exe would
// find it (the current folder, then PATH); elsewhere the program the
// stand-in console (ConsoleProgram) would start for "ROBOCOPY.EXE": one
// found along PATH, else the copy engine beside the console. Empty when
// there is none.
// Every listing finds its program here, and only here.
QString ListingProgram();

struct ListingOutcome
{
    enum class Status : quint8 {
        Finished,        // ended by itself; exitCode and reading hold its result
        NotFound,        // no Robocopy to run
        CannotStart,     // found, but it did not start
        EndedAbnormally, // killed or crashed
        Cancelled,       // the user chose Cancel; the listing was ended
        Abandoned,       // the caller gave up the wait; the listing was ended
    };
    Status status = Status::Finished;
    int exitCode = 0;
    ListingReading reading;
    // What it printed, for a failure's details: its first and last part
    // when it printed more than anyone reads.
    QString output;
};

class QProcess;

// Robocopy run directly with the listing's arguments (ListingArguments), no
// console window, its output read as it comes; finished() is sent once, when
// it has ended by itself or could not start (never after cancel()). The
// listing ends with the object.
class ListingJob : public QObject
{
    Q_OBJECT

public:
    explicit ListingJob(QObject *parent = nullptr);
    ~ListingJob() override;

    // Starts the listing; a low-priority one yields the processor to a run
    // beside it. Sends finished() at once (later, from the event loop) when
    // there is no Robocopy to run.
    void start(const QString &arguments, bool lowPriority = false);
    // Ends a running listing; its outcome is Cancelled.
    void cancel();
    bool isRunning() const { return m_running; }
    // Complete once finished() was sent.
    const ListingOutcome &outcome() const { return m_outcome; }

signals:
    void finished();

private:
    void takeLines(bool atEnd);
    void end(ListingOutcome::Status status);

    QProcess *m_process = nullptr;
    ListingReader m_reader;
    QByteArray m_pending;
    ListingOutcome m_outcome;
    bool m_running = false;
    class OutputKeeper;
    std::unique_ptr<OutputKeeper> m_kept;
};

// Robocopy's output as it reaches a pipe, as text: on Windows in the
// console's (OEM) code page, elsewhere in the system's encoding.
QString DecodeConsoleOutput(QByteArrayView bytes);

// Runs a ListingJob with the listing's arguments. The window goes on
// serving its events; after a moment a dialog ("Listing what this run will
// change...") shows over owner with a Cancel button. keepWaiting is asked
// between events, as by RunAndWait.
ListingOutcome RunListing(const QString &arguments, QWidget *owner, const KeepWaiting &keepWaiting = {});

// The dialog shown while a listing runs: "Listing what this run will
// change...", a bar that moves, and Cancel. Cancel, Escape and the close box
// all reject it.
class frmListing : public QDialog
{
public:
    explicit frmListing(QWidget *owner);
};

// How long a listing runs before its dialog shows, so that a quick one does
// not flash a window.
constexpr int ListingDialogDelayMs = 400;
