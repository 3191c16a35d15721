#include <QLabel>
#include <QLineEdit>
#include <QRandomGenerator>

#include <cmath>

#include <gtest/gtest.h>

#include "support/fakedesktop.h"
#include "support/frmaccess.h"
#include "support/jobfixture.h"
#include "support/qtprint.h"
#include "window/frmupdate.h"
#include "window/progressbar.h"
#include "window/progressformat.h"

namespace {

using A = FrmUpdateTestAccess;

class ProgressTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QLocale::setDefault(QLocale::c());
        desktop.clock = 36000.0;
        A::startTime(form) = 36000.0f;
    }
    void TearDown() override { QLocale::setDefault(QLocale::system()); }

    // One event, seconds after the file's start.
    void event(qint64 current, qint64 total, double afterSeconds)
    {
        desktop.clock = 36000.0 + afterSeconds;
        form.mFTP_FileTransferProgress(current, total);
        form.refreshProgress();
    }

    FakeDesktop desktop;
    FrmUpdate form{desktop};
};

TEST_F(ProgressTest, HalfOfATwoMegabyteFile)
{
    event(1024000, 2048000, 1.0);
    EXPECT_EQ(form.Label7->text(), QStringLiteral("1000 KB od 2000 KB Prenešeno"));
    EXPECT_EQ(form.PB->ToolTipText(), QStringLiteral("1024000 Bytes od 2048000 Bytes Prenešeno "));
    EXPECT_EQ(form.PB->Value(), 1024000.0f);
    EXPECT_EQ(form.PB->value(), 500) << "the bar is drawn at the refresh";
}

TEST_F(ProgressTest, RateAndTimeLeftAfterTwoSeconds)
{
    event(51200, 102400, 2.0);
    EXPECT_EQ(A::rate(form), 25.6f);
    EXPECT_EQ(form.Label10->text(), QStringLiteral("25.60 Kbps"));
    EXPECT_EQ(form.Label11->text(), QStringLiteral("Do konca še: 00:00:01"));

    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    event(51200, 102400, 2.0);
    EXPECT_EQ(form.Label10->text(), QStringLiteral("25,60 Kbps")) << "the locale's decimal separator";
}

TEST_F(ProgressTest, RateRoundsHalvesAwayFromZero)
{
    event(12345, 1000000, 1.0);
    EXPECT_EQ(A::rate(form), 12.35f);
    EXPECT_EQ(form.Label10->text(), QStringLiteral("12.35 Kbps"));
}

TEST_F(ProgressTest, PercentageTrailsByOneEventAndHalvesGoToEven)
{
    event(1, 8, 1.0);
    event(2, 8, 1.0);
    EXPECT_EQ(form.Label9->text(), QStringLiteral("12%")) << "previous count 1 of 8";
    event(3, 8, 1.0);
    event(4, 8, 1.0);
    EXPECT_EQ(form.Label9->text(), QStringLiteral("38%")) << "previous count 3 of 8";
    event(8, 8, 1.0);
    EXPECT_EQ(form.Label9->text(), QStringLiteral("100%")) << "the closing event";
}

TEST_F(ProgressTest, FirstEventInTheStartTickKeepsThePreviousRate)
{
    A::rate(form) = 0.0f;
    const QString timeLeft = form.Label11->text();
    event(255, 100000, 0.0);
    EXPECT_EQ(A::rate(form), 0.0f);
    EXPECT_EQ(form.Label10->text(), QStringLiteral(".00 Kbps"));
    EXPECT_EQ(form.Label11->text(), timeLeft) << "no rate, no time left";

    A::rate(form) = 0.4f;
    event(510, 100000, 0.0);
    EXPECT_EQ(A::rate(form), 0.4f);
    EXPECT_EQ(form.Label10->text(), QStringLiteral(".40 Kbps"));
}

