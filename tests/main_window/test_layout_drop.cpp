// Layout and scrolling of the main window, the folder pickers, and files
// dropped onto the window's fields.
#include "main_window/Catalogue.h"
#include "main_window/Controls.h"
#include "main_window/Layout.h"
#include "main_window/frmCorvane.h"
#include "tools/basBrowseFolder.h"
#include "tools/basTools.h"

#include "ScopedHook.h"
#include "WindowTest.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QDropEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSet>
#include <QFileDialog>
#include <QTest>
#include <QWheelEvent>
#include <QUrl>

#include <memory>
#include <tuple>

Q_DECLARE_METATYPE(LayoutInput)

using namespace Qt::Literals::StringLiterals;

namespace {

QString native(const QString &path) { return QDir::toNativeSeparators(path); }

// The headless platform remarks on every window size limit it cannot pass on;
// that says nothing about the window, so it is kept out of the test log.
QtMessageHandler g_previousHandler = nullptr; // the handler quietSizeHints stands in front of
void quietSizeHints(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (message.contains(u"does not support propagateSizeHints") || !g_previousHandler)
        return;
    g_previousHandler(type, context, message);
}

// ---- The layout pass on its own.

LayoutInput input(int cw, int ch, int barW = 300, int barH = 300, int hValue = 0, int vValue = 0)
{
    LayoutInput in;
    in.clientWidth = cw;
    in.clientHeight = ch;
    in.barWidth = barW;
    in.barHeight = barH;
    in.hValue = hValue;
    in.vValue = vValue;
    return in;
}

QRect rectOf(const Twips &t) { return QRect(t.left, t.top, t.width, t.height); }

// ---- The real window.

// Pixels of the canvas: the window's largest client area.
const QSize kCanvasPixels((kCanvasWidthTwips + 14) / 15, (kCanvasHeightTwips + 14) / 15);
// The smallest client area: 5000 by 3500 twips, never less.
const QSize kMinimumPixels((5000 + 14) / 15, (3500 + 14) / 15);

QSize clientSize(const frmCorvane &w) { return w.centralWidget()->size(); }

void resizeClient(frmCorvane &w, QSize client)
{
    w.resize(w.size() - clientSize(w) + client);
    QCoreApplication::processEvents();
}

struct DropOutcome
{
    bool entered = false;  // the drag was accepted over the control
    bool dropped = false;  // the drop was accepted
    Qt::DropAction action = Qt::IgnoreAction;
};

// A drag that enters the window over the centre of a control and drops there,
// delivered the way the platform delivers it: to the window, which picks the
// widget under the point that accepts drops.
DropOutcome dropAt(frmCorvane &w, QWidget *target, const QMimeData &data,
                   Qt::DropActions actions = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction)
{
    DropOutcome out;
    QWindow *window = w.windowHandle();
    const QPoint pos = target->mapTo(&w, target->rect().center());
    QDragEnterEvent enter(pos, actions, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window, &enter);
    QDragMoveEvent move(pos, actions, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window, &move);
    out.entered = enter.isAccepted() && move.isAccepted();
    if (!out.entered) {
        QDragLeaveEvent leave;
        QCoreApplication::sendEvent(window, &leave);
        return out;
    }
    QDropEvent drop(QPointF(pos), actions, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window, &drop);
    out.dropped = drop.isAccepted();
    out.action = drop.dropAction();
    return out;
}

std::unique_ptr<QMimeData> filesData(const QStringList &paths)
{
    auto data = std::make_unique<QMimeData>();
    QList<QUrl> urls;
    for (const QString &p : paths)
        urls.append(QUrl::fromLocalFile(p));
    data->setUrls(urls);
    return data;
}

std::unique_ptr<QMimeData> textData(const QString &text)
{
    auto data = std::make_unique<QMimeData>();
    data->setText(text);
    return data;
}

// The drop targets and their rules, as the window is meant to have them.
const QHash<QString, DropRule> &expectedTargets()
{
    static const QHash<QString, DropRule> targets = {
        {u"cboSource"_s, DropRule::Path},
        {u"cboDestination"_s, DropRule::Path},
        {u"txtFilenames"_s, DropRule::FileNameList},
        {u"txtExcludeFiles"_s, DropRule::FileNameList},
        {u"txtExcludeFolders"_s, DropRule::PathList},
        {u"txtJobRead"_s, DropRule::FileName},
        {u"txtJobWrite"_s, DropRule::FileName},
        {u"txtJobIncludeFiles"_s, DropRule::FileNameList},
        {u"txtJobExplicitSource"_s, DropRule::Path},
        {u"txtJobExplicitDest"_s, DropRule::Path},
        {u"txtLogFile"_s, DropRule::Path},
    };
    return targets;
}

} // namespace

class TestLayoutDrop : public WindowTest
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    // Layout pass
    void layoutCases_data();
    void layoutCases();
    void steps_data();
    void steps();
    void minimizedChangesNothing();
    void layoutGrid();

    // The real window
    void firstShowFitsCanvas();
    void resizeWindow_data();
    void resizeWindow();
    void scrollingMovesCanvas();
    void wheelScrollsCanvas();
    void wheelLeavesUnfocusedComboAlone();
    void draggedThumbMovesOnRelease();
    void keyboardScrolling_data();
    void keyboardScrolling();
    void focusScrollsIntoView_data();
    void focusScrollsIntoView();
    void valuesFollowResize();
    void maximizeShowsCanvasInNormalWindow();
    void minimizeAndRestore();
    void farCornerShowsExecuteWhole();

    // Folder pickers
    void pickers_data();
    void pickers();

    // Paths and drop rules
    void pathParts_data();
    void pathParts();
    void dropRules_data();
    void dropRules();
    void droppedPaths();

    // Drops on the window
    void dropTargetsAreExactlyTheEleven();
    void dropOnTarget_data();
    void dropOnTarget();
    void refusedDrops_data();
    void refusedDrops();
    void directDrops_data();
    void directDrops();
    void fileNamesFillSource_data();
    void fileNamesFillSource();
    void dropOfManyFiles_data();
    void dropOfManyFiles();
    void unquotableNames_data();
    void unquotableNames();

private:
    std::unique_ptr<frmCorvane> m_window;
    QList<FolderDialogRequest> m_requests;
    QString m_pick;
    const ScopedMessageHandler m_quietSizeHints{quietSizeHints};
    // The folder dialog answers with m_pick and keeps what it was asked.
    const ScopedHook<FolderDialogHook> m_folderDialog{SetFolderDialogHook, [this](const FolderDialogRequest &r) {
                                                          m_requests.append(r);
                                                          return m_pick;
                                                      }};

    frmCorvane &shownWindow();
};

void TestLayoutDrop::initTestCase() { g_previousHandler = m_quietSizeHints.previous(); }

void TestLayoutDrop::init()
{
    WindowTest::init();
    m_window = newWindow();
    m_requests.clear();
    m_pick.clear();
}

void TestLayoutDrop::cleanup()
{
    m_window.reset();
    // A test that expects a message takes it from the list.
    QCoreApplication::processEvents();
    QVERIFY2(shown().isEmpty(), qPrintable(u"Unexpected message: "_s + describeShown()));
    WindowTest::cleanup();
}

frmCorvane &TestLayoutDrop::shownWindow()
{
    m_window->show();
    if (!QTest::qWaitForWindowExposed(m_window.get()))
        QTest::qFail("the window was not shown", __FILE__, __LINE__);
    return *m_window;
}

// ---------------------------------------------------------------- layout pass

