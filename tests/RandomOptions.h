#pragma once

// Random window states for the round trip of window and command: every check
// box value (grayed included), and texts with blanks, quotes, "&" and other
// characters cmd.exe treats specially, trailing backslashes, line breaks and
// non-ASCII letters. Each text is one a user could type so that Robocopy
// receives it as the window shows it: paths are any text, wholly quoted at
// most; lists and values hold names that neither start with a slash nor hide
// a quote or a cmd.exe character outside a quoted name.
#include "command/SwitchTable.h"
#include "main_window/Catalogue.h"

#include <QHash>
#include <QSet>
#include <QString>

#include <algorithm>
#include <random>

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
        OptionState state;
        for (const ControlSpec &entry : controlCatalogue()) {
            const QString name = QString::fromLatin1(entry.name);
            if (entry.kind == ControlKind::CheckBox) {
                const int roll = pick(20);
                state.checks.insert(name, qint16(roll < 10 ? 0 : roll < 17 ? 1 : 2));
            } else if ((entry.kind == ControlKind::TextBox || entry.kind == ControlKind::ComboBox)
                       && name != u"txtCommandLine" && pick(2)) {
                state.texts.insert(name, paths().contains(name) ? path()
                                         : lists().contains(name) ? list(4)
                                                                  : list(3));
            }
        }
        return state;
    }

private:
    // Which fields hold paths and which hold lists, as the switch table says.
    static const QSet<QString> &paths()
    {
        static const QSet<QString> set = fieldsOf(SwitchRule::Path, {u"cboSource"_qs, u"cboDestination"_qs});
        return set;
    }
    static const QSet<QString> &lists()
    {
        static const QSet<QString> set = fieldsOf(SwitchRule::List, {u"txtFilenames"_qs});
        return set;
    }
    static QSet<QString> fieldsOf(SwitchRule rule, QSet<QString> set)
    {
        for (const SwitchSpec &row : switchTable())
            if (row.rule == rule || (rule == SwitchRule::Path && row.rule == SwitchRule::Log))
                set.insert(row.controls[0]);
        return set;
    }

    int pick(int n) { return int(m_rng() % quint32(n)); }
    QString oneOf(const QStringList &choices) { return choices.at(pick(int(choices.size()))); }

    QString plainChar() { return oneOf(kPlain); }

    // A name without blanks: never starts with a slash.
    QString word()
    {
        QString w = plainChar();
        for (int i = pick(7); i > 0; --i)
            w += pick(6) ? plainChar() : oneOf({u"\\"_qs, u"/"_qs});
        return w;
    }

    // A name in quotes: blanks and cmd.exe characters inside, no backslash before the closing quote.
    QString quotedName()
    {
        QString inner = word();
        for (int i = pick(3) + 1; i > 0; --i)
            inner += oneOf(kSpecial) + word();
        while (inner.endsWith(u'\\'))
            inner.chop(1);
        return u'"' + inner + u'"';
    }

    // Names separated by one blank or one line break.
    QString list(int most)
    {
        QString text;
        for (int i = pick(most) + 1; i > 0; --i) {
            if (!text.isEmpty())
                text += oneOf({u" "_qs, u" "_qs, u"\n"_qs, u"\r\n"_qs});
            text += pick(3) ? word() : quotedName();
        }
        return text;
    }

    // Any text that does not start with a slash, with trailing backslashes now
    // and then; wholly quoted at times where it needs quotes.
    QString path()
    {
        QString p = pick(8) ? plainChar() : oneOf(kSpecial);
        for (int i = pick(12); i > 0; --i) {
            const int roll = pick(10);
            p += roll < 6 ? plainChar() : roll < 8 ? oneOf(kSpecial) : oneOf({u"\\"_qs, u"/"_qs, u"\n"_qs});
        }
        if (!pick(3))
            p += QString(pick(3) + 1, u'\\');
        const bool needsQuotes = std::any_of(kSpecial.begin(), kSpecial.end(), [&](const QString &s) {
            return p.contains(s) || p.contains(u'\n');
        });
        return needsQuotes && !pick(3) ? u'"' + p + u'"' : p;
    }

    inline static const QStringList kPlain = {
        u"a"_qs, u"Z"_qs, u"0"_qs, u"9"_qs, u"."_qs, u"-"_qs, u"_"_qs, u"~"_qs, u"$"_qs, u"#"_qs, u"@"_qs, u"!"_qs,
        u"%"_qs, u"("_qs, u")"_qs, u"["_qs, u"]"_qs, u"{"_qs, u","_qs, u";"_qs, u"="_qs, u"+"_qs, u"'"_qs, u"*"_qs,
        u"?"_qs, u":"_qs, u"\u00e9"_qs, u"\u00df"_qs, u"\u4e2d"_qs, u"\U0001F600"_qs, u"\u00a0"_qs};
    inline static const QStringList kSpecial = {u" "_qs, u" "_qs, u"&"_qs, u"|"_qs, u"<"_qs, u">"_qs, u"^"_qs, u"\t"_qs};

    std::mt19937 m_rng;
};
