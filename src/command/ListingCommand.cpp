#include "command/ListingCommand.h"

#include "command/CommandWords.h"

#include <QStringList>

using namespace Qt::Literals::StringLiterals;

namespace {

// A switch by name: the word itself, or the name followed by ":" and a value.
bool isSwitch(QStringView word, QStringView name)
{
    if (!word.startsWith(name, Qt::CaseInsensitive))
        return false;
    return word.size() == name.size() || word.at(name.size()) == u':';
}

// Left out of the listing, each for a reason of its own.
constexpr QStringView kLeftOut[] = {
    // The run's own log would be overwritten or added to by the listing.
    u"/LOG", u"/LOG+", u"/UNILOG", u"/UNILOG+", u"/TEE",
    // A job file written instead of a listing, or nothing listed at all.
    u"/SAVE", u"/QUIT",
    // The retries give way to /R:0 /W:0, which /REG would store as the
    // defaults of every later run on the machine.
    u"/R", u"/W", u"/REG",
    // The listing is of now, once: no watching, no waiting for run hours.
    u"/MON", u"/MOT", u"/RH", u"/PF",
    // What the listing is read for must be printed plainly: its summary,
    // every entry with its class, no skipped ones, no time stamps, no
    // progress, in the system's code page; /L and /FP come back below.
    u"/NJS", u"/NJH", u"/NFL", u"/NDL", u"/NC", u"/NS", u"/NP", u"/V", u"/TS", u"/ETA", u"/UNICODE", u"/FP", u"/L",
};

} // namespace

RunEffects ReadRunEffects(QStringView command)
{
    RunEffects effects;
    const QList<CommandWord> words = CommandWords(command);
    for (qsizetype i = 1; i < words.size(); ++i) {
        const QString &word = words.at(i).value;
        if (word.compare(u"/MIR"_s, Qt::CaseInsensitive) == 0 || word.compare(u"/PURGE"_s, Qt::CaseInsensitive) == 0)
            effects.purges = true;
        else if (word.compare(u"/MOV"_s, Qt::CaseInsensitive) == 0 || word.compare(u"/MOVE"_s, Qt::CaseInsensitive) == 0)
            effects.moves = true;
        else if (word.startsWith(u"/JOB:"_s, Qt::CaseInsensitive))
            effects.job = true;
        else if (word.compare(u"/L"_s, Qt::CaseInsensitive) == 0 || word.compare(u"/QUIT"_s, Qt::CaseInsensitive) == 0)
            effects.listsOnly = true;
    }
    return effects;
}

QString ListingSwitches() { return u"/L /R:0 /W:0 /NP /FP"_s; }

std::optional<QString> ListingArguments(QStringView command)
{
    const QList<CommandWord> words = CommandWords(command);
    if (words.isEmpty())
        return std::nullopt;
    // Each word kept goes on as written, with the blanks before it; a word
    // left out goes with the blanks before it.
    QString text;
    QStringList expected;
    qsizetype at = words.first().end;
    for (qsizetype i = 1; i < words.size(); ++i) {
        const CommandWord &word = words.at(i);
        bool leftOut = false;
        for (QStringView name : kLeftOut)
            leftOut = leftOut || isSwitch(word.value, name);
        if (!leftOut) {
            text += command.sliced(at, word.end - at);
            expected << word.value;
        }
        at = word.end;
    }
    // Only the blanks and tabs that separate words go; a no-break space at
    // the start of a name is part of it.
    qsizetype lead = 0;
    while (lead < text.size() && (text.at(lead) == u' ' || text.at(lead) == u'\t'))
        ++lead;
    text.remove(0, lead);
    const QString added = ListingSwitches();
    text += text.isEmpty() ? added : u' ' + added;
    expected += added.split(u' ');
    // An argument left open swallows what follows it: /L would not reach
    // Robocopy as a switch, and the "listing" would do the run itself.
    if (SplitWords(text) != expected)
        return std::nullopt;
    return text;
}