void TestLayoutDrop::layoutCases_data()
{
    QTest::addColumn<LayoutInput>("in");
    QTest::addColumn<QSize>("client");     // size the window must have
    QTest::addColumn<bool>("restore");     // back from maximized
    QTest::addColumn<bool>("hVisible");
    QTest::addColumn<bool>("vVisible");
    QTest::addColumn<int>("hMax");
    QTest::addColumn<int>("vMax");
    QTest::addColumn<int>("hValue");
    QTest::addColumn<int>("vValue");
    QTest::addColumn<QRect>("hBar");        // checked when shown
    QTest::addColumn<QRect>("vBar");

    const QRect none;
    QTest::newRow("client is the canvas: no bar")
        << input(15132, 10135) << QSize(15132, 10135) << false << false << false << 0 << 0 << 0 << 0 << none << none;
    QTest::newRow("wider and taller than the canvas snaps back")
        << input(16000, 12000) << QSize(15132, 10135) << false << false << false << 0 << 0 << 0 << 0 << none << none;
    QTest::newRow("wider only snaps back")
        << input(18000, 10135) << QSize(15132, 10135) << false << false << false << 0 << 0 << 0 << 0 << none << none;
    QTest::newRow("under the minimum grows back")
        << input(4000, 3000) << QSize(5000, 3500) << false << true << true << 11432 << 7435 << 0 << 0
        << QRect(0, 2700, 3700, 300) << QRect(3700, 0, 300, 2700);
    QTest::newRow("narrow only grows back")
        << input(4985, 9000) << QSize(5000, 9000) << false << true << true << 10447 << 1435 << 0 << 0
        << QRect(0, 8700, 4685, 300) << QRect(4685, 0, 300, 8700);
    QTest::newRow("10000 by 8000: both bars")
        << input(10000, 8000) << QSize(10000, 8000) << false << true << true << 5432 << 2435 << 0 << 0
        << QRect(0, 7700, 9700, 300) << QRect(9700, 0, 300, 7700);
    // A bar shows whenever the canvas does not fit beside the other bar.
    QTest::newRow("full width, short: both bars")
        << input(15132, 8000) << QSize(15132, 8000) << false << true << true << 300 << 2435 << 0 << 0
        << QRect(0, 7700, 14832, 300) << QRect(14832, 0, 300, 7700);
    QTest::newRow("narrow, full height: both bars")
        << input(5000, 10135) << QSize(5000, 10135) << false << true << true << 10432 << 300 << 0 << 0
        << QRect(0, 9835, 4700, 300) << QRect(4700, 0, 300, 9835);
    QTest::newRow("one pixel short each way")
        << input(15120, 10125) << QSize(15120, 10125) << false << true << true << 312 << 310 << 0 << 0
        << QRect(0, 9825, 14820, 300) << QRect(14820, 0, 300, 9825);
    // Beyond the canvas on one axis (before the window is mended) one bar runs alone.
    QTest::newRow("too wide by a bar: vertical bar alone, full height")
        << input(15432, 8000) << QSize(15132, 8000) << false << false << true << 0 << 2435 << 0 << 0 << none
        << QRect(15132, 0, 300, 8000);
    QTest::newRow("too tall by a bar: horizontal bar alone, full width")
        << input(10000, 10435) << QSize(10000, 10135) << false << true << false << 5432 << 0 << 0 << 0
        << QRect(0, 10135, 10000, 300) << none;
    QTest::newRow("values kept within range")
        << input(10000, 8000, 300, 300, 1000, 200) << QSize(10000, 8000) << false << true << true << 5432 << 2435
        << 1000 << 200 << QRect(0, 7700, 9700, 300) << QRect(9700, 0, 300, 7700);
    QTest::newRow("values above a new Max drop to it")
        << input(10000, 8000, 300, 300, 9000, 5000) << QSize(10000, 8000) << false << true << true << 5432 << 2435
        << 5432 << 2435 << QRect(0, 7700, 9700, 300) << QRect(9700, 0, 300, 7700);
    QTest::newRow("hidden bars return to 0")
        << input(15132, 10135, 300, 300, 700, 400) << QSize(15132, 10135) << false << false << false << 0 << 0 << 0
        << 0 << none << none;
    QTest::newRow("thinner bars widen the ranges less")
        << input(10000, 8000, 240, 255) << QSize(10000, 8000) << false << true << true << 5372 << 2390 << 0 << 0
        << QRect(0, 7745, 9760, 255) << QRect(9760, 0, 240, 7745);
    QTest::newRow("bars without thickness: only the short axis")
        << input(15132, 8000, 0, 0) << QSize(15132, 8000) << false << false << true << 0 << 2135 << 0 << 0 << none
        << QRect(15132, 0, 0, 8000);

    LayoutInput maximized = input(24000, 15000, 300, 300, 800, 900);
    maximized.state = WindowShowState::Maximized;
    QTest::newRow("maximized: normal window of the canvas size")
        << maximized << QSize(15132, 10135) << true << false << false << 0 << 0 << 0 << 0 << none << none;
}

void TestLayoutDrop::layoutCases()
{
    QFETCH(LayoutInput, in);
    QFETCH(QSize, client);
    QFETCH(bool, restore);
    QFETCH(bool, hVisible);
    QFETCH(bool, vVisible);
    QFETCH(int, hMax);
    QFETCH(int, vMax);
    QFETCH(int, hValue);
    QFETCH(int, vValue);
    QFETCH(QRect, hBar);
    QFETCH(QRect, vBar);

    const LayoutResult r = layOutWindow(in);
    QVERIFY(!r.unchanged);
    QCOMPARE(r.restoreNormal, restore);
    QCOMPARE(QSize(r.clientWidth, r.clientHeight), client);
    QCOMPARE(r.resizeNeeded(in), client != QSize(in.clientWidth, in.clientHeight));
    QCOMPARE(r.hBar.visible, hVisible);
    QCOMPARE(r.vBar.visible, vVisible);
    QCOMPARE(r.fillerVisible, hVisible && vVisible);
    if (hVisible) {
        QCOMPARE(r.hBar.max, hMax);
        QCOMPARE(rectOf(r.hBar.geometry), hBar);
    }
    if (vVisible) {
        QCOMPARE(r.vBar.max, vMax);
        QCOMPARE(rectOf(r.vBar.geometry), vBar);
    }
    if (r.fillerVisible)
        QCOMPARE(rectOf(r.filler), QRect(in.clientWidth - in.barWidth, in.clientHeight - in.barHeight,
                                         in.barWidth, in.barHeight));
    QCOMPARE(r.hBar.value, hValue);
    QCOMPARE(r.vBar.value, vValue);
    QCOMPARE(r.canvasLeft, -hValue);
    QCOMPARE(r.canvasTop, -vValue);
}

void TestLayoutDrop::steps_data()
{
    QTest::addColumn<double>("twipsPerPixelX");
    QTest::addColumn<double>("twipsPerPixelY");
    QTest::addColumn<int>("hSmall");
    QTest::addColumn<int>("vSmall");

    QTest::newRow("96 dpi") << 15.0 << 15.0 << 15 << 15;
    QTest::newRow("120 dpi") << 12.0 << 12.0 << 12 << 12;
    QTest::newRow("144 dpi") << 10.0 << 10.0 << 10 << 10;
    QTest::newRow("uneven pixels rounded") << 7.5 << 14.4 << 8 << 14;
}

void TestLayoutDrop::steps()
{
    QFETCH(double, twipsPerPixelX);
    QFETCH(double, twipsPerPixelY);
    QFETCH(int, hSmall);
    QFETCH(int, vSmall);
    LayoutInput in = input(8000, 6000);
    in.twipsPerPixelX = twipsPerPixelX;
    in.twipsPerPixelY = twipsPerPixelY;
    const LayoutResult r = layOutWindow(in);
    QCOMPARE(r.hBar.smallStep, hSmall);
    QCOMPARE(r.vBar.smallStep, vSmall);
    QCOMPARE(r.hBar.largeStep, 16 * hSmall);
    QCOMPARE(r.vBar.largeStep, 16 * vSmall);
}

