// Until the job itself runs at the first activation, the window connects to
// the selected site once, shows the outcome in the status line and leaves
// the connection closed again.

#include <QLabel>
#include <QLineEdit>

#include <iostream>

#include "ftp/cftp.h"
#include "window/frmupdate.h"

void FrmUpdate::connectPreview()
{
    if (mFTP->OpenConnection(textURL->text(), mUser, mPassword)) {
        Label3->setText(QStringLiteral("Status: povezan s strežnikom."));
        std::cout << "Connected to " << textURL->text().toStdString() << std::endl;
    } else {
        Label3->setText(mFTP->GetLastErrorMessage());
        std::cerr << mFTP->GetLastErrorMessage().toStdString() << std::endl;
    }
    mFTP->CloseConnection();
}
