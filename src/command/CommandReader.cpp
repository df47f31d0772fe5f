#include "command/CommandReader.h"

#include "command/CommandBuilder.h"
#include "command/CommandWords.h"
#include "command/SwitchTable.h"

#include <QStringDecoder>

#include <algorithm>
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
    int index = 0;
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
    const QStringView name = switchName(word);
    if (name.isEmpty())
        return {};
    for (const SwitchSpec &row : switchTable())
        for (int i = 0; i < int(row.names.size()); ++i)
            if (!row.names[size_t(i)].isEmpty() && name.compare(row.names[size_t(i)], Qt::CaseInsensitive) == 0)
                return {&row, i};
    return {};
}

// Only a switch Robocopy knows ends the folders and names, so that a folder
// such as /home/u/src stays a folder.
bool knownSwitch(QStringView word)
{
    if (findSwitch(word).row)
        return true;
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

bool runsRobocopy(QStringView program)
{
    const qsizetype separator = std::max(program.lastIndexOf(u'\\'), program.lastIndexOf(u'/'));
    const QStringView name = program.sliced(separator + 1);
    return name.compare(u"robocopy", Qt::CaseInsensitive) == 0
        || name.compare(u"robocopy.exe", Qt::CaseInsensitive) == 0;
}

// What cmd.exe hands the program of a line: up to the first "&", "|", "<" or
// ">" outside quotes (a handle number before a redirection goes too); a caret
// outside quotes makes the next character plain text.
QString commandPart(QStringView line)
{
    QString part;
    part.reserve(line.size());
    bool quoted = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line.at(i);
        if (c == u'"') {
            quoted = !quoted;
        } else if (!quoted && c == u'^') {
            if (++i < line.size())
                part += line.at(i);
            continue;
        } else if (!quoted && (c == u'&' || c == u'|' || c == u'<' || c == u'>')) {
            const bool redirection = c == u'<' || c == u'>';
            if (redirection && part.size() >= 2 && part.back().isDigit() && isBlank(part.at(part.size() - 2)))
                part.chop(1);
            break;
        }
        part += c;
    }
    return part;
}

// The lines of a batch file, each with the lines it continues with a final caret.
QStringList logicalLines(QStringView text)
{
    QStringList lines;
    QString pending;
    for (QStringView line : splitLines(text)) {
        qsizetype carets = 0;
        while (carets < line.size() && line.at(line.size() - 1 - carets) == u'^')
            ++carets;
        if (carets % 2) {
            pending += line.chopped(1);
            continue;
        }
        lines << pending + line.toString();
        pending.clear();
    }
    if (!pending.isEmpty())
        lines << pending;
    return lines;
}

// One switch where it stands: the switch word and all that belongs to it.
struct Occurrence
{
    QStringView written; // the switch with what follows it, as written
    QStringView word;    // the switch word as written
    QString value;       // the switch word as Robocopy receives it
    QStringView args;    // what follows the word, as written
};

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

// Robocopy's own form of /IF: the names of the files to copy follow it,
// where the builder's /IF: takes a value.
bool namesFiles(const Named &named, QStringView value)
{
    return named.row->rule == SwitchRule::Text && named.row->names[0] == u"IF" && !value.contains(u':');
}

class Reader
{
public:
    explicit Reader(bool job) : m_job(job) {}

    // Sets the controls of one switch. Returns the field that takes the
    // names that follow it, one per line in a job file.
    QLatin1StringView apply(const Named &named, const Occurrence &o);
    void appendList(QLatin1StringView field, QStringView names);
    void leaveOut(QStringView written) { m_reading.leftOut << written.toString(); }
    CommandReading finish();

    void found() { m_reading.found = true; }
    OptionValues &values() { return m_reading.values; }

private:
    void setLetters(const SwitchSpec &row, QStringView name, QStringView letters, bool replace);

    bool m_job;
    CommandReading m_reading;
    const SwitchSpec *m_restartableBackup = nullptr;
    bool m_bothInOne = false;
    bool m_restartable = false;
    bool m_backup = false;
};

