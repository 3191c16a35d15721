// What a person sees while the job stands still. A pause (or a wait on the
// network) leaves the window as it was last painted for its whole length, so
// the window must have been painted with the job's state just before. These
// tests record, for every label and the bar, what each looked like when it
// was last painted, and compare that with what it holds at every pause.

#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPaintEvent>
#include <QPlainTextEdit>
#include <QPointer>
#include <QRegularExpression>
#include <QThread>

#include <algorithm>
#include <functional>
#include <map>

#include "platform/exitcode.h"
#include "support/jobfixture.h"
#include "support/paramnames.h"
#include "support/qtprint.h"
#include "support/tlsfiles.h"
#include "window/progressbar.h"

namespace {

// Each watched widget's text (or the bar's value) at its last paint.
class PaintWatch : public QObject
{
public:
    explicit PaintWatch(QWidget &window)
    {
        for (QLabel *label : window.findChildren<QLabel *>()) {
            label->installEventFilter(this);
            mLabels.push_back(label);
        }
        mBar = window.findChild<ProgressBar *>();
        if (mBar)
            mBar->installEventFilter(this);
    }

    // The differences between what was painted last and what the widgets
    // hold now, one text each; empty when the window shows the job's state.
    QStringList stale(ProgressBar *bar) const
    {
        QStringList differences;
        for (QLabel *label : mLabels) {
            if (!label->isVisible())
                continue;
            const auto painted = mTexts.find(label);
            const QString shown = painted == mTexts.end() ? QStringLiteral("<never painted>") : painted->second;
            if (shown != label->text())
                differences.append(
                    QStringLiteral("%1 shows \"%2\", holds \"%3\"").arg(label->objectName(), shown, label->text()));
        }
        if (bar) {
            // What the bar holds is its numbers; drawing them is sync()'s.
            bar->sync();
            if (mBarValue != bar->value())
                differences.append(QStringLiteral("the bar shows %1, holds %2").arg(mBarValue).arg(bar->value()));
        }
        return differences;
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint) {
            if (watched == mBar)
                mBarValue = mBar->value();
            else if (auto *label = qobject_cast<QLabel *>(watched))
                mTexts[label] = label->text();
        }
        return false;
    }

private:
    std::vector<QLabel *> mLabels;
    ProgressBar *mBar = nullptr;
    std::map<QLabel *, QString> mTexts;
    int mBarValue = -1;
};

// Calls a function each time one widget is painted, for as long as it lives.
class OnPaint : public QObject
{
public:
    OnPaint(QWidget &widget, std::function<void()> onPaint) : mWidget(&widget), mOnPaint(std::move(onPaint))
    {
        widget.installEventFilter(this);
    }
    ~OnPaint() override
    {
        if (mWidget)
            mWidget->removeEventFilter(this);
    }

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            mOnPaint();
        return false;
    }

private:
    QPointer<QWidget> mWidget;
    std::function<void()> mOnPaint;
};

struct PauseCase
{
    const char *name;
    QStringList faults;
    bool upload;
    std::optional<int> exitCode;
};

// clang-format off
const PauseCase PauseCases[] = {
    {"UploadDelivered",        {},                                    true,  std::nullopt},
    {"UploadRetriedThenFails", {QStringLiteral("--refuse-stor"), "3"}, true,  ExitCode::FileFailed},
    {"DownloadDelivered",      {},                                    false, std::nullopt},
    {"DownloadDroppedOnce",    {QStringLiteral("--drop-retr"), "1"},   false, std::nullopt},
};
// clang-format on

void PrintTo(const PauseCase &c, std::ostream *os)
{
    *os << c.name;
}

class PausedWindow : public JobTest, public ::testing::WithParamInterface<PauseCase>
{};

