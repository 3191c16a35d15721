#pragma once

#include <QDateTime>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <functional>
#include <limits>
#include <memory>
#include <optional>

#include "ftp/names.h"
#include "platform/inet/options.h"

class QCheckBox;
class QJsonObject;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class Desktop;
class ProgressBar;
class cFTP;

// The program's one window. It is also the job: its text boxes and check box
// are the job's working variables, and its member functions, defined across
// job/*.cpp and window/*.cpp, are the job's procedures.
class FrmUpdate : public QWidget
{
    Q_OBJECT
public:
    explicit FrmUpdate(Desktop &desktop, QWidget *parent = nullptr);
    ~FrmUpdate() override;

    // job/startup.cpp
    void Form_Load();
    // job/activation.cpp
    void Form_Activate();
    // job/runjob.cpp
    [[noreturn]] void RunJob(const QString &command);
    // job/transfercommand.cpp
    void ftpprenos(QString &ukaz);

    // One file of a transfer command, named exactly: the name as the
    // listing or the local folder gave it, and the full paths it moves
    // between. Nothing reads a name back from a window field.
    struct FileToMove
    {
        QString name;
        QString local;
        QString remote;
    };
    // job/upload.cpp, job/download.cpp
    void upload(const FileToMove &file);
    void download(const FileToMove &file);

    // What became of one file of a job: every file ends in finishFile()
    // with one of these, whatever became of it.
    struct FileOutcome
    {
        enum class Result { Delivered, Failed, Skipped };
        Result result = Result::Failed;
        QString name;
        // The full paths, in the direction of the transfer.
        QString source;
        QString destination;
        qint64 bytes = 0;
        double seconds = 0;
        int attempts = 0;
        // The checks it passed: "size", "size, SHA-256", "reply".
        QString verification;
        // Why it failed or was skipped.
        QString error;
        names::Problem skippedFor = names::Problem::None;
        bool sourceDeleted = false;
    };

    // window/frmupdate.cpp
    void Command3_Click();

    // window/progress.cpp
    void mFTP_FileTransferProgress(qint64 lCurrentBytes, qint64 lTotalBytes);
    QString ConvertTime(float TheTime);
    // Brings the widgets up to the last progress event.
    void refreshProgress();
    // The next refresh after this waits its 16 ms like any other, unless a
    // file ends first: a file that takes a moment is drawn once, at its end.
    void holdProgress();

    // job/pauses.cpp: a fixed pause of the job, unless the site turned the
    // pauses off; the window shows where things stand first, as it does
    // before the job waits on the network (showState()).
    // Work given as meanwhile is done in the pause, after the window is
    // shown; the pause counts from its start all the same. Work given as
    // opening is done in the pause too, before the window is shown: what
    // the job sets up for the state it then shows.
    void pause(int ms, const std::function<void()> &meanwhile = {}, const std::function<void()> &opening = {});
    void showState();
    // What stands for showState() at a pause the site turned off: the same
    // texts, painted when the window's events are due.
    void passState();

    // window/update.cpp: hands an address or a document to the desktop.
    // The result is always empty, whatever the desktop made of it.
    QString RunUpdate(const QString &UpdateURL);

    // Controls, reached by name from the job procedures.
    QPushButton *Command3 = nullptr;
    QLabel *Label1 = nullptr;
    QLineEdit *textURL = nullptr;
    QPlainTextEdit *Tdir = nullptr;
    QLabel *Label2 = nullptr;
    QLineEdit *textDIR = nullptr;
    QLabel *Label5 = nullptr;
    QLineEdit *textLDIR = nullptr;
    QCheckBox *Chkbrisi = nullptr;
    QLineEdit *Text1 = nullptr;
    QLabel *Label3 = nullptr;
    QLabel *Label4 = nullptr;
    QLineEdit *Textimedat = nullptr;
    QLabel *Label11 = nullptr;
    QLabel *Label7 = nullptr;
    QLabel *Label10 = nullptr;
    ProgressBar *PB = nullptr;
    QLabel *Label9 = nullptr;

    cFTP *ftp() const { return mFTP.get(); }

protected:
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    friend struct FrmUpdateTestAccess;

    void createControls();

    // job/transfercommand.cpp: the names still to go, into Tdir. Laying out
    // a long list takes longer than moving a small file, so the list waits
    // for the moment the window is shown anyway (showState(), before a
    // pause or a wait), unless it has run out.
    void showRemaining(const QStringList &names, qsizetype next);
    void showPendingList();
    void showList(const QStringList &names);
    qint64 mListShownNs = 0;
    QStringList mListPending;
    qsizetype mListPendingFrom = -1;
    // A connection lost in the previous command is opened again before the
    // next one starts.
    void reconnectIfLost();
    // The files of the command in Text1, from the pattern's folder (empty,
    // or ending with "/") on the server or on this side.
    void downloadMatches(const QString &folder);
    void uploadMatches(const QString &folder);
    // job/deliverysettings.cpp: the site's "verify" and "uploadtemp".
    void readDeliverySettings();