TEST_F(ProgressTest, LargeCountsInTheTooltipAreSinglePrecision)
{
    event(16777217, 20000001, 1.0);
    EXPECT_EQ(form.PB->ToolTipText(), QStringLiteral("1.677722E+07 Bytes od 2E+07 Bytes Prenešeno "));
    EXPECT_EQ(form.Label7->text(), QStringLiteral("16384 KB od 19531 KB Prenešeno"));
}

TEST_F(ProgressTest, SizesPastFourGigabytes)
{
    const qint64 total = 5LL * 1024 * 1024 * 1024;
    event(total / 2, total, 10.0);
    EXPECT_EQ(form.Label7->text(), QStringLiteral("2621440 KB od 5242880 KB Prenešeno"));
    EXPECT_EQ(form.PB->ToolTipText(), QStringLiteral("2.684355E+09 Bytes od 5.368709E+09 Bytes Prenešeno "));
}

TEST_F(ProgressTest, ZeroMaximumIsRefusedByTheBar)
{
    event(1000, 1000, 1.0);
    event(0, 0, 2.0);
    EXPECT_EQ(form.PB->Max(), 1000.0f) << "a zero maximum is refused, the old one stays";
    EXPECT_EQ(form.PB->Value(), 0.0f);
    EXPECT_EQ(form.Label7->text(), QStringLiteral("0 KB od 0 KB Prenešeno"));
    EXPECT_EQ(form.Label9->text(), QStringLiteral("100%")) << "the previous count was the whole old file";
}

TEST_F(ProgressTest, SmallerFileAfterALargerOne)
{
    event(2000, 2000, 1.0);
    event(255, 1000, 1.5);
    EXPECT_EQ(form.PB->Max(), 1000.0f);
    EXPECT_EQ(form.PB->Value(), 255.0f);
    EXPECT_EQ(form.Label9->text(), QStringLiteral("100%")) << "the old count, pulled in to the new maximum";
}

TEST_F(ProgressTest, CaptionFollowsWhileMinimised)
{
    form.show();
    event(500, 1000, 1.0);
    EXPECT_EQ(form.windowTitle(), QStringLiteral("FTP prenos"));
    form.showMinimized();
    ASSERT_TRUE(form.isMinimized());
    event(750, 1000, 1.5);
    EXPECT_EQ(form.windowTitle(), QStringLiteral("FTP prenos 50%"));
    form.showNormal();
    event(1000, 1000, 2.0);
    EXPECT_EQ(form.windowTitle(), QStringLiteral("FTP prenos 50%")) << "once changed, the caption stays";
}

// The desktop's clock paces the refreshes: the test moves it by hand.
TEST_F(ProgressTest, WidgetsWaitForTheRefreshButTheClosingEventShowsAll)
{
    form.refreshProgress();
    // Two events in quick succession: both come within 16 ms of the refresh
    // and are only kept in the numbers.
    desktop.clock += 0.005;
    form.mFTP_FileTransferProgress(255, 1000);
    const QString afterFirst = form.Label7->text();
    desktop.clock += 0.005;
    form.mFTP_FileTransferProgress(510, 1000);
    EXPECT_EQ(form.PB->Value(), 510.0f);
    EXPECT_EQ(form.Label7->text(), afterFirst);
    // 16 ms after the refresh the next event is drawn.
    desktop.clock += 0.007;
    form.mFTP_FileTransferProgress(765, 1000);
    EXPECT_EQ(form.Label7->text(), QStringLiteral("0 KB od 0 KB Prenešeno"));
    EXPECT_EQ(form.Label9->text(), QStringLiteral("51%")) << "the count before this event, 510 of 1000";
    EXPECT_EQ(form.PB->value(), 765);
    // The closing event is drawn at once.
    desktop.clock += 0.001;
    form.mFTP_FileTransferProgress(1000, 1000);
    EXPECT_EQ(form.Label9->text(), QStringLiteral("100%"));
    EXPECT_EQ(form.PB->ToolTipText(), QStringLiteral("1000 Bytes od 1000 Bytes Prenešeno "));
    EXPECT_EQ(form.PB->value(), 1000);
}

