#include "run/RunProgress.h"

#include "command/CommandWords.h"

#include <QLocale>

#include <algorithm>
#include <cmath>

using namespace Qt::Literals::StringLiterals;

RunTotals TotalsOf(const ListingReading &listing)
{
    RunTotals t;
    t.files = listing.files[Copied];
    t.bytes = listing.bytes[Copied];
    t.other = listing.extraLines + listing.files[Mismatch] + listing.dirs[Mismatch];
    return t;
}

ReportSwitches ReportSwitchesOf(QStringView command)
{
    ReportSwitches shows;
    const QList<CommandWord> words = CommandWords(command);
    for (qsizetype i = 1; i < words.size(); ++i) {
        const QString &word = words.at(i).value;
        if (word.compare(u"/NFL"_s, Qt::CaseInsensitive) == 0) {
            shows.files = false;
        } else if (word.compare(u"/NS"_s, Qt::CaseInsensitive) == 0) {
            shows.sizes = false;
        } else if (word.compare(u"/TEE"_s, Qt::CaseInsensitive) == 0) {
            shows.tee = true;
        } else {
            static constexpr struct
            {
                QStringView prefix;
                bool unicode, append;
            } kLogs[] = {{u"/LOG:", false, false}, {u"/LOG+:", false, true},
                         {u"/UNILOG:", true, false}, {u"/UNILOG+:", true, true}};
            for (const auto &log : kLogs) {
                if (word.startsWith(log.prefix, Qt::CaseInsensitive) && word.size() > log.prefix.size()) {
                    shows.logFile = word.sliced(log.prefix.size());
                    shows.unicodeLog = log.unicode;
                    shows.appendLog = log.append;
                }
            }
        }
    }
    shows.sizes = shows.sizes && shows.files;
    return shows;
}

qint64 RunStanding::bytesDone() const
{
    if (shows.sizes && counts.sizedLines > 0) {
        qint64 partial = 0;
        if (current.size > 0 && current.percent > 0)
            partial = current.size / 100 * current.percent + current.size % 100 * current.percent / 100;
        return counts.bytesDone + partial;
    }
    if (!shows.sizes)
        return writtenBytes;
    return counts.copyLines > 0 ? -1 : 0; // copies with no size on their lines
}

qint64 RunStanding::itemsDone() const { return counts.copied + counts.failed + counts.extras + counts.mismatched; }

qint64 RunStanding::unitsDone() const
{
    qint64 units = std::max<qint64>(bytesDone(), 0);
    if (shows.files)
        units += itemsDone() * ItemWeightBytes;
    return units;
}

qint64 RunStanding::unitsWhole() const
{
    if (!totals)
        return 0;
    qint64 units = bytesDone() >= 0 ? totals->bytes : 0;
    if (shows.files)
        units += (totals->files + totals->other) * ItemWeightBytes;
    return units;
}

int PermilleOf(const RunStanding &s)
{
    const qint64 whole = s.unitsWhole();
    if (whole <= 0)
        return -1;
    // A listing made beside the run may have missed a file the run copied
    // meanwhile: the share stops short of the whole until the run ends.
    const qint64 done = std::min(s.unitsDone(), whole);
    return int(std::min<qint64>(999, done * 1000 / whole));
}

QString MegabytesText(qint64 bytes)
{
    constexpr double kMB = 1048576.0;
    if (bytes >= qint64(1) << 30)
        return QLocale().toString(double(bytes) / (kMB * 1024.0), 'f', 2) + u" GB"_s;
    return QLocale().toString(double(bytes) / kMB, 'f', 1) + u" MB"_s;
}

namespace {
// "12.3 of 78.1 MB": both in the unit of the whole.
QString sizeOfWhole(qint64 done, qint64 whole)
{
    const QString wholeText = MegabytesText(whole);
    const QString unit = wholeText.sliced(wholeText.lastIndexOf(u' '));
    const double scale = unit == u" GB"_s ? 1073741824.0 : 1048576.0;
    return QLocale().toString(double(done) / scale, 'f', unit == u" GB"_s ? 2 : 1) + u" of "_s + wholeText;
}
} // namespace