QLatin1StringView Reader::apply(const Named &named, const Occurrence &o)
{
    const SwitchSpec &row = *named.row;
    const auto &[control, second, third] = row.controls;
    const QStringView name = row.names[size_t(named.index)];
    OptionValues &values = m_reading.values;
    auto set = [&](QLatin1StringView box, bool on = true) { values.setCheck(box, on ? 1 : 0); };

    const qsizetype colon = o.value.indexOf(u':');
    const bool hasColon = colon >= 0;
    const bool files = namesFiles(named, o.value);
    const Form form = files ? Form::List : formOf(named);
    const bool needsColon = form == Form::Letters || form == Form::Value;
    if (hasColon ? !(needsColon || form == Form::OptionalValue) : needsColon) {
        leaveOut(o.written);
        return {};
    }
    // Only values and lists run on to the next switch.
    const bool runsOn = form == Form::List || form == Form::Value || (form == Form::OptionalValue && hasColon);
    if (!runsOn && !o.args.isEmpty())
        leaveOut(o.args);

    // A value runs to the next switch, as the builder writes texts unchanged.
    const QString letters = o.value.mid(colon + 1);
    QString rest = letters;
    if (o.word.startsWith(u'/')) {
        if (const qsizetype at = o.word.indexOf(u':'); at >= 0)
            rest = trimBlanks(o.written.sliced(at + 1)).toString();
    } else if (!o.args.isEmpty()) {
        rest += u' ' + o.args.toString();
    }

    switch (row.rule) {
    case SwitchRule::Flag:
    case SwitchRule::Tee:
        set(control);
        break;
    case SwitchRule::Text:
        if (files) {
            appendList(kFileNamesField, o.args);
            return kFileNamesField;
        }
        values.setText(control, rest);
        break;
    case SwitchRule::Path: {
        // A job file names its folders with /SD: and /DD:.
        QLatin1StringView field = control;
        if (m_job && name == u"SD")
            field = kSourceField;
        else if (m_job && name == u"DD")
            field = kDestinationField;
        values.setText(field, pathValue(rest));
        break;
    }
    case SwitchRule::List:
        appendList(control, o.args);
        return control;
    case SwitchRule::Letters:
        setLetters(row, name, letters, false);
        break;
    case SwitchRule::Subdirectories:
    case SwitchRule::Move:
    case SwitchRule::ArchiveOnly:
        // The first name sets the second box too: /E, /MOVE, /M.
        set(control);
        if (named.index == 0)
            set(second);
        break;
    case SwitchRule::RestartableBackup:
        m_restartableBackup = &row;
        m_bothInOne |= named.index == 0;
        m_restartable |= named.index == 1;
        m_backup |= named.index == 2;
        break;
    case SwitchRule::CopyLetters:
        setLetters(row, name, named.index == 0 ? kAllCopyLetters : named.index == 1 ? kSecurityCopyLetters : letters,
                   true);
        break;
    case SwitchRule::FolderLetters:
        setLetters(row, name, named.index == 0 ? QStringView() : letters, true);
        break;
    case SwitchRule::RunHours: {
        const qsizetype dash = rest.indexOf(u'-', 1);
        if (dash < 0 || dash == rest.size() - 1) {
            leaveOut(o.written);
            break;
        }
        values.setText(control, rest.left(dash));
        values.setText(second, rest.mid(dash + 1));
        break;
    }
    case SwitchRule::Log:
        values.setText(control, pathValue(rest));
        set(second, named.index == 1 || named.index == 3);
        set(third, named.index >= 2);
        break;
    case SwitchRule::Threads:
        set(control);
        values.setText(second, hasColon ? rest : QString());
        break;
    }
    return {};
}

void Reader::setLetters(const SwitchSpec &row, QStringView name, QStringView letters, bool replace)
{
    if (replace)
        for (const SwitchLetter &l : row.letters)
            m_reading.values.setCheck(l.box, 0);
    QString unknown;
    for (QChar c : letters) {
        const auto it = std::find_if(row.letters.begin(), row.letters.end(),
                                     [c](const SwitchLetter &l) { return c.toUpper() == QLatin1Char(l.letter); });
        if (it == row.letters.end())
            unknown += c;
        else
            m_reading.values.setCheck(it->box, 1);
    }
    if (!unknown.isEmpty())
        leaveOut(u"/"_s + name.toString() + u':' + unknown);
}

void Reader::appendList(QLatin1StringView field, QStringView names)
{
    if (names.isEmpty())
        return;
    const QString before = m_reading.values.text(field);
    m_reading.values.setText(field, before.isEmpty() ? names.toString() : before + u' ' + names.toString());
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
    return std::move(m_reading);
}

