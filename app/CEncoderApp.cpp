#include "CEncoderApp.h"

#include <QApplication>
#include <QScreen>

#include "CMainFrame.h"
#include "CPrompter.h"
#include "CWindowLayout.h"
#include "Socket.h"

const char* const kApplicationTitle = "Korvex";
const char* const kRegistryKey = "Local AppWizard-Generated Applications";

CEncoderApp::CEncoderApp() : m_startSockets(StartSocketLibrary), m_stopSockets(StopSocketLibrary)
{}

bool CEncoderApp::InitInstance(CPrompter& prompter, LinkOptions options)
{
    if (!m_startSockets()) {
        prompter.MessageBox(nullptr, QStringLiteral(" Init sock failed ! "), QString::fromLatin1(kApplicationTitle),
                            CPrompter::Icon::None);
        return false;
    }
    m_socketsStarted = true;
    QCoreApplication::setApplicationName(QString::fromLatin1(kApplicationTitle));
    QCoreApplication::setOrganizationName(QString::fromLatin1(kRegistryKey));

    m_mainWindow = new CMainFrame(prompter, std::move(options));
    // The encoders listed when the tool last ran are back, without any exchange.
    m_mainWindow->RestoreSettings();
    if (m_mainWindow->Layout().Restore()) {
        m_mainWindow->show();   // where, and as large as, the operator left it
    } else {
        // Without a window manager to maximise it, the window still fills the screen.
        if (const QScreen* screen = QGuiApplication::primaryScreen())
            m_mainWindow->setGeometry(screen->availableGeometry());
        m_mainWindow->showMaximized();
    }
    m_mainWindow->repaint();
    return true;
}

int CEncoderApp::ExitInstance(int loopResult)
{
    delete m_mainWindow.data();   // still open when the loop was left without closing it
    if (m_socketsStarted) {
        m_stopSockets();
        m_socketsStarted = false;
    }
    return loopResult;
}