void TestLayoutDrop::minimizedChangesNothing()
{
    for (const QSize client : {QSize(0, 0), QSize(3000, 2000), QSize(10000, 8000), QSize(20000, 20000)}) {
        LayoutInput in = input(client.width(), client.height(), 300, 300, 100, 100);
        in.state = WindowShowState::Minimized;
        const LayoutResult r = layOutWindow(in);
        QVERIFY(r.unchanged);
        QVERIFY(!r.resizeNeeded(in));
        QVERIFY(!r.restoreNormal);
    }
}

// Every client size on a fine grid, with several bar thicknesses: nothing of
// the canvas is ever out of reach, no bar shows without need, the window
// stays within its limits, and the numbers stay sane.
void TestLayoutDrop::layoutGrid()
{
    // Formats the failing case only when a check fails.
#define GRID_CHECK(cond)                                                                                   \
    do {                                                                                                   \
        if (!(cond))                                                                                       \
            QFAIL(qPrintable(u"%1 fails at client %2x%3, bars %4x%5"_s.arg(QLatin1StringView(#cond))        \
                                 .arg(cw).arg(ch).arg(W).arg(H)));                                         \
    } while (false)

    const QList<QSize> thicknesses = {QSize(300, 300), QSize(240, 240), QSize(255, 225), QSize(0, 0)};
    int checked = 0;
    for (const QSize bars : thicknesses) {
        const int W = bars.width();
        const int H = bars.height();
        for (int cw = 0; cw <= 16500; cw += 45) {
            for (int ch = 0; ch <= 11000; ch += 45) {
                const LayoutInput in = input(cw, ch, W, H, (cw * 7) % 13000, (ch * 11) % 9000);
                const LayoutResult r = layOutWindow(in);

                // The window's limits.
                GRID_CHECK(r.clientWidth >= 5000 && r.clientWidth <= kCanvasWidthTwips);
                GRID_CHECK(r.clientHeight >= 3500 && r.clientHeight <= kCanvasHeightTwips);
                const bool inRange = cw >= 5000 && cw <= kCanvasWidthTwips && ch >= 3500 && ch <= kCanvasHeightTwips;
                GRID_CHECK(r.resizeNeeded(in) != inRange);

                // The room the canvas gets on each axis, beside the other bar.
                const int roomX = cw - (r.vBar.visible ? W : 0);
                const int roomY = ch - (r.hBar.visible ? H : 0);
                for (const auto &[bar, room, canvas, step] :
                     {std::tuple(r.hBar, roomX, kCanvasWidthTwips, 15), std::tuple(r.vBar, roomY, kCanvasHeightTwips, 15)}) {
                    GRID_CHECK(bar.max >= 0);
                    GRID_CHECK(bar.value >= 0 && bar.value <= bar.max);
                    GRID_CHECK(bar.smallStep == step && bar.largeStep == 16 * step);
                    if (bar.visible) {
                        GRID_CHECK(room < canvas);            // shown for a reason
                        GRID_CHECK(room + bar.max >= canvas);  // the far edge can be reached
                    } else {
                        GRID_CHECK(room >= canvas);           // all of it fits
                        GRID_CHECK(bar.value == 0);
                    }
                }
                GRID_CHECK(r.fillerVisible == (r.hBar.visible && r.vBar.visible));
                GRID_CHECK(r.canvasLeft == -r.hBar.value && r.canvasTop == -r.vBar.value);

                // Bars and corner square sit on the client area's edges without overlapping.
                if (cw >= W && ch >= H) {
                    const QRect client(0, 0, cw, ch);
                    QList<QRect> shown;
                    if (r.hBar.visible)
                        shown.append(rectOf(r.hBar.geometry));
                    if (r.vBar.visible)
                        shown.append(rectOf(r.vBar.geometry));
                    if (r.fillerVisible)
                        shown.append(rectOf(r.filler));
                    for (qsizetype i = 0; i < shown.size(); ++i) {
                        GRID_CHECK(client.contains(shown[i]) || shown[i].isEmpty());
                        for (qsizetype j = i + 1; j < shown.size(); ++j)
                            GRID_CHECK(!shown[i].intersects(shown[j]));
                    }
                    if (r.hBar.visible)
                        GRID_CHECK(r.hBar.geometry.top + H == ch && r.hBar.geometry.width == roomX);
                    if (r.vBar.visible)
                        GRID_CHECK(r.vBar.geometry.left + W == cw && r.vBar.geometry.height == roomY);
                }
                ++checked;
            }
        }
    }
    QVERIFY(checked > 300000);
#undef GRID_CHECK
}

// ---------------------------------------------------------------- real window

void TestLayoutDrop::firstShowFitsCanvas()
{
    frmCorvane &w = shownWindow();
    QCOMPARE(clientSize(w), kCanvasPixels);
    QCOMPARE(w.canvas()->size(), kCanvasPixels);
    QCOMPARE(w.canvas()->pos(), QPoint(0, 0));
    QVERIFY(!w.hScroll()->isVisible());
    QVERIFY(!w.vScroll()->isVisible());
    QVERIFY(!w.filler()->isVisible());
    // The window cannot be dragged past the canvas or below the minimum.
    QCOMPARE(w.maximumSize() - (w.size() - clientSize(w)), kCanvasPixels);
    QCOMPARE(w.minimumSize() - (w.size() - clientSize(w)), kMinimumPixels);
}

void TestLayoutDrop::resizeWindow_data()
{
    QTest::addColumn<QSize>("requested");
    QTest::addColumn<QSize>("expected");
    QTest::addColumn<bool>("bars");

    QTest::newRow("larger than the canvas") << QSize(1400, 900) << kCanvasPixels << false;
    QTest::newRow("wider only") << QSize(1300, 676) << kCanvasPixels << false;
    QTest::newRow("exactly the canvas") << kCanvasPixels << kCanvasPixels << false;
    QTest::newRow("one pixel narrower") << QSize(1008, 676) << QSize(1008, 676) << true;
    QTest::newRow("one pixel shorter") << QSize(1009, 675) << QSize(1009, 675) << true;
    QTest::newRow("half size") << QSize(667, 533) << QSize(667, 533) << true;
    QTest::newRow("the minimum") << kMinimumPixels << kMinimumPixels << true;
    QTest::newRow("below the minimum") << QSize(200, 150) << kMinimumPixels << true;
    QTest::newRow("tiny") << QSize(1, 1) << kMinimumPixels << true;
}

void TestLayoutDrop::resizeWindow()
{
    QFETCH(QSize, requested);
    QFETCH(QSize, expected);
    QFETCH(bool, bars);
    frmCorvane &w = shownWindow();
    resizeClient(w, requested);
    QCOMPARE(clientSize(w), expected);
    QCOMPARE(w.hScroll()->isVisible(), bars);
    QCOMPARE(w.vScroll()->isVisible(), bars);
    QCOMPARE(w.filler()->isVisible(), bars);
    if (!bars) {
        QCOMPARE(w.canvas()->pos(), QPoint(0, 0));
        return;
    }
    const QRect client(QPoint(0, 0), clientSize(w));
    const QRect h = w.hScroll()->geometry();
    const QRect v = w.vScroll()->geometry();
    const QRect corner = w.filler()->geometry();
    QVERIFY(client.contains(h) && client.contains(v) && client.contains(corner));
    QVERIFY(!h.intersects(v) && !h.intersects(corner) && !v.intersects(corner));
    QCOMPARE(h.bottom(), client.bottom());
    QCOMPARE(v.right(), client.right());
    QCOMPARE(corner.bottomRight(), client.bottomRight());
    // The bars and the corner square lie in front of the canvas.
    QCOMPARE(w.centralWidget()->childAt(h.center()), w.hScroll());
    QCOMPARE(w.centralWidget()->childAt(v.center()), w.vScroll());
    QCOMPARE(w.centralWidget()->childAt(corner.center()), static_cast<QWidget *>(w.filler()));
    // Scrolled to the far ends, the canvas's last column and row sit right
    // beside the bars: nothing is left out of reach.
    w.hScroll()->setValue(w.hScroll()->maximum());
    w.vScroll()->setValue(w.vScroll()->maximum());
    const QRect canvas = w.canvas()->geometry();
    QCOMPARE(canvas.right() + 1, v.left());
    QCOMPARE(canvas.bottom() + 1, h.top());
}

void TestLayoutDrop::scrollingMovesCanvas()
{
    frmCorvane &w = shownWindow();
    resizeClient(w, QSize(667, 533));
    QScrollBar *h = w.hScroll();
    QScrollBar *v = w.vScroll();
    QCOMPARE(h->singleStep(), 15);
    QCOMPARE(h->pageStep(), 240);
    QCOMPARE(v->singleStep(), 15);
    QCOMPARE(v->pageStep(), 240);

    h->setValue(1500);
    QCOMPARE(w.canvas()->pos(), QPoint(-100, 0));
    v->setValue(750);
    QCOMPARE(w.canvas()->pos(), QPoint(-100, -50));
    // An arrow click moves by one pixel, a click in the track by sixteen.
    h->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    QCOMPARE(w.canvas()->pos(), QPoint(-101, -50));
    v->triggerAction(QAbstractSlider::SliderPageStepAdd);
    QCOMPARE(w.canvas()->pos(), QPoint(-101, -66));
    // Only the canvas moves: the fields keep their places on it.
    QWidget *source = w.control("cboSource");
    QCOMPARE(source->mapTo(w.canvas(), QPoint(0, 0)), QPoint(8, 24));
    QCOMPARE(source->mapTo(w.centralWidget(), QPoint(0, 0)), QPoint(8 - 101, 24 - 66));
}

void TestLayoutDrop::wheelScrollsCanvas()
{
    frmCorvane &w = shownWindow();
    resizeClient(w, QSize(667, 533));
    // A wheel turned over a control that has no use for it reaches the
    // window (Qt passes a real wheel event up to the parents), which
    // scrolls the canvas.
    auto wheel = [&](QPoint delta, Qt::KeyboardModifiers modifiers) {
        QWheelEvent event(QPointF(50, 50), w.mapToGlobal(QPointF(50, 50)), QPoint(), delta, Qt::NoButton,
                          modifiers, Qt::NoScrollPhase, false);
        QApplication::sendEvent(&w, &event);
    };
    wheel(QPoint(0, -120), Qt::NoModifier); // one notch down
    QCOMPARE(w.vScroll()->value(), 720);
    QCOMPARE(w.canvas()->pos(), QPoint(0, -48));
    wheel(QPoint(0, -120), Qt::ShiftModifier); // Shift turns it sideways
    QCOMPARE(w.hScroll()->value(), 720);
    QCOMPARE(w.canvas()->pos(), QPoint(-48, -48));
    wheel(QPoint(0, 240), Qt::NoModifier); // two notches up stop at the top
    QCOMPARE(w.vScroll()->value(), 0);
    QCOMPARE(w.canvas()->pos(), QPoint(-48, 0));

    // With the whole canvas shown there is nothing to scroll.
    resizeClient(w, kCanvasPixels);
    wheel(QPoint(0, -120), Qt::NoModifier);
    QCOMPARE(w.canvas()->pos(), QPoint(0, 0));
}

void TestLayoutDrop::wheelLeavesUnfocusedComboAlone()
{
    frmCorvane &w = shownWindow();
    w.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    auto *source = w.control<QComboBox>("cboSource");
    addListItem(source, u"/first"_s);
    addListItem(source, u"/second"_s);
    source->setCurrentIndex(0);
    w.control("txtFilenames")->setFocus();
    auto wheelDown = [&] {
        QWheelEvent event(QPointF(5, 5), source->mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, -120),
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(source, &event);
    };
    wheelDown();
    QCOMPARE(source->currentText(), u"/first"_s);
    QVERIFY(textOf(w.control("txtCommandLine")).contains(u"/first"_s));

    // The box the user works in takes the wheel as usual.
    source->setFocus();
    wheelDown();
    QCOMPARE(source->currentText(), u"/second"_s);
}

void TestLayoutDrop::draggedThumbMovesOnRelease()
{
    frmCorvane &w = shownWindow();
    resizeClient(w, QSize(667, 533));
    QScrollBar *h = w.hScroll();
    h->setSliderDown(true);
    h->setSliderPosition(3000);
    QCOMPARE(w.canvas()->x(), 0);
    h->setSliderDown(false);
    QCOMPARE(w.canvas()->x(), -200);
}

// Tab reaches the scroll bars between Execute and Copy when they show, and
// their keys scroll the canvas.
void TestLayoutDrop::keyboardScrolling_data()
{
    QTest::addColumn<bool>("vertical");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("value"); // after the key, from 1500 twips
    QTest::newRow("right arrow") << false << int(Qt::Key_Right) << 1515;
    QTest::newRow("left arrow") << false << int(Qt::Key_Left) << 1485;
    QTest::newRow("up arrow across") << false << int(Qt::Key_Up) << 1485;
    QTest::newRow("page down across") << false << int(Qt::Key_PageDown) << 1740;
    QTest::newRow("home across") << false << int(Qt::Key_Home) << 0;
    QTest::newRow("down arrow") << true << int(Qt::Key_Down) << 1515;
    QTest::newRow("up arrow") << true << int(Qt::Key_Up) << 1485;
    QTest::newRow("right arrow down") << true << int(Qt::Key_Right) << 1515;
    QTest::newRow("page down") << true << int(Qt::Key_PageDown) << 1740;
    QTest::newRow("page up") << true << int(Qt::Key_PageUp) << 1260;
}

void TestLayoutDrop::keyboardScrolling()
{
    QFETCH(bool, vertical);
    QFETCH(int, key);
    QFETCH(int, value);
    frmCorvane &w = shownWindow();
    w.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    QWidget *execute = w.control("cmdExecute");
    QWidget *copy = w.control("cmdCopy");
    auto press = [](int k) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key(k));
        return QApplication::focusWidget();
    };
    // Hidden bars are passed over.
    execute->setFocus();
    QCOMPARE(press(Qt::Key_Tab), copy);

    resizeClient(w, QSize(667, 533));
    w.hScroll()->setValue(1500);
    w.vScroll()->setValue(1500);
    execute->setFocus();
    const QImage unfocused = w.hScroll()->grab().toImage();
    QCOMPARE(press(Qt::Key_Tab), w.hScroll());
    QVERIFY(w.hScroll()->grab().toImage() != unfocused); // the bar shows that it has the focus
    if (vertical)
        QCOMPARE(press(Qt::Key_Tab), w.vScroll());
    QScrollBar *bar = vertical ? w.vScroll() : w.hScroll();
    press(key);
    QCOMPARE(bar->value(), value);
    QCOMPARE(w.canvas()->pos(), QPoint(-twipsToPixels(w.hScroll()->value()), -twipsToPixels(w.vScroll()->value())));
    if (!vertical)
        QCOMPARE(press(Qt::Key_Tab), w.vScroll());
    QCOMPARE(press(Qt::Key_Tab), copy);
    QCOMPARE(press(Qt::Key_Backtab), w.vScroll());
}

