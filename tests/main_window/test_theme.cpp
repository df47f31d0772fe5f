// Every kind of control of the main window, drawn under each theme, can be
// seen and read: measured on the window as drawn, not on the palette.
#include "main_window/CaptionColours.h"
#include "main_window/Controls.h"
#include "main_window/ReadableTheme.h"
#include "main_window/frmCorvane.h"

#include "Themes.h"
#include "WindowTest.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHash>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionGroupBox>
#include <QStyleOptionSlider>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

namespace {

// Contrasts as measured on the picture. Anti-aliased glyphs of the small
// window font seldom reach their full colour: a caption drawn at 4.5 to 1
// measures about 4, the version key's red on a light grey window 3.3, and
// greyed text drawn at 3 to 1 about 2.7.
constexpr double kText = 3.0;
constexpr double kGreyed = 2.5;
// Edges, boxes and thumbs on a dark theme, which the program draws itself:
// 3 to 1, as asked of the parts of a control. On a light theme the platform's
// own look stays, which draws some of them faintly (Fusion's frames measure
// 1.2 to 1): there they only must not vanish.
constexpr double kEdge = 3.0;
constexpr double kFaintEdge = 1.15;

// The window as drawn, and what stands out in it.
class Picture
{
public:
    explicit Picture(QWidget *window) : m_window(window), m_image(window->grab().toImage()) {}

    // A widget, or a part of it, in the picture.
    QRect of(const QWidget *w, const QRect &part) const
    {
        return QRect(w->mapTo(m_window, part.topLeft()), part.size()) & m_image.rect();
    }
    QRect of(const QWidget *w) const { return of(w, w->rect()); }

    // The colour of most pixels of the area outside the hole: the face
    // things are drawn on.
    QColor face(const QRect &area, const QRect &hole = {}) const
    {
        QHash<QRgb, int> counts;
        each(area, hole, [&](QRgb pixel) { ++counts[pixel]; });
        return QColor(std::max_element(counts.cbegin(), counts.cend()).key());
    }

    // The strongest contrast of a pixel of the area outside the hole against the colour.
    double strongest(const QRect &area, const QColor &against, const QRect &hole = {}) const
    {
        double best = 1;
        each(area, hole, [&](QRgb pixel) { best = std::max(best, ContrastRatio(QColor(pixel), against)); });
        return best;
    }

    // How far the two outermost rings of pixels of the area stand out from
    // the ring of three just outside it.
    double edge(const QRect &area) const
    {
        return strongest(area, face(area.adjusted(-3, -3, 3, 3) & m_image.rect(), area), area.adjusted(2, 2, -2, -2));
    }

private:
    template <typename F>
    void each(const QRect &area, const QRect &hole, F f) const
    {
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = area.left(); x <= area.right(); ++x)
                if (!hole.contains(x, y))
                    f(m_image.pixel(x, y) | 0xFF000000u);
    }

    QWidget *m_window;
    QImage m_image;
};

} // namespace

class TestTheme : public WindowTest
{
    Q_OBJECT

private slots:
    void initTestCase() { FollowThemeReadably(); }
    void readable_data();
    void readable();
};

void TestTheme::readable_data()
{
    QTest::addColumn<QPalette>("palette");
    QTest::newRow("the system's") << QApplication::palette();
    for (const Theme &theme : Themes())
        QTest::newRow(qPrintable(theme.name)) << theme.palette;
}

// Captions and typed text read on their own face; check boxes, fields,
// buttons, frames and scroll bar thumbs stand out from what lies around them.
void TestTheme::readable()
{
    QFETCH(QPalette, palette);
    const bool dark = IsDarkWindow(palette);
    const double edge = dark ? kEdge : kFaintEdge;
    const double greyed = dark ? kGreyed : 0; // greyed text on a light theme is the platform's affair
    // Made readable once for all: the program sets it again only when it changes.
    const QPalette readable = ReadablePalette(palette);
    QCOMPARE(ReadablePalette(readable), readable);
    if (!dark)
        QCOMPARE(readable, palette);

    auto window = newWindow();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    setTextOf(window->control("cboSource"), u"C:\\Data"_s);
    setTextOf(window->control("txtRetryCount"), u"3"_s);
    const ScopedAppPalette theme(palette); // chosen while the window is open
    QStringList faults;
    auto expect = [&](const QWidget *w, const char *what, double measured, double minimum) {
        if (measured < minimum)
            faults << u"%1 %2: %3 to 1"_s.arg(w->objectName(), QLatin1StringView(what)).arg(measured, 0, 'f', 2);
    };

    // The whole canvas, then a small window for its scroll bars.
    const Picture whole(window.get());
    for (QWidget *c : window->controls()) {
        const QRect r = whole.of(c);
        const QRect inside = r.adjusted(4, 4, -4, -4);
        const double caption = c->isEnabled() ? kText : greyed;
        switch (controlKind(c).value()) {
        case ControlKind::Label:
            expect(c, "caption", whole.strongest(r, whole.face(r)), caption);
            break;
        case ControlKind::CheckBox: {
            QStyleOptionButton option;
            option.initFrom(c);
            const QRect box = whole.of(c, c->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, c));
            expect(c, "box", whole.strongest(box, whole.face(r)), edge);
            if (!static_cast<QCheckBox *>(c)->text().isEmpty())
                expect(c, "caption", whole.strongest(r, whole.face(r), box), caption);
            break;
        }
        case ControlKind::Frame: {
            QStyleOptionGroupBox option;
            option.initFrom(c);
            option.text = static_cast<QGroupBox *>(c)->title();
            option.subControls = QStyle::SC_GroupBoxLabel | QStyle::SC_GroupBoxFrame;
            const QRect title = c->style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, c);
            expect(c, "caption", whole.strongest(whole.of(c, title), whole.face(r)), caption);
            // The left side of the frame, half-way down.
            expect(c, "edge", whole.strongest(QRect(r.left(), r.center().y() - 4, 4, 8), whole.face(r)), edge);
            break;
        }
        case ControlKind::Button:
            expect(c, "caption", whole.strongest(inside, whole.face(inside)), caption);
            expect(c, "edge", whole.edge(r), edge);
            break;
        case ControlKind::TextBox:
        case ControlKind::ComboBox:
            expect(c, "edge", whole.edge(r), edge);
            if (!textOf(c).isEmpty())
                expect(c, "text", whole.strongest(inside, whole.face(inside)), caption);
            break;
        }
    }
    const QRect menus = whole.of(window->menuBar());
    expect(window->menuBar(), "captions", whole.strongest(menus, whole.face(menus)), kText);

    window->resize(window->size() - window->centralWidget()->size() + QSize(520, 380));
    QCoreApplication::processEvents();
    const Picture small(window.get());
    for (QScrollBar *bar : {window->hScroll(), window->vScroll()}) {
        QVERIFY(bar->isVisible());
        QStyleOptionSlider option;
        option.initFrom(bar);
        option.orientation = bar->orientation();
        option.maximum = bar->maximum();
        option.sliderPosition = option.sliderValue = bar->value();
        option.pageStep = bar->pageStep();
        auto part = [&](QStyle::SubControl sc) {
            return small.of(bar, bar->style()->subControlRect(QStyle::CC_ScrollBar, &option, sc, bar));
        };
        expect(bar, "thumb", small.strongest(part(QStyle::SC_ScrollBarSlider), small.face(part(QStyle::SC_ScrollBarGroove))), edge);
    }
    QVERIFY2(faults.isEmpty(), qPrintable(faults.join(u"; "_s)));
}

QTEST_MAIN(TestTheme)
#include "test_theme.moc"
