#include "run/OutputReader.h"

#include <cmath>
#include <optional>
#include <utility>

using namespace Qt::Literals::StringLiterals;

namespace {

bool isDigit(QChar c) { return c >= u'0' && c <= u'9'; }

// The length of a percentage at the start of the text ("  45%", " 45.5%",
// "100%"), 0 when there is none; its value in percent.
qsizetype percentAt(QStringView s, int &percent)
{
    qsizetype i = 0;
    while (i < s.size() && s.at(i) == u' ')
        ++i;
    const qsizetype digits = i;
    int value = 0;
    while (i < s.size() && isDigit(s.at(i)) && i - digits < 3)
        value = value * 10 + (s.at(i++).unicode() - u'0');
    if (i == digits)
        return 0;
    if (i + 1 < s.size() && (s.at(i) == u'.' || s.at(i) == u',') && isDigit(s.at(i + 1)))
        i += 2;
    if (i >= s.size() || s.at(i) != u'%' || value > 100)
        return 0;
    percent = value;
    return i + 1;
}

// A percentage alone on its piece of line.
std::optional<int> percentOnly(QStringView s)
{
    int percent = 0;
    const qsizetype n = percentAt(s, percent);
    if (n == 0 || !s.sliced(n).trimmed().isEmpty())
        return std::nullopt;
    return percent;
}

// A number as a report line shows it: digits, perhaps a minus and a
// fraction. Nothing for anything else (a time, a date).
std::optional<double> numberOf(QStringView word)
{
    if (word.isEmpty())
        return std::nullopt;
    qsizetype i = word.startsWith(u'-') ? 1 : 0;
    const qsizetype digits = i;
    while (i < word.size() && isDigit(word.at(i)))
        ++i;
    if (i == digits)
        return std::nullopt;
    if (i < word.size() && (word.at(i) == u'.' || word.at(i) == u',')) {
        const qsizetype fraction = ++i;
        while (i < word.size() && isDigit(word.at(i)))
            ++i;
        if (i == fraction)
            return std::nullopt;
    }
    if (i != word.size())
        return std::nullopt;
    QString text = word.toString();
    text.replace(u',', u'.');
    return text.toDouble();
}

// The first two words of a text.
std::pair<QStringView, QStringView> firstWords(QStringView s)
{
    s = s.trimmed();
    const qsizetype blank = s.indexOf(u' ');
    if (blank < 0)
        return {s, {}};
    const QStringView rest = s.sliced(blank).trimmed();
    const qsizetype next = rest.indexOf(u' ');
    return {s.first(blank), next < 0 ? rest : rest.first(next)};
}

// A file's size: bytes, or scaled by the unit letter after it; -1 when the
// line shows none (/NS, perhaps with a /TS time instead).
qint64 sizeOf(QStringView field)
{
    const auto [number, unit] = firstWords(field);
    const std::optional<double> value = numberOf(number);
    if (!value || *value < 0)
        return -1;
    const qint64 scale = SizeUnitScale(unit);
    return std::llround(*value * double(scale > 0 ? scale : 1));
}

// How an entry's tag places it: in Robocopy's report a copied entry's tag
// starts with a capital, a skipped one's (/V) with a small letter, an
// anomaly's with "*".
enum class TagClass : quint8 { None, Copied, Skipped, Extra, Mismatch };

TagClass classOf(QStringView tag)
{
    tag = tag.trimmed();
    if (tag.isEmpty())
        return TagClass::None;
    if (tag.front() == u'*')
        return tag.startsWith(u"*EXTRA"_s, Qt::CaseInsensitive) ? TagClass::Extra : TagClass::Mismatch;
    if (tag.front().isUpper())
        return TagClass::Copied;
    if (tag.front().isLower())
        return TagClass::Skipped;
    return TagClass::None;
}

// "hh:mm -> hh:mm", which /ETA puts after a copy's name.
bool isEtaField(QStringView s)
{
    s = s.trimmed();
    return s.size() == 14 && s.at(2) == u':' && s.sliced(5, 4) == u" -> "_s && s.at(11) == u':';
}

bool isRetryLine(QStringView s) { return s.startsWith(u"Waiting "_s) && s.contains(u"Retrying"_s); }
bool isRetryLimitLine(QStringView s) { return s.startsWith(u"ERROR: RETRY LIMIT EXCEEDED"_s); }

// "ERROR" at the start of a line or after its time ("2024/01/15 10:12:13"):
// its position, or -1.
qsizetype errorWordAt(QStringView s)
{
    const qsizetype at = s.indexOf(u"ERROR"_s);
    if (at < 0)
        return -1;
    for (QChar c : s.first(at))
        if (!isDigit(c) && c != u'/' && c != u':' && c != u' ' && c != u'-' && c != u'.')
            return -1;
    return at;
}

// "ERROR n (0x...)": an error with its system message on the next line.
bool isNumberedError(QStringView s)
{
    if (!s.startsWith(u"ERROR "_s))
        return false;
    qsizetype i = 6;
    while (i < s.size() && isDigit(s.at(i)))
        ++i;
    return i > 6 && s.sliced(i).startsWith(u" (0x"_s);
}

} // namespace