// A control that Tab or an access key moves to comes into view; the bars
// move the canvas, so they show where it stands.
void TestLayoutDrop::focusScrollsIntoView_data()
{
    QTest::addColumn<QString>("start");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<QPoint>("values"); // of the bars before the key
    QTest::addColumn<QString>("focused");
    const int tab = Qt::Key_Tab;
    QTest::newRow("Tab down to the command line") << u"txtLogFile"_s << tab << 0 << QPoint(9000, 0)
                                                  << u"txtCommandLine"_s;
    QTest::newRow("Backtab up to the file names") << u"chkSubdirectories"_s << int(Qt::Key_Backtab) << 0
                                                  << QPoint(3000, 3000) << u"txtFilenames"_s;
    QTest::newRow("Tab across to the jobs") << u"chkThreadsEnable"_s << tab << 0 << QPoint(0, 0) << u"txtJobRead"_s;
    QTest::newRow("access key to the log file") << u"cboSource"_s << int(Qt::Key_G) << int(Qt::AltModifier)
                                                << QPoint(0, 0) << u"txtLogFile"_s;
    QTest::newRow("Tab within view") << u"txtFilenames"_s << tab << 0 << QPoint(0, 0) << u"chkSubdirectories"_s;
}

void TestLayoutDrop::focusScrollsIntoView()
{
    QFETCH(QString, start);
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(QPoint, values);
    QFETCH(QString, focused);
    frmCorvane &w = shownWindow();
    w.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    resizeClient(w, QSize(400, 300));
    w.hScroll()->setValue(values.x());
    w.vScroll()->setValue(values.y());
    QWidget *target = w.control(QLatin1StringView(focused.toLatin1()));
    const QRect view(0, 0, w.vScroll()->x(), w.hScroll()->y());
    // As much of it as the view can hold, from its top left corner.
    auto inView = [&] {
        return view.contains(QRect(target->mapTo(w.centralWidget(), QPoint(0, 0)), target->size().boundedTo(view.size())));
    };
    const bool wasInView = inView();

    w.control(QLatin1StringView(start.toLatin1()))->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    QVERIFY2(target->hasFocus(), qPrintable(QApplication::focusWidget()->objectName()));
    QVERIFY(inView());
    QCOMPARE(w.canvas()->pos(), QPoint(-twipsToPixels(w.hScroll()->value()), -twipsToPixels(w.vScroll()->value())));
    if (wasInView)
        QCOMPARE(QPoint(w.hScroll()->value(), w.vScroll()->value()), values);
}