// ---- the texts of a refresh are those of a display that drew every event

// The display as it would stand had every event been drawn: each event's
// steps one after the other, in their plainest form.
struct EveryEventDisplay
{
    ProgressBar bar;
    float rate = 0;
    QString tooltip, label7, label9, label10, label11, caption;

    void event(qint64 current, qint64 total, float now, float start, bool minimised)
    {
        const QLocale locale;
        if (const auto r = progressformat::averageRate(current, now - start))
            rate = *r;
        bar.setMax(float(total));
        bar.setMin(0.0f);
        const double previous = progressformat::roundHalfEven(bar.Value());
        bar.setValue(float(current));
        tooltip = progressformat::single(bar.Value(), locale) + QStringLiteral(" Bytes od ")
                  + progressformat::single(bar.Max(), locale) + QStringLiteral(" Bytes Prenešeno ");
        label7 = QStringLiteral("%1 KB od %2 KB Prenešeno")
                     .arg(qint64(progressformat::roundHalfEven(bar.Value())) / 1024)
                     .arg(qint64(progressformat::roundHalfEven(bar.Max())) / 1024);
        const double percent = progressformat::roundHalfEven(previous / double(bar.Max()) * 100.0);
        label9 = QString::number(qint64(percent)) + QLatin1Char('%');
        if (minimised)
            caption = QStringLiteral("FTP prenos ") + QString::number(qint64(percent)) + QLatin1Char('%');
        label10 = progressformat::rate(rate, locale) + QStringLiteral(" Kbps");
        if (rate != 0.0f) {
            const float left = std::floor((bar.Max() - bar.Value()) / 1024.0f / rate);
            if (std::isfinite(left))
                label11 = QStringLiteral("Do konca še: ") + progressformat::hoursMinutesSeconds(left);
        }
        if (bar.Max() == bar.Value())
            label9 = QStringLiteral("100%");
    }
};

struct Shown
{
    QString tooltip, label7, label9, label10, label11, caption;
    float rate;
    int bar;
    bool operator==(const Shown &) const = default;
};

void PrintTo(const Shown &s, std::ostream *os)
{
    *os << "[" << s.tooltip.toStdString() << "|" << s.label7.toStdString() << "|" << s.label9.toStdString() << "|"
        << s.label10.toStdString() << "|" << s.label11.toStdString() << "|" << s.caption.toStdString() << "|" << s.rate
        << "|" << s.bar << "]";
}

// Files of every kind of size, moved at every kind of pace (the clock
// standing still, creeping, jumping; rates of a few bytes a second),
// minimised now and then, and refreshed at chance moments as the pauses and
// waits of a job refresh: whenever the window refreshes, and after every
// closing event, it must show what drawing every event would have shown.
class LazyDisplay : public ::testing::TestWithParam<quint32>
{};