void OutputReader::add(QStringView text)
{
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c != u'\r' && c != u'\n') {
            if (m_crPending) {
                // A return alone: what follows writes over the line.
                m_crPending = false;
                segment(m_partial, false);
                m_partial.clear();
            }
            continue;
        }
        m_partial += text.sliced(start, i - start);
        start = i + 1;
        if (c == u'\n') {
            m_crPending = false;
            segment(m_partial, true);
            m_partial.clear();
        } else {
            if (m_crPending) {
                segment(m_partial, false);
                m_partial.clear();
            }
            m_crPending = true;
        }
    }
    m_partial += text.sliced(start);
}

void OutputReader::finish()
{
    if (m_crPending || !m_partial.isEmpty())
        segment(m_partial, true);
    m_partial.clear();
    m_crPending = false;
    if (m_errorState == ErrorState::WantRetry)
        errorDecided(false);
    // A copy still open never told its end: it is not counted as copied.
    m_current = CurrentCopy();
}

void OutputReader::segment(QStringView text, bool endsLine)
{
    if (const std::optional<int> percent = percentOnly(text)) {
        if (!m_current.name.isEmpty()) {
            m_current.percent = *percent;
            if (*percent >= 100)
                copyEnded();
        }
    } else if (text.isEmpty()) {
        if (endsLine && !m_lineHasText)
            keepLine(QString());
    } else {
        keepLine(text.toString());
        line(text);
        m_lineHasText = true;
    }
    if (endsLine)
        m_lineHasText = false;
}

void OutputReader::keepLine(QString text)
{
    ++m_lineCount;
    if (m_sink)
        m_sink(text);
    if (m_pending.size() >= MaxPendingLines) {
        m_pending.removeFirst();
        ++m_droppedLines;
    }
    m_pending.append(std::move(text));
}

QStringList OutputReader::takeLines() { return std::exchange(m_pending, QStringList()); }

void OutputReader::line(QStringView text)
{
    if (errorLine(text))
        return;
    const bool dashes = IsDashLine(text);
    switch (m_part) {
    case Part::Start:
        if (dashes) {
            m_part = Part::Header;
            m_headerDashes = 1;
        } else if (entry(text) != EntryKind::None) {
            m_part = Part::Body;
        }
        return;
    case Part::Header:
        if (dashes) {
            if (++m_headerDashes == 3) {
                m_part = Part::Body;
                ++m_jobs;
            }
        } else {
            summaryLine(text); // without a header (/NJH) the first rule is the summary's
        }
        return;
    case Part::Body:
        if (dashes) {
            copyEnded();
            folderEnded();
            m_part = Part::Summary;
            m_reading = RunSummary();
            m_table = SummaryTableReader();
        } else {
            entry(text);
        }
        return;
    case Part::Summary:
        if (dashes) {
            m_part = Part::Header; // the next step's job
            m_headerDashes = 1;
        } else {
            if (m_reading.lines.size() < 16)
                m_reading.lines << text.toString();
            summaryLine(text);
            if (m_summary.found && m_reading.found)
                m_summary.lines = m_reading.lines;
        }
        return;
    }
}

bool OutputReader::errorLine(QStringView text)
{
    switch (m_errorState) {
    case ErrorState::WantMessage:
        if (m_lastErrorKept)
            m_errors.last().message = text.trimmed().toString();
        m_errorState = ErrorState::WantRetry;
        return true;
    case ErrorState::WantRetry:
        if (isRetryLine(text)) {
            errorDecided(true);
            return true;
        }
        errorDecided(false);
        if (isRetryLimitLine(text))
            return true;
        break;
    case ErrorState::None:
        break;
    }
    if (isRetryLimitLine(text))
        return true;
    if (text.isEmpty() || text.front().isSpace())
        return false;
    const qsizetype at = errorWordAt(text);
    if (at < 0)
        return false;
    ++m_errorLines;
    m_lastErrorKept = m_errors.size() < MaxKeptErrors;
    if (m_lastErrorKept)
        m_errors.append(RunError{text.trimmed().toString(), QString(), false});
    if (!isNumberedError(text.sliced(at)))
        return true; // Robocopy's usage errors ("ERROR : Invalid Parameter ..."): no message line, no entry failed
    // The copy under way was struck.
    if (!m_current.name.isEmpty()) {
        m_failedCopySize = std::max<qint64>(m_current.size, 0);
        m_current = CurrentCopy();
    }
    m_errorState = ErrorState::WantMessage;
    return true;
}

