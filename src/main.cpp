#include <QApplication>
#include <QTimer>

#include "platform/qtdesktop.h"
#include "window/frmupdate.h"

int main(int argc, char *argv[])
{
    chooseHeadlessPlatformIfNeeded();
    QApplication app(argc, argv);
    QtDesktop desktop;

    FrmUpdate window(desktop);
    window.Form_Load();
    window.show();
    QTimer::singleShot(0, &window, &FrmUpdate::Form_Activate);
    // The job ends the program itself; the loop only runs until it starts.
    return app.exec();
}
