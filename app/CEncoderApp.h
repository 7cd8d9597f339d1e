#pragma once
// The application object: starts the socket library, opens the main window maximised,
// and shuts the library down at exit. One static instance lives for the whole program;
// it touches no Qt object before InitInstance, which runs once the QApplication exists.

#include <QPointer>
#include <functional>

#include "CMainFrame.h"
#include "EncoderLink.h"

class CPrompter;

class CEncoderApp {
public:
    CEncoderApp();

    // True when the main window is open; false after the " Init sock failed ! " box,
    // when the program ends with exit code 1.
    bool InitInstance(CPrompter& prompter, LinkOptions options = {});
    // Returns the process exit code.
    int ExitInstance(int loopResult);

    CMainFrame* MainWindow() const { return m_mainWindow; }

    // The socket library's start and stop; a test replaces them to see a failed start.
    std::function<bool()> m_startSockets;
    std::function<void()> m_stopSockets;

private:
    QPointer<CMainFrame> m_mainWindow;
    bool m_socketsStarted = false;
};

// The application's title, also the caption of its own boxes.
extern const char* const kApplicationTitle;
// The per-user settings key: the address book and the wait mode are kept under it.
extern const char* const kRegistryKey;
