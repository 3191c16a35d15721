#include "platform/exitcode.h"
#include "support/fakedesktop.h"
#include "support/paramnames.h"
#include "window/frmupdate.h"
#include "window/icon.h"
#include "window/progressbar.h"

#include <QCheckBox>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <optional>
#include <set>
#include <vector>

namespace {

int px(int twips)
{
    return qRound(twips / 15.0);
}

// The exit code the window ended the program with, or nothing if it did not.
std::optional<int> endedWith(const std::function<void()> &action)
{
    try {
        action();
    } catch (const ProgramEnded &ended) {
        return ended.exitCode;
    }
    return std::nullopt;
}

class WindowTest : public ::testing::Test
{
protected:
    FakeDesktop desktop;
    FrmUpdate w{desktop};
};

// ---------------------------------------------------------------- controls

enum class Kind { Button, Label, LineEdit, PlainText, CheckBox, Bar };

struct Control
{
    const char *name;
    QWidget *(*member)(FrmUpdate &);
    Kind kind;
    const char *text;
    int left, top, width, height; // twips
};

#define MEMBER(m) #m, [](FrmUpdate & f) -> QWidget * { return f.m; }

const Control controls[] = {
    {MEMBER(Command3), Kind::Button, "Zapri", 6000, 0, 1695, 375},
    {MEMBER(Label1), Kind::Label, "Strežnik:", 120, 240, 3612, 252},
    {MEMBER(textURL), Kind::LineEdit, "", 120, 480, 4332, 285},
    {MEMBER(Tdir), Kind::PlainText, "", 4560, 480, 3252, 1812},
    {MEMBER(Label2), Kind::Label, "Začetni imenik  na FTP strežniku:", 120, 960, 3012, 252},
    {MEMBER(textDIR), Kind::LineEdit, "", 120, 1200, 4332, 285},
    {MEMBER(Label5), Kind::Label, "Lokalni imenik:", 120, 1680, 3012, 252},
    {MEMBER(textLDIR), Kind::LineEdit, "", 120, 1920, 4332, 288},
    {MEMBER(Chkbrisi), Kind::CheckBox, "Pobriši izvor po prenosu", 120, 2400, 3012, 252},
    {MEMBER(Text1), Kind::LineEdit, "", 3240, 2640, 4572, 285},
    {MEMBER(Label3), Kind::Label, "Status:", 120, 2880, 2775, 615},
    {MEMBER(Label4), Kind::Label, "Datoteka ki se prenaša:", 3240, 3000, 2652, 252},
    {MEMBER(Textimedat), Kind::LineEdit, "", 3240, 3360, 4572, 285},
    {MEMBER(Label11), Kind::Label, "Do konca še: 00:00:00", 120, 3600, 2772, 252},
    {MEMBER(Label7), Kind::Label, "", 0, 3960, 5895, 255},
    {MEMBER(Label10), Kind::Label, "", 4680, 3960, 1215, 255},
    {MEMBER(PB), Kind::Bar, "", 120, 4560, 4692, 348},
    {MEMBER(Label9), Kind::Label, "", 5040, 4560, 1212, 252},
};

#undef MEMBER

// Readable test names in ctest instead of a byte dump of the row.
void PrintTo(const Control &c, std::ostream *os)
{
    *os << c.name;
}

class ControlTest : public WindowTest, public ::testing::WithParamInterface<Control>
{};

TEST_P(ControlTest, IsNamedPlacedAndCaptioned)
{
    const Control &c = GetParam();
    QWidget *control = c.member(w);
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(control->objectName(), QString::fromLatin1(c.name));
    EXPECT_EQ(w.findChild<QWidget *>(QString::fromLatin1(c.name)), control);
    EXPECT_EQ(control->parentWidget(), &w);

    const QString text = QString::fromUtf8(c.text);
    switch (c.kind) {
    case Kind::Button:
        ASSERT_NE(qobject_cast<QPushButton *>(control), nullptr);
        EXPECT_EQ(qobject_cast<QPushButton *>(control)->text(), text);
        break;
    case Kind::Label:
        ASSERT_NE(qobject_cast<QLabel *>(control), nullptr);
        EXPECT_EQ(qobject_cast<QLabel *>(control)->text(), text);
        break;
    case Kind::LineEdit:
        ASSERT_NE(qobject_cast<QLineEdit *>(control), nullptr);
        EXPECT_EQ(qobject_cast<QLineEdit *>(control)->text(), text);
        EXPECT_FALSE(qobject_cast<QLineEdit *>(control)->isReadOnly());
        break;
    case Kind::PlainText: {
        auto *edit = qobject_cast<QPlainTextEdit *>(control);
        ASSERT_NE(edit, nullptr);
        EXPECT_EQ(edit->toPlainText(), text);
        EXPECT_FALSE(edit->isReadOnly());
        EXPECT_EQ(edit->lineWrapMode(), QPlainTextEdit::WidgetWidth);
        EXPECT_EQ(edit->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
        EXPECT_EQ(edit->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
        break;
    }
    case Kind::CheckBox:
        ASSERT_NE(qobject_cast<QCheckBox *>(control), nullptr);
        EXPECT_EQ(qobject_cast<QCheckBox *>(control)->text(), text);
        EXPECT_FALSE(qobject_cast<QCheckBox *>(control)->isChecked());
        break;
    case Kind::Bar: {
        auto *bar = qobject_cast<ProgressBar *>(control);
        ASSERT_NE(bar, nullptr);
        EXPECT_EQ(bar->Min(), 0.0f);
        EXPECT_EQ(bar->Max(), 100.0f);
        EXPECT_EQ(bar->Value(), 0.0f);
        EXPECT_FALSE(bar->isTextVisible());
        break;
    }
    }

    EXPECT_EQ(control->geometry(), QRect(px(c.left), px(c.top), px(c.width), px(c.height)));
}

INSTANTIATE_TEST_SUITE_P(AllControls, ControlTest, ::testing::ValuesIn(controls), ByRowName());

// ---------------------------------------------------------------- looks

struct Look
{
    const char *name;
    qreal pointSize; // 0: the window's own font and colours
};

const Look looks[] = {
    {"Label1", 0},     {"Label2", 0},    {"Label5", 0},     {"Label4", 0},    {"Label3", 10.5},
    {"Label11", 9.75}, {"Label7", 9.75}, {"Label10", 9.75}, {"Label9", 9.75}, {"Command3", 0},
    {"textURL", 0},    {"Chkbrisi", 0},  {"Tdir", 0},       {"PB", 0},
};

void PrintTo(const Look &l, std::ostream *os)
{
    *os << l.name;
}

class LookTest : public WindowTest, public ::testing::WithParamInterface<Look>
{};

TEST_P(LookTest, NavyBoldOnlyWhereWanted)
{
    const Look &look = GetParam();
    auto *control = w.findChild<QWidget *>(QString::fromLatin1(look.name));
    ASSERT_NE(control, nullptr);
    const QColor ink = control->palette().color(QPalette::WindowText);
    if (look.pointSize > 0) {
        EXPECT_EQ(ink, QColor(0, 0, 128));
        EXPECT_EQ(control->font().family(), QStringLiteral("Times New Roman"));
        EXPECT_DOUBLE_EQ(control->font().pointSizeF(), look.pointSize);
        EXPECT_TRUE(control->font().bold());
    } else {
        EXPECT_EQ(ink, w.palette().color(QPalette::WindowText));
        EXPECT_EQ(control->font(), w.font());
    }

    if (auto *label = qobject_cast<QLabel *>(control)) {
        EXPECT_TRUE(label->autoFillBackground());
        // The rate keeps its unit on its one line; every other label wraps.
        EXPECT_EQ(label->wordWrap(), label != w.Label10);
        EXPECT_EQ(label->alignment(), Qt::AlignLeft | Qt::AlignTop);
        EXPECT_EQ(label->frameShape(), QFrame::NoFrame);
    }
}

INSTANTIATE_TEST_SUITE_P(Controls, LookTest, ::testing::ValuesIn(looks), ByRowName());

TEST_F(WindowTest, Label10IsDrawnOverTheEndOfLabel7)
{
    const QRect overlap = w.Label7->geometry() & w.Label10->geometry();
    ASSERT_FALSE(overlap.isEmpty());
    EXPECT_EQ(w.childAt(overlap.center()), w.Label10);
    EXPECT_EQ(w.childAt(QPoint(overlap.left() - 5, overlap.center().y())), w.Label7);
}

TEST_F(WindowTest, LongStatusWrapsOntoTheSecondLineOfLabel3)
{
    // Room for two lines of the status font, so a status a little longer
    // than the label's width must still be shown whole.
    w.Label3->setText(QStringLiteral("Povezujem se s strežnikom ftp.primer.si"));
    EXPECT_GT(w.Label3->heightForWidth(w.Label3->width()), QFontMetrics(w.Label3->font()).height());
    EXPECT_LE(w.Label3->heightForWidth(w.Label3->width()), w.Label3->height());
}

// ---------------------------------------------------------------- keyboard

TEST_F(WindowTest, TabWalksTheEditableControlsInOrder)
{
    QStringList order;
    QWidget *widget = w.Command3;
    for (int guard = 0; guard < 200; ++guard) {
        if (widget->parentWidget() == &w && (widget->focusPolicy() & Qt::TabFocus))
            order << widget->objectName();
        widget = widget->nextInFocusChain();
        if (widget == w.Command3)
            break;
    }
    EXPECT_EQ(order, QStringList({"Command3", "textURL", "Textimedat", "textDIR", "textLDIR", "Text1", "Tdir"}));

    for (QWidget *passive : std::initializer_list<QWidget *>{w.Label1, w.Label2, w.Label3, w.Label4, w.Label5, w.Label7,
                                                             w.Label9, w.Label10, w.Label11, w.Chkbrisi, w.PB})
        EXPECT_EQ(passive->focusPolicy(), Qt::NoFocus) << passive->objectName().toStdString();
}

TEST_F(WindowTest, TabInTheDirectoryListingMovesOnInsteadOfTyping)
{
    QTest::keyClick(w.Tdir, Qt::Key_Tab);
    EXPECT_EQ(w.Tdir->toPlainText(), QString());
}

// ---------------------------------------------------------------- the frame

TEST_F(WindowTest, FrameIsTitledSizedCentredAndResizable)
{
    EXPECT_EQ(w.windowTitle(), QStringLiteral("FTP prenos"));
    EXPECT_EQ(w.size(), QSize(529, 338));
    EXPECT_EQ(w.maximumSize(), QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX));
    EXPECT_FALSE(w.windowFlags().testFlag(Qt::MSWindowsFixedSizeDialogHint));

    const QPoint screenCentre = QGuiApplication::primaryScreen()->availableGeometry().center();
    EXPECT_LE((w.geometry().center() - screenCentre).manhattanLength(), 2);

    const QIcon icon = w.windowIcon();
    EXPECT_FALSE(icon.isNull());
    const QList<QSize> sizes = icon.availableSizes();
    EXPECT_TRUE(sizes.contains(QSize(16, 16)));
    EXPECT_TRUE(sizes.contains(QSize(32, 32)));
}

TEST(Icon, UsesOnlyTheSixteenColoursAndShowsAYellowSheet)
{
    const std::set<QRgb> vga = {
        qRgb(0, 0, 0),       qRgb(0, 0, 128),   qRgb(0, 128, 0),   qRgb(0, 128, 128),
        qRgb(128, 0, 0),     qRgb(128, 0, 128), qRgb(128, 128, 0), qRgb(192, 192, 192),
        qRgb(128, 128, 128), qRgb(0, 0, 255),   qRgb(0, 255, 0),   qRgb(0, 255, 255),
        qRgb(255, 0, 0),     qRgb(255, 0, 255), qRgb(255, 255, 0), qRgb(255, 255, 255),
    };
    const QIcon icon = programIcon();
    for (int side : {16, 32}) {
        const QImage image = icon.pixmap(QSize(side, side)).toImage().convertToFormat(QImage::Format_ARGB32);
        ASSERT_EQ(image.size(), QSize(side, side));
        int yellow = 0;
        for (int y = 0; y < side; ++y) {
            for (int x = 0; x < side; ++x) {
                const QRgb pixel = image.pixel(x, y);
                if (qAlpha(pixel) == 0)
                    continue;
                EXPECT_EQ(qAlpha(pixel), 255) << side << " px at " << x << "," << y;
                EXPECT_TRUE(vga.count(pixel | 0xff000000u))
                    << side << " px at " << x << "," << y << " has " << std::hex << pixel;
                yellow += pixel == qRgb(255, 255, 0);
            }
        }
        EXPECT_GT(yellow, side * side / 10) << side << " px";
    }
}

// ---------------------------------------------------------------- ending

struct Ending
{
    const char *name;
    void (*act)(FrmUpdate &);
};

const Ending endings[] = {
    {"ZapriClicked", [](FrmUpdate &f) { f.Command3->click(); }},
    {"ZapriMouse", [](FrmUpdate &f) { QTest::mouseClick(f.Command3, Qt::LeftButton); }},
    {"FrameClosed", [](FrmUpdate &f) { f.close(); }},
};

void PrintTo(const Ending &e, std::ostream *os)
{
    *os << e.name;
}

class EndingTest : public WindowTest, public ::testing::WithParamInterface<Ending>
{};

TEST_P(EndingTest, EndsTheProgramAsClosed)
{
    w.show();
    EXPECT_EQ(endedWith([&] { GetParam().act(w); }), std::optional<int>(ExitCode::Closed));
}

INSTANTIATE_TEST_SUITE_P(Ways, EndingTest, ::testing::ValuesIn(endings), ByRowName());

// ---------------------------------------------------------------- check box

TEST_F(WindowTest, DeleteOptionIsShownButCannotBeClicked)
{
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    const QPoint centre = w.Chkbrisi->geometry().center();

    QTest::mouseClick(w.windowHandle(), Qt::LeftButton, {}, centre);
    EXPECT_FALSE(w.Chkbrisi->isChecked());
    EXPECT_TRUE(w.Chkbrisi->isEnabled()); // readable, not greyed out

    w.Chkbrisi->setChecked(true);
    QTest::mouseClick(w.windowHandle(), Qt::LeftButton, {}, centre);
    EXPECT_TRUE(w.Chkbrisi->isChecked());

    // The same click does reach an ordinary check box, so the two above
    // really were refused rather than missed.
    w.Chkbrisi->setAttribute(Qt::WA_TransparentForMouseEvents, false);
    QTest::mouseClick(w.windowHandle(), Qt::LeftButton, {}, centre);
    EXPECT_FALSE(w.Chkbrisi->isChecked());
}

// ---------------------------------------------------------------- progress bar

enum class Set { Min, Max, Value };

struct Call
{
    Set what;
    float arg;
    bool accepted;
    float min, max, value; // afterwards
    int shown;             // QProgressBar::value(), per mille of the range
};

struct BarCase
{
    const char *name;
    std::vector<Call> calls;
};

constexpr float NaN = std::numeric_limits<float>::quiet_NaN();
constexpr float Inf = std::numeric_limits<float>::infinity();

const BarCase barCases[] = {
    {"ValueInsideTheRange",
     {{Set::Value, 25, true, 0, 100, 25, 250},
      {Set::Value, 100, true, 0, 100, 100, 1000},
      {Set::Value, 0, true, 0, 100, 0, 0}}},
    {"ValueOutsideIsRefused",
     {{Set::Value, 25, true, 0, 100, 25, 250},
      {Set::Value, 100.5f, false, 0, 100, 25, 250},
      {Set::Value, -0.5f, false, 0, 100, 25, 250},
      {Set::Value, NaN, false, 0, 100, 25, 250}}},
    {"RoundsToTheNearestStep",
     {{Set::Max, 3, true, 0, 3, 0, 0}, {Set::Value, 1, true, 0, 3, 1, 333}, {Set::Value, 2, true, 0, 3, 2, 667}}},
    {"MaxNotAboveMinIsRefused",
     {{Set::Max, 0, false, 0, 100, 0, 0},
      {Set::Max, -5, false, 0, 100, 0, 0},
      {Set::Max, NaN, false, 0, 100, 0, 0},
      {Set::Max, Inf, false, 0, 100, 0, 0},
      {Set::Max, 50, true, 0, 50, 0, 0}}},
    {"LowerMaxPullsValueIn",
     {{Set::Value, 80, true, 0, 100, 80, 800},
      {Set::Max, 40, true, 0, 40, 40, 1000},
      {Set::Max, 160, true, 0, 160, 40, 250}}},
    {"MinNotBelowMaxIsRefused",
     {{Set::Min, 100, false, 0, 100, 0, 0},
      {Set::Min, 150, false, 0, 100, 0, 0},
      {Set::Min, -Inf, false, 0, 100, 0, 0},
      {Set::Max, 200, true, 0, 200, 0, 0},
      {Set::Min, 150, true, 150, 200, 150, 0}}},
    {"HigherMinPullsValueIn",
     {{Set::Value, 10, true, 0, 100, 10, 100},
      {Set::Min, 30, true, 30, 100, 30, 0},
      {Set::Value, 65, true, 30, 100, 65, 500},
      {Set::Value, 20, false, 30, 100, 65, 500}}},
    {"NegativeMin", {{Set::Min, -100, true, -100, 100, 0, 500}, {Set::Value, -50, true, -100, 100, -50, 250}}},
    {"FileSizesBeyondAnInt",
     {{Set::Max, 5.0e9f, true, 0, 5.0e9f, 0, 0},
      {Set::Value, 2.5e9f, true, 0, 5.0e9f, 2.5e9f, 500},
      {Set::Min, 1.0e9f, true, 1.0e9f, 5.0e9f, 2.5e9f, 375},
      {Set::Max, 2.5e9f, true, 1.0e9f, 2.5e9f, 2.5e9f, 1000},
      {Set::Value, 2.5e9f + 1024, false, 1.0e9f, 2.5e9f, 2.5e9f, 1000}}},
    // Past 2^24 a float no longer counts in ones: the bar keeps what the
    // float holds, and 16 777 217 bytes read back as 16 777 216.
    {"BytesPastFloatPrecision",
     {{Set::Max, 33554432.0f, true, 0, 33554432.0f, 0, 0},
      {Set::Value, 16777217.0f, true, 0, 33554432.0f, 16777216.0f, 500},
      {Set::Value, 33554431.0f, true, 0, 33554432.0f, 33554432.0f, 1000},
      {Set::Min, 16777217.0f, true, 16777216.0f, 33554432.0f, 33554432.0f, 1000}}},
};

const char *setterName(Set s)
{
    switch (s) {
    case Set::Min:
        return "setMin";
    case Set::Max:
        return "setMax";
    case Set::Value:
        return "setValue";
    }
    return "?";
}

void PrintTo(const BarCase &b, std::ostream *os)
{
    *os << b.name;
}

class BarTest : public ::testing::TestWithParam<BarCase>
{};

TEST_P(BarTest, SettersKeepTheBarConsistent)
{
    ProgressBar bar;
    EXPECT_EQ(bar.value(), 0);
    for (const Call &call : GetParam().calls) {
        SCOPED_TRACE(::testing::Message() << setterName(call.what) << "(" << call.arg << ")");
        bool accepted = false;
        switch (call.what) {
        case Set::Min:
            accepted = bar.setMin(call.arg);
            break;
        case Set::Max:
            accepted = bar.setMax(call.arg);
            break;
        case Set::Value:
            accepted = bar.setValue(call.arg);
            break;
        }
        EXPECT_EQ(accepted, call.accepted);
        EXPECT_EQ(bar.Min(), call.min);
        EXPECT_EQ(bar.Max(), call.max);
        EXPECT_EQ(bar.Value(), call.value);
        bar.sync();
        EXPECT_EQ(bar.value(), call.shown);
    }
}

INSTANTIATE_TEST_SUITE_P(Calls, BarTest, ::testing::ValuesIn(barCases), ByRowName());

} // namespace
