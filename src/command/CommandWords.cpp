#include "command/CommandWords.h"

#include <QRegularExpression>

QString InterpreterCommand(const QString &commandLine, bool autoClose)
{
    return autoClose ? commandLine : commandLine + QStringLiteral(" & PAUSE");
}

QString ProcessCommand(const QString &commandLine, bool autoClose)
{
    return QStringLiteral("cmd.exe /c ") + InterpreterCommand(commandLine, autoClose);
}

QString StripInterpreter(const QString &processCommand)
{
    static const QRegularExpression prefix(
        QStringLiteral(R"(^\s*"?(?:[^"\s]*[\\/])?cmd(?:\.exe)?"?\s+/c(?:\s|$))"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = prefix.match(processCommand);
    return m.hasMatch() ? processCommand.mid(m.capturedLength()) : processCommand;
}

QList<CommandWord> CommandWords(QStringView text)
{
    QList<CommandWord> words;
    CommandWord word;
    bool inWord = false;
    bool quoted = false;
    const qsizetype n = text.size();
    auto begin = [&](qsizetype at) {
        if (!inWord)
            word.start = at;
        inWord = true;
    };
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text.at(i);
        if (c == u'\\') {
            begin(i);
            qsizetype count = 0;
            while (i < n && text.at(i) == u'\\') {
                ++count;
                ++i;
            }
            if (i < n && text.at(i) == u'"') {
                word.value += QString(count / 2, u'\\');
                if (count % 2) {
                    word.value += u'"'; // escaped quote
                    continue;
                }
                --i; // let the quote act below on the next round
                continue;
            }
            word.value += QString(count, u'\\');
            --i;
            continue;
        }
        if (c == u'"') {
            begin(i);
            if (quoted && i + 1 < n && text.at(i + 1) == u'"') {
                word.value += u'"'; // doubled quote inside a group
                ++i;
                continue;
            }
            quoted = !quoted;
            continue;
        }
        if ((c == u' ' || c == u'\t') && !quoted) {
            if (inWord) {
                word.end = i;
                words << word;
            }
            word = CommandWord();
            inWord = false;
            continue;
        }
        begin(i);
        word.value += c;
    }
    if (inWord) {
        word.end = n;
        words << word;
    }
    return words;
}

QStringList SplitWords(const QString &text)
{
    QStringList values;
    for (const CommandWord &word : CommandWords(text))
        values << word.value;
    return values;
}
