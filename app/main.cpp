#include <QApplication>

#include "CEncoderApp.h"
#include "CPrompter.h"

static CEncoderApp theApp;

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    CModalPrompter prompter;
    if (!theApp.InitInstance(prompter)) return 1;
    return theApp.ExitInstance(application.exec());
}
