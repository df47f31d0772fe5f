#include "run/frmPreview.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include <utility>

using namespace Qt::Literals::StringLiterals;

namespace {
PreviewDialogExec &previewExec()
{
    static PreviewDialogExec exec;
    return exec;
}

// Widths in average characters: the message wraps at the first, a path
// longer than the second loses its middle (all of it is in the details).
constexpr int kMessageChars = 64;
constexpr int kPathChars = 80;
} // namespace

PreviewDialogExec SetPreviewDialogExec(PreviewDialogExec exec) { return std::exchange(previewExec(), std::move(exec)); }

frmPreview::frmPreview(const PreviewText &text, QWidget *owner) : QDialog(owner)
{
    setObjectName(u"frmPreview"_s);
    setWindowTitle(u"Corvane"_s);
    const int charWidth = fontMetrics().averageCharWidth();

    auto *icon = new QLabel(this);
    const int iconSize = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
    icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxWarning, nullptr, this).pixmap(iconSize, iconSize));
    icon->setAlignment(Qt::AlignTop | Qt::AlignHCenter);

    m_message = new QLabel(text.message, this);
    m_message->setObjectName(u"lblMessage"_s);
    m_message->setTextFormat(Qt::PlainText);
    m_message->setWordWrap(true);
    m_message->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_message->setFixedWidth(charWidth * kMessageChars);

    QStringList shown;
    for (const QString &path : text.firstPaths)
        shown << fontMetrics().elidedText(path, Qt::ElideMiddle, charWidth * kPathChars);
    m_paths = new QLabel(shown.join(u'\n'), this);
    m_paths->setObjectName(u"lblPaths"_s);
    m_paths->setTextFormat(Qt::PlainText);
    m_paths->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_paths->setVisible(!shown.isEmpty());

    m_details = new QPlainTextEdit(this);
    m_details->setObjectName(u"txtDetails"_s);
    m_details->setReadOnly(true);
    m_details->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_details->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_details->setPlainText(text.details);
    m_details->setMinimumHeight(fontMetrics().lineSpacing() * 14);
    m_details->hide();

    m_showDetails = new QPushButton(u"Show Details"_s, this);
    m_showDetails->setObjectName(u"cmdDetails"_s);
    m_showDetails->setAutoDefault(false);
    m_showDetails->setVisible(!text.details.isEmpty());
    m_run = new QPushButton(u"Run"_s, this);
    m_run->setObjectName(u"cmdRun"_s);
    m_cancel = new QPushButton(u"Cancel"_s, this);
    m_cancel->setObjectName(u"cmdCancel"_s);
    m_cancel->setDefault(true);
    connect(m_showDetails, &QPushButton::clicked, this, &frmPreview::cmdDetails_Click);
    connect(m_run, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto *texts = new QVBoxLayout;
    texts->addWidget(m_message);
    texts->addWidget(m_paths);
    texts->addStretch();
    auto *top = new QHBoxLayout;
    top->addWidget(icon, 0, Qt::AlignTop);
    top->addSpacing(charWidth * 2);
    top->addLayout(texts, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_showDetails);
    buttons->addStretch();
    buttons->addWidget(m_run);
    buttons->addWidget(m_cancel);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(m_details, 1);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    m_cancel->setFocus();
}

void frmPreview::cmdDetails_Click()
{
    const bool show = m_details->isHidden();
    m_details->setVisible(show);
    m_showDetails->setText(show ? u"Hide Details"_s : u"Show Details"_s);
    // With the details the dialog may be made larger; without them it keeps its size.
    layout()->setSizeConstraint(show ? QLayout::SetDefaultConstraint : QLayout::SetFixedSize);
    if (show) {
        setMinimumSize(0, 0);
        setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        resize(sizeHint());
    } else {
        adjustSize();
    }
}

bool frmPreview::Ask(const PreviewText &text, QWidget *owner)
{
    frmPreview dialog(text, owner);
    const int result = previewExec() ? previewExec()(dialog) : dialog.exec();
    return result == QDialog::Accepted;
}
