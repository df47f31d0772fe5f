#pragma once

// Random window states for the round trip of window and command: every check
// box value (grayed included), and texts with blanks, quotes, "&" and the
// other characters cmd.exe treats specially, trailing backslashes, line
// breaks and non-ASCII letters. Each text is one a user could type so that
// Robocopy receives it as the window shows it: a path is any text, wholly
// quoted at most; lists hold names and a value one name (Robocopy takes a
// blank as the end of a value), names that never start with a slash or "::"
// (a comment) and keep quotes and cmd.exe characters inside quoted names.
// StateDifferences tells whether a window state came back from its command.
#include "command/CommandBuilder.h"
#include "command/CommandWords.h"
#include "command/OptionReader.h"
#include "command/SwitchTable.h"
#include "main_window/Catalogue.h"

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <random>
#include <utility>

struct OptionState
{
    QHash<QString, qint16> checks;
    QHash<QString, QString> texts;
};

class RandomOptions
{
public:
    explicit RandomOptions(quint32 seed) : m_rng(seed) {}

    OptionState next()
    {
        // Which fields hold paths and which lists, as the switch table says.
        QSet<QString> paths{kSourceField, kDestinationField}, lists{kFileNamesField, kIncludeFilesField};
        for (const SwitchSpec &row : switchTable()) {
            if (row.rule == SwitchRule::Path || row.rule == SwitchRule::Log)
                paths.insert(row.controls[0]);
            else if (row.rule == SwitchRule::List)
                lists.insert(row.controls[0]);
        }
        OptionState state;
        for (const ControlSpec &entry : controlCatalogue()) {
            const QString name = QString::fromLatin1(entry.name);
            if (entry.kind == ControlKind::CheckBox)
                state.checks.insert(name, qint16(pick(2) ? 0 : pick(4) ? 1 : 2)); // now and then grayed
            else if (entry.kind != ControlKind::TextBox && entry.kind != ControlKind::ComboBox)
                continue;
            else if (name != u"txtCommandLine" && pick(2))
                state.texts.insert(name, paths.contains(name) ? path() : list(lists.contains(name) ? 4 : 1));
        }
        return state;
    }

private:
    int pick(int n) { return int(m_rng() % quint32(n)); }
    QString oneOf(const QStringList &choices) { return choices.at(pick(int(choices.size()))); }

    QString word()
    {
        QString w = oneOf(kPlain);
        for (int i = pick(7); i > 0; --i)
            w += pick(6) ? oneOf(kPlain) : oneOf({u"\\"_qs, u"/"_qs});
        return w.startsWith(u"::") ? w.mid(1) : w;
    }

    // Names separated by one blank or one line break; some quoted, with
    // blanks and cmd.exe characters inside and no backslash before the quote.
    QString list(int most)
    {
        QString text;
        for (int i = pick(most) + 1; i > 0; --i) {
            if (!text.isEmpty())
                text += oneOf({u" "_qs, u" "_qs, u"\n"_qs, u"\r\n"_qs});
            if (pick(3)) {
                text += word();
                continue;
            }
            QString inner = word() + oneOf(kSpecial) + word();
            while (inner.endsWith(u'\\'))
                inner.chop(1);
            text += u'"' + inner + u'"';
        }
        return text;
    }

    QString path()
    {
        QString p = pick(8) ? oneOf(kPlain) : oneOf(kSpecial);
        for (int i = pick(12); i > 0; --i) {
            const int roll = pick(10);
            p += roll < 6 ? oneOf(kPlain) : roll < 8 ? oneOf(kSpecial) : oneOf({u"\\"_qs, u"/"_qs, u"\n"_qs});
        }
        if (!pick(3))
            p += QString(pick(3) + 1, u'\\');
        const bool needsQuotes = p.contains(u'\n')
            || std::any_of(kSpecial.begin(), kSpecial.end(), [&](const QString &s) { return p.contains(s); });
        return needsQuotes && !pick(3) ? u'"' + p + u'"' : p;
    }