QString StandingText(const RunStanding &s, bool counting)
{
    const QLocale locale;
    QStringList parts;
    const qint64 bytes = s.bytesDone();
    const qint64 files = s.counts.copied + s.counts.failed;
    const qint64 other = s.counts.extras + s.counts.mismatched;
    if (s.totals) {
        // The run may name more than the listing saw beside it.
        const qint64 wholeFiles = std::max(s.totals->files, files);
        const qint64 wholeBytes = std::max(s.totals->bytes, bytes);
        const qint64 wholeOther = std::max(s.totals->other, other);
        if (s.shows.files && (wholeFiles > 0 || wholeOther == 0))
            parts << locale.toString(files) + u" of "_s + locale.toString(wholeFiles) + u" files"_s;
        if (bytes >= 0 && (wholeBytes > 0 || wholeOther == 0))
            parts << sizeOfWhole(bytes, wholeBytes);
        if (s.shows.files && wholeOther > 0)
            parts << locale.toString(other) + u" of "_s + locale.toString(wholeOther) + u" other entries"_s;
    } else {
        if (s.shows.files)
            parts << locale.toString(files) + (files == 1 ? u" file"_s : u" files"_s);
        if (bytes >= 0)
            parts << MegabytesText(bytes);
        if (s.shows.files && other > 0)
            parts << locale.toString(other) + (other == 1 ? u" other entry"_s : u" other entries"_s);
        // Until the listing beside the run has told the totals.
        if (counting)
            return u"Counting\u2026 "_s + parts.join(u", "_s) + u" so far"_s;
    }
    return parts.join(u", "_s);
}

void RateMeter::add(qint64 ms, qint64 bytes, qint64 units)
{
    if (!m_samples.empty() && ms <= m_samples.back().ms)
        return;
    m_samples.push_back({ms, bytes, units});
    while (m_samples.size() > 2 && m_samples[1].ms <= ms - TimeLeftWindowMs)
        m_samples.pop_front();
}

const RateMeter::Sample &RateMeter::since(qint64 window) const
{
    const qint64 from = m_samples.back().ms - window;
    auto it = std::lower_bound(m_samples.begin(), m_samples.end(), from,
                               [](const Sample &s, qint64 ms) { return s.ms < ms; });
    // The newest sample at or before the window's start, so the window is whole.
    if (it != m_samples.begin() && (it == m_samples.end() || it->ms > from))
        --it;
    return *it;
}

std::optional<double> RateMeter::bytesPerSecond() const
{
    if (m_samples.size() < 2)
        return std::nullopt;
    const Sample &last = m_samples.back();
    const Sample &first = since(SpeedWindowMs);
    if (last.ms <= first.ms)
        return std::nullopt;
    return double(std::max<qint64>(0, last.bytes - first.bytes)) * 1000.0 / double(last.ms - first.ms);
}

std::optional<qint64> RateMeter::secondsLeft(qint64 unitsLeft) const
{
    if (m_samples.size() < 2 || m_samples.back().ms < MinimumMs)
        return std::nullopt;
    const Sample &last = m_samples.back();
    const Sample &first = since(TimeLeftWindowMs);
    const qint64 moved = last.units - first.units;
    if (moved <= 0 || last.ms <= first.ms)
        return std::nullopt;
    const double seconds = double(std::max<qint64>(unitsLeft, 0)) * double(last.ms - first.ms) / double(moved) / 1000.0;
    return qint64(std::ceil(seconds));
}

QString SpeedText(double bytesPerSecond)
{
    const QLocale locale;
    if (bytesPerSecond >= 1048576.0)
        return locale.toString(bytesPerSecond / 1048576.0, 'f', 1) + u" MB/s"_s;
    return locale.toString(std::floor(bytesPerSecond / 1024.0), 'f', 0) + u" KB/s"_s;
}

QString TimeLeftText(qint64 seconds)
{
    if (seconds < 60)
        return QString::number(std::max<qint64>(seconds, 1)) + u" s left"_s;
    const qint64 minutes = (seconds + 59) / 60;
    if (minutes < 60)
        return QString::number(minutes) + u" min left"_s;
    return u"%1 h %2 min left"_s.arg(minutes / 60).arg(minutes % 60, 2, 10, QChar(u'0'));
}