TEST_P(LazyDisplay, ShowsWhatEveryEventWouldHaveShown)
{
    QLocale::setDefault(QLocale::c());
    QRandomGenerator random(GetParam());
    FakeDesktop desktop;
    FrmUpdate form(desktop);
    EveryEventDisplay every;
    every.label11 = form.Label11->text();
    form.show();
    bool minimised = false;
    const auto shown = [&] {
        return Shown{form.PB->ToolTipText(), form.Label7->text(), form.Label9->text(), form.Label10->text(),
                     form.Label11->text(),   form.windowTitle(),  A::rate(form),       form.PB->value()};
    };
    const auto expected = [&] {
        every.bar.sync();
        return Shown{every.tooltip, every.label7,
                     every.label9,  every.label10,
                     every.label11, every.caption.isEmpty() ? QStringLiteral("FTP prenos") : every.caption,
                     every.rate,    every.bar.value()};
    };
    // Steps of the clock between events, in seconds.
    const double steps[] = {0, 0, 0, 0.001, 0.002, 0.004, 0.004, 0.02, 0.5, 3, 60};
    const qint64 sizes[] = {0, 1, 254, 255, 256, 510, 1000, 5000, 65280, 100000, 1 << 20};

    desktop.clock = 36000.0 + random.bounded(1000);
    form.refreshProgress();
    for (int file = 0; file < 12; ++file) {
        const qint64 total
            = random.bounded(4) == 0 ? sizes[random.bounded(int(std::size(sizes)))] : qint64(random.bounded(20000));
        A::startTime(form) = float(desktop.clock);
        const float start = A::startTime(form);
        // A slow file: the clock jumps far between its events.
        const bool slow = random.bounded(3) == 0;
        for (qint64 done = 0;;) {
            const bool closing = total - done < 255;
            done = closing ? total : done + 255;
            desktop.clock += slow ? steps[8 + random.bounded(3)] : steps[random.bounded(8)];
            if (random.bounded(200) == 0) {
                minimised = !minimised;
                minimised ? form.showMinimized() : form.showNormal();
                ASSERT_EQ(form.isMinimized(), minimised);
            }
            form.mFTP_FileTransferProgress(done, total);
            every.event(done, total, float(desktop.clock), start, minimised);
            if (closing) {
                ASSERT_EQ(shown(), expected()) << "closing event of file " << file << ", " << total << " bytes";
                break;
            }
            if (random.bounded(40) == 0) {
                form.refreshProgress();
                ASSERT_EQ(shown(), expected()) << "file " << file << " at " << done << " of " << total;
            }
        }
    }
    QLocale::setDefault(QLocale::system());
}

INSTANTIATE_TEST_SUITE_P(Seeds, LazyDisplay, ::testing::Values(1u, 2u, 3u, 4u, 5u, 6u, 7u, 8u));

// Whether a rate is 0, told for every block without the division: it must
// agree with the rate worked out, right at the edges (5 whole bytes a
// second, -4 and -5 across midnight) and beyond.
TEST(ProgressFormat, RateKindAgreesWithTheRate)
{
    const auto kindOf = [](qint64 bytes, float elapsed) {
        const std::optional<float> rate = progressformat::averageRate(bytes, elapsed);
        return !rate           ? progressformat::RateKind::Kept
               : *rate == 0.0f ? progressformat::RateKind::Zero
                               : progressformat::RateKind::NonZero;
    };
    const float elapsedTimes[] = {0.0f,      0.001f,  0.0039f, 0.25f, 1.0f,    1.5f,   3.0f,  7.0f, 60.0f,
                                  86399.99f, -0.001f, -1.0f,   -3.0f, -1e-30f, 1e-30f, 1e-7f, 2e9f, -2e9f};
    for (const float elapsed : elapsedTimes) {
        // Around 5 and -4 whole bytes a second, and far out.
        for (const double perSecond : {0.0, 4.0, 5.0, 6.0, -3.0, -4.0, -5.0, 1e6, 1e14, 9e15, -9e15, 1e20}) {
            const double centre = perSecond * double(elapsed);
            if (!(std::fabs(centre) < 9e18))
                continue;
            for (qint64 delta = -2; delta <= 2; ++delta) {
                const qint64 bytes = qint64(std::floor(centre)) + delta;
                EXPECT_EQ(progressformat::rateKind(bytes, elapsed), kindOf(bytes, elapsed))
                    << bytes << " bytes in " << elapsed << " s";
            }
        }
    }
    QRandomGenerator random(42);
    for (int i = 0; i < 200000; ++i) {
        const float elapsed = float(random.generateDouble() * 100.0 - 20.0);
        const qint64 bytes = qint64(random.bounded(2000)) - 300;
        ASSERT_EQ(progressformat::rateKind(bytes, elapsed), kindOf(bytes, elapsed))
            << bytes << " bytes in " << elapsed << " s";
    }
}