    inline static const QStringList kPlain = {
        u"a"_qs, u"Z"_qs, u"0"_qs, u"9"_qs, u"."_qs, u"-"_qs, u"_"_qs, u"~"_qs, u"$"_qs, u"#"_qs, u"@"_qs, u"!"_qs,
        u"%"_qs, u"("_qs, u")"_qs, u"["_qs, u"]"_qs, u"{"_qs, u","_qs, u";"_qs, u"="_qs, u"+"_qs, u"'"_qs, u"*"_qs,
        u"?"_qs, u":"_qs, u"\u00e9"_qs, u"\u00df"_qs, u"\u4e2d"_qs, u"\U0001F600"_qs, u"\u00a0"_qs};
    inline static const QStringList kSpecial = {u" "_qs, u" "_qs, u"&"_qs, u"|"_qs, u"<"_qs, u">"_qs, u"^"_qs, u"\t"_qs};

    std::mt19937 m_rng;
};

// The builder's view of a state, and a state as a reader (the window, a
// reading) holds it.
class StateReader : public OptionReader
{
public:
    explicit StateReader(OptionState s) : state(std::move(s)) {}
    qint16 checkValue(QLatin1StringView name) const override { return state.checks.value(QString(name)); }
    QString text(QLatin1StringView name) const override { return state.texts.value(QString(name)); }
    OptionState state;
};

inline OptionState StateOf(const OptionReader &options)
{
    OptionState state;
    for (const ControlSpec &entry : controlCatalogue()) {
        const QLatin1StringView name(entry.name);
        if (entry.kind == ControlKind::CheckBox)
            state.checks.insert(name, options.checkValue(name));
        else if (entry.kind == ControlKind::TextBox || entry.kind == ControlKind::ComboBox)
            state.texts.insert(name, options.text(name));
    }
    return state;
}

// What of `saved` its command carries (clearing a text or flipping a box
// changes that command) and `opened` holds otherwise, and what `opened`
// holds in a field `saved` left empty, one line each: empty when the state
// came back whole. Texts compare as the builder writes them
// (on one line), paths by what Robocopy receives, the run hours as their one
// value, boxes by being set. With all six copy boxes clear no copy switch is
// written, as for the default D A T, which is what comes back; without a
// source the destination, and without a folder the file names, stand in
// its place.
inline QStringList StateDifferences(const OptionState &saved, const OptionState &opened)
{
    const QString command = BuildCommandLine(StateReader(saved));
    QSet<QString> paths{kSourceField, kDestinationField}, skipped{u"txtCommandLine"_qs};
    QHash<QString, std::pair<QString, QString>> hours;
    for (const SwitchSpec &row : switchTable()) {
        if (row.rule == SwitchRule::Path || row.rule == SwitchRule::Log)
            paths.insert(row.controls[0]);
        if (row.rule == SwitchRule::RunHours)
            hours[row.controls[0]] = hours[row.controls[1]] = {row.controls[0], row.controls[1]};
        if (row.rule == SwitchRule::CopyLetters && std::none_of(row.letters.begin(), row.letters.end(), [&](auto l) {
                return saved.checks.value(l.box) != 0;
            }))
            for (const SwitchLetter &l : row.letters)
                skipped.insert(l.box);
    }
    const auto text = [](const OptionState &s, const QString &name) { return s.texts.value(name); };
    if (text(saved, kSourceField).isEmpty() || (text(saved, kDestinationField).isEmpty() && !text(saved, kFileNamesField).isEmpty()))
        skipped.unite({kSourceField, kDestinationField, kFileNamesField});
    const auto shown = [&](const OptionState &s, const QString &name) {
        if (hours.contains(name))
            return OneLine(text(s, hours[name].first)) + u'-' + OneLine(text(s, hours[name].second));
        return paths.contains(name) ? SplitWords(QuotePathArgument(OneLine(text(s, name)))).join(u'|') : OneLine(text(s, name));
    };
    QStringList out;
    for (const auto &[name, value] : saved.checks.asKeyValueRange()) {
        StateReader flipped(saved);
        flipped.state.checks[name] = value ? 0 : 1;
        if (!skipped.contains(name) && (value != 0) != (opened.checks.value(name) != 0) && BuildCommandLine(flipped) != command)
            out << u"%1: %2 -> %3"_qs.arg(name).arg(value).arg(opened.checks.value(name));
    }
    for (const QString &name : opened.texts.keys()) {
        StateReader cleared(saved);
        cleared.state.texts.remove(name);
        if (!skipped.contains(name) && shown(saved, name) != shown(opened, name)
            && ((text(saved, name).isEmpty() && !text(opened, name).isEmpty()) || BuildCommandLine(cleared) != command))
            out << u"%1: [%2] -> [%3]"_qs.arg(name, shown(saved, name), shown(opened, name));
    }
    return out;
}