CommandReading readCommandLine(QStringView line, const QList<CommandWord> &words)
{
    Reader reader(false);
    reader.found();
    OptionValues &values = reader.values();

    qsizetype i = 1;
    QList<CommandWord> positional;
    while (i < words.size() && !knownSwitch(words.at(i).value))
        positional << words.at(i++);
    if (!positional.isEmpty())
        values.setText(kSourceField, positional.first().value);
    if (positional.size() > 1)
        values.setText(kDestinationField, positional.at(1).value);
    if (positional.size() > 2) {
        const qsizetype start = positional.at(2).start;
        values.setText(kFileNamesField, line.sliced(start, positional.last().end - start).toString());
    }

    while (i < words.size()) {
        const CommandWord &word = words.at(i);
        const Named named = findSwitch(word.value);
        const bool list = named.row && (named.row->rule == SwitchRule::List || namesFiles(named, word.value));
        // A switch takes the words up to the next switch; in a list, names
        // may start with a slash.
        qsizetype next = i + 1;
        while (next < words.size() && !knownSwitch(words.at(next).value)
               && (list || !words.at(next).value.startsWith(u'/')))
            ++next;
        const qsizetype end = words.at(next - 1).end;
        const Occurrence o{line.sliced(word.start, end - word.start), line.sliced(word.start, word.end - word.start),
                           word.value, trimBlanks(line.sliced(word.end, end - word.end))};
        if (named.row)
            reader.apply(named, o);
        else
            reader.leaveOut(o.written);
        i = next;
    }
    return reader.finish();
}

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
            return knownSwitch(CommandWords(line).first().value);
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

CommandReading ReadCommand(const QString &text)
{
    for (const QString &logical : logicalLines(text)) {
        QString line = commandPart(logical);
        qsizetype at = 0;
        while (at < line.size() && (isBlank(line.at(at)) || line.at(at) == u'@'))
            ++at;
        line.remove(0, at);
        const QString command = StripInterpreter(line);
        const QList<CommandWord> words = CommandWords(command);
        if (!words.isEmpty() && runsRobocopy(words.first().value))
            return readCommandLine(command, words);
        // cmd /c "robocopy ..." : the interpreter drops the outer quotes.
        const qsizetype last = command.lastIndexOf(u'"');
        if (command != line && command.startsWith(u'"') && last > 0) {
            const QString inner = command.mid(1, last - 1) + command.mid(last + 1);
            const QList<CommandWord> innerWords = CommandWords(inner);
            if (!innerWords.isEmpty() && runsRobocopy(innerWords.first().value))
                return readCommandLine(inner, innerWords);
        }
    }
    return {};
}

CommandReading ReadJob(const QString &text)
{
    Reader reader(true);
    QLatin1StringView listField;
    for (QStringView line : splitLines(text)) {
        line = jobLine(line);
        if (line.isEmpty())
            continue;
        const CommandWord first = CommandWords(line).first();
        if (knownSwitch(first.value)) {
            reader.found();
            const Occurrence o{line, line.first(first.end), first.value, trimBlanks(line.sliced(first.end))};
            const Named named = findSwitch(first.value);
            listField = {};
            if (named.row)
                listField = reader.apply(named, o);
            else
                reader.leaveOut(line);
        } else if (!listField.isEmpty()) {
            // One name per line, quoted where the command needs it.
            reader.appendList(listField, QuotePathArgument(pathValue(line)));
        } else {
            reader.leaveOut(line);
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
    return !reading.found && startsWithSwitch(text) ? ReadJob(text) : reading;
}

std::optional<QString> CommandFileText(const QByteArray &bytes)
{
    auto decode = [](QStringConverter::Encoding encoding, QByteArrayView data) -> std::optional<QString> {
        // Half a UTF-16 character at the end is no error to a stateless decoder.
        if (encoding != QStringConverter::Utf8 && data.size() % 2)
            return std::nullopt;
        QStringDecoder decoder(encoding, QStringConverter::Flag::Stateless);
        QString text = decoder.decode(data);
        if (decoder.hasError())
            return std::nullopt;
        return text;
    };
    std::optional<QString> text;
    if (bytes.startsWith("\xEF\xBB\xBF"))
        text = decode(QStringConverter::Utf8, QByteArrayView(bytes).sliced(3));
    else if (bytes.startsWith("\xFF\xFE"))
        text = decode(QStringConverter::Utf16LE, QByteArrayView(bytes).sliced(2));
    else if (bytes.startsWith("\xFE\xFF"))
        text = decode(QStringConverter::Utf16BE, QByteArrayView(bytes).sliced(2));
    else if (bytes.size() >= 2 && bytes.size() % 2 == 0 && bytes.at(0) != 0 && bytes.at(1) == 0)
        text = decode(QStringConverter::Utf16LE, bytes);
    else
        text = QString::fromLocal8Bit(bytes);
    if (!text)
        return std::nullopt;
    // An old end-of-file mark ends the text.
    if (const qsizetype eof = text->indexOf(QChar(0x1A)); eof >= 0)
        text->truncate(eof);
    for (QChar c : std::as_const(*text))
        if (c.unicode() < 0x20 && c != u'\t' && c != u'\n' && c != u'\r' && c != u'\f' && c != u'\v')
            return std::nullopt;
    return text;
}