void TestLayoutDrop::valuesFollowResize()
{
    frmCorvane &w = shownWindow();
    resizeClient(w, QSize(500, 400));
    w.hScroll()->setValue(3000);
    w.vScroll()->setValue(1500);
    // Still scrolled after a resize that keeps the bars.
    resizeClient(w, QSize(520, 410));
    QCOMPARE(w.hScroll()->value(), 3000);
    QCOMPARE(w.vScroll()->value(), 1500);
    QCOMPARE(w.canvas()->pos(), QPoint(-200, -100));

    // Scrolled to the end, a larger window lowers Max below the value: the
    // canvas follows so that its far edge stays at the bar.
    w.hScroll()->setValue(w.hScroll()->maximum());
    w.vScroll()->setValue(w.vScroll()->maximum());
    resizeClient(w, QSize(900, 600));
    QCOMPARE(w.hScroll()->value(), w.hScroll()->maximum());
    QCOMPARE(w.canvas()->geometry().right() + 1, w.vScroll()->x());
    QCOMPARE(w.canvas()->geometry().bottom() + 1, w.hScroll()->y());

    // Widened until the bars hide: the canvas goes back to 0 on both axes.
    resizeClient(w, kCanvasPixels);
    QVERIFY(!w.hScroll()->isVisible());
    QVERIFY(!w.vScroll()->isVisible());
    QCOMPARE(w.hScroll()->value(), 0);
    QCOMPARE(w.vScroll()->value(), 0);
    QCOMPARE(w.canvas()->pos(), QPoint(0, 0));
}

void TestLayoutDrop::maximizeShowsCanvasInNormalWindow()
{
    frmCorvane &w = shownWindow();
    resizeClient(w, QSize(500, 400));
    w.hScroll()->setValue(2000);
    w.showMaximized();
    QTRY_VERIFY(!w.isMaximized());
    QTRY_COMPARE(clientSize(w), kCanvasPixels);
    QVERIFY(!w.hScroll()->isVisible());
    QVERIFY(!w.vScroll()->isVisible());
    QVERIFY(!w.filler()->isVisible());
    QCOMPARE(w.canvas()->pos(), QPoint(0, 0));
}

void TestLayoutDrop::minimizeAndRestore()
{
    frmCorvane &w = shownWindow();
    resizeClient(w, QSize(500, 400));
    w.hScroll()->setValue(2000);
    w.vScroll()->setValue(900);
    const QRect h = w.hScroll()->geometry();
    const QRect v = w.vScroll()->geometry();
    const QPoint canvas = w.canvas()->pos();

    w.showMinimized();
    QTRY_VERIFY(w.isMinimized());
    QCOMPARE(w.hScroll()->geometry(), h);
    QCOMPARE(w.vScroll()->geometry(), v);
    QCOMPARE(w.hScroll()->value(), 2000);
    QCOMPARE(w.vScroll()->value(), 900);
    QCOMPARE(w.canvas()->pos(), canvas);

    w.showNormal();
    QTRY_VERIFY(!w.isMinimized());
    QCOMPARE(clientSize(w), QSize(500, 400));
    QVERIFY(w.hScroll()->isVisible() && w.vScroll()->isVisible());
    QCOMPARE(w.canvas()->pos(), QPoint(-twipsToPixels(2000), -twipsToPixels(900)));
}

// Scrolled to the far corner of a small window, the Execute button shows
// whole beside the bars.
void TestLayoutDrop::farCornerShowsExecuteWhole()
{
    frmCorvane &w = shownWindow();
    resizeClient(w, QSize(520, 380));
    w.hScroll()->setValue(w.hScroll()->maximum());
    w.vScroll()->setValue(w.vScroll()->maximum());
    QWidget *execute = w.control("cmdExecute");
    const QRect shown(QPoint(0, 0), QSize(w.vScroll()->x(), w.hScroll()->y()));
    QVERIFY(shown.contains(QRect(execute->mapTo(w.centralWidget(), QPoint(0, 0)), execute->size())));
    // The corner square and the bars are drawn over the canvas, not under it.
    const QPoint corner = w.filler()->mapTo(&w, w.filler()->rect().center());
    QCOMPARE(w.childAt(corner), static_cast<QWidget *>(w.filler()));
}

// ---------------------------------------------------------------- pickers

void TestLayoutDrop::pickers_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("before");    // the box's text
    QTest::addColumn<QString>("picked");    // what the dialog returns
    QTest::addColumn<QString>("title");
    QTest::addColumn<bool>("newFolder");
    QTest::addColumn<QString>("after");

    const QString src = u"cmdBrowseSource"_s;
    const QString dst = u"cmdBrowseDestination"_s;
    QTest::newRow("source picked") << src << u"cboSource"_s << native(u"/data/start"_s) << u"/data/picked"_s
                                   << u"Source Folder"_s << false << native(u"/data/picked"_s);
    QTest::newRow("destination picked") << dst << u"cboDestination"_s << native(u"/backup/old"_s)
                                        << u"/backup/new folder"_s << u"Destination Folder"_s << true
                                        << native(u"/backup/new folder"_s);
    QTest::newRow("source from an empty box") << src << u"cboSource"_s << QString() << u"/srv/share"_s
                                              << u"Source Folder"_s << false << native(u"/srv/share"_s);
    QTest::newRow("destination from an empty box") << dst << u"cboDestination"_s << QString() << u"/mnt/usb"_s
                                                   << u"Destination Folder"_s << true << native(u"/mnt/usb"_s);
    QTest::newRow("source cancelled") << src << u"cboSource"_s << native(u"/data/start"_s) << QString()
                                      << u"Source Folder"_s << false << native(u"/data/start"_s);
    QTest::newRow("destination cancelled") << dst << u"cboDestination"_s << u"D:\\Backup"_s << QString()
                                           << u"Destination Folder"_s << true << u"D:\\Backup"_s;
    QTest::newRow("drive root keeps its separator") << src << u"cboSource"_s << QString() << u"C:/"_s
                                                    << u"Source Folder"_s << false << native(u"C:/"_s);
    // A name holding a double quote cannot be put on a command line.
    const QString evil = u"/data/ev\" & touch pwned & \"il"_s;
    QTest::newRow("source holding a quote refused") << src << u"cboSource"_s << native(u"/data/start"_s) << evil
                                                    << u"Source Folder"_s << false << native(u"/data/start"_s);
    QTest::newRow("destination holding a quote refused") << dst << u"cboDestination"_s << QString() << evil
                                                         << u"Destination Folder"_s << true << QString();
    QTest::newRow("start folder that does not exist") << dst << u"cboDestination"_s << native(u"/no/such/place"_s)
                                                      << u"/tmp"_s << u"Destination Folder"_s << true
                                                      << native(u"/tmp"_s);
}

