#include <QDesktopServices>
#include <QTemporaryFile>
#include <QUrl>

#include <gtest/gtest.h>

#include "support/fakedesktop.h"
#include "support/qtprint.h"
#include "window/frmupdate.h"

// Stands in for the desktop's handlers of addresses and files.
class OpenRecorder : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void open(const QUrl &url) { opened.append(url); }
};

namespace {

TEST(RunUpdate, HandsAddressesAndFilesToTheDesktop)
{
    OpenRecorder recorder;
    for (const char *scheme : {"https", "ftp", "file"})
        QDesktopServices::setUrlHandler(QString::fromLatin1(scheme), &recorder, "open");

    QTemporaryFile document;
    ASSERT_TRUE(document.open());

    FakeDesktop desktop;
    FrmUpdate form(desktop);
    const QString address = QStringLiteral("https://example.org/update/setup.exe");
    EXPECT_EQ(form.RunUpdate(address), QString()) << "nothing comes back, whatever happened";
    EXPECT_EQ(form.RunUpdate(QStringLiteral("ftp://example.org/x.zip")), QString());
    EXPECT_EQ(form.RunUpdate(document.fileName()), QString());
    EXPECT_EQ(form.RunUpdate(QStringLiteral("/no/such/file.txt")), QString());

    EXPECT_EQ(recorder.opened, (QList<QUrl>{QUrl(address), QUrl(QStringLiteral("ftp://example.org/x.zip")),
                                            QUrl::fromLocalFile(document.fileName())}))
        << "a missing file is not handed on";
    for (const char *scheme : {"https", "ftp", "file"})
        QDesktopServices::unsetUrlHandler(QString::fromLatin1(scheme));
}

} // namespace

#include "update_test.moc"
