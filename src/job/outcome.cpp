// The end of every file of a job, whatever became of it. Each file arrives
// here once, as a record of what became of it; the status line, the log
// line, the deletion of the source and the lines on standard error all
// follow from that record, and nothing else decides them.

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>

#include "ftp/cftp.h"
#include "platform/diagnostics.h"
#include "window/frmupdate.h"

namespace {

// Why a name is skipped, as the window says it.
QString windowReason(names::Problem problem)
{
    switch (problem) {
    case names::Problem::None:
        break;
    case names::Problem::LineBreak:
        return QStringLiteral("ime vsebuje prelom vrstice ali znak NUL");
    case names::Problem::DotName:
        return QStringLiteral("ime je \".\" ali \"..\"");
    case names::Problem::Separator:
        return QStringLiteral("ime vsebuje \"/\"");
    case names::Problem::NotEncodable:
        return QStringLiteral("ime ni veljaven UTF-8");
    case names::Problem::TooLong:
        return QStringLiteral("ime je predolgo za lokalni datotečni sistem");
    }
    return QStringLiteral("pot ne leži v lokalnem imeniku");
}

} // namespace

std::optional<FrmUpdate::FileOutcome> FrmUpdate::unmovable(const Direction &direction, const FileToMove &file)
{
    FileOutcome outcome;
    outcome.result = FileOutcome::Result::Skipped;
    outcome.name = file.name;
    outcome.source = direction.localIsSource ? file.local : file.remote;
    outcome.destination = direction.localIsSource ? file.remote : file.local;
    outcome.skippedFor = names::check(file.name, file.local, !direction.localIsSource);
    if (outcome.skippedFor != names::Problem::None) {
        outcome.error = names::describe(outcome.skippedFor);
        return outcome;
    }
    // Only the name itself is ever joined to the local folder, and the
    // result must stay in that folder.
    if (!file.local.endsWith(file.name) || !names::liesIn(file.local.chopped(file.name.size()), file.local)) {
        outcome.error = QStringLiteral("the local path does not lie in the local folder");
        return outcome;
    }
    return std::nullopt;
}

void FrmUpdate::finishFile(const Direction &direction, FileOutcome &outcome)
{
    switch (outcome.result) {
    case FileOutcome::Result::Delivered:
        Label3->setText(QStringLiteral("Status: Prenos je končan."));
        LogSuccess(outcome.source, outcome.destination);
        if (mFTP->lastDelivery().hashUnavailable)
            warn(QStringLiteral("verify=hash, but the server offers none of HASH, XSHA256, XSHA1 and XMD5: files are "
                                "verified by their size"));
        if (Chkbrisi->isChecked())
            outcome.sourceDeleted = direction.deleteSource(*this, outcome.source, outcome.destination);
        break;
    case FileOutcome::Result::Failed:
        Label3->setText(direction.failedStatus + outcome.error);
        LogFailure(outcome.source, outcome.destination, outcome.error);
        reportFileError(outcome.source, outcome.destination, outcome.error);
        break;
    case FileOutcome::Result::Skipped:
        // The other files of the command go on; the job ends with exit code 5.
        reportProblem(
            QStringLiteral("Napaka: datoteka %1 je izpuščena: %2").arg(outcome.name, windowReason(outcome.skippedFor)),
            diagnostics::fileText(outcome.source, outcome.destination, QStringLiteral("skipped: ") + outcome.error));
        break;
    }
    recordFile(direction.localIsSource, outcome);
}

void FrmUpdate::finishMissing(bool upload, const QString &source, const QString &destination, const QString &reason)
{
    reportFileError(source, destination, reason);
    FileOutcome outcome;
    outcome.result = FileOutcome::Result::Skipped;
    // The name without the folder part of the command, as a listing names it.
    outcome.name = Text1->text().mid(Text1->text().lastIndexOf(QLatin1Char('/')) + 1);
    outcome.source = source;
    outcome.destination = destination;
    outcome.error = reason;
    recordFile(upload, outcome);
}
