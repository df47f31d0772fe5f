#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// How cmd.exe reads a line before any program sees it: double quotes, the
// caret, the operators that end a command (& && | ||), redirections, and the
// parentheses of a block. Percent and exclamation variables stay as they
// stand: their values are not known here. The reader of command files and
// the stand-in console both scan with this, so the two cannot drift apart.
//
// Outside double quotes a caret makes the next character plain text and is
// dropped itself; inside them every character is plain. A quote the caret
// makes plain opens nothing, but stays in the text the program is handed.

enum class CmdConnector : quint8 {
    End,       // the line ends here
    Then,      // "&": the next command runs after this one
    OnSuccess, // "&&": the next runs when this one succeeded
    OnFailure, // "||": the next runs when this one failed
    Pipe,      // "|": this one's output is the next one's input
    BlockEnd,  // ")": closes a block; what follows is another command
};

struct CmdCommand
{
    // What the program is handed: carets taken off, quotes kept,
    // redirections taken out, the "(" that opens a block left out.
    QString text;
    // Each redirection as written ("2>&1", ">> \"x y.log\""), in order.
    QStringList redirections;
    // Blocks opened by a "(" at the command's start.
    int blocksOpened = 0;
    // How the next command follows this one.
    CmdConnector connector = CmdConnector::End;

    // The characters text[from, to) as they stood in the scanned text,
    // carets and quotes included (a redirection taken out stays out). A
    // character that a caret at the end of the line above made plain is
    // written with a caret of its own when it needs one.
    QString written(qsizetype from, qsizetype to) const;

    // Where each character of text starts in writtenText; one more entry
    // for the end. Kept by the scanner for written().
    QString writtenText;
    QList<qsizetype> writtenStart{0};
};

struct CmdScan
{
    QList<CmdCommand> commands; // in order; empty ones too (between "& &")
    qsizetype next = 0;         // where the next line starts (the text's size at its end)
    bool quoted = false;        // the line ended inside double quotes
    int depth = 0;              // blocks still open at the end of the line
};

enum class CmdLines : quint8 {
    // A command line (cmd.exe /c): the first line break ends it.
    CommandLine,
    // A line of a batch file: a caret at its end, outside quotes, joins the
    // next line, whose first character it makes plain.
    BatchFile,
};

// Scans the line that starts at `from`, with `depth` blocks open before it.
CmdScan ScanCmdLine(QStringView text, qsizetype from = 0, CmdLines lines = CmdLines::CommandLine, int depth = 0);