void TestLayoutDrop::pickers()
{
    QFETCH(QString, button);
    QFETCH(QString, box);
    QFETCH(QString, before);
    QFETCH(QString, picked);
    QFETCH(QString, title);
    QFETCH(bool, newFolder);
    QFETCH(QString, after);

    frmCorvane &w = *m_window;
    auto *combo = w.control<QComboBox>(QLatin1StringView(box.toLatin1()));
    QVERIFY(combo);
    const QStringList recent = {u"/recent/one"_s, u"/recent/two"_s};
    combo->addItems(recent);
    setTextOf(combo, before);
    const QString commandBefore = commandOf(w);
    m_pick = picked;

    w.control<QPushButton>(QLatin1StringView(button.toLatin1()))->click();

    QCOMPARE(m_requests.size(), 1);
    const FolderDialogRequest &request = m_requests.first();
    QCOMPARE(request.owner, static_cast<QWidget *>(&w));
    QCOMPARE(request.title, title);
    QCOMPARE(request.startFolder, QDir::fromNativeSeparators(before));
    // Only the destination's dialog offers a new folder; both show folders only.
    QCOMPARE(request.options, newFolder ? QFileDialog::ShowDirsOnly : QFileDialog::ShowDirsOnly | QFileDialog::ReadOnly);

    QCOMPARE(textOf(combo), after);
    QCOMPARE(listOf(combo), recent);
    // A pick that leaves the box as it was is refused, and says why.
    const bool refused = !picked.isEmpty() && after == before;
    QCOMPARE(shown().size(), refused ? 1 : 0);
    if (refused) {
        QCOMPARE(shown().first().style, int(vbExclamation));
        QVERIFY2(shown().first().prompt.contains(native(picked)), qPrintable(shown().first().prompt));
        shown().clear();
    }
    if (picked.isEmpty() || refused) {
        QCOMPARE(commandOf(w), commandBefore);
    } else {
        QVERIFY(commandOf(w) != commandBefore);
        QVERIFY2(commandOf(w).contains(after), qPrintable(commandOf(w)));
    }
}

// ---------------------------------------------------------------- paths and rules

void TestLayoutDrop::pathParts_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QString>("folder");

    QTest::newRow("file") << u"C:\\Data\\report.txt"_s << u"report.txt"_s << u"C:\\Data"_s;
    QTest::newRow("folder") << u"C:\\Data\\Sub"_s << u"Sub"_s << u"C:\\Data"_s;
    QTest::newRow("folder with trailing backslash") << u"C:\\Data\\Sub\\"_s << QString() << u"C:\\Data"_s;
    QTest::newRow("file in a drive root") << u"C:\\report.txt"_s << u"report.txt"_s << u"C:"_s;
    QTest::newRow("drive root") << u"C:\\"_s << QString() << QString();
    QTest::newRow("bare drive") << u"C:"_s << u"C:"_s << QString();
    QTest::newRow("share") << u"\\\\server\\share\\file.txt"_s << u"file.txt"_s << u"\\\\server\\share"_s;
    QTest::newRow("posix file") << u"/home/ann/report.txt"_s << u"report.txt"_s << u"/home/ann"_s;
    QTest::newRow("posix folder with slash") << u"/home/ann/"_s << QString() << u"/home"_s;
    QTest::newRow("file in the posix root") << u"/report.txt"_s << u"report.txt"_s << u"/"_s;
    QTest::newRow("folder in the posix root") << u"/home/"_s << QString() << u"/"_s;
    QTest::newRow("posix root") << u"/"_s << QString() << QString();
    QTest::newRow("mixed separators") << u"C:/Data\\mixed/name.txt"_s << u"name.txt"_s << u"C:/Data\\mixed"_s;
    QTest::newRow("names with blanks") << u"D:\\My Files\\a b.txt"_s << u"a b.txt"_s << u"D:\\My Files"_s;
    QTest::newRow("no separator") << u"report.txt"_s << u"report.txt"_s << QString();
    QTest::newRow("empty") << QString() << QString() << QString();
}

void TestLayoutDrop::pathParts()
{
    QFETCH(QString, path);
    QFETCH(QString, fileName);
    QFETCH(QString, folder);
    QCOMPARE(FileNamePart(path), fileName);
    QCOMPARE(FolderPart(path), folder);
}

void TestLayoutDrop::dropRules_data()
{
    QTest::addColumn<QStringList>("items");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("pathList");
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QString>("fileNameList");

    QTest::newRow("three files")
        << QStringList{u"C:\\D\\a.txt"_s, u"C:\\D\\b.txt"_s, u"C:\\D\\c.txt"_s} << u"C:\\D\\a.txt"_s
        << u"\"C:\\D\\a.txt\" \"C:\\D\\b.txt\" \"C:\\D\\c.txt\""_s << u"a.txt"_s
        << u"\"a.txt\" \"b.txt\" \"c.txt\" "_s;
    QTest::newRow("two folders") << QStringList{u"C:\\Data\\One"_s, u"C:\\Data\\Two"_s} << u"C:\\Data\\One"_s
                                 << u"\"C:\\Data\\One\" \"C:\\Data\\Two\""_s << u"One"_s << u"\"One\" \"Two\" "_s;
    QTest::newRow("names with blanks") << QStringList{u"/home/ann/My Files/a b.txt"_s, u"/home/ann/c d"_s}
                                       << u"/home/ann/My Files/a b.txt"_s
                                       << u"\"/home/ann/My Files/a b.txt\" \"/home/ann/c d\""_s << u"a b.txt"_s
                                       << u"\"a b.txt\" \"c d\" "_s;
    QTest::newRow("one item") << QStringList{u"/var/log/x.log"_s} << u"/var/log/x.log"_s << u"\"/var/log/x.log\""_s
                              << u"x.log"_s << u"\"x.log\" "_s;
    QTest::newRow("blanks around an item") << QStringList{u" C:\\x\\y.txt "_s} << u" C:\\x\\y.txt "_s
                                           << u"\"C:\\x\\y.txt\""_s << u"y.txt "_s << u"\"y.txt\" "_s;
    QTest::newRow("drive root") << QStringList{u"C:\\"_s} << u"C:\\"_s << u"\"C:\\\""_s << QString() << u"\"\" "_s;
    QTest::newRow("no items") << QStringList{} << QString() << QString() << QString() << QString();
}

void TestLayoutDrop::dropRules()
{
    QFETCH(QStringList, items);
    QFETCH(QString, path);
    QFETCH(QString, pathList);
    QFETCH(QString, fileName);
    QFETCH(QString, fileNameList);
    QCOMPARE(frmCorvane::GetDroppedPath(items), path);
    QCOMPARE(frmCorvane::GetDroppedPathList(items), pathList);
    QCOMPARE(frmCorvane::GetDroppedFileName(items), fileName);
    QCOMPARE(frmCorvane::GetDroppedFileNameList(items), fileNameList);
}