TEST_P(PausedWindow, ShowsTheJobsStateAtEveryPause)
{
    const PauseCase &c = GetParam();
    startServer(c.faults);
    writeSettings();
    load();
    // Shown for its paints, not activated into a job of its own: the test
    // runs the one file.
    FrmUpdateTestAccess::firstActivate(*form) = false;
    form->show();
    const PaintWatch watch(*form);
    const QByteArray data(300 * 1024, 'q');
    if (c.upload)
        writeLocal(QStringLiteral("a.bin"), data);
    else
        server.writeFile(QStringLiteral("a.bin"), data);
    ASSERT_TRUE(connectFtp());

    QStringList seen;
    int pauses = 0;
    desktop.onSleep = [&](int ms) {
        ++pauses;
        for (const QString &difference : watch.stale(form->PB))
            seen.append(QStringLiteral("pause of %1 ms: %2").arg(ms).arg(difference));
    };
    const auto file = fileNamed(QStringLiteral("a.bin"));
    EXPECT_EQ(run([&] { c.upload ? form->upload(file) : form->download(file); }), c.exitCode);

    EXPECT_GE(pauses, 1);
    EXPECT_EQ(seen, QStringList{});
}

INSTANTIATE_TEST_SUITE_P(Jobs, PausedWindow, ::testing::ValuesIn(PauseCases), ByRowName());

// A pause is not lost time for the server: the size a download starts with
// and the data connection of either direction are set up in the pause before
// the file, and an upload ends (the server stores the file and gives the size
// it stored) in its settling pause. Each is asked for once, and the window is
// shown before. Nor is it added to the job's own turning to the file: the
// window takes up the file's name and status inside the pause.
struct AheadCase
{
    const char *name;
    bool upload;
    int pauseMs;
};

const AheadCase AheadCases[] = {
    {"DownloadSizedInThePauseBeforeIt", false, 100},
    {"UploadStoredAndCheckedInItsSettlingPause", true, 1000},
};

void PrintTo(const AheadCase &c, std::ostream *os)
{
    *os << c.name;
}

class SizeAhead : public JobTest, public ::testing::WithParamInterface<AheadCase>
{};

TEST_P(SizeAhead, IsAskedForInThePause)
{
    const AheadCase &c = GetParam();
    startServer();
    writeSettings();
    load();
    const QByteArray data(3000, 's');
    if (c.upload)
        writeLocal(QStringLiteral("s.bin"), data);
    else
        server.writeFile(QStringLiteral("s.bin"), data);
    ASSERT_TRUE(connectFtp());
    server.clearTranscript();

    QByteArray stored;
    QStringList asked;
    QStringList beforeFile;
    QStringList names;
    desktop.onPauseStart = [&](int ms) {
        if (ms == 100)
            names.append(form->Textimedat->text());
    };
    desktop.onSleep = [&](int ms) {
        if (ms == 100) {
            beforeFile = server.transcript();
            names.append(form->Textimedat->text());
        }
        if (ms != c.pauseMs)
            return;
        stored = server.readFile(QStringLiteral("s.bin"));
        asked = server.transcript();
    };
    const auto file = fileNamed(QStringLiteral("s.bin"));
    EXPECT_EQ(run([&] { c.upload ? form->upload(file) : form->download(file); }), std::nullopt);
    EXPECT_EQ(desktop.sleeps, c.upload ? (QList<int>{100, 1000}) : (QList<int>{100}));
    EXPECT_TRUE(asked.contains(QStringLiteral("MLST /s.bin"))) << asked.join(QStringLiteral(" | ")).toStdString();
    EXPECT_EQ(server.transcript().count(QStringLiteral("MLST /s.bin")), 1);
    static const QRegularExpression setUp(QStringLiteral("^(EPSV|PASV|PORT|EPRT)\\b"));
    EXPECT_EQ(beforeFile.filter(setUp).size(), 1) << beforeFile.join(QStringLiteral(" | ")).toStdString();
    EXPECT_EQ(beforeFile.filter(QRegularExpression(QStringLiteral("^(RETR|STOR) "))), QStringList{});
    EXPECT_EQ(server.transcript().filter(setUp).size(), 1) << "the transfer took the one set up";
    EXPECT_EQ(names, (QStringList{QString(), QStringLiteral("s.bin")})) << "the name at the pause's start and end";
    if (c.upload) {
        EXPECT_TRUE(stored == data);
    } else {
        EXPECT_FALSE(asked.contains(QStringLiteral("RETR /s.bin")));
        QFile copy(localFile(QStringLiteral("s.bin")));
        ASSERT_TRUE(copy.open(QIODevice::ReadOnly));
        EXPECT_TRUE(copy.readAll() == data);
    }
}

