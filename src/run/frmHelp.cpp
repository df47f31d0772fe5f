#include "run/frmHelp.h"

#include "main_window/CaptionColours.h"
#include "main_window/Twips.h"
#include "main_window/WindowFont.h"
#include "run/VersionInfo.h"
#include "run/basShell.h"

#include <QApplication>
#include <QFontMetrics>
#include <QLabel>
#include <QMouseEvent>
#include <QPointer>
#include <QScreen>

#include <algorithm>

namespace {
QPointer<frmHelp> &shared()
{
    static QPointer<frmHelp> window;
    return window;
}

struct Paragraph
{
    const char *name;
    int left, top, width, height;
    const char *text;
};

constexpr Paragraph kParagraphs[] = {
    {"Label1", 120, 480, 6405, 975,
     "Corvane is a graphical user interface for the Microsoft RoboCopy (robust copy) command-line tool for "
     "copying, moving, and synchronizing files. As options are selected, the corresponding RoboCopy command line "
     "will be shown. Hover the mouse over the various options to view brief help in tooltips, or open the "
     "RoboCopy documentation from the Help menu (requires MS Word)."},
    {"Label4", 120, 1560, 6375, 1335,
     "Click the Execute button to run RoboCopy with the specified commands, or simply copy the command line to "
     "execute it from another program or batch file. RoboCopy runs in a command window that closes upon "
     "completion, then the result will be displayed. The RoboCopy window can be set to stay open through the "
     "Options menu to allow the messages to be seen. Or, enter a log file name to create a log of all messages. "
     "Go to the File menu to save the current command line to a text or CMD file."},
    {"Label2", 120, 2880, 6375, 615,
     "One or more files or folders may be dragged from Windows Explorer and dropped on the various path and "
     "filename fields. When the source files are set, the source path is automatically set to the path of the "
     "first source file if the source was blank."},
    {"Label3", 120, 3600, 6375, 1095,
     "By default, all options selected will be saved when Corvane is closed. This can be disabled through the "
     "Options menu. The settings can be manually saved, loaded, or cleared through the File menu. By default, "
     "settings are saved to settings.ini in the RoboCopy folder, but they will be saved to the registry if "
     "writing to the INI file fails or the option is changed in the Options menu."},
};

constexpr int kClientWidth = 6570;
constexpr int kClientHeight = 4725;

} // namespace

frmHelp::frmHelp(QWidget *owner)
    : QWidget(owner, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint
                         | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("frmHelp"));
    setAttribute(Qt::WA_DeleteOnClose); // closing unloads it; the next About loads it again
    setWindowTitle(QStringLiteral("Help"));
    setFixedSize(twipsToPixels(kClientWidth), twipsToPixels(kClientHeight));

    m_lblVersion = new QLabel(this);
    m_lblVersion->setObjectName(QStringLiteral("lblVersion"));
    m_lblVersion->setGeometry(twipsToPixelRect({120, 120, 3855, 255}));

    m_lblWebsite = new QLabel(this);
    m_lblWebsite->setObjectName(QStringLiteral("lblWebsite"));
    m_lblWebsite->setGeometry(twipsToPixelRect({5640, 120, 720, 195}));
    QPalette pal = m_lblWebsite->palette();
    pal.setColor(QPalette::WindowText, LinkColour(QApplication::palette())); // blue, readable on a dark theme too
    m_lblWebsite->setPalette(pal);
    m_lblWebsite->setCursor(Qt::PointingHandCursor);
    m_lblWebsite->installEventFilter(this);

    for (const Paragraph &p : kParagraphs) {
        auto *label = new QLabel(QString::fromUtf8(p.text), this);
        label->setObjectName(QLatin1StringView(p.name));
        label->setGeometry(twipsToPixelRect({p.left, p.top, p.width, p.height}));
        label->setWordWrap(true);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        m_paragraphs << label;
    }

    setFont(owner ? owner->font() : fitWindowFont(QApplication::font()));
    fitFont();
}

// The paragraphs were laid out for a narrow dialog font; with a wider one the
// font steps down until every paragraph fits its label.
void frmHelp::fitFont()
{
    QFont f = font();
    for (qreal size = f.pointSizeF(); size >= 6.0; size -= 0.5) {
        f.setPointSizeF(size);
        const QFontMetrics fm(f);
        bool fits = true;
        for (const QLabel *label : std::as_const(m_paragraphs)) {
            const QRect need = fm.boundingRect(QRect(0, 0, label->width(), 100000),
                                               Qt::TextWordWrap | Qt::AlignLeft | Qt::AlignTop, label->text());
            if (need.height() > label->height()) {
                fits = false;
                break;
            }
        }
        if (fits)
            break;
    }
    setFont(f);
}

frmHelp *frmHelp::ShowShared(QWidget *owner)
{
    frmHelp *w = shared();
    if (!w) {
        w = new frmHelp(owner);
        shared() = w;
        w->Form_Load();
        // Centre on the owner, as far as the screen allows: an owner partly
        // off the screen does not take the About window with it.
        const QRect area = owner ? owner->frameGeometry() : w->screen()->availableGeometry();
        QScreen *screen = QGuiApplication::screenAt(area.center());
        if (!screen)
            screen = owner ? owner->screen() : w->screen();
        const QRect room = screen->availableGeometry();
        // Its frame is not known before it shows; the owner's stands in for it.
        const QSize decoration = owner ? owner->frameGeometry().size() - owner->size() : QSize();
        QRect frame(QPoint(0, 0), w->size() + decoration);
        frame.moveCenter(area.center());
        frame.moveLeft(std::max(room.left(), std::min(frame.left(), room.right() + 1 - frame.width())));
        frame.moveTop(std::max(room.top(), std::min(frame.top(), room.bottom() + 1 - frame.height())));
        w->move(frame.topLeft());
    }
    w->show();
    w->raise();
    w->activateWindow();
    return w;
}

frmHelp *frmHelp::Current() { return shared(); }

void frmHelp::Form_Load()
{
    const ProgramVersion version = ReadProgramVersion();
    m_lblVersion->setText(VersionLine(version));
    m_lblWebsite->setText(LinkCaption(version.productName));
    m_lblWebsite->setToolTip(LinkTarget(version.productName, QApplication::applicationDirPath()));
    m_lblWebsite->adjustSize(); // the label sizes itself to its text
    // A longer address than the layout foresaw moves left rather than run
    // past the window's edge (keeping the left margin on the right side).
    const int right = width() - twipsToPixels(120);
    if (m_lblWebsite->geometry().right() >= right) {
        const int left = std::max(m_lblVersion->geometry().right() + 1, right - m_lblWebsite->width());
        m_lblWebsite->move(left, m_lblWebsite->y());
    }
}

// The web address, or the document the link names beside the program.
void frmHelp::lblWebsite_Click()
{
    ShellOpen(LinkTarget(ReadProgramVersion().productName, QApplication::applicationDirPath()), QString(), QString(),
              QString(), 1);
}

bool frmHelp::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_lblWebsite && event->type() == QEvent::MouseButtonRelease) {
        auto *me = static_cast<QMouseEvent *>(event);
        if (me->button() == Qt::LeftButton && m_lblWebsite->rect().contains(me->position().toPoint())) {
            lblWebsite_Click();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}
