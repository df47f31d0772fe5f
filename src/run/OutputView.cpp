#include "run/OutputView.h"

#include <QFontDatabase>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>

namespace {

constexpr int kTabColumns = 8;
constexpr int kMargin = 4;

qsizetype columnsOf(const QString &line)
{
    qsizetype columns = 0;
    for (QChar c : line)
        columns = c == u'\t' ? (columns / kTabColumns + 1) * kTabColumns : columns + 1;
    return columns;
}

QString expandTabs(const QString &line)
{
    if (!line.contains(u'\t'))
        return line;
    QString out;
    out.reserve(line.size() + 16);
    for (QChar c : line) {
        if (c == u'\t')
            out += QString(kTabColumns - out.size() % kTabColumns, u' ');
        else
            out += c;
    }
    return out;
}

} // namespace

OutputView::OutputView(int maxLines, QWidget *parent) : QAbstractScrollArea(parent), m_maxLines(maxLines)
{
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setAutoFillBackground(true);
    setFocusPolicy(Qt::StrongFocus);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    verticalScrollBar()->setSingleStep(1);
}

int OutputView::visibleRows() const
{
    return std::max(1, (viewport()->height() - 2 * kMargin) / fontMetrics().lineSpacing());
}

int OutputView::visibleColumns() const
{
    return std::max(1, (viewport()->width() - 2 * kMargin) / std::max(1, fontMetrics().horizontalAdvance(u'M')));
}

void OutputView::appendLines(const QStringList &lines)
{
    if (lines.isEmpty())
        return;
    qsizetype dropped = 0;
    for (const QString &line : lines) {
        m_widest = std::max(m_widest, columnsOf(line));
        m_lines.push_back(line);
        if (qsizetype(m_lines.size()) > m_maxLines) {
            m_lines.pop_front();
            ++dropped;
        }
    }
    m_adjusting = true;
    // Scrolled away from the end, the lines in sight stay in sight as long as they are kept.
    if (!m_follow)
        verticalScrollBar()->setValue(verticalScrollBar()->value() - int(dropped));
    updateScrollBars();
    if (m_follow)
        verticalScrollBar()->setValue(verticalScrollBar()->maximum());
    m_adjusting = false;
    viewport()->update();
}

QStringList OutputView::lines() const { return QStringList(m_lines.begin(), m_lines.end()); }

void OutputView::updateScrollBars()
{
    QScrollBar *v = verticalScrollBar();
    v->setRange(0, std::max(0, int(m_lines.size()) - visibleRows()));
    v->setPageStep(visibleRows());
    QScrollBar *h = horizontalScrollBar();
    h->setRange(0, std::max(0, int(m_widest) - visibleColumns()));
    h->setPageStep(visibleColumns());
}

void OutputView::resizeEvent(QResizeEvent *event)
{
    QAbstractScrollArea::resizeEvent(event);
    m_adjusting = true;
    updateScrollBars();
    if (m_follow)
        verticalScrollBar()->setValue(verticalScrollBar()->maximum());
    m_adjusting = false;
}

void OutputView::scrollContentsBy(int dx, int dy)
{
    Q_UNUSED(dx);
    // The user's scrolling decides whether the view follows the end.
    if (dy != 0 && !m_adjusting)
        m_follow = verticalScrollBar()->value() == verticalScrollBar()->maximum();
    viewport()->update();
}

void OutputView::paintEvent(QPaintEvent *event)
{
    Q_UNUSED(event);
    QPainter painter(viewport());
    painter.setPen(palette().color(QPalette::Text));
    const QFontMetrics metrics = fontMetrics();
    const int first = verticalScrollBar()->value();
    const int x = kMargin - horizontalScrollBar()->value() * metrics.horizontalAdvance(u'M');
    int y = kMargin + metrics.ascent();
    for (int row = 0; row <= visibleRows() && first + row < int(m_lines.size()); ++row) {
        painter.drawText(x, y, expandTabs(m_lines[size_t(first + row)]));
        y += metrics.lineSpacing();
    }
}