void OutputReader::errorDecided(bool retried)
{
    m_errorState = ErrorState::None;
    if (retried) {
        if (m_lastErrorKept)
            m_errors.last().retried = true;
    } else {
        ++m_counts.failed;
        ++m_folderHandled;
        if (m_failedCopySize >= 0)
            m_counts.bytesDone += m_failedCopySize;
    }
    m_failedCopySize = -1;
}

OutputReader::EntryKind OutputReader::entry(QStringView text)
{
    // Under /MT a file's line comes when it is done, after "100%".
    int percent = 0;
    const qsizetype prefix = percentAt(text, percent);
    const bool done = prefix > 0;
    QStringView rest = text.sliced(prefix);
    const qsizetype firstTab = rest.indexOf(u'\t');
    if (firstTab < 0 || !rest.first(firstTab).trimmed().isEmpty())
        return EntryKind::None;
    rest = rest.sliced(firstTab + 1);
    const qsizetype tab = rest.indexOf(u'\t');
    if (tab < 0)
        return EntryKind::None;
    const QStringView head = rest.first(tab);
    const QStringView tail = rest.sliced(tab + 1);

    if (!tail.startsWith(u'\t')) {
        // A folder: its tag and its count, then its path.
        const QStringView trimmed = head.trimmed();
        const qsizetype blank = trimmed.lastIndexOf(u' ');
        const QStringView last = blank < 0 ? trimmed : trimmed.sliced(blank + 1);
        const std::optional<double> count = numberOf(last);
        if (tail.trimmed().isEmpty() || (!count && classOf(trimmed) == TagClass::None))
            return EntryKind::None;
        const QStringView tag = count ? trimmed.first(blank < 0 ? 0 : blank) : trimmed;
        copyEnded();
        // An extra folder's count is -1, which tells it under /NC too.
        const TagClass tagClass = count && *count < 0 && classOf(tag) == TagClass::None ? TagClass::Extra : classOf(tag);
        switch (tagClass) {
        case TagClass::Extra: ++m_counts.extras; break;
        case TagClass::Mismatch: ++m_counts.mismatched; break;
        case TagClass::Skipped: break;
        case TagClass::Copied:
        case TagClass::None:
            folderEnded();
            m_folder = tail.trimmed().toString();
            m_folderFiles = count && *count >= 0 ? qint64(*count) : -1;
            m_folderHandled = 0;
            break;
        }
        return EntryKind::Folder;
    }

    // A file: its tag, two tabs, its size (and /TS time), a tab, its name
    // (and /ETA times after another tab).
    const QStringView fields = tail.sliced(1);
    const qsizetype nameTab = fields.indexOf(u'\t');
    if (nameTab < 0)
        return EntryKind::None;
    QStringView name = fields.sliced(nameTab + 1);
    if (const qsizetype eta = name.lastIndexOf(u'\t'); eta >= 0 && isEtaField(name.sliced(eta + 1)))
        name = name.first(eta);
    if (name.trimmed().isEmpty())
        return EntryKind::None;
    const qint64 size = sizeOf(fields.first(nameTab));
    copyEnded();
    m_lastFile = name.toString();
    switch (classOf(head)) {
    case TagClass::Extra: ++m_counts.extras; break;
    case TagClass::Mismatch:
        ++m_counts.mismatched;
        ++m_folderHandled;
        break;
    case TagClass::Skipped:
        ++m_counts.skipped;
        ++m_folderHandled;
        break;
    case TagClass::Copied:
    case TagClass::None: // /NC: only copies are named (and anomalies, with their tags)
        ++m_counts.copyLines;
        if (size >= 0)
            ++m_counts.sizedLines;
        m_current = CurrentCopy{m_lastFile, size, -1};
        if (done)
            copyEnded();
        break;
    }
    return EntryKind::File;
}

QString OutputReader::folderOf(const QString &name) const
{
    const bool full = name.startsWith(u'/') || name.startsWith(u'\\') || (name.size() > 2 && name.at(1) == u':');
    if (name.isEmpty() || full || m_folder.isEmpty())
        return name;
    return m_folder + name;
}

void OutputReader::copyEnded()
{
    if (m_current.name.isEmpty())
        return;
    ++m_counts.copied;
    ++m_folderHandled;
    m_counts.bytesDone += std::max<qint64>(m_current.size, 0);
    m_current = CurrentCopy();
}

void OutputReader::folderEnded()
{
    if (m_folderFiles >= 0)
        m_counts.skipped += std::max<qint64>(0, m_folderFiles - m_folderHandled);
    m_folderFiles = -1;
    m_folderHandled = 0;
}

void OutputReader::summaryLine(QStringView text)
{
    if (!m_table.addLine(text))
        return;
    m_reading.dirs = m_table.rows()[0];
    m_reading.files = m_table.rows()[1];
    m_reading.bytes = m_table.rows()[2];
    m_reading.found = true;
    m_summary = m_reading;
}
