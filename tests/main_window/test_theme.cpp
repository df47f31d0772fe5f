// Every kind of control of the main window can be seen and read under each
// theme: measured on the window as drawn, not on the palette.
#include "main_window/CaptionColours.h"
#include "main_window/Controls.h"
#include "main_window/ReadableTheme.h"
#include "main_window/frmCorvane.h"

#include "Themes.h"
#include "WindowTest.h"

#include <QApplication>
#include <QCheckBox>
#include <QHash>
#include <QMenuBar>
#include <QScrollBar>
#include <QStyleOptionButton>
#include <QStyleOptionSlider>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

namespace {

// Measured contrasts. Anti-aliased glyphs of the small window font seldom
// reach their full colour: text drawn at 4.5 to 1 measures about 4, the
// version key's red on light grey 3.3, greyed text drawn at 3 to 1 about 2.7.
// Edges on a dark theme, which the program draws itself, 3 to 1; a light
// theme keeps the platform's look, whose frames measure 1.2 in Fusion.
constexpr double kText = 3.0, kGreyed = 2.5, kEdge = 3.0, kFaintEdge = 1.15;

// The window as drawn.
class Picture
{
public:
    explicit Picture(QWidget *window) : m_window(window), m_image(window->grab().toImage()) {}

    QRect of(const QWidget *w, const QRect &part) const
    {
        return QRect(w->mapTo(m_window, part.topLeft()), part.size()) & m_image.rect();
    }
    QRect of(const QWidget *w) const { return of(w, w->rect()); }

    // The colour of most pixels of the area outside the hole.
    QColor face(const QRect &area, const QRect &hole = {}) const
    {
        QHash<QRgb, int> counts;
        each(area, hole, [&](QRgb pixel) { ++counts[pixel]; });
        return QColor(std::max_element(counts.cbegin(), counts.cend()).key());
    }

    // The strongest contrast against the colour of a pixel of the area outside the hole.
    double strongest(const QRect &area, const QColor &against, const QRect &hole = {}) const
    {
        double best = 1;
        each(area, hole, [&](QRgb pixel) { best = std::max(best, ContrastRatio(QColor(pixel), against)); });
        return best;
    }
    double onItsFace(const QRect &area) const { return strongest(area, face(area)); }

    // The two outermost rings of pixels of the area against the three just outside it.
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
// buttons, frames and scroll bar thumbs stand out from what is around them.
void TestTheme::readable()
{
    QFETCH(QPalette, palette);
    const bool dark = IsDarkWindow(palette);
    const double edge = dark ? kEdge : kFaintEdge, greyed = dark ? kGreyed : 0;
    // Made readable once for all, so the program sets it once; a light one is left as it is.
    const QPalette readable = ReadablePalette(palette);
    QCOMPARE(ReadablePalette(readable), dark ? readable : palette);

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

    const Picture whole(window.get());
    for (QWidget *c : window->controls()) {
        const QRect r = whole.of(c), inside = r.adjusted(4, 4, -4, -4);
        const double caption = c->isEnabled() ? kText : greyed;
        switch (controlKind(c).value()) {
        case ControlKind::Label:
            expect(c, "caption", whole.onItsFace(r), caption);
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
        case ControlKind::Frame: // its left side, half-way down
            expect(c, "edge", whole.strongest(QRect(r.left(), r.center().y() - 4, 4, 8), whole.face(r)), edge);
            break;
        case ControlKind::Button:
            expect(c, "caption", whole.onItsFace(inside), caption);
            expect(c, "edge", whole.edge(r), edge);
            break;
        case ControlKind::TextBox:
        case ControlKind::ComboBox:
            expect(c, "edge", whole.edge(r), edge);
            if (!textOf(c).isEmpty())
                expect(c, "text", whole.onItsFace(inside), caption);
            break;
        }
    }
    expect(window->menuBar(), "captions", whole.onItsFace(whole.of(window->menuBar())), kText);

    // A small window, for its scroll bars.
    window->resize(window->size() - window->centralWidget()->size() + QSize(520, 380));
    QCoreApplication::processEvents();
    const Picture small(window.get());
    for (QScrollBar *bar : {window->hScroll(), window->vScroll()}) {
        QVERIFY(bar->isVisible());
        QStyleOptionSlider option;
        option.initFrom(bar);
        option.orientation = bar->orientation();
        option.maximum = bar->maximum();
        option.sliderPosition = bar->value();
        option.pageStep = bar->pageStep();
        auto part = [&](QStyle::SubControl sc) {
            return small.of(bar, bar->style()->subControlRect(QStyle::CC_ScrollBar, &option, sc, bar));
        };
        const QColor groove = small.face(part(QStyle::SC_ScrollBarGroove));
        expect(bar, "thumb", small.strongest(part(QStyle::SC_ScrollBarSlider), groove), edge);
    }
    QVERIFY2(faults.isEmpty(), qPrintable(faults.join(u"; "_s)));
}

QTEST_MAIN(TestTheme)
#include "test_theme.moc"
