#include "run/Listing.h"

#include <QLocale>
#include <QRegularExpression>

#include <cmath>
#include <cstddef>

using namespace Qt::Literals::StringLiterals;

namespace {

// The words of a line, between blanks and tabs.
QList<QStringView> wordsOf(QStringView line)
{
    QList<QStringView> words;
    qsizetype start = -1;
    for (qsizetype i = 0; i <= line.size(); ++i) {
        const bool blank = i == line.size() || line.at(i) == u' ' || line.at(i) == u'\t';
        if (!blank && start < 0)
            start = i;
        else if (blank && start >= 0) {
            words << line.sliced(start, i - start);
            start = -1;
        }
    }
    return words;
}

bool endsWithSeparator(QStringView path) { return path.endsWith(u'\\') || path.endsWith(u'/'); }

// A size or count as Robocopy prints it: digits, perhaps a fraction (a point
// or a comma), and in the bytes row a scale letter as the next word.
const QRegularExpression &numberPattern()
{
    static const QRegularExpression re(u"^\\d+(?:[.,]\\d+)?$"_s);
    return re;
}

// A listed entry: its tag (words without digits), its size or count, and
// its path. The tag is in the listing's language; the layout is not.
const QRegularExpression &entryPattern()
{
    static const QRegularExpression re(
        u"^(?<tag>\\D*?)\\s*(?<size>-?\\d+(?:[.,]\\d+)?)(?:\\s+[kmgtKMGT](?=\\s))?\\s+(?<path>\\S.*?)\\s*$"_s);
    return re;
}

} // namespace

qint64 SizeUnitScale(QStringView unit)
{
    if (unit.size() != 1)
        return 0;
    switch (unit.at(0).toLower().unicode()) {
    case u'k': return qint64(1) << 10;
    case u'm': return qint64(1) << 20;
    case u'g': return qint64(1) << 30;
    case u't': return qint64(1) << 40;
    default: return 0;
    }
}

bool IsDashLine(QStringView line)
{
    const QStringView t = line.trimmed();
    if (t.size() < 10)
        return false;
    for (QChar c : t)
        if (c != u'-')
            return false;
    return true;
}

bool ReadSummaryRow(QStringView line, SummaryRow &row, bool &plain)
{
    const qsizetype colon = line.indexOf(u':');
    if (colon <= 0)
        return false;
    const QStringView label = line.first(colon).trimmed();
    if (label.isEmpty())
        return false;
    for (QChar c : label)
        if (c.isDigit())
            return false;
    const QList<QStringView> tokens = wordsOf(line.sliced(colon + 1));
    plain = true;
    std::size_t column = 0;
    for (qsizetype i = 0; i < tokens.size(); ++i) {
        const QString token = tokens.at(i).toString();
        if (column >= row.size() || !numberPattern().match(token).hasMatch())
            return false;
        qint64 scale = 1;
        if (i + 1 < tokens.size() && SizeUnitScale(tokens.at(i + 1)) > 0) {
            scale = SizeUnitScale(tokens.at(++i));
            plain = false;
        }
        const bool fraction = token.contains(u'.') || token.contains(u',');
        if (fraction)
            plain = false;
        if (!fraction && scale == 1) {
            bool ok = false;
            row[column] = token.toLongLong(&ok);
            if (!ok)
                return false;
        } else {
            bool ok = false;
            QString decimal = token;
            decimal.replace(u',', u'.');
            const double value = decimal.toDouble(&ok) * double(scale);
            if (!ok || value >= 9.0e18)
                return false;
            row[column] = std::llround(value);
        }
        ++column;
    }
    return column == row.size();
}

