// What the status line, the rate and the prompt's buttons look like when
// drawn: each test grabs the widget and reads the pixels.

#include <QApplication>
#include <QDialogButtonBox>
#include <QHelpEvent>
#include <QImage>
#include <QInputDialog>
#include <QLabel>
#include <QPushButton>
#include <QToolTip>

#include <gtest/gtest.h>

#include "platform/qtdesktop.h"
#include "platform/qtstartup.h"
#include "support/fakedesktop.h"
#include "support/frmaccess.h"
#include "support/qtprint.h"
#include "window/frmupdate.h"

namespace {

using A = FrmUpdateTestAccess;

// A pixel that text was drawn on: far enough from the label's background.
bool painted(const QImage &image, int x, int y, QColor background)
{
    const QColor c = image.pixelColor(x, y);
    return std::abs(c.red() - background.red()) + std::abs(c.green() - background.green())
               + std::abs(c.blue() - background.blue())
           > 96;
}

// The rows and columns of a label's picture that carry text.
struct Ink
{
    int lowestRow = -1;
    int rightmostColumn = -1;
};

Ink inkOf(const QImage &image, QColor background, int fromRow = 0, int toRow = -1)
{
    Ink ink;
    const int last = toRow < 0 ? image.height() : std::min(toRow, image.height());
    for (int y = fromRow; y < last; ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (painted(image, x, y, background)) {
                ink.lowestRow = std::max(ink.lowestRow, y);
                ink.rightmostColumn = std::max(ink.rightmostColumn, x);
            }
        }
    }
    return ink;
}

class LabelsTest : public ::testing::Test
{
protected:
    QImage grab(QWidget *widget) { return widget->grab().toImage(); }
    QColor background(QWidget *widget) { return widget->palette().color(widget->backgroundRole()); }

    FakeDesktop desktop;
    FrmUpdate w{desktop};
};

const QString LongStatus = QStringLiteral(
    "Status napaka: 552 The file /srv/prenos/in/porocilo-2026-12-07.zip could not be stored because the disk "
    "quota of the user skladisce on this server is exceeded.\r\n");

TEST_F(LabelsTest, Label3EndsItsLastWholeLineWithAnEllipsis)
{
    w.Label3->setText(LongStatus);
    const QImage image = grab(w.Label3);
    ASSERT_EQ(image.size(), w.Label3->size()) << "the label keeps its size";
    const QFontMetrics metrics(w.Label3->font());
    const int lines = w.Label3->height() / metrics.lineSpacing();
    ASSERT_GE(lines, 2) << "room for two lines of the status font";

    // Nothing below the last whole line: no line cut in half at the edge.
    const Ink below = inkOf(image, background(w.Label3), lines * metrics.lineSpacing());
    EXPECT_EQ(below.lowestRow, -1) << "ink at row " << below.lowestRow << " of " << image.height();

    // The last line ends in three dots on its baseline, not in a letter.
    const int top = (lines - 1) * metrics.lineSpacing();
    const int baseline = top + metrics.ascent();
    const Ink last = inkOf(image, background(w.Label3), top, top + metrics.lineSpacing());
    ASSERT_GT(last.rightmostColumn, image.width() / 2) << "the last line runs to the right edge";
    const int dotsFrom = last.rightmostColumn - metrics.horizontalAdvance(QStringLiteral("…")) + 2;
    int dotPixels = 0;
    for (int x = dotsFrom; x <= last.rightmostColumn; ++x) {
        for (int y = top; y < top + metrics.lineSpacing(); ++y) {
            if (!painted(image, x, y, background(w.Label3)))
                continue;
            ++dotPixels;
            EXPECT_GE(y, baseline - metrics.ascent() / 3) << "a letter, not dots, at column " << x;
        }
    }
    EXPECT_GT(dotPixels, 0);
    EXPECT_EQ(w.Label3->text(), LongStatus) << "the label still holds the whole text";
}

TEST_F(LabelsTest, Label3ShowsAShortStatusWithoutDots)
{
    // A status short enough for one line is drawn whole, with no dots.
    w.Label3->setText(QStringLiteral("Status: Prenos je končan."));
    const QImage whole = grab(w.Label3);
    const Ink ink = inkOf(whole, background(w.Label3));
    const QFontMetrics metrics(w.Label3->font());
    EXPECT_LT(ink.lowestRow, metrics.lineSpacing()) << "one line";
    EXPECT_NEAR(ink.rightmostColumn, metrics.horizontalAdvance(QStringLiteral("Status: Prenos je končan.")), 3);
}

TEST_F(LabelsTest, Label3TooltipIsTheWholeText)
{
    w.show();
    w.Label3->setText(LongStatus);
    const QPoint inside = w.Label3->rect().center();
    QHelpEvent help(QEvent::ToolTip, inside, w.Label3->mapToGlobal(inside));
    QApplication::sendEvent(w.Label3, &help);
    EXPECT_TRUE(QToolTip::isVisible());
    EXPECT_EQ(QToolTip::text(), LongStatus);
    QToolTip::hideText();
}

TEST_F(LabelsTest, Label10GrowsToTheRightToKeepItsUnit)
{
    QLocale::setDefault(QLocale::c());
    const QRect placed = w.Label10->geometry();
    desktop.clock = 36001.0;
    A::startTime(w) = 36000.0f;
    // 20,480,000 bytes in a second: a rate of five digits.
    w.mFTP_FileTransferProgress(20480000, 40960000);
    w.refreshProgress();
    ASSERT_EQ(w.Label10->text(), QStringLiteral("20480.00 Kbps"));

    EXPECT_EQ(w.Label10->geometry().topLeft(), placed.topLeft());
    EXPECT_EQ(w.Label10->height(), placed.height());
    const QImage image = grab(w.Label10);
    const QFontMetrics metrics(w.Label10->font());
    const Ink ink = inkOf(image, background(w.Label10));
    // Wrapped, only "20480.00" would be drawn on the line that shows.
    EXPECT_GE(ink.rightmostColumn, metrics.horizontalAdvance(QStringLiteral("20480.00 Kbp")))
        << "the unit is drawn whole";
    EXPECT_LT(ink.lowestRow, metrics.lineSpacing());
    EXPECT_LE(w.Label10->geometry().right(), w.width()) << "still inside the window";

    // A slow file afterwards: back to its place in the layout.
    desktop.clock = 36002.0;
    w.mFTP_FileTransferProgress(51200, 102400);
    w.refreshProgress();
    EXPECT_EQ(w.Label10->geometry(), placed);
    QLocale::setDefault(QLocale::system());
}

TEST(PromptButtons, SpeakSlovenian)
{
    qtstartup::loadSlovenianTranslation(*QCoreApplication::instance());
    const auto dialog = QtDesktop::promptDialog(QStringLiteral("Ime datoteke za prenos:"), QStringLiteral("Prenos"));
    dialog->show();
    QCoreApplication::processEvents();

    const auto *box = dialog->findChild<QDialogButtonBox *>();
    ASSERT_NE(box, nullptr);
    const QList<QAbstractButton *> buttons = box->buttons();
    ASSERT_EQ(buttons.size(), 2);
    for (QAbstractButton *button : buttons) {
        const QString expected = box->buttonRole(button) == QDialogButtonBox::AcceptRole ? QStringLiteral("V redu")
                                                                                         : QStringLiteral("Prekliči");
        // Drawn as it came, and drawn once more with the Slovenian text set
        // by hand: the same picture.
        const QImage drawn = button->grab().toImage();
        button->setText(expected);
        EXPECT_EQ(button->grab().toImage(), drawn) << expected.toStdString();
    }
}

} // namespace
