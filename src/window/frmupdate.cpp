#include "window/frmupdate.h"

#include "ftp/cftp.h"
#include "platform/exitcode.h"
#include "platform/desktop.h"
#include "window/icon.h"
#include "window/labels.h"
#include "window/progressbar.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QColor>
#include <QFont>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>

namespace {

// The layout is drawn up in twips, 15 to the pixel at 96 dots per inch;
// keeping the twips here keeps the numbers those of the layout sheet.
int px(int twips)
{
    return qRound(twips / 15.0);
}

void place(QWidget *w, int left, int top, int width, int height)
{
    w->setGeometry(px(left), px(top), px(width), px(height));
}

template<typename Label = QLabel>
QLabel *makeLabel(QWidget *parent, const char *name, const QString &text)
{
    auto *label = new Label(text, parent);
    label->setObjectName(QLatin1String(name));
    // Opaque so that a label lying over another one hides it, and wrapped
    // from the top so that a long status line runs onto the second line of
    // Status and is cut at its bottom, never shifted up out of sight.
    label->setAutoFillBackground(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setWordWrap(true);
    label->setFrameShape(QFrame::NoFrame);
    label->setFocusPolicy(Qt::NoFocus);
    return label;
}

// The labels that report on the transfer stand out from the captions.
void emphasise(QLabel *label, qreal pointSize)
{
    QFont font(QStringLiteral("Times New Roman"));
    font.setPointSizeF(pointSize);
    font.setBold(true);
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, QColor(0, 0, 128));
    label->setPalette(palette);
}

QLineEdit *makeLineEdit(QWidget *parent, const char *name)
{
    auto *edit = new QLineEdit(parent);
    edit->setObjectName(QLatin1String(name));
    return edit;
}

} // namespace

FrmUpdate::FrmUpdate(Desktop &desktop, QWidget *parent) : QWidget(parent), mDesktop(desktop)
{
    createControls();

    setWindowTitle(QStringLiteral("FTP prenos"));
    setWindowIcon(programIcon());
    // An ordinary sizable frame with minimise and maximise buttons; the
    // controls keep their places, as there is nothing more to show in a
    // bigger window. Hence resize() and no fixed size.
    resize(529, 338);

    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        QRect frame(QPoint(), size());
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
}

FrmUpdate::~FrmUpdate()
{
    // The closing record is written by this window; once it is gone, the
    // desktop has nothing left to call.
    mDesktop.setEndHook({});
}

