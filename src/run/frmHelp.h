#pragma once

#include <QWidget>

class QLabel;

// The About window: the program's name and version, a link to the maker's
// web site and four paragraphs of help. There is one at most; it exists
// while it is shown and is deleted when closed.
class frmHelp : public QWidget
{
public:
    // Shows the one About window, creating it on first use; an open one is
    // raised instead of a second being made.
    static frmHelp *ShowShared(QWidget *owner);
    // The open About window, or null.
    static frmHelp *Current();

    void Form_Load();
    void lblWebsite_Click();

    QLabel *lblVersion() const { return m_lblVersion; }
    QLabel *lblWebsite() const { return m_lblWebsite; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    explicit frmHelp(QWidget *owner);
    void fitFont();

    QLabel *m_lblVersion = nullptr;
    QLabel *m_lblWebsite = nullptr;
    QList<QLabel *> m_paragraphs;
};
