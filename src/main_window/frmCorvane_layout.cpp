#include "main_window/frmCorvane.h"

#include "main_window/Layout.h"

#include <QComboBox>
#include <QEvent>
#include <QPushButton>
#include <QResizeEvent>
#include <QScrollBar>
#include <QWheelEvent>

#include <algorithm>

// The canvas never moves its fields; the window only slides the canvas under
// its client area and keeps the two bars and the corner square at the edges.
// Bar values are twips, like every length of the layout pass.

namespace {

void applyBar(QScrollBar *bar, const ScrollBarLayout &layout)
{
    bar->setGeometry(twipsToPixelRect(layout.geometry));
    bar->setSingleStep(layout.smallStep);
    bar->setPageStep(layout.largeStep);
    if (layout.visible) {
        bar->setRange(0, layout.max); // a value above the new Max drops to it
        bar->setValue(layout.value);
        bar->show();
    } else {
        bar->setValue(0);
        bar->hide();
    }
}

} // namespace

void frmCorvane::setUpScrolling()
{
    for (QScrollBar *bar : {m_hScroll, m_vScroll}) {
        bar->setRange(0, 0);
        // The canvas follows a dragged thumb when it is released.
        bar->setTracking(false);
    }
    connect(m_hScroll, &QScrollBar::valueChanged, this, &frmCorvane::HScroll1_Change);
    connect(m_vScroll, &QScrollBar::valueChanged, this, &frmCorvane::VScroll1_Change);
    for (QWidget *w : std::as_const(m_controls))
        if (qobject_cast<QComboBox *>(w))
            w->installEventFilter(this); // filterWheel
}

void frmCorvane::Form_Resize()
{
    QWidget *client = centralWidget();
    const auto measure = [&] {
        LayoutInput in;
        in.clientWidth = client->width() * kTwipsPerPixel;
        in.clientHeight = client->height() * kTwipsPerPixel;
        // Read from the bars at every pass, so the style decides the thickness.
        in.barWidth = m_vScroll->sizeHint().width() * kTwipsPerPixel;
        in.barHeight = m_hScroll->sizeHint().height() * kTwipsPerPixel;
        in.hValue = m_hScroll->value();
        in.vValue = m_vScroll->value();
        in.state = isMinimized() ? WindowShowState::Minimized
                   : isMaximized() ? WindowShowState::Maximized
                                   : WindowShowState::Normal;
        return in;
    };

    LayoutInput in = measure();
    LayoutResult r = layOutWindow(in);
    if (r.unchanged)
        return;

    if (r.restoreNormal) {
        // Put back to normal once the platform has finished maximizing.
        if (!m_restoreQueued) {
            m_restoreQueued = true;
            QMetaObject::invokeMethod(this, &frmCorvane::restoreFromMaximized, Qt::QueuedConnection);
        }
    } else {
        // The limits keep the user's border drags in range; the resize below
        // mends whatever got past them.
        const QSize frame = size() - client->size();
        const QSize minimum = frame + QSize(pixelsAtLeast(std::min(in.minClientWidth, in.canvasWidth)),
                                            pixelsAtLeast(std::min(in.minClientHeight, in.canvasHeight)));
        const QSize maximum = frame + QSize(pixelsAtLeast(in.canvasWidth), pixelsAtLeast(in.canvasHeight));
        if (minimumSize() != minimum)
            setMinimumSize(minimum);
        if (maximumSize() != maximum)
            setMaximumSize(maximum);

        if (r.resizeNeeded(in)) {
            const QSize target(pixelsAtLeast(r.clientWidth), pixelsAtLeast(r.clientHeight));
            if (target != client->size())
                resize(size() - client->size() + target);
            // The resize has run a pass of its own; this one goes on with the
            // sizes as they are now.
            in = measure();
            r = layOutWindow(in);
        }
    }

    applyBar(m_hScroll, r.hBar);
    applyBar(m_vScroll, r.vBar);
    m_filler->setGeometry(twipsToPixelRect(r.filler));
    m_filler->setVisible(r.fillerVisible);
    m_hScroll->raise();
    m_vScroll->raise();
    m_filler->raise();
    m_canvas->move(-twipsToPixels(-r.canvasLeft), -twipsToPixels(-r.canvasTop));
}

void frmCorvane::restoreFromMaximized()
{
    m_restoreQueued = false;
    if (!isMaximized())
        return;
    setWindowState(windowState() & ~Qt::WindowMaximized);
    // The restored window shows the whole canvas.
    const QSize canvasSize(pixelsAtLeast(kCanvasWidthTwips), pixelsAtLeast(kCanvasHeightTwips));
    resize(size() - centralWidget()->size() + canvasSize);
    Form_Resize();
}

void frmCorvane::HScroll1_Change() { m_canvas->move(-twipsToPixels(m_hScroll->value()), m_canvas->y()); }

void frmCorvane::VScroll1_Change() { m_canvas->move(m_canvas->x(), -twipsToPixels(m_vScroll->value())); }

void frmCorvane::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    Form_Resize();
}

void frmCorvane::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        Form_Resize();
}

bool frmCorvane::filterWheel(QObject *watched, QEvent *event)
{
    // A wheel turned to scroll the window must not pick another recent
    // folder in a combo box it passes over; only a box the user is working
    // in takes the wheel. Ignored here, the event goes on to the window.
    auto *combo = qobject_cast<QComboBox *>(watched);
    if (!combo || combo->hasFocus())
        return false;
    event->ignore();
    return true;
}

void frmCorvane::wheelEvent(QWheelEvent *event)
{
    // The wheel scrolls the canvas when the window is smaller than it: three
    // large steps a notch, sideways with Shift or a sideways wheel.
    QPoint notches = event->angleDelta() / QWheelEvent::DefaultDeltasPerStep;
    if (event->modifiers() & Qt::ShiftModifier)
        notches = QPoint(notches.y(), notches.x());
    bool used = false;
    for (auto [bar, count] : {std::pair{m_hScroll, notches.x()}, std::pair{m_vScroll, notches.y()}}) {
        if (count == 0 || !bar->isVisible())
            continue;
        bar->setValue(bar->value() - count * 3 * bar->pageStep());
        used = true;
    }
    if (used)
        event->accept();
    else
        QMainWindow::wheelEvent(event);
}