INSTANTIATE_TEST_SUITE_P(Pauses, SizeAhead, ::testing::ValuesIn(AheadCases), ByRowName());

// The list of the files still to go is laid out when the window is shown
// anyway, at most a few times a second: a pause that comes after a quarter
// of a second must show the list as it stands, with the file about to go
// first.
TEST_F(JobTest, RemainingListIsCurrentAtEveryPause)
{
    startServer();
    writeSettings();
    load();
    FrmUpdateTestAccess::firstActivate(*form) = false;
    form->show();
    const QStringList names{QStringLiteral("a.bin"), QStringLiteral("b.bin"), QStringLiteral("c.bin"),
                            QStringLiteral("d.bin")};
    for (const QString &name : names)
        server.writeFile(name, name.toLatin1());
    ASSERT_TRUE(connectFtp());

    // What the list showed when it was last painted.
    QString painted = QStringLiteral("<never painted>");
    const OnPaint watch(*form->Tdir->viewport(), [&] { painted = form->Tdir->toPlainText(); });

    QStringList seen;
    desktop.onSleep = [&](int ms) {
        if (ms != 100)
            return;
        seen.append(painted);
        QThread::msleep(300);
    };
    QString command = QStringLiteral("*.bin,DOWN");
    EXPECT_EQ(run([&] { form->ftpprenos(command); }), std::nullopt);
    // The server's order is the job's order.
    ASSERT_FALSE(seen.isEmpty());
    QStringList listed = seen.first().split(QLatin1Char(','));
    QStringList sorted = listed;
    sorted.sort();
    EXPECT_EQ(sorted, names);
    QStringList expected;
    for (qsizetype next = 0; next < listed.size(); ++next)
        expected.append(listed.mid(next).join(QLatin1Char(',')));
    EXPECT_EQ(seen, expected);
    EXPECT_EQ(form->Tdir->toPlainText(), QString()) << "the list is used up";
}

// ---------------------------------------------------------------------------
// pavze=0: no pause is slept, and the window is still shown at each of them

struct PavzeCase
{
    const char *name;
    const char *line;
    QList<int> sleeps;
    const char *warning; // nullptr: none
};

// clang-format off
const PavzeCase PavzeCases[] = {
    {"Absent",  "",          {100, 1000, 5000}, nullptr},
    {"One",     "pavze=1\n", {100, 1000, 5000}, nullptr},
    {"Zero",    "pavze=0\n", {},                nullptr},
    {"Unknown", "pavze=no\n", {100, 1000, 5000}, "pavze \"no\" is neither 0 nor 1: the pauses are kept"},
};
// clang-format on

void PrintTo(const PavzeCase &c, std::ostream *os)
{
    *os << c.name;
}

class Pavze : public JobTest, public ::testing::WithParamInterface<PavzeCase>
{};