void FrmUpdate::createControls()
{
    // Created in the order of the layout, which is also the stacking order:
    // a later control lies over an earlier one. That order is why this is
    // one long function: it reads as the layout sheet, top to bottom, and
    // splitting it would hide which control lies over which.
    Command3 = new QPushButton(QStringLiteral("Zapri"), this);
    Command3->setObjectName(QStringLiteral("Command3"));
    place(Command3, 6000, 0, 1695, 375);
    connect(Command3, &QPushButton::clicked, this, &FrmUpdate::Command3_Click);

    Label1 = makeLabel(this, "Label1", QStringLiteral("Strežnik:"));
    place(Label1, 120, 240, 3612, 252);

    textURL = makeLineEdit(this, "textURL");
    place(textURL, 120, 480, 4332, 285);

    // The server's directory listing; Tab leaves it instead of being typed
    // into it, so the keyboard can still walk the whole window.
    Tdir = new QPlainTextEdit(this);
    Tdir->setObjectName(QStringLiteral("Tdir"));
    Tdir->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    Tdir->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Tdir->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Tdir->setTabChangesFocus(true);
    place(Tdir, 4560, 480, 3252, 1812);

    Label2 = makeLabel(this, "Label2", QStringLiteral("Začetni imenik  na FTP strežniku:"));
    place(Label2, 120, 960, 3012, 252);

    textDIR = makeLineEdit(this, "textDIR");
    place(textDIR, 120, 1200, 4332, 285);

    Label5 = makeLabel(this, "Label5", QStringLiteral("Lokalni imenik:"));
    place(Label5, 120, 1680, 3012, 252);

    textLDIR = makeLineEdit(this, "textLDIR");
    place(textLDIR, 120, 1920, 4332, 288);

    // Only shows whether this job deletes its sources; the option comes from
    // the settings, and the user must not change it halfway through a job.
    // Disabling it would grey it out and make it hard to read, so it is
    // simply deaf to the mouse and out of the keyboard's reach.
    Chkbrisi = new QCheckBox(QStringLiteral("Pobriši izvor po prenosu"), this);
    Chkbrisi->setObjectName(QStringLiteral("Chkbrisi"));
    Chkbrisi->setAttribute(Qt::WA_TransparentForMouseEvents);
    Chkbrisi->setFocusPolicy(Qt::NoFocus);
    place(Chkbrisi, 120, 2400, 3012, 252);

    Text1 = makeLineEdit(this, "Text1");
    place(Text1, 3240, 2640, 4572, 285);

    Label3 = makeLabel<StatusLabel>(this, "Label3", QStringLiteral("Status:"));
    // Server replies are plain text, whatever they look like.
    Label3->setTextFormat(Qt::PlainText);
    emphasise(Label3, 10.5);
    place(Label3, 120, 2880, 2775, 615);

    Label4 = makeLabel(this, "Label4", QStringLiteral("Datoteka ki se prenaša:"));
    place(Label4, 3240, 3000, 2652, 252);

    Textimedat = makeLineEdit(this, "Textimedat");
    place(Textimedat, 3240, 3360, 4572, 285);

    Label11 = makeLabel(this, "Label11", QStringLiteral("Do konca še: 00:00:00"));
    emphasise(Label11, 9.75);
    place(Label11, 120, 3600, 2772, 252);

    Label7 = makeLabel(this, "Label7", QString());
    emphasise(Label7, 9.75);
    place(Label7, 0, 3960, 5895, 255);

    // Label10 covers the right end of Label7 and must stay visible there.
    // A rate of five digits and more needs more room than its place gives:
    // the text grows to the right, where nothing else lies at that height,
    // rather than wrap its unit out of sight.
    Label10 = makeLabel(this, "Label10", QString());
    emphasise(Label10, 9.75);
    place(Label10, 4680, 3960, 1215, 255);
    Label10->setWordWrap(false);
    Label10->setMinimumWidth(Label10->width());
    Label10->raise();

    PB = new ProgressBar(this);
    PB->setObjectName(QStringLiteral("PB"));
    PB->setFocusPolicy(Qt::NoFocus);
    place(PB, 120, 4560, 4692, 348);

    Label9 = makeLabel(this, "Label9", QString());
    emphasise(Label9, 9.75);
    place(Label9, 5040, 4560, 1212, 252);

    QWidget::setTabOrder(Command3, textURL);
    QWidget::setTabOrder(textURL, Textimedat);
    QWidget::setTabOrder(Textimedat, textDIR);
    QWidget::setTabOrder(textDIR, textLDIR);
    QWidget::setTabOrder(textLDIR, Text1);
    QWidget::setTabOrder(Text1, Tdir);
}

void FrmUpdate::Command3_Click()
{
    mDesktop.endProgram(ExitCode::Closed);
}

// The job starts at the window's first activation. The program also asks
// for it itself once the window is shown, as offscreen or without a window
// manager no activation may ever come; the second request does nothing.
void FrmUpdate::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        mMinimized = isMinimized();
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        Form_Activate();
}

// Closing the window ends the job just as "Zapri" does. The process ends
// inside this call, so there is no point in accepting or ignoring the event.
void FrmUpdate::closeEvent(QCloseEvent *event)
{
    Q_UNUSED(event);
    mDesktop.endProgram(ExitCode::Closed);
}