TEST(ConvertTime, HoursMinutesSeconds)
{
    FakeDesktop desktop;
    FrmUpdate form(desktop);
    struct
    {
        float seconds;
        const char *text;
    } const cases[] = {
        {0, "00:00:00"},      {5, "00:00:05"},    {59, "00:00:59"},     {60, "00:01:00"},    {61, "00:01:01"},
        {125, "00:02:05"},    {3599, "00:59:59"}, {3600, "01:00:00"},   {86399, "23:59:59"}, {86400, "24:00:00"},
        {100000, "27:46:40"}, {-1, "--:--:--"},   {-86000, "--:--:--"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(form.ConvertTime(c.seconds).toStdString(), c.text) << c.seconds;
}

TEST(ProgressFormat, SingleAndRateTexts)
{
    const QLocale c = QLocale::c();
    struct
    {
        float value;
        const char *single;
    } const singles[] = {
        {0, "0"},
        {255, "255"},
        {1024000, "1024000"},
        {9999999, "9999999"},
        {10000000, "1E+07"},
        {16777216, "1.677722E+07"},
        {123456789.0f, "1.234568E+08"},
    };
    for (const auto &s : singles)
        EXPECT_EQ(progressformat::single(s.value, c).toStdString(), s.single) << s.value;

    struct
    {
        float value;
        const char *rate;
    } const rates[] = {
        {0, ".00"},         {0.4f, ".40"},   {12.35f, "12.35"},    {1.234f, "1.234"},
        {100.0f, "100.00"}, {-0.4f, "-.40"}, {2048.5f, "2048.50"},
    };
    for (const auto &r : rates)
        EXPECT_EQ(progressformat::rate(r.value, c).toStdString(), r.rate) << r.value;

    EXPECT_EQ(progressformat::averageRate(51200, 2.0f), std::optional<float>(25.6f));
    EXPECT_EQ(progressformat::averageRate(12345, 1.0f), std::optional<float>(12.35f));
    EXPECT_EQ(progressformat::averageRate(12344, 1.0f), std::optional<float>(12.34f));
    EXPECT_EQ(progressformat::averageRate(100, 0.0f), std::nullopt);
    EXPECT_EQ(progressformat::averageRate(12345, -1.0f), std::optional<float>(-12.35f)) << "across midnight";
}

// A real download through the window: afterwards the labels say what the
// closing event of that file says.
using ProgressThroughAJob = JobTest;

TEST_F(ProgressThroughAJob, LabelsShowTheClosingTextsOfTheFile)
{
    QLocale::setDefault(QLocale::c());
    startServer();
    writeSettings();
    load();
    server.writeFile(QStringLiteral("f.bin"), QByteArray(300000, 'f'));
    ASSERT_TRUE(connectFtp());
    // Let the fake clock run a millisecond per pump, so the rate is known.
    desktop.onPump = [this] { desktop.clock += 0.001; };
    EXPECT_EQ(run([&] { form->download(fileNamed(QStringLiteral("f.bin"))); }), std::nullopt);

    EXPECT_EQ(form->Label9->text(), QStringLiteral("100%"));
    EXPECT_EQ(form->Label7->text(), QStringLiteral("292 KB od 292 KB Prenešeno"));
    EXPECT_EQ(form->PB->ToolTipText(), QStringLiteral("300000 Bytes od 300000 Bytes Prenešeno "));
    EXPECT_EQ(form->PB->value(), 1000);
    EXPECT_EQ(form->Label11->text(), QStringLiteral("Do konca še: 00:00:00"));
    EXPECT_GT(A::rate(*form), 0.0f);
    EXPECT_EQ(form->Label10->text(), progressformat::rate(A::rate(*form), QLocale::c()) + QStringLiteral(" Kbps"));
}

} // namespace
