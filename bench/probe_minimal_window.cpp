// The yardstick for the tool's start: a Qt Widgets main window with a menu bar, a toolbar
// and a status bar, shown maximised the way the tool shows its own, built with the same
// compiler and flags. It ends as soon as the window has painted once and prints its
// resident memory then ("rss-kib N").

#include <QApplication>
#include <QLabel>
#include <QMainWindow>
#include <QMenuBar>
#include <QStatusBar>
#include <QToolBar>

#include "ProbeFirstPaint.h"

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    QMainWindow window;
    window.menuBar()->addMenu(QStringLiteral("File"));
    window.addToolBar(QStringLiteral("Standard"));
    window.statusBar()->addWidget(new QLabel(QStringLiteral("Ready")));
    window.setCentralWidget(new QLabel(QStringLiteral("minimal")));
    QuitAfterFirstPaint(window);
    window.showMaximized();
    window.repaint();
    return application.exec();
}