    // What makes an upload and a download differ; the rest of the way of a
    // file is one procedure.
    struct Direction
    {
        QString status;       // Label3 while the file moves
        QString failedStatus; // Label3 before the failure text
        bool pumpBeforePause; // once before the pause ahead of the first attempt
        bool sizeAhead;       // the remote size is asked for in that pause
        bool (cFTP::*transfer)(const QString &sLocal, const QString &sRemote);
        bool localIsSource; // the log names the source first
        // False when the source could not be deleted (and it was said why).
        bool (*deleteSource)(FrmUpdate &form, const QString &source, const QString &destination);
    };
    // job/attempts.cpp: one file either way, in up to three attempts with a
    // reconnection in between.
    void transferFile(const Direction &direction, const FileToMove &file);
    bool tryThreeTimes(const QString &status, const std::function<bool()> &attempt, int *attempts);
    // job/outcome.cpp: the one place where every file ends: the status
    // line, the log, the source deleted, standard error.
    void finishFile(const Direction &direction, FileOutcome &outcome);
    // A name that cannot move as itself: nothing when it can.
    std::optional<FileOutcome> unmovable(const Direction &direction, const FileToMove &file);
    // A file named without wildcards that is not there: skipped.
    void finishMissing(bool upload, const QString &source, const QString &destination, const QString &reason);
    // job/transferlog.cpp
    void LogSuccess(const QString &source, const QString &destination);
    void LogFailure(const QString &source, const QString &destination, const QString &error);
    // False with the reason when the line could not be written.
    bool appendLogLine(const QString &line, QString *error);
    void reportLogProblem(const QString &source, const QString &destination, const QString &error);

    // job/jsonrecord.cpp: the machine-readable record (--log-json), one
    // JSON line for every file and one for the end of the job, written by
    // the desktop's end hook.
    void startRecord();
    void recordFile(bool upload, const FileOutcome &outcome);
    int endRecord(int exitCode);
    // False when the line could not be written (and it was said why).
    bool appendRecord(const QJsonObject &record);
    struct JobRecord
    {
        QString path; // empty: no record is written
        QDateTime started;
        double startedTimer = 0;
        int delivered = 0;
        int failed = 0;
        int skipped = 0;
        qint64 bytes = 0;
        // The texts of the problems reported on standard error.
        QStringList errors;
        // The reasons a line could not be written, each reported once.
        QSet<QString> problems;
    } mRecord;

    // job/report.cpp: what the job tells the scheduler on standard error.
    // An error is a problem the job worked around or ended on; it makes a
    // job that runs to its end say so in its exit code.
    void reportError(const QString &text);
    void reportFileError(const QString &source, const QString &destination, const QString &reason);
    // Shown in the status line (in the window's language) and reported.
    void reportProblem(const QString &windowText, const QString &errorText);
    // Printed once per job, whatever the number of times it comes up;
    // warnings with the same key count as one.
    void warn(const QString &text, const QString &key = QString());
    bool mWorkedAround = false;
    QSet<QString> mWarned;

    // job/siteconnection.cpp: the site's data mode and encryption, handed to
    // mFTP; the status text and the server as the reports show them, marked
    // "(TLS)" for an encrypted connection.
    void readSiteConnection();
    void checkSiteSecurity(std::optional<inet::Security> key, bool trustGiven);
    QString connectionStatus(const QString &status) const;
    QString serverForReport() const;
    // The server as read, a URL's user name and password masked.
    QString serverWithoutCredentials() const;
    // Why the site's server is not to be connected to at all; empty when it
    // may be.
    QString mConnectRefusal;

    // job/pauses.cpp: the site's "pavze" (1 unless it says 0).
    void readPauses();
    bool mPauses = true;

    // job/sitecheck.cpp: mistakes in the settings that cost files later.
    void checkSettingsFile();
    void checkSite(bool switched);
    void checkPrefixes(const QString &remotePath, const QString &localPath);
    void checkCommandLine(const QString &token);

    // window/update.cpp
    int ShellOpen(const QString &text);

    Desktop &mDesktop;

    QString mIniFile;
    QString mSection;
    QString mUser;
    QString mPassword;
    bool mFirstActivate = false;
    std::unique_ptr<cFTP> mFTP;

    float mStartTime = 0.0f;
    float mRate = 0.0f;
    // Kept by changeEvent(): asked for every block of a transfer.
    bool mMinimized = false;

    // What the progress events since the last refresh leave for the texts:
    // for each text (and for mRate), the numbers of the last event that
    // would have changed it, so that a block costs a few stores and neither
    // a division nor a text. refreshProgress() works them out. The bar
    // keeps its own numbers. Plain fields and flags rather than optionals:
    // these are written for every block.
    struct ProgressTexts
    {
        // The bar's Value before the last event: Label9 trails by one block.
        float previous = 0;
        // mRate, from the last event whose elapsed time gave one.
        struct RateSample
        {
            qint64 bytes = 0;
            float elapsed = 0;
            bool nonZero = false; // its rate is not 0
        };
        RateSample rate;
        bool hasRate = false;
        // Label11, from the last event whose rate was not 0, with the rate
        // it had: that of a sample, or mRate as it stood before them.
        struct TimeLeft
        {
            float max = 0, value = 0;
            qint64 rateBytes = 0;  // the sample, field by field: a copy of
            float rateElapsed = 0; // the whole struct just written stalls
            bool fromSample = false;
        };
        TimeLeft timeLeft;
        bool hasTimeLeft = false;
        // The caption, from the last event while the window was minimised.
        struct Caption
        {
            float previous = 0, max = 0;
        };
        Caption caption;
        bool hasCaption = false;
        bool pending = false;
        // The desktop's time of the last refresh.
        double lastRefresh = -std::numeric_limits<double>::infinity();
    } mProgress;
};