void TestLayoutDrop::droppedPaths()
{
    QMimeData mixed;
    mixed.setUrls({QUrl::fromLocalFile(u"/data/a b.txt"_s), QUrl(u"https://example.org/x"_s),
                   QUrl::fromLocalFile(u"/data/sub"_s)});
    mixed.setText(u"ignored"_s);
    QCOMPARE(frmCorvane::droppedPaths(&mixed), (QStringList{native(u"/data/a b.txt"_s), native(u"/data/sub"_s)}));

    QCOMPARE(frmCorvane::droppedPaths(textData(u"/data/a.txt"_s).get()), QStringList());
    QMimeData webOnly;
    webOnly.setUrls({QUrl(u"https://example.org/x"_s)});
    QCOMPARE(frmCorvane::droppedPaths(&webOnly), QStringList());
    QCOMPARE(frmCorvane::droppedPaths(nullptr), QStringList());
}

// ---------------------------------------------------------------- drops on the window

void TestLayoutDrop::dropTargetsAreExactlyTheEleven()
{
    QHash<QString, DropRule> marked;
    for (const ControlSpec &entry : controlCatalogue())
        if (entry.drop != DropRule::None)
            marked.insert(QString::fromLatin1(entry.name), entry.drop);
    QCOMPARE(marked, expectedTargets());

    // No widget of the window accepts drops except the eleven themselves.
    frmCorvane &w = *m_window;
    QSet<QString> accepting;
    const auto widgets = w.findChildren<QWidget *>();
    for (QWidget *child : widgets)
        if (child->acceptDrops())
            accepting.insert(child->objectName());
    QVERIFY(!w.acceptDrops());
    const auto keys = expectedTargets().keys();
    QCOMPARE(accepting, QSet<QString>(keys.cbegin(), keys.cend()));
}

void TestLayoutDrop::dropOnTarget_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("expected");

    const QStringList items = {u"/data/My Files/first one.txt"_s, u"/data/Other/second.txt"_s};
    const QString first = native(items[0]);
    const QString pathList = u"\""_s + native(items[0]) + u"\" \""_s + native(items[1]) + u"\""_s;
    const QString nameList = u"\"first one.txt\" \"second.txt\" "_s;
    for (auto it = expectedTargets().cbegin(); it != expectedTargets().cend(); ++it) {
        QString expected;
        switch (it.value()) {
        case DropRule::Path: expected = first; break;
        case DropRule::PathList: expected = pathList; break;
        case DropRule::FileName: expected = u"first one.txt"_s; break;
        case DropRule::FileNameList: expected = nameList; break;
        case DropRule::None: break;
        }
        QTest::newRow(qPrintable(it.key())) << it.key() << expected;
    }
}

void TestLayoutDrop::dropOnTarget()
{
    QFETCH(QString, target);
    QFETCH(QString, expected);
    frmCorvane &w = shownWindow();
    QWidget *field = w.control(QLatin1StringView(target.toLatin1()));
    QVERIFY(field);
    // Earlier text, several lines of it in a multi-line box, is replaced.
    setTextOf(field, u"earlier\ntext"_s);
    if (target != u"cboSource")
        setTextOf(w.control("cboSource"), u"/kept/source"_s);
    const QString sourceBefore = textOf(w.control("cboSource"));
    const QString commandBefore = commandOf(w);

    const auto data = filesData({u"/data/My Files/first one.txt"_s, u"/data/Other/second.txt"_s});
    const DropOutcome out = dropAt(w, field, *data);
    QVERIFY(out.entered);
    QVERIFY(out.dropped);
    QCOMPARE(out.action, Qt::CopyAction);
    QCOMPARE(textOf(field), expected);
    QVERIFY(commandOf(w) != commandBefore);
    QVERIFY2(commandOf(w).contains(expected.trimmed()), qPrintable(commandOf(w)));
    if (target != u"cboSource")
        QCOMPARE(textOf(w.control("cboSource")), sourceBefore);

    // A second drop replaces the first; it never appends.
    const auto again = filesData({u"/other/third.txt"_s});
    QVERIFY(dropAt(w, field, *again).dropped);
    QVERIFY(!textOf(field).contains(u"first one.txt"_s));
    QVERIFY(textOf(field).contains(u"third.txt"_s));
}

void TestLayoutDrop::refusedDrops_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<bool>("files");              // files, or plain text
    QTest::addColumn<Qt::DropActions>("actions");

    const Qt::DropActions all = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;
    // Files on controls that are no drop targets.
    for (const char *name : {"txtRetryCount", "txtMinBytes", "txtAllowedStart", "txtCommandLine", "chkMirror",
                             "chkLogAppend", "cmdExecute", "cmdBrowseSource", "Label11", "Frame12", "Label33"})
        QTest::newRow(qPrintable(u"files on "_s + QLatin1StringView(name))) << QString::fromLatin1(name) << true << all;
    // Plain text on every drop target and on other text fields.
    const auto targets = expectedTargets().keys();
    for (const QString &name : targets)
        QTest::newRow(qPrintable(u"text on "_s + name)) << name << false << all;
    for (const char *name : {"txtRetryWait", "txtCommandLine", "txtMaxAge"})
        QTest::newRow(qPrintable(u"text on "_s + QLatin1StringView(name))) << QString::fromLatin1(name) << false << all;
    // A drag that could only move the files is never taken: the file manager
    // would delete them.
    QTest::newRow("move-only files on cboDestination") << u"cboDestination"_s << true << Qt::DropActions(Qt::MoveAction);
    QTest::newRow("move-only files on txtExcludeFiles") << u"txtExcludeFiles"_s << true << Qt::DropActions(Qt::MoveAction);
}

void TestLayoutDrop::refusedDrops()
{
    QFETCH(QString, control);
    QFETCH(bool, files);
    QFETCH(Qt::DropActions, actions);
    frmCorvane &w = shownWindow();
    QWidget *target = w.control(QLatin1StringView(control.toLatin1()));
    QVERIFY(target);

    QHash<QString, QString> textsBefore;
    for (QWidget *c : w.controls())
        textsBefore.insert(c->objectName(), textOf(c));

    const auto data = files ? filesData({u"/data/a.txt"_s, u"/data/b.txt"_s}) : textData(u"dragged text"_s);
    const DropOutcome out = dropAt(w, target, *data, actions);
    QVERIFY(!out.entered);
    QVERIFY(!out.dropped);
    for (QWidget *c : w.controls())
        QCOMPARE(textOf(c), textsBefore.value(c->objectName()));
}

// A drop sent straight to a field or to the editor inside it, not routed by
// the window: files reach the field that owns the editor when it is a drop
// target, and nothing else changes any text.
void TestLayoutDrop::directDrops_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("part");      // "editor", "viewport" or empty for the field itself
    QTest::addColumn<bool>("files");
    QTest::addColumn<QString>("expected");  // the field's text after; empty: unchanged

    QTest::newRow("text on the source's editor") << u"cboSource"_s << u"editor"_s << false << QString();
    QTest::newRow("text on an exclude list's viewport") << u"txtExcludeFiles"_s << u"viewport"_s << false << QString();
    QTest::newRow("text on the command box's viewport") << u"txtCommandLine"_s << u"viewport"_s << false << QString();
    QTest::newRow("text on the log file") << u"txtLogFile"_s << QString() << false << QString();
    QTest::newRow("text on the retry count") << u"txtRetryCount"_s << QString() << false << QString();
    QTest::newRow("files on the retry count") << u"txtRetryCount"_s << QString() << true << QString();
    QTest::newRow("files on the command box's viewport") << u"txtCommandLine"_s << u"viewport"_s << true << QString();
    QTest::newRow("files on the source's editor") << u"cboSource"_s << u"editor"_s << true << native(u"/data/a.txt"_s);
    QTest::newRow("files on an exclude list's viewport") << u"txtExcludeFolders"_s << u"viewport"_s << true
                                                        << u"\""_s + native(u"/data/a.txt"_s) + u"\""_s;
}

