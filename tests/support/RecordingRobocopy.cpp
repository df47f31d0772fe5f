#include "RecordingRobocopy.h"

#include <QDir>
#include <QFile>

namespace {
void makeProgram(const QString &folder)
{
    if (!QDir().mkpath(folder))
        qFatal("cannot make %s", qPrintable(folder));
    const QString program = folder + QStringLiteral("/ROBOCOPY.EXE");
#ifdef Q_OS_WIN
    // Built beside the tests (fake_robocopy.cpp). Being first along PATH, it
    // is found before any Robocopy of the system.
    if (!QFile::copy(QStringLiteral(CORVANE_FAKE_ROBOCOPY), program))
        qFatal("cannot copy %s", CORVANE_FAKE_ROBOCOPY);
#else
    QFile f(program);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot write %s", qPrintable(program));
    f.write(R"(#!/bin/sh
PATH=/usr/bin:/bin
# A console killed while this prints must not end it through a broken pipe:
# the tests watch what becomes of a Robocopy whose console is gone.
trap '' PIPE
log="$CORVANE_TEST_LOG"
code=0
wait=0
{
  echo BEGIN
  for a in "$@"; do
    printf 'ARG %s\n' "$a"
  done
} >> "$log"
listing=
listcode=
output=
delay=0
for a in "$@"; do
  case "$a" in
    /TESTCODE:*) code=${a#/TESTCODE:} ;;
    /TESTWAIT:*) wait=${a#/TESTWAIT:} ;;
    /TESTLISTCODE:*) listcode=${a#/TESTLISTCODE:} ;;
    /TESTOUTPUT:*) output=${a#/TESTOUTPUT:} ;;
    /TESTDELAY:*) delay=${a#/TESTDELAY:} ;;
    /L|/l) listing=1 ;;
  esac
done
listingFile="$(dirname "$0")/listing.txt"
outputFile="$(dirname "$0")/$output"
if [ -n "$listing" ] && [ -f "$listingFile" ]; then
  cat "$listingFile"
  [ -n "$listcode" ] && code=$listcode
elif [ -z "$listing" ] && [ -n "$output" ] && [ -f "$outputFile" ]; then
  pause=$(printf '%d.%03d' $((delay / 1000)) $((delay % 1000)))
  while IFS= read -r line || [ -n "$line" ]; do
    printf '%s\n' "$line"
    [ "$delay" != 0 ] && sleep "$pause"
  done < "$outputFile"
else
  printf '  10%%\r  55%%\r 100%%\n'
fi
[ "$wait" != 0 ] && sleep "$wait"
echo END >> "$log"
exit "$code"
)");
    f.close();
    f.setPermissions(f.permissions() | QFile::ExeOwner | QFile::ExeUser | QFile::ReadOwner);
#endif
}
} // namespace

RecordingRobocopy::RecordingRobocopy(const QString &folder)
    : m_folder(folder), m_log(folder + QStringLiteral("/robocopy.log")), m_logVariable("CORVANE_TEST_LOG", m_log)
{
    makeProgram(folder);
}

QList<RecordedRun> RecordingRobocopy::runs() const
{
    QList<RecordedRun> runs;
    QFile f(m_log);
    if (!f.open(QIODevice::ReadOnly))
        return runs;
    // Runs may overlap (nested runs), but each one's BEGIN and arguments are
    // written at once; an END belongs to the oldest run not yet ended.
    const QList<QByteArray> lines = f.readAll().split('\n');
    for (const QByteArray &raw : lines) {
        const QString line = QString::fromUtf8(raw);
        if (line == u"BEGIN") {
            runs.append(RecordedRun{});
        } else if (line.startsWith(QStringLiteral("ARG ")) && !runs.isEmpty()) {
            runs.last().args << line.mid(4);
        } else if (line == u"END") {
            for (RecordedRun &r : runs)
                if (!r.ended) {
                    r.ended = true;
                    break;
                }
        }
    }
    return runs;
}

void RecordingRobocopy::clear() const
{
    QFile::remove(m_log);
    QFile::remove(listingFile());
}

QString RecordingRobocopy::listingFile() const { return m_folder + QStringLiteral("/listing.txt"); }

void RecordingRobocopy::setOutput(const QString &name, const QByteArray &utf8) const
{
    QFile f(m_folder + u'/' + name);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(utf8) != utf8.size())
        qFatal("cannot write %s", qPrintable(f.fileName()));
}

void RecordingRobocopy::setListing(const QString &text) const
{
    QFile f(listingFile());
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(text.toUtf8()) != text.toUtf8().size())
        qFatal("cannot write %s", qPrintable(listingFile()));
}
