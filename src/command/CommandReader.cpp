#include "command/CommandReader.h"

#include "command/CmdScanner.h"
#include "command/CommandBuilder.h"
#include "command/CommandWords.h"
#include "command/SwitchTable.h"

#include <QRegularExpression>

#include <algorithm>
#include <limits>
#include <optional>
#include <span>
#include <utility>

using namespace Qt::Literals::StringLiterals;

namespace {

bool isBlank(QChar c) { return c == u' ' || c == u'\t'; }

// Only what separates arguments is trimmed: other white space is text.
QStringView trimBlanks(QStringView s)
{
    qsizetype begin = 0;
    qsizetype end = s.size();
    while (begin < end && isBlank(s.at(begin)))
        ++begin;
    while (end > begin && isBlank(s.at(end - 1)))
        --end;
    return s.sliced(begin, end - begin);
}

QList<QStringView> splitLines(QStringView text)
{
    QList<QStringView> lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c != u'\r' && c != u'\n')
            continue;
        lines << text.sliced(start, i - start);
        if (c == u'\r' && i + 1 < text.size() && text.at(i + 1) == u'\n')
            ++i;
        start = i + 1;
    }
    lines << text.sliced(start);
    return lines;
}

// A switch of the table that a word names, by its name up to a colon in any
// letter case; index is the place of that name in the row.
struct Named
{
    const SwitchSpec *row = nullptr;
    size_t index = 0;
};

QStringView switchName(QStringView word)
{
    if (!word.startsWith(u'/'))
        return {};
    const QStringView name = word.sliced(1);
    const qsizetype colon = name.indexOf(u':');
    return colon < 0 ? name : name.first(colon);
}

Named findSwitch(QStringView word)
{
    // Every word of every command is looked up, some several times.
    static const QHash<QString, Named> byName = [] {
        QHash<QString, Named> names;
        for (const SwitchSpec &row : switchTable())
            for (size_t i = 0; i < row.names.size(); ++i)
                if (!row.names[i].isEmpty())
                    names.insert(row.names[i].toString(), {&row, i});
        return names;
    }();
    const QStringView name = switchName(word);
    return name.isEmpty() ? Named{} : byName.value(name.toString().toUpper());
}

