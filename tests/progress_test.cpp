#include <QLabel>
#include <QLineEdit>

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

TEST_F(ProgressTest, WidgetsWaitForTheRefreshButTheClosingEventShowsAll)
{
    form.refreshProgress();
    // Two events in quick succession: the second comes within 16 ms of the
    // first refresh and is only kept in the numbers.
    form.mFTP_FileTransferProgress(255, 1000);
    const QString afterFirst = form.Label7->text();
    desktop.clock += 1.0;
    form.mFTP_FileTransferProgress(510, 1000);
    EXPECT_EQ(form.PB->Value(), 510.0f);
    EXPECT_EQ(form.Label7->text(), afterFirst);
    desktop.clock += 1.0;
    form.mFTP_FileTransferProgress(1000, 1000);
    EXPECT_EQ(form.Label9->text(), QStringLiteral("100%"));
    EXPECT_EQ(form.PB->ToolTipText(), QStringLiteral("1000 Bytes od 1000 Bytes Prenešeno "));
    EXPECT_EQ(form.PB->value(), 1000);
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
