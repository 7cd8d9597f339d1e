// The tool's own start, as its entry point makes it (application object, main window,
// address book restored from the per-user settings, shown maximised), ending as soon as
// the main window has painted once and printing its resident memory then ("rss-kib N").
// Point XDG_CONFIG_HOME at a folder of settings to start with a given address book.

#include <QApplication>

#include "CEncoderApp.h"
#include "CPrompter.h"
#include "ProbeFirstPaint.h"

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    CEncoderApp app;
    CModalPrompter prompter;
    QuitAfterFirstPaint();
    if (!app.InitInstance(prompter)) return 1;
    return app.ExitInstance(application.exec());
}
