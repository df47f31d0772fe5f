#include "command/CmdScanner.h"

QString CmdCommand::written(qsizetype from, qsizetype to) const
{
    const qsizetype begin = writtenStart.at(from);
    return writtenText.mid(begin, writtenStart.at(to) - begin);
}

namespace {

bool isBlank(QChar c) { return c == u' ' || c == u'\t'; }
bool endsLine(QChar c) { return c == u'\r' || c == u'\n'; }
// What a caret must stand before to be plain text outside quotes.
bool needsCaret(QChar c)
{
    return c == u'&' || c == u'|' || c == u'<' || c == u'>' || c == u'^' || c == u'"' || c == u'(' || c == u')';
}

class Scanner
{
public:
    Scanner(QStringView text, qsizetype from, CmdLines lines, int depth) : m_text(text), m_i(from), m_lines(lines)
    {
        m_scan.depth = depth;
        reserve();
    }

    CmdScan run()
    {
        const qsizetype n = m_text.size();
        while (m_i < n) {
            const QChar c = m_text.at(m_i);
            if (endsLine(c)) {
                m_i += c == u'\r' && m_i + 1 < n && m_text.at(m_i + 1) == u'\n' ? 2 : 1;
                break;
            }
            if (m_quoted) {
                m_quoted = c != u'"';
                append(c, m_i, 1);
                continue;
            }
            switch (c.unicode()) {
            case u'^':
                caret();
                break;
            case u'"':
                m_quoted = true;
                append(c, m_i, 1);
                break;
            case u'(':
                if (m_atStart) {
                    ++m_scan.depth;
                    ++m_command.blocksOpened;
                    ++m_i;
                } else {
                    append(c, m_i, 1);
                }
                break;
            case u')':
                if (m_scan.depth > 0) {
                    --m_scan.depth;
                    ++m_i;
                    finish(CmdConnector::BlockEnd);
                } else {
                    append(c, m_i, 1);
                }
                break;
            case u'&':
                finish(doubled() ? CmdConnector::OnSuccess : CmdConnector::Then);
                break;
            case u'|':
                finish(doubled() ? CmdConnector::OnFailure : CmdConnector::Pipe);
                break;
            case u'<':
            case u'>':
                redirection();
                break;
            default:
                append(c, m_i, 1);
                break;
            }
        }
        finish(CmdConnector::End);
        m_scan.next = m_i;
        m_scan.quoted = m_quoted;
        return std::move(m_scan);
    }

private:
    // Passes an operator of one or two characters ("&" or "&&", "|" or
    // "||"); true for two.
    bool doubled()
    {
        const bool two = m_i + 1 < m_text.size() && m_text.at(m_i + 1) == m_text.at(m_i);
        m_i += two ? 2 : 1;
        return two;
    }

    void append(QChar c, qsizetype writtenFrom, qsizetype writtenLength)
    {
        appendWritten(c, m_text.sliced(writtenFrom, writtenLength));
        m_i = writtenFrom + writtenLength;
    }

    void appendWritten(QChar c, QStringView written)
    {
        m_command.text += c;
        m_command.writtenText += written;
        m_command.writtenStart << m_command.writtenText.size();
        if (!isBlank(c))
            m_atStart = false;
    }

    void caret()
    {
        const qsizetype n = m_text.size();
        if (m_i + 1 >= n) {
            ++m_i; // nothing follows: the caret goes
            return;
        }
        const QChar next = m_text.at(m_i + 1);
        if (!endsLine(next)) {
            append(next, m_i, 2);
            return;
        }
        if (m_lines == CmdLines::CommandLine) {
            ++m_i; // nothing escapes the end of the line, which ends the command
            return;
        }
        // The next line is joined, and its first character is plain.
        m_i += next == u'\r' && m_i + 2 < n && m_text.at(m_i + 2) == u'\n' ? 3 : 2;
        if (m_i < n && !endsLine(m_text.at(m_i))) {
            const QChar c = m_text.at(m_i);
            appendWritten(c, needsCaret(c) ? u'^' + QString(c) : QString(c));
            ++m_i;
        }
    }

    // "<", ">", ">>", an optional handle before ("2>") and "&n" after
    // ("2>&1"), then the file it names. cmd.exe takes it out of the command.
    void redirection()
    {
        const qsizetype n = m_text.size();
        qsizetype start = m_i;
        QString &text = m_command.text;
        // A handle number is a digit standing alone before the operator.
        if (!text.isEmpty() && text.back().isDigit() && (text.size() == 1 || isBlank(text.at(text.size() - 2)))
            && m_command.writtenStart.at(text.size()) - m_command.writtenStart.at(text.size() - 1) == 1
            && m_i > 0 && m_text.at(m_i - 1) == text.back()) {
            --start;
            text.chop(1);
            m_command.writtenStart.removeLast();
            m_command.writtenText.truncate(m_command.writtenStart.last());
        }
        const QChar op = m_text.at(m_i++);
        if (op == u'>' && m_i < n && m_text.at(m_i) == u'>')
            ++m_i;
        if (m_i + 1 < n && m_text.at(m_i) == u'&' && m_text.at(m_i + 1).isDigit()) {
            m_i += 2;
        } else {
            while (m_i < n && isBlank(m_text.at(m_i)))
                ++m_i;
            bool quoted = false;
            while (m_i < n && !endsLine(m_text.at(m_i))) {
                const QChar c = m_text.at(m_i);
                if (quoted) {
                    quoted = c != u'"';
                } else if (c == u'"') {
                    quoted = true;
                } else if (c == u'^') {
                    if (m_i + 1 < n && !endsLine(m_text.at(m_i + 1)))
                        ++m_i;
                } else if (isBlank(c) || c == u'&' || c == u'|' || c == u'<' || c == u'>'
                           || (c == u')' && m_scan.depth > 0)) {
                    break;
                }
                ++m_i;
            }
        }
        m_command.redirections << m_text.sliced(start, m_i - start).toString();
    }

    void finish(CmdConnector connector)
    {
        m_command.connector = connector;
        m_scan.commands << std::move(m_command);
        m_command = CmdCommand();
        reserve();
        m_atStart = true;
    }

    // Room for the rest of the text at once: a command is scanned a
    // character at a time, and read many times over.
    void reserve()
    {
        const qsizetype rest = m_text.size() - m_i + 1;
        m_command.text.reserve(rest);
        m_command.writtenText.reserve(rest);
        m_command.writtenStart.reserve(rest + 1);
    }

    QStringView m_text;
    qsizetype m_i;
    CmdLines m_lines;
    CmdScan m_scan;
    CmdCommand m_command;
    bool m_quoted = false;
    bool m_atStart = true;
};

} // namespace

CmdScan ScanCmdLine(QStringView text, qsizetype from, CmdLines lines, int depth)
{
    return Scanner(text, from, lines, depth).run();
}
