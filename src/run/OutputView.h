#pragma once

#include <QAbstractScrollArea>
#include <QStringList>

#include <deque>

// The run's output as a console shows it (fixed font, tabs every eight
// columns), fast however quickly lines come: it keeps the last maxLines
// lines and draws only those in sight, so a refresh costs a screenful
// whatever a run of a hundred thousand files printed meanwhile (a text
// editor would lay out every line). It follows the end unless the user has
// scrolled away from it.
class OutputView : public QAbstractScrollArea
{
public:
    explicit OutputView(int maxLines, QWidget *parent = nullptr);

    void appendLines(const QStringList &lines);
    // The lines kept, oldest first, as they came.
    QStringList lines() const;
    bool followsEnd() const { return m_follow; }

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    int visibleRows() const;
    int visibleColumns() const;
    void updateScrollBars();

    int m_maxLines;
    std::deque<QString> m_lines;
    qsizetype m_widest = 0; // in columns, tabs expanded
    bool m_follow = true;
    bool m_adjusting = false; // the scroll bars move by the view's own doing
};