TEST_P(Pavze, SkipsThePausesButNotTheWindowsPasses)
{
    const PavzeCase &c = GetParam();
    startServer();
    writeSettings(QStringLiteral("prenos1=a.txt,UP\n") + QString::fromUtf8(c.line));
    writeLocal(QStringLiteral("a.txt"), "alpha");
    load();

    EXPECT_EQ(run([&] { form->Form_Activate(); }), ExitCode::Done);
    EXPECT_EQ(server.readFile(QStringLiteral("a.txt")), QByteArray("alpha"));
    EXPECT_EQ(desktop.sleeps, c.sleeps);
    // One real pass before each of the three pauses that are kept. Without
    // them the window is painted when its events are due, and whenever the
    // job waits (below).
    if (!c.sleeps.isEmpty()) {
        EXPECT_GE(desktop.passes, 3);
    }
    const bool warned = std::any_of(desktop.diagnostics.cbegin(), desktop.diagnostics.cend(),
                                    [](const QString &line) { return line.contains(QLatin1String("pavze")); });
    EXPECT_EQ(warned, c.warning != nullptr);
    if (c.warning) {
        EXPECT_TRUE(desktop.diagnostics.join('\n').contains(QString::fromUtf8(c.warning)))
            << desktop.diagnostics.join('\n').toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(Sites, Pavze, ::testing::ValuesIn(PavzeCases), ByRowName());

// Without the pauses the job still stands still where it waits on the
// network, and the window must show where it stands there, at once: the
// file's name, its status, and what every label holds. The server holds
// back the data of the download, or never answers the data connection's
// TLS handshake, until the job gives up on it (after a timeout far longer
// than the moment the window may take).
struct WaitCase
{
    const char *name;
    bool tls;
    QStringList faults;
    const char *status;
};

// clang-format off
const WaitCase WaitCases[] = {
    {"DataHeldBack",            false, {QStringLiteral("--stall-data")},
     "Status: prenos iz strežnika..."},
    {"DataHandshakeUnanswered", true,  {QStringLiteral("--stall-data"), QStringLiteral("--stall-data-tls")},
     "Status: prenos iz strežnika... (TLS)"},
};
// clang-format on

void PrintTo(const WaitCase &c, std::ostream *os)
{
    *os << c.name;
}

class WithoutPauses : public JobTest, public ::testing::WithParamInterface<WaitCase>
{};

TEST_P(WithoutPauses, AWaitShowsTheJobsStateAtOnce)
{
    const WaitCase &c = GetParam();
    constexpr int TimeoutMs = 1200;
    QStringList faults = c.faults;
    QString tlsLines;
    if (c.tls) {
        const TestCertificates &files = testCertificates();
        faults += tlsServerArgs(inet::Security::ExplicitTls, files.trusted, files.serverKey);
        tlsLines = QStringLiteral("tls=explicit\ntlsca=%1\n").arg(files.caFile);
    }
    startServer(faults);
    writeSettings(QStringLiteral("prenos1=a.bin,DOWN\npavze=0\n") + tlsLines);
    server.writeFile(QStringLiteral("a.bin"), QByteArray(5000, 'w'));
    load();
    form->ftp()->SetTimeout(TimeoutMs);
    FrmUpdateTestAccess::firstActivate(*form) = false;
    form->show();
    FrmUpdateTestAccess::firstActivate(*form) = true;
    const PaintWatch watch(*form);
    QString namePainted = QStringLiteral("<never painted>");
    const OnPaint nameWatch(*form->Textimedat, [&] { namePainted = form->Textimedat->text(); });

    // The first pass of the window's events once the server has the
    // transfer command: when it came, and what the window showed.
    QElapsedTimer clock;
    clock.start();
    qint64 firstPassMs = -1;
    QString name;
    QString status;
    QStringList stale;
    desktop.onPass = [&] {
        if (firstPassMs >= 0 || !server.transcript().contains(QStringLiteral("RETR /a.bin")))
            return;
        firstPassMs = clock.elapsed();
        name = namePainted;
        status = form->Label3->text();
        stale = watch.stale(form->PB);
    };
    EXPECT_EQ(run([&] { form->Form_Activate(); }), ExitCode::FileFailed);

    EXPECT_EQ(desktop.sleeps, QList<int>{});
    ASSERT_GE(firstPassMs, 0) << "the window was not shown while the job waited";
    EXPECT_LT(firstPassMs, TimeoutMs / 2) << "the window was shown only when the wait was over";
    EXPECT_EQ(name, QStringLiteral("a.bin"));
    EXPECT_EQ(status, QString::fromUtf8(c.status));
    EXPECT_EQ(stale, QStringList{});
}

INSTANTIATE_TEST_SUITE_P(Waits, WithoutPauses, ::testing::ValuesIn(WaitCases), ByRowName());

} // namespace