void ListingReader::addLine(QStringView line)
{
    if (line.endsWith(u'\r'))
        line.chop(1);
    // Progress written over itself: what stands after the last return shows.
    if (const qsizetype cr = line.lastIndexOf(u'\r'); cr >= 0)
        line = line.sliced(cr + 1);

    switch (m_part) {
    case Part::Start:
        if (line.trimmed().isEmpty())
            return;
        if (IsDashLine(line)) {
            m_part = Part::Header;
            m_headerDashes = 1;
            return;
        }
        // Anything before the first entry that is no header (a tool's own
        // remark, a progress line) is passed over.
        if (bodyLine(line))
            m_part = Part::Body;
        return;
    case Part::Header:
        if (IsDashLine(line)) {
            if (++m_headerDashes == 3) {
                m_part = Part::Body;
                m_reading.headerFound = true;
            }
            return;
        }
        // A header that never closes: the entries have begun.
        if (line.trimmed().startsWith(u"*EXTRA"_s, Qt::CaseInsensitive)) {
            m_part = Part::Body;
            bodyLine(line);
            return;
        }
        // Without a header of its own (/NJH in a job file) and with no
        // entry, the first dashes are the summary's.
        summaryLine(line);
        for (QStringView word : wordsOf(line)) {
            if (word.compare(u"/MIR"_s, Qt::CaseInsensitive) == 0 || word.compare(u"/PURGE"_s, Qt::CaseInsensitive) == 0)
                m_reading.headerPurges = true;
            if (word.compare(u"/MOV"_s, Qt::CaseInsensitive) == 0 || word.compare(u"/MOVE"_s, Qt::CaseInsensitive) == 0)
                m_reading.headerMoves = true;
        }
        return;
    case Part::Body:
        if (IsDashLine(line)) {
            m_part = Part::Summary;
            return;
        }
        bodyLine(line);
        return;
    case Part::Summary:
        summaryLine(line);
        return;
    }
}

bool ListingReader::bodyLine(QStringView line)
{
    const QStringView text = line.trimmed();
    if (text.isEmpty())
        return false;
    if (text.startsWith(u"*EXTRA"_s, Qt::CaseInsensitive)) {
        QStringView rest = text.sliced(6).trimmed();
        int kind = 0; // 1 file, 2 folder, 0 not said
        if (rest.startsWith(u"File"_s, Qt::CaseInsensitive) && (rest.size() == 4 || rest.at(4).isSpace()))
            kind = 1;
        else if (rest.startsWith(u"Dir"_s, Qt::CaseInsensitive) && (rest.size() == 3 || rest.at(3).isSpace()))
            kind = 2;
        QString path;
        if (const QRegularExpressionMatch m = entryPattern().match(rest); m.hasMatch())
            path = m.captured(u"path");
        else if (kind != 0)
            path = rest.sliced(kind == 1 ? 4 : 3).trimmed().toString();
        if (path.isEmpty())
            return false;
        ++m_reading.extraLines;
        if (m_reading.extras.size() < MaxListedPaths)
            m_reading.extras.append({path, kind == 2 || (kind == 0 && endsWithSeparator(path))});
        return true;
    }
    // Other anomalies (*MISMATCH) name nothing the run deletes or moves;
    // lines from the first column (errors and the system's messages under
    // them) are no entries.
    if (text.startsWith(u'*'))
        return true;
    if (!line.front().isSpace())
        return false;
    const QRegularExpressionMatch m = entryPattern().match(line.trimmed());
    if (!m.hasMatch())
        return false;
    const QString path = m.captured(u"path");
    // A folder's line names the folder, with its separator at the end.
    if (endsWithSeparator(path))
        return true;
    ++m_reading.copiedLines;
    if (m_reading.copiedFiles.size() < MaxListedPaths)
        m_reading.copiedFiles.append(path);
    return true;
}

void ListingReader::summaryLine(QStringView line)
{
    if (!m_table.addLine(line))
        return;
    m_reading.dirs = m_table.rows()[0];
    m_reading.files = m_table.rows()[1];
    m_reading.bytes = m_table.rows()[2];
    m_reading.readable = true;
}

bool SummaryTableReader::addLine(QStringView line)
{
    SummaryRow row{};
    bool plain = false;
    if (!ReadSummaryRow(line, row, plain) || (!plain && m_inARow < 2)) {
        m_inARow = 0;
        return false;
    }
    m_rows[size_t(m_inARow)] = row;
    if (++m_inARow < 3)
        return false;
    m_inARow = 0;
    return true;
}

ListingReading ReadListing(const QString &output)
{
    ListingReader reader;
    for (QStringView line : QStringView(output).split(u'\n'))
        reader.addLine(line);
    return reader.reading();
}

bool Preview::removesNothing() const
{
    return deletedFiles == 0 && deletedFolders == 0 && movedFiles == 0 && deletedLines == 0 && !incomplete;
}

Preview PreviewOf(const RunEffects &effects, const ListingReading &reading, int exitCode)
{
    // A job file's switches show only in the header; without a header it
    // may do anything its name allows.
    const bool fromJob = effects.job && !effects.listsOnly;
    const bool purges = effects.purges || (fromJob && (!reading.headerFound || reading.headerPurges));
    const bool moves = effects.moves || (fromJob && (!reading.headerFound || reading.headerMoves));
    Preview p;
    if (purges) {
        p.deletedFiles = reading.files[Extras];
        p.deletedFolders = reading.dirs[Extras];
        p.deletedBytes = reading.bytes[Extras];
        p.deleted = reading.extras;
        p.deletedLines = reading.extraLines;
    }
    if (moves) {
        p.movedFiles = reading.files[Copied];
        p.movedBytes = reading.bytes[Copied];
        p.moved = reading.copiedFiles;
        p.movedLines = reading.copiedLines;
    }
    p.incomplete = exitCode >= 0 && (exitCode & 8) != 0;
    return p;
}