void TestLayoutDrop::directDrops()
{
    QFETCH(QString, field);
    QFETCH(QString, part);
    QFETCH(bool, files);
    QFETCH(QString, expected);
    frmCorvane &w = shownWindow();
    QWidget *control = w.control(QLatin1StringView(field.toLatin1()));
    QWidget *receiver = control;
    if (part == u"editor")
        receiver = qobject_cast<QComboBox *>(control)->lineEdit();
    else if (part == u"viewport")
        receiver = qobject_cast<QPlainTextEdit *>(control)->viewport();
    QVERIFY(receiver);

    QHash<QString, QString> textsBefore;
    for (QWidget *c : w.controls())
        textsBefore.insert(c->objectName(), textOf(c));
    const auto data = files ? filesData({u"/data/a.txt"_s}) : textData(u"dragged text"_s);
    const QPoint pos = receiver->rect().center();
    QDragEnterEvent enter(pos, Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(receiver, &enter);
    QDropEvent drop(QPointF(pos), Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(receiver, &drop);

    QCOMPARE(drop.isAccepted(), !expected.isEmpty());
    for (QWidget *c : w.controls()) {
        const QString before = textsBefore.value(c->objectName());
        if (c == control && !expected.isEmpty())
            QCOMPARE(textOf(c), expected);
        else if (c->objectName() != u"txtCommandLine" || expected.isEmpty())
            QCOMPARE(textOf(c), before);
    }
}

void TestLayoutDrop::fileNamesFillSource_data()
{
    QTest::addColumn<QString>("source");        // the source box before the drop
    QTest::addColumn<QStringList>("items");
    QTest::addColumn<QString>("names");         // the file-name field after
    QTest::addColumn<QString>("sourceAfter");

    const QStringList twoFiles = {u"/data/Photos 2024/a.jpg"_s, u"/data/Photos 2024/b c.jpg"_s};
    QTest::newRow("empty source takes the folder") << QString() << twoFiles << u"\"a.jpg\" \"b c.jpg\" "_s
                                                   << native(u"/data/Photos 2024"_s);
    QTest::newRow("filled source stays") << u"E:\\Elsewhere"_s << twoFiles << u"\"a.jpg\" \"b c.jpg\" "_s
                                         << u"E:\\Elsewhere"_s;
    QTest::newRow("a single blank counts as filled") << u" "_s << twoFiles << u"\"a.jpg\" \"b c.jpg\" "_s << u" "_s;
    QTest::newRow("folder dropped: its parent") << QString() << QStringList{u"/data/Photos 2024"_s}
                                                << u"\"Photos 2024\" "_s << native(u"/data"_s);
#ifdef Q_OS_WIN
    // A file in a drive root names the drive alone, as FolderPart has it.
    QTest::newRow("file in a drive root: the drive") << QString() << QStringList{u"C:/report.txt"_s}
                                                     << u"\"report.txt\" "_s << u"C:"_s;
    QTest::newRow("a drive itself: source unchanged") << QString() << QStringList{u"C:/"_s} << u"\"\" "_s << QString();
#else
    QTest::newRow("file in the root: the root") << QString() << QStringList{u"/report.txt"_s}
                                                << u"\"report.txt\" "_s << native(u"/"_s);
    QTest::newRow("the root itself: source unchanged") << QString() << QStringList{u"/"_s} << u"\"\" "_s << QString();
#endif
}

void TestLayoutDrop::fileNamesFillSource()
{
    QFETCH(QString, source);
    QFETCH(QStringList, items);
    QFETCH(QString, names);
    QFETCH(QString, sourceAfter);
    frmCorvane &w = shownWindow();
    auto *combo = w.control<QComboBox>("cboSource");
    combo->addItems({u"/recent/a"_s, u"/recent/b"_s});
    setTextOf(combo, source);

    const auto data = filesData(items);
    QVERIFY(dropAt(w, w.control("txtFilenames"), *data).dropped);
    QCOMPARE(textOf(w.control("txtFilenames")), names);
    QCOMPARE(textOf(combo), sourceAfter);
    QCOMPARE(combo->count(), 2);
    if (!sourceAfter.trimmed().isEmpty())
        QVERIFY2(commandOf(w).contains(sourceAfter), qPrintable(commandOf(w)));
}

// A drop of many files fills the field whole, far beyond a line edit's
// default limit of 32,767 characters, and the command takes it all.
void TestLayoutDrop::dropOfManyFiles_data()
{
    QTest::addColumn<QString>("target");
    QTest::newRow("file names") << u"txtFilenames"_s;
    QTest::newRow("job include files") << u"txtJobIncludeFiles"_s;
}

void TestLayoutDrop::dropOfManyFiles()
{
    QFETCH(QString, target);
    frmCorvane &w = shownWindow();
    QWidget *field = w.control(QLatin1StringView(target.toLatin1()));
    QStringList paths;
    for (int i = 1; i <= 1500; ++i)
        paths << u"/data/Scans 2024/scan %1 of the yearly archive.pdf"_s.arg(i, 4, 10, QChar(u'0'));

    QVERIFY(dropAt(w, field, *filesData(paths)).dropped);
    const QString text = textOf(field);
    QVERIFY2(text.size() > 32767, qPrintable(QString::number(text.size())));
    QCOMPARE(text.count(u'"'), 2 * paths.size());
    QVERIFY2(text.endsWith(u"\"scan 1500 of the yearly archive.pdf\" "_s), qPrintable(text.right(80)));
    QVERIFY(commandOf(w).contains(text.trimmed()));
}

// A name holding a double quote would end the quotes around it on the command
// line. The items a field takes may not hold one; the drop is refused whole.
void TestLayoutDrop::unquotableNames_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<QStringList>("items");
    QTest::addColumn<bool>("refused");
    const QString evil = u"/data/ev\" & touch pwned & \"il.txt"_s;
    const QString plain = u"/data/plain.txt"_s;
    for (auto it = expectedTargets().cbegin(); it != expectedTargets().cend(); ++it) {
        const bool list = it.value() == DropRule::PathList || it.value() == DropRule::FileNameList;
        QTest::newRow(qPrintable(it.key() + u", first item"_s)) << it.key() << QStringList{evil, plain} << true;
        QTest::newRow(qPrintable(it.key() + u", second item"_s)) << it.key() << QStringList{plain, evil} << list;
    }
}

void TestLayoutDrop::unquotableNames()
{
    QFETCH(QString, target);
    QFETCH(QStringList, items);
    QFETCH(bool, refused);
    frmCorvane &w = shownWindow();
    QWidget *field = w.control(QLatin1StringView(target.toLatin1()));
    setTextOf(field, u"earlier"_s);
    QHash<QString, QString> textsBefore;
    for (QWidget *c : w.controls())
        textsBefore.insert(c->objectName(), textOf(c));

    const DropOutcome out = dropAt(w, field, *filesData(items));
    QVERIFY(out.entered);
    QCOMPARE(out.dropped, !refused);
    QCoreApplication::processEvents(); // the message follows the drop
    if (!refused) {
        QVERIFY(textOf(field) != u"earlier"_s);
        return;
    }
    for (QWidget *c : w.controls())
        QCOMPARE(textOf(c), textsBefore.value(c->objectName()));
    QCOMPARE(shown().size(), 1);
    QCOMPARE(shown().first().style, int(vbExclamation));
    QVERIFY2(shown().first().prompt.contains(native(items.filter(u"\""_s).first())), qPrintable(shown().first().prompt));
    shown().clear();
}

QTEST_MAIN(TestLayoutDrop)
#include "test_layout_drop.moc"