bool hasNoOption(QStringView word)
{
    const QStringView name = switchName(word);
    for (QStringView other : switchesWithoutOption())
        if (!name.isEmpty() && name.compare(other, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

// A path written as one argument gives what Robocopy receives, so the
// builder's quoting comes off again; anything else stays as written.
QString pathValue(QStringView written)
{
    const QList<CommandWord> words = CommandWords(written);
    if (words.size() == 1 && words.first().start == 0 && words.first().end == written.size())
        return words.first().value;
    return written.toString();
}

bool runsProgram(QStringView word, std::initializer_list<QStringView> names)
{
    const qsizetype separator = std::max(word.lastIndexOf(u'\\'), word.lastIndexOf(u'/'));
    const QStringView name = word.sliced(separator + 1);
    return std::any_of(names.begin(), names.end(),
                       [name](QStringView n) { return name.compare(n, Qt::CaseInsensitive) == 0; });
}

bool runsRobocopy(QStringView program) { return runsProgram(program, {u"robocopy", u"robocopy.exe"}); }

// How a switch takes its value.
enum class Form { Flag, Letters, Value, OptionalValue, List };

Form formOf(const Named &named)
{
    switch (named.row->rule) {
    case SwitchRule::Flag:
    case SwitchRule::Subdirectories:
    case SwitchRule::RestartableBackup:
    case SwitchRule::Move:
    case SwitchRule::ArchiveOnly:
    case SwitchRule::Tee: return Form::Flag;
    case SwitchRule::Letters: return Form::Letters;
    case SwitchRule::CopyLetters: return named.index == 2 ? Form::Letters : Form::Flag;
    case SwitchRule::FolderLetters: return named.index == 1 ? Form::Letters : Form::Flag;
    case SwitchRule::Text:
    case SwitchRule::Path:
    case SwitchRule::RunHours:
    case SwitchRule::Log: return Form::Value;
    case SwitchRule::Threads: return Form::OptionalValue;
    case SwitchRule::List: return Form::List;
    }
    return Form::Flag;
}

// /IF takes the names of the files to copy up to the next switch, in
// Robocopy's form and in the builder's "/IF:", whose value is the first.
bool namesIncludeFiles(const Named &named) { return named.row->controls[0] == kIncludeFilesField; }

// The field that takes the names after a list switch, or nothing.
QLatin1StringView listField(const Named &named)
{
    return named.row->rule == SwitchRule::List || namesIncludeFiles(named) ? named.row->controls[0]
                                                                           : QLatin1StringView();
}

// How a value goes into a command so that cmd.exe and the splitting hand
// it on unchanged, where it can: as it is, or in quotes.
std::optional<QString> plainlyWritten(const QString &value)
{
    if (value.contains(u'"'))
        return std::nullopt;
    if (!value.startsWith(u"::"))
        return QuotePathArgument(value);
    // Quoted, so that it reads as a name and not as a comment; a backslash
    // before the closing quote is doubled.
    qsizetype backslashes = 0;
    while (backslashes < value.size() && value.at(value.size() - 1 - backslashes) == u'\\')
        ++backslashes;
    return u'"' + value + QString(backslashes, u'\\') + u'"';
}

// Whether `written`, standing between blanks in a command as the builder
// writes it, hands Robocopy exactly `values` and reads back as itself.
bool standsAlone(const QString &written, const QStringList &values)
{
    // Without cmd.exe's characters and quotes the text is split as it is.
    const bool plain = std::none_of(written.begin(), written.end(), [](QChar c) {
        return c == u'"' || c == u'^' || c == u'&' || c == u'|' || c == u'<' || c == u'>' || c == u'(' || c == u')'
            || c == u'\r' || c == u'\n';
    });
    if (plain) {
        const QList<CommandWord> words = CommandWords(written);
        if (words.size() != values.size() || words.isEmpty() || words.first().start != 0
            || words.last().end != written.size())
            return false;
        for (qsizetype i = 0; i < values.size(); ++i)
            if (words.at(i).value != values.at(i))
                return false;
        return true;
    }
    // Between a word and a switch, as the builder puts it: a caret at its
    // end or a quote left open would take the blank or the switch along.
    const CmdScan scan = ScanCmdLine(u"R "_s + written + u" /"_s);
    if (scan.commands.size() != 1 || scan.quoted)
        return false;
    const CmdCommand &c = scan.commands.first();
    if (!c.redirections.isEmpty() || c.blocksOpened != 0)
        return false;
    const QList<CommandWord> words = CommandWords(c.text);
    if (words.size() != values.size() + 2 || words.last().value != u"/")
        return false;
    for (qsizetype i = 0; i < values.size(); ++i)
        if (words.at(i + 1).value != values.at(i))
            return false;
    return c.written(words.at(1).start, words.at(values.size()).end) == written;
}

// One argument of the program: what it receives, how it stood in the
// command, and what stood between it and the argument before.
struct Argument
{
    QString value;
    QString written;
    QString gap;
    QString shown; // when it is left out: as written in a command, as given in argv
    // "::" unquoted: the writer's comment, where a file name would stand.
    bool startsComment = false;
};

// Names taken for a list field, from one place of the command.
struct NameRun
{
    qsizetype position = -1;
    QStringList written;                       // as the builder writes them back
    QStringList values;                        // as Robocopy receives them
    QList<std::pair<QString, qsizetype>> shown; // each name as shown when left out, with its place
};

std::span<const Argument> slice(const QList<Argument> &arguments, qsizetype from, qsizetype to)
{
    return std::span<const Argument>(arguments.constData() + from, size_t(to - from));
}

// A switch where it stands, split at its colon.
struct SwitchUse
{
    Named named;
    QString text;        // the switch word as written, for what is left out
    qsizetype position;  // among the arguments
    bool hasColon;
    QString value;       // after the colon, as Robocopy receives it
    QString written;     // after the colon, as the builder would write it back
};

class Reader
{
public:
    explicit Reader(bool job) : m_job(job) {}

    void found() { m_reading.found = true; }
    // The grammar of Robocopy's arguments.
    void readArguments(const QList<Argument> &arguments);
    // Sets the controls of one switch.
    void apply(const SwitchUse &use);
    // A run of names for a list field, or the folders and file names.
    void takeNames(QLatin1StringView field, std::span<const Argument> names, qsizetype position);
    void leaveOut(LeftOutKind kind, LeftOutReason reason, const QString &text, qsizetype position = -1,
                  const QString &detail = QString())
    {
        m_reading.leftOut << LeftOut{kind, reason, text, position, detail};
    }
    CommandReading finish();

private:
    void setText(QLatin1StringView field, const QString &text, const QString &received)
    {
        m_reading.values.setText(field, text);
        m_reading.received.insert(field, {received});
    }
    void setPath(QLatin1StringView field, const QString &value, const SwitchUse &use);
    void setLetters(const SwitchSpec &row, QStringView letters, bool replace, const SwitchUse &use);

    bool m_job;
    CommandReading m_reading;
    // Runs of names by field.
    QHash<QLatin1StringView, QList<NameRun>> m_names;
    const SwitchSpec *m_restartableBackup = nullptr;
    bool m_bothInOne = false;
    bool m_restartable = false;
    bool m_backup = false;
    std::optional<SwitchUse> m_tee;
};

void Reader::readArguments(const QList<Argument> &arguments)
{
    const qsizetype n = arguments.size();
    QList<qsizetype> positional;
    qsizetype comment = -1;
    qsizetype i = 0;
    while (i < n && comment < 0) {
        const Argument &a = arguments.at(i);
        if (!IsSwitchWord(a.value)) {
            // A folder is never a comment: Robocopy takes the first two as folders.
            if (a.startsComment && positional.size() >= 2)
                comment = i;
            else
                positional << i++;
            continue;
        }
        const Named named = findSwitch(a.value);
        if (!named.row) {
            leaveOut(LeftOutKind::Switch, hasNoOption(a.value) ? LeftOutReason::NoOption : LeftOutReason::UnknownSwitch,
                     a.shown, i);
            ++i;
            continue;
        }
        const qsizetype colon = a.value.indexOf(u':');
        if (const QLatin1StringView field = listField(named); !field.isEmpty()) {
            const bool valueIsName = colon >= 0 && namesIncludeFiles(named);
            if (colon >= 0 && !valueIsName) {
                leaveOut(LeftOutKind::Switch, LeftOutReason::TakesNoValue, a.shown, i);
                ++i;
                continue;
            }
            qsizetype end = i + 1;
            while (end < n && !IsSwitchWord(arguments.at(end).value) && !arguments.at(end).startsComment)
                ++end;
            // "/IF:a b": the name in the value comes first, at the switch's place.
            QList<Argument> names;
            if (const qsizetype writtenColon = a.written.indexOf(u':');
                valueIsName && writtenColon >= 0 && writtenColon + 1 < a.written.size())
                names << Argument{a.value.mid(colon + 1), a.written.mid(writtenColon + 1), {}, a.shown};
            names += arguments.mid(i + 1, end - i - 1);
            if (valueIsName && names.isEmpty())
                leaveOut(LeftOutKind::Switch, LeftOutReason::NeedsValue, a.shown, i);
            takeNames(field, slice(names, 0, names.size()), end - names.size());
            if (end < n && arguments.at(end).startsComment)
                comment = end;
            i = end;
            continue;
        }
        // The value as it stood: after the first colon of the word as written.
        QString written;
        if (colon >= 0) {
            const qsizetype writtenColon = a.written.indexOf(u':');
            written = writtenColon >= 0 ? a.written.mid(writtenColon + 1) : QString();
        }
        apply({named, a.shown, i, colon >= 0, colon >= 0 ? a.value.mid(colon + 1) : QString(), written});
        ++i;
    }

    if (comment >= 0)
        for (qsizetype k = comment; k < n; ++k)
            leaveOut(LeftOutKind::Word, LeftOutReason::Comment, arguments.at(k).shown, k);

    // The folders, then the file names, wherever they stood. A folder left
    // out keeps its place empty: the builder writes an empty source as
    // nothing, so a destination would take the source's place.
    bool noSource = false;
    for (qsizetype k = 0; k < positional.size() && k < 2; ++k) {
        const Argument &a = arguments.at(positional.at(k));
        const QLatin1StringView field = k == 0 ? kSourceField : kDestinationField;
        if (a.value.contains(u'"'))
            leaveOut(LeftOutKind::Word, LeftOutReason::QuoteInPath, a.shown, positional.at(k),
                     k == 0 ? u"source"_s : u"destination"_s);
        else if (a.value.isEmpty())
            leaveOut(LeftOutKind::Word, LeftOutReason::EmptyFolder, a.shown, positional.at(k));
        else if (noSource)
            leaveOut(LeftOutKind::Word, LeftOutReason::NoSource, a.shown, positional.at(k));
        else
            setText(field, a.value, a.value);
        noSource = m_reading.values.text(kSourceField).isEmpty();
    }
    for (qsizetype k = 2; k < positional.size();) {
        qsizetype end = k + 1;
        while (end < positional.size() && positional.at(end) == positional.at(end - 1) + 1)
            ++end;
        takeNames(kFileNamesField, slice(arguments, positional.at(k), positional.at(end - 1) + 1), positional.at(k));
        k = end;
    }
}

void Reader::takeNames(QLatin1StringView field, std::span<const Argument> names, qsizetype position)
{
    if (names.empty())
        return;
    QStringList values;
    QString written;
    for (const Argument &a : names) {
        if (!written.isEmpty() || !values.isEmpty())
            written += a.gap;
        written += a.written;
        values << a.value;
    }
    // The builder writes the include names right after "/IF:", so the
    // first of them must read back from there as well.
    const auto fits = [field](const QString &text, QStringList received) {
        if (!standsAlone(text, received))
            return false;
        if (field != kIncludeFilesField)
            return true;
        received.first().prepend(u"/IF:");
        return standsAlone(u"/IF:"_s + text, received);
    };
    NameRun run;
    run.position = position;
    if (fits(written, values)) {
        run.written << written;
        run.values = values;
        for (size_t k = 0; k < names.size(); ++k)
            run.shown << std::pair(names[k].shown, position < 0 ? position : position + qsizetype(k));
    } else {
        // Word by word: as it stood, or else quoted plainly.
        for (size_t k = 0; k < names.size(); ++k) {
            const Argument &a = names[k];
            const qsizetype at = position < 0 ? position : position + qsizetype(k);
            std::optional<QString> form = a.written;
            if (!fits(*form, {a.value}))
                form = plainlyWritten(a.value);
            if (form && fits(*form, {a.value})) {
                run.written << *form;
                run.values << a.value;
                run.shown << std::pair(a.shown, at);
            } else {
                leaveOut(LeftOutKind::Word, LeftOutReason::CannotWriteBack, a.shown, at);
            }
        }
    }
    if (!run.values.isEmpty())
        m_names[field] << run;
}

void Reader::setPath(QLatin1StringView field, const QString &value, const SwitchUse &use)
{
    if (value.contains(u'"'))
        leaveOut(LeftOutKind::Switch, LeftOutReason::QuoteInPath, use.text, use.position);
    else if ((field == kSourceField || field == kDestinationField) && IsSwitchWord(value))
        leaveOut(LeftOutKind::Switch, LeftOutReason::CannotWriteBack, use.text, use.position); // a folder that reads as a switch
    else
        setText(field, value, value);
}

void Reader::apply(const SwitchUse &use)
{
    const SwitchSpec &row = *use.named.row;
    const auto &[control, second, third] = row.controls;
    const QStringView name = row.names[use.named.index];
    OptionValues &values = m_reading.values;
    auto set = [&](QLatin1StringView box, bool on = true) { values.setCheck(box, on ? 1 : 0); };

    const Form form = formOf(use.named);
    const bool needsColon = form == Form::Letters || form == Form::Value;
    if (use.hasColon && !(needsColon || form == Form::OptionalValue)) {
        leaveOut(LeftOutKind::Switch, LeftOutReason::TakesNoValue, use.text, use.position);
        return;
    }
    if (needsColon && (!use.hasColon || use.value.isEmpty())) {
        leaveOut(LeftOutKind::Switch, LeftOutReason::NeedsValue, use.text, use.position);
        return;
    }
    // A value the builder writes unchanged: as it stood, or else quoted
    // plainly, so that the switch reads back the same.
    const QString head = u'/' + name.toString() + u':';
    auto fits = [&](const QString &value, const std::optional<QString> &candidate) {
        return candidate && !candidate->isEmpty() && standsAlone(head + *candidate, {head + value});
    };
    auto written = [&](const QString &value, const QString &asWritten) -> std::optional<QString> {
        for (const std::optional<QString> &candidate : {std::optional<QString>(asWritten), plainlyWritten(value)})
            if (fits(value, candidate))
                return candidate;
        return std::nullopt;
    };
    auto setWritten = [&](QLatin1StringView field) {
        if (const std::optional<QString> text = written(use.value, use.written))
            setText(field, *text, use.value);
        else
            leaveOut(LeftOutKind::Switch, LeftOutReason::CannotWriteBack, use.text, use.position);
    };

    switch (row.rule) {
    case SwitchRule::Flag:
        set(control);
        break;
    case SwitchRule::Tee:
        m_tee = use; // kept only beside a log file
        break;
    case SwitchRule::Text:
        setWritten(control);
        break;
    case SwitchRule::Path: {
        // A job file names its folders with /SD: and /DD:.
        QLatin1StringView field = control;
        if (m_job && name == u"SD")
            field = kSourceField;
        else if (m_job && name == u"DD")
            field = kDestinationField;
        setPath(field, use.value, use);
        break;
    }
    case SwitchRule::List: // taken as names
        break;
    case SwitchRule::Letters:
        setLetters(row, use.value, false, use);
        break;
    case SwitchRule::Subdirectories:
    case SwitchRule::Move:
    case SwitchRule::ArchiveOnly:
        // The first name sets the second box too: /E, /MOVE, /M.
        set(control);
        if (use.named.index == 0)
            set(second);
        break;
    case SwitchRule::RestartableBackup:
        m_restartableBackup = &row;
        m_bothInOne |= use.named.index == 0;
        m_restartable |= use.named.index == 1;
        m_backup |= use.named.index == 2;
        break;
    case SwitchRule::CopyLetters:
        setLetters(row,
                   use.named.index == 0   ? kAllCopyLetters
                   : use.named.index == 1 ? kSecurityCopyLetters
                                          : QStringView(use.value),
                   true, use);
        break;
    case SwitchRule::FolderLetters:
        setLetters(row, use.named.index == 0 ? QStringView() : QStringView(use.value), true, use);
        break;
    case SwitchRule::RunHours: {
        // hhmm-hhmm: split where the value and the text as written both have their dash.
        const qsizetype dash = use.value.indexOf(u'-', 1);
        const qsizetype writtenDash = use.written.indexOf(u'-', 1);
        if (dash < 0 || dash == use.value.size() - 1) {
            leaveOut(LeftOutKind::Switch, LeftOutReason::BadValue, use.text, use.position);
            break;
        }
        const QString start = use.value.left(dash);
        const QString end = use.value.mid(dash + 1);
        std::optional<QString> startText, endText;
        if (writtenDash > 0 && writtenDash < use.written.size() - 1 && fits(use.value, use.written)) {
            startText = use.written.left(writtenDash);
            endText = use.written.mid(writtenDash + 1);
        } else {
            startText = plainlyWritten(start);
            endText = plainlyWritten(end);
            if (!startText || !endText || !fits(use.value, *startText + u'-' + *endText))
                startText.reset();
        }
        if (!startText) {
            leaveOut(LeftOutKind::Switch, LeftOutReason::CannotWriteBack, use.text, use.position);
            break;
        }
        setText(control, *startText, start);
        setText(second, *endText, end);
        break;
    }
    case SwitchRule::Log:
        setPath(control, use.value, use);
        if (!use.value.contains(u'"')) {
            set(second, use.named.index == 1 || use.named.index == 3);
            set(third, use.named.index >= 2);
        }
        break;
    case SwitchRule::Threads:
        if (!use.hasColon) {
            set(control);
            values.setText(second, QString());
            m_reading.received.remove(second);
        } else if (const std::optional<QString> count = written(use.value, use.written); count || use.value.isEmpty()) {
            set(control);
            setText(second, count.value_or(QString()), use.value);
        } else {
            leaveOut(LeftOutKind::Switch, LeftOutReason::CannotWriteBack, use.text, use.position);
        }
        break;
    }
}

void Reader::setLetters(const SwitchSpec &row, QStringView letters, bool replace, const SwitchUse &use)
{
    if (replace)
        for (const SwitchLetter &l : row.letters)
            m_reading.values.setCheck(l.box, 0);
    QString unknown;
    QString withoutOption;
    const auto others = lettersWithoutOption(row);
    for (QChar c : letters) {
        const auto it = std::find_if(row.letters.begin(), row.letters.end(),
                                     [c](const SwitchLetter &l) { return c.toUpper() == QLatin1Char(l.letter); });
        if (it != row.letters.end())
            m_reading.values.setCheck(it->box, 1);
        else if (std::any_of(others.begin(), others.end(),
                             [c](const OtherLetter &l) { return c.toUpper() == QLatin1Char(l.letter); }))
            withoutOption += c;
        else
            unknown += c;
    }
    // Robocopy refuses the switch for a letter it does not know; one it
    // documents only the window lacks.
    if (!unknown.isEmpty())
        leaveOut(LeftOutKind::Switch, LeftOutReason::UnknownLetters, use.text, use.position, unknown);
    else if (!withoutOption.isEmpty())
        leaveOut(LeftOutKind::Switch, LeftOutReason::LettersWithoutOption, use.text, use.position, withoutOption);
}

CommandReading Reader::finish()
{
    if (m_restartableBackup) {
        const auto &[restartable, backup, unused] = m_restartableBackup->controls;
        // The builder writes /ZB for two checked boxes; a grayed one keeps
        // "/Z /B" as the command said it.
        const bool apart = m_restartable && m_backup && !m_bothInOne;
        m_reading.values.setCheck(restartable, m_bothInOne || m_restartable ? 1 : 0);
        m_reading.values.setCheck(backup, apart ? 2 : m_bothInOne || m_backup ? 1 : 0);
    }
    // The names in the order they stood. File names stand after both
    // folders in the command the window composes: without them, Robocopy
    // would take a name for a folder.
    const bool folders = !m_reading.values.text(kSourceField).isEmpty()
                      && !m_reading.values.text(kDestinationField).isEmpty();
    for (auto it = m_names.begin(); it != m_names.end(); ++it) {
        std::stable_sort(it->begin(), it->end(),
                         [](const NameRun &a, const NameRun &b) { return a.position < b.position; });
        QStringList written;
        QStringList received;
        for (const NameRun &run : std::as_const(*it)) {
            if (it.key() == kFileNamesField && !folders) {
                for (const auto &[shown, position] : run.shown)
                    leaveOut(LeftOutKind::Word, LeftOutReason::NoFolders, shown, position);
                continue;
            }
            written += run.written;
            received += run.values;
        }
        if (!written.isEmpty()) {
            m_reading.values.setText(it.key(), written.join(u' '));
            m_reading.received.insert(it.key(), received);
        }
    }
    if (m_tee) {
        const QLatin1StringView box = m_tee->named.row->controls[0];
        const QLatin1StringView logFile = m_tee->named.row->controls[1];
        if (m_reading.values.text(logFile).isEmpty())
            leaveOut(LeftOutKind::Switch, LeftOutReason::TeeWithoutLog, m_tee->text, m_tee->position);
        else
            m_reading.values.setCheck(box, 1);
    }
    std::stable_sort(m_reading.leftOut.begin(), m_reading.leftOut.end(), [](const LeftOut &a, const LeftOut &b) {
        return (a.position < 0 ? std::numeric_limits<qsizetype>::max() : a.position)
             < (b.position < 0 ? std::numeric_limits<qsizetype>::max() : b.position);
    });
    return std::move(m_reading);
}

// ----------------------------------------------------- commands of cmd.exe

bool isInterpreter(QStringView program) { return runsProgram(program, {u"cmd", u"cmd.exe"}); }

bool isKeyword(const CommandWord &word, QStringView keyword)
{
    return word.value.compare(keyword, Qt::CaseInsensitive) == 0;
}

// Where the command behind an "if" condition starts: the word after
// "if [/i] [not]" and its condition, or -1 when there is no such condition.
qsizetype afterCondition(QStringView text, const QList<CommandWord> &words)
{
    // As written: "%1"=="" compares with an empty text.
    auto writtenWord = [&](qsizetype k) { return text.sliced(words.at(k).start, words.at(k).end - words.at(k).start); };
    qsizetype k = 1;
    if (k < words.size() && isKeyword(words.at(k), u"/i"))
        ++k;
    if (k < words.size() && isKeyword(words.at(k), u"not"))
        ++k;
    if (k >= words.size())
        return -1;
    for (QStringView keyword : {u"exist", u"defined", u"errorlevel", u"cmdextversion"})
        if (isKeyword(words.at(k), keyword))
            return k + 2;
    const QStringView left = writtenWord(k);
    if (const qsizetype eq = left.indexOf(u"=="); eq > 0)
        return eq + 2 < left.size() ? k + 1 : k + 2; // "a==b" or "a== b"
    if (k + 1 >= words.size())
        return -1;
    const QStringView op = writtenWord(k + 1);
    if (op.startsWith(u"=="))
        return op.size() > 2 ? k + 2 : k + 3; // "a ==b" or "a == b"
    for (QStringView compare : {u"equ", u"neq", u"lss", u"leq", u"gtr", u"geq"})
        if (op.compare(compare, Qt::CaseInsensitive) == 0)
            return k + 3;
    return -1;
}

// Looks through the commands of cmd.exe for the first that runs Robocopy,
// behind the prefixes that run another command.
class CommandFinder
{
public:
    enum class Outcome { None, Read, Refused };

    // Reads the lines of a batch file (or a command line) one by one. The
    // blocks a line leaves open go on to the next lines; one opened by the
    // body of a "for" puts every command in it inside the loop.
    Outcome inText(const QString &text)
    {
        int depth = 0;
        int loopLevel = 0; // the depth the open loop's block has, or 0
        qsizetype at = 0;
        while (at < text.size()) {
            const CmdScan scan = ScanCmdLine(text, at, CmdLines::BatchFile, depth);
            const QStringView line = QStringView(text).sliced(at, scan.next - at);
            at = scan.next;
            if (isPowerShell(line)) {
                m_reading.refusal = u"runs Robocopy from PowerShell; Corvane reads the commands of cmd.exe"_s;
                return Outcome::Refused;
            }
            m_leftOpen = 0;
            m_loopOpened = false;
            m_inLoopBlock = loopLevel > 0;
            if (const Outcome o = inLine(scan); o != Outcome::None)
                return o;
            const int after = scan.depth + m_leftOpen;
            if (m_loopOpened && loopLevel == 0)
                loopLevel = depth + 1;
            if (after < loopLevel)
                loopLevel = 0;
            depth = std::max(after, 0);
        }
        return Outcome::None;
    }

    CommandReading take() { return std::move(m_reading); }

private:
    // A line that PowerShell runs and cmd.exe cannot: "& robocopy @args",
    // "$code = robocopy ...".
    static bool isPowerShell(QStringView line)
    {
        static const QRegularExpression shape(uR"(^\s*(?:&\s*["'$\w.\\/]|\$[\w:]+\s*=))"_s);
        return shape.match(line).hasMatch() && line.contains(u"robocopy", Qt::CaseInsensitive);
    }

    // With `others`, the commands beside the one that runs Robocopy are
    // left out by name: they belong to the same command line.
    Outcome inLine(const CmdScan &scan, bool others = false)
    {
        for (qsizetype i = 0; i < scan.commands.size(); ++i) {
            const CmdCommand &c = scan.commands.at(i);
            const Outcome o = inCommand(c);
            if (o == Outcome::None)
                continue;
            // "(robocopy ...) > log": what follows a block redirects it.
            qsizetype redirecting = -1;
            if (o == Outcome::Read && c.connector == CmdConnector::BlockEnd && i + 1 < scan.commands.size()
                && scan.commands.at(i + 1).text.trimmed().isEmpty()) {
                redirecting = i + 1;
                for (const QString &r : scan.commands.at(i + 1).redirections)
                    m_reading.leftOut << LeftOut{LeftOutKind::Redirection, LeftOutReason::NotRedirected, r, -1, {}};
            }
            for (qsizetype j = 0; o == Outcome::Read && others && j < scan.commands.size(); ++j) {
                const CmdCommand &other = scan.commands.at(j);
                const QString text = trimBlanks(other.written(0, other.text.size())).toString();
                if (j != i && j != redirecting && !text.isEmpty())
                    m_reading.leftOut << LeftOut{LeftOutKind::Command, LeftOutReason::OtherCommand, text, -1, {}};
            }
            return o;
        }
        return Outcome::None;
    }

    // The rest of a command from one of its characters on, read again by
    // the same cmd.exe; its redirections stay with it, and the blocks it
    // leaves open stay open after the line.
    Outcome rest(const CmdCommand &c, qsizetype from)
    {
        m_redirections.append(c.redirections);
        const CmdScan scan = ScanCmdLine(c.written(from, c.text.size()));
        m_leftOpen += scan.depth;
        const Outcome o = inLine(scan);
        m_redirections.resize(m_redirections.size() - c.redirections.size());
        return o;
    }

    Outcome inCommand(const CmdCommand &c)
    {
        const QList<CommandWord> words = CommandWords(c.text);
        if (words.isEmpty())
            return Outcome::None;
        const CommandWord &first = words.first();
        auto from = [&](qsizetype k) { return k < words.size() ? rest(c, words.at(k).start) : Outcome::None; };

        if (c.text.at(first.start) == u'@')
            return rest(c, first.start + 1);
        if (isKeyword(first, u")") || isKeyword(first, u"call") || isKeyword(first, u"else"))
            return from(1);
        if (isKeyword(first, u"if")) {
            const qsizetype k = afterCondition(c.text, words);
            return k < 0 ? Outcome::None : from(k);
        }
        if (isKeyword(first, u"start")) {
            // The first quoted word is the window's title, also after
            // switches ("start /B "" cmd /c ...").
            qsizetype k = 1;
            for (bool titled = false; k < words.size(); ++k) {
                if (!titled && c.text.at(words.at(k).start) == u'"')
                    titled = true;
                else if (!words.at(k).value.startsWith(u'/'))
                    break;
                else if (isKeyword(words.at(k), u"/d") || isKeyword(words.at(k), u"/node")
                         || isKeyword(words.at(k), u"/affinity"))
                    ++k; // and its value
            }
            return from(k);
        }
        if (isKeyword(first, u"for")) {
            for (qsizetype k = 2; k < words.size(); ++k) {
                if (!isKeyword(words.at(k), u"do"))
                    continue;
                const bool wasInLoop = std::exchange(m_inLoop, true);
                const int open = m_leftOpen;
                const Outcome o = from(k + 1);
                m_inLoop = wasInLoop;
                m_loopOpened |= m_leftOpen > open;
                return o;
            }
            return Outcome::None;
        }
        if (isInterpreter(first.value))
            return interpreter(c, words);
        if (!runsRobocopy(first.value))
            return Outcome::None;
        return robocopy(c, words);
    }

    // "cmd /c ..." or "cmd /k ...": a new cmd.exe reads the rest. When it
    // starts with a quote, that quote and the last one come off first.
    Outcome interpreter(const CmdCommand &c, const QList<CommandWord> &words)
    {
        qsizetype k = 1;
        while (k < words.size() && words.at(k).value.startsWith(u'/')
               && !isKeyword(words.at(k), u"/c") && !isKeyword(words.at(k), u"/k") && !isKeyword(words.at(k), u"/r"))
            ++k;
        if (k >= words.size() || !words.at(k).value.startsWith(u'/'))
            return Outcome::None;
        QString command = trimBlanks(QStringView(c.text).sliced(words.at(k).end)).toString();
        if (command.startsWith(u'"')) {
            const qsizetype last = command.lastIndexOf(u'"');
            command = last > 0 ? command.mid(1, last - 1) + command.mid(last + 1) : command.mid(1);
        }
        // A new cmd.exe: its blocks end with it.
        m_redirections.append(c.redirections);
        const int open = m_leftOpen;
        const Outcome o = inLine(ScanCmdLine(command), true);
        m_leftOpen = open;
        m_redirections.resize(m_redirections.size() - c.redirections.size());
        return o;
    }

    Outcome robocopy(const CmdCommand &c, const QList<CommandWord> &words)
    {
        if (m_inLoop || m_inLoopBlock) {
            m_reading.refusal = u"runs Robocopy in a for loop, whose variable Corvane cannot know"_s;
            return Outcome::Refused;
        }
        QList<Argument> arguments;
        for (qsizetype k = 1; k < words.size(); ++k) {
            const CommandWord &w = words.at(k);
            const CommandWord &before = words.at(k - 1);
            const QString written = c.written(w.start, w.end);
            arguments << Argument{w.value, written, c.written(before.end, w.start), written,
                                  QStringView(c.text).sliced(w.start).startsWith(u"::")};
        }
        Reader reader(false);
        reader.found();
        reader.readArguments(arguments);
        for (const QString &r : std::as_const(m_redirections) + c.redirections)
            reader.leaveOut(LeftOutKind::Redirection, LeftOutReason::NotRedirected, r);
        m_reading = reader.finish();
        return Outcome::Read;
    }

    bool m_inLoop = false;      // behind the "do" of a for loop on this line
    bool m_inLoopBlock = false; // in the block of a for loop opened on a line above
    bool m_loopOpened = false;  // this line opened a for loop's block
    int m_leftOpen = 0;         // blocks the rescans of this line left open
    QStringList m_redirections; // of the commands that hold the one being read
    CommandReading m_reading;
};

// The line of a job file without its comment.
QStringView jobLine(QStringView line)
{
    if (const qsizetype comment = line.indexOf(u"::"); comment >= 0)
        line = line.first(comment);
    return trimBlanks(line);
}

bool startsWithSwitch(QStringView text)
{
    for (QStringView line : splitLines(text)) {
        line = jobLine(line);
        if (!line.isEmpty())
            return IsSwitchWord(CommandWords(line).first().value);
    }
    return false;
}

} // namespace

OptionValues::OptionValues()
{
    for (const SwitchSpec &row : switchTable()) {
        const QStringView defaults = row.rule == SwitchRule::CopyLetters     ? kDefaultCopyLetters
                                   : row.rule == SwitchRule::FolderLetters ? kDefaultFolderLetters
                                                                            : QStringView();
        for (const SwitchLetter &l : row.letters)
            if (defaults.contains(QLatin1Char(l.letter)))
                m_checks.insert(l.box, 1);
    }
}

qint16 OptionValues::checkValue(QLatin1StringView name) const { return m_checks.value(name, 0); }

QString OptionValues::text(QLatin1StringView name) const { return m_texts.value(name); }

bool IsSwitchWord(QStringView word)
{
    if (!word.startsWith(u'/'))
        return false;
    if (findSwitch(word).row)
        return true;
    const QStringView name = switchName(word);
    return !name.isEmpty() && !name.contains(u'/');
}

namespace {

// "E (extended attributes)", and "and" before the last of several.
QString lettersMeaning(QStringView letters)
{
    QStringList named;
    for (QChar c : letters) {
        QString meaning;
        for (const SwitchSpec &row : switchTable())
            for (const OtherLetter &l : lettersWithoutOption(row))
                if (c.toUpper() == QLatin1Char(l.letter))
                    meaning = l.meaning.toString();
        named << (meaning.isEmpty() ? QString(c) : u"%1 (%2)"_s.arg(c, meaning));
    }
    if (named.isEmpty())
        return {};
    const QString last = named.takeLast();
    return named.isEmpty() ? last : named.join(u", "_s) + u" and "_s + last;
}

// An odd run of backslashes before a quote: the quote is part of the word,
// the usual slip of a folder written "D:\" or "%DIR%\".
bool escapedQuote(QStringView written)
{
    for (qsizetype i = written.indexOf(u'"'); i >= 0; i = written.indexOf(u'"', i + 1)) {
        qsizetype run = 0;
        while (run < i && written.at(i - 1 - run) == u'\\')
            ++run;
        if (run % 2)
            return true;
    }
    return false;
}

} // namespace

QString LeftOutLine(const LeftOut &item)
{
    const QString kind = item.kind == LeftOutKind::Switch ? u"switch"_s
                       : item.kind == LeftOutKind::Word   ? u"word"_s
                       : item.kind == LeftOutKind::Command ? u"command"_s
                                                           : u"redirection"_s;
    QString why;
    switch (item.reason) {
    case LeftOutReason::NoOption: why = u"it has no option in Corvane"_s; break;
    case LeftOutReason::UnknownSwitch: why = u"Robocopy has no such switch"_s; break;
    case LeftOutReason::TakesNoValue: why = u"it takes no value after a colon"_s; break;
    case LeftOutReason::NeedsValue: why = u"it needs a value after a colon"_s; break;
    case LeftOutReason::BadValue: why = u"it needs a start and an end time (hhmm-hhmm)"_s; break;
    case LeftOutReason::UnknownLetters:
        why = u"Robocopy knows no letter %1 here; the other letters were taken"_s.arg(item.detail);
        break;
    case LeftOutReason::LettersWithoutOption:
        why = u"Robocopy knows %1 here, but Corvane has no option for %2; the other letters were taken"_s.arg(
            lettersMeaning(item.detail), item.detail.size() == 1 ? u"it"_s : u"them"_s);
        break;
    case LeftOutReason::TeeWithoutLog: why = u"Corvane writes it only with a log file"_s; break;
    case LeftOutReason::QuoteInPath:
        why = item.detail.isEmpty()
                ? u"a Windows command line cannot hold a path with a double quotation mark (\")"_s
                : u"a Windows command line cannot hold a folder with a double quotation mark (\"); the %1 is left empty"_s.arg(item.detail);
        if (escapedQuote(item.text))
            why += u". The likely cause: a \\ before the closing quote makes the quote part of the %1; end the %1 without \\, or double it (\\\\)"_s
                       .arg(item.detail.isEmpty() ? u"path"_s : u"folder"_s);
        break;
    case LeftOutReason::NoSource: why = u"Corvane writes a destination only after a source"_s; break;
    case LeftOutReason::OtherCommand: why = u"Corvane runs the Robocopy command alone"_s; break;
    case LeftOutReason::EmptyFolder: why = u"an empty folder name"_s; break;
    case LeftOutReason::CannotWriteBack: why = u"Corvane cannot write it back unchanged"_s; break;
    case LeftOutReason::Comment: why = u"a comment (Robocopy would take it as a file name)"_s; break;
    case LeftOutReason::NotTaken: why = u"no switch takes it"_s; break;
    case LeftOutReason::NotRedirected: why = u"Corvane runs Robocopy without redirections"_s; break;
    case LeftOutReason::NoFolders: why = u"Corvane writes file names only after a source and a destination"_s; break;
    }
    return u"%1 (%2): %3"_s.arg(item.text, kind, why);
}

QStringList LeftOutLines(const QList<LeftOut> &items)
{
    QStringList lines;
    for (qsizetype i = 0; i < items.size(); ++i) {
        if (items.at(i).reason != LeftOutReason::Comment) {
            lines << LeftOutLine(items.at(i));
            continue;
        }
        QStringList words;
        for (; i < items.size() && items.at(i).reason == LeftOutReason::Comment; ++i)
            words << items.at(i).text;
        --i;
        lines << u"%1 (comment): Robocopy would take %2 as file names"_s.arg(
            words.join(u' '), words.size() == 1 ? u"it"_s : u"these words"_s);
    }
    return lines;
}

CommandReading ReadArguments(const QStringList &words)
{
    QList<Argument> arguments;
    for (const QString &w : words)
        arguments << Argument{w, plainlyWritten(w).value_or(w), u" "_s, w};
    Reader reader(false);
    reader.found();
    reader.readArguments(arguments);
    return reader.finish();
}

CommandReading ReadCommand(const QString &text)
{
    CommandFinder finder;
    finder.inText(text);
    return finder.take();
}

CommandReading ReadJob(const QString &text)
{
    Reader reader(true);
    QLatin1StringView names;
    for (QStringView line : splitLines(text)) {
        line = jobLine(line);
        if (line.isEmpty())
            continue;
        const QList<CommandWord> words = CommandWords(line);
        if (!IsSwitchWord(words.first().value)) {
            // One name per line, quoted where the command needs it.
            const QString name = pathValue(line);
            if (names.isEmpty())
                reader.leaveOut(LeftOutKind::Word, LeftOutReason::NotTaken, line.toString());
            else
                reader.takeNames(names, std::array{Argument{name, plainlyWritten(name).value_or(name), {}, line.toString()}}, -1);
            continue;
        }
        reader.found();
        names = {};
        for (qsizetype i = 0; i < words.size();) {
            const CommandWord &w = words.at(i);
            const QString written = line.sliced(w.start, w.end - w.start).toString();
            qsizetype end = i + 1;
            while (end < words.size() && !IsSwitchWord(words.at(end).value))
                ++end;
            if (!IsSwitchWord(w.value)) {
                if (names.isEmpty())
                    reader.leaveOut(LeftOutKind::Word, LeftOutReason::NotTaken, written);
                else
                    reader.takeNames(names, std::array{Argument{w.value, plainlyWritten(w.value).value_or(w.value), {}, written}}, -1);
                ++i;
                continue;
            }
            const Named named = findSwitch(w.value);
            names = {};
            if (!named.row) {
                reader.leaveOut(LeftOutKind::Switch,
                                hasNoOption(w.value) ? LeftOutReason::NoOption : LeftOutReason::UnknownSwitch, written);
                ++i;
                continue;
            }
            const qsizetype colon = written.indexOf(u':');
            if (const QLatin1StringView field = listField(named); !field.isEmpty()) {
                if (colon >= 0 && !namesIncludeFiles(named)) {
                    reader.leaveOut(LeftOutKind::Switch, LeftOutReason::TakesNoValue, written);
                } else {
                    names = field;
                    // "/IF:name": the first name, then those on the lines below.
                    if (colon >= 0 && colon + 1 < written.size()) {
                        const QString name = w.value.mid(w.value.indexOf(u':') + 1);
                        reader.takeNames(names, std::array{Argument{name, plainlyWritten(name).value_or(name), {}, written}},
                                         -1);
                    }
                }
                ++i;
                continue;
            }
            // A value runs to the next switch of the line: /SAVE: writes
            // folders with blanks unquoted.
            QString value;
            if (colon >= 0)
                value = pathValue(trimBlanks(line.sliced(w.start + colon + 1, words.at(end - 1).end - w.start - colon - 1)));
            else
                for (qsizetype k = i + 1; k < end; ++k)
                    reader.leaveOut(LeftOutKind::Word, LeftOutReason::NotTaken,
                                    line.sliced(words.at(k).start, words.at(k).end - words.at(k).start).toString());
            const QString used = colon >= 0 ? line.sliced(w.start, words.at(end - 1).end - w.start).toString() : written;
            reader.apply({named, used, -1, colon >= 0, value, plainlyWritten(value).value_or(value)});
            i = end;
        }
    }
    return reader.finish();
}

CommandReading ReadCommandOrJob(const QString &text, bool job)
{
    if (job) {
        CommandReading reading = ReadJob(text);
        return reading.found ? reading : ReadCommand(text);
    }
    CommandReading reading = ReadCommand(text);
    return !reading.found && reading.refusal.isEmpty() && startsWithSwitch(text) ? ReadJob(text) : reading;
}