QString CountOf(qint64 n, const QString &one, const QString &many)
{
    return QLocale().toString(n) + u' ' + (n == 1 ? one : many);
}

QString SizeOf(qint64 bytes)
{
    if (bytes < 1024)
        return CountOf(bytes, u"byte"_s, u"bytes"_s);
    return QLocale().formattedDataSize(bytes, 1, QLocale::DataSizeTraditionalFormat);
}

PreviewText PreviewTextOf(const Preview &p)
{
    PreviewText t;
    QStringList parts;
    QStringList deleted;
    if (p.deletedFiles > 0)
        deleted << CountOf(p.deletedFiles, u"file"_s, u"files"_s) + u" ("_s + SizeOf(p.deletedBytes) + u')';
    if (p.deletedFolders > 0)
        deleted << CountOf(p.deletedFolders, u"folder"_s, u"folders"_s)
                + (p.deletedFolders == 1 ? u" (with everything in it)"_s : u" (with everything in them)"_s);
    if (deleted.isEmpty() && p.deletedLines > 0)
        deleted << CountOf(p.deletedLines, u"entry"_s, u"entries"_s);
    if (!deleted.isEmpty())
        parts << u"delete "_s + deleted.join(u" and "_s) + u" from the destination"_s;
    if (p.movedFiles > 0)
        parts << u"move "_s + CountOf(p.movedFiles, u"file"_s, u"files"_s) + u" ("_s + SizeOf(p.movedBytes)
                + u") out of the source"_s;
    if (!parts.isEmpty())
        t.message = u"This run will "_s + parts.join(u", and "_s) + u'.';
    else
        t.message = u"The listing of this run shows nothing it would delete or move."_s;
    if (p.incomplete)
        t.message += u"\n\nSome entries could not be listed, so the run may delete or move more than this."_s;

    QStringList all;
    for (const ListedEntry &e : p.deleted)
        all << e.path;
    all += p.moved;
    t.firstPaths = all.mid(0, FirstPathsShown);
    const qsizetype named = p.deletedLines + p.movedLines;
    if (named > t.firstPaths.size())
        t.firstPaths << u"... and "_s + QLocale().toString(named - t.firstPaths.size()) + u" more"_s;

    QStringList details;
    auto section = [&details](const QString &title, qsizetype count, const QStringList &paths) {
        if (count == 0)
            return;
        if (!details.isEmpty())
            details << QString();
        details << title + u" ("_s + QLocale().toString(count) + u"):"_s;
        details += paths;
        if (count > paths.size())
            details << u"... and "_s + QLocale().toString(count - paths.size()) + u" more, not kept here"_s;
    };
    QStringList deletedPaths;
    for (const ListedEntry &e : p.deleted)
        deletedPaths << e.path;
    section(u"Deleted from the destination"_s, p.deletedLines, deletedPaths);
    section(u"Moved out of the source"_s, p.movedLines, p.moved);
    t.details = details.join(u'\n');
    return t;
}

PreviewText FailureTextOf(ListingFailure failure, int exitCode, const QString &output)
{
    QString why;
    switch (failure) {
    case ListingFailure::CannotMake:
        why = u"a quotation mark in the command is never closed, so /L could not be added to it"_s;
        break;
    case ListingFailure::NotFound: why = u"Robocopy was not found"_s; break;
    case ListingFailure::CannotStart: why = u"Robocopy could not be started"_s; break;
    case ListingFailure::EndedAbnormally: why = u"the listing ended abnormally"_s; break;
    case ListingFailure::SeriousError:
        why = u"Robocopy ended with exit code %1, a serious error"_s.arg(exitCode);
        break;
    case ListingFailure::Unreadable: why = u"Robocopy's output holds no summary to read"_s; break;
    }
    PreviewText t;
    t.message = u"This command can delete or move files, but what it would delete or move could not be listed: "_s
        + why + u'.';
    if (!output.trimmed().isEmpty()) {
        t.message += u"\n\nRobocopy's output is under Show Details."_s;
        t.details = output;
    }
    return t;
}
