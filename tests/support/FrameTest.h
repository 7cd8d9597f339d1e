#pragma once
// What the window tests that drive a whole frame share: settings in a folder of the run's own,
// and for each case an in-process stand-in, a prompter that records its boxes and a frame over
// both. A test class derives from it and calls these from its own initTestCase, init and cleanup
// slots (the helpers are no slots, so Qt Test does not run them as cases).

#include <QApplication>
#include <QPalette>
#include <QPointer>
#include <QTemporaryDir>
#include <memory>

#include "CMainFrame.h"
#include "RecordingPrompter.h"
#include "StandInEncoder.h"
#include "WindowTest.h"

class FrameTest : public QObject {
protected:
    // From initTestCase: the run's settings under its own folder, as application `name`.
    bool KeepSettings(const QString& name)
    {
        if (!m_settingsDir.isValid()) return false;
        KeepSettingsIn(m_settingsDir.path(), name);
        return true;
    }

    // From init: no settings left from the case before (no log kept on disk), a stand-in
    // started on `options`' addresses and a fresh prompter. False, with the stand-in's reason
    // in StartError(), when the stand-in did not start.
    bool StartCase(const SimOptions& options = SimOptions())
    {
        StartFromNoSettings();
        m_sim = std::make_unique<StandInEncoder>(options);
        m_prompter = std::make_unique<RecordingPrompter>();
        return m_sim->Start();
    }
    const char* StartError() const { return m_sim ? m_sim->Error().c_str() : "no stand-in"; }

    // A frame over the stand-in (its link and out file) in place of any frame before, shown at
    // `size`, as a case that changes the palette or the settings before it needs one.
    bool ShowNewFrame(QSize size)
    {
        delete m_frame.data();
        m_frame = new CMainFrame(*m_prompter, m_sim->Link(), m_sim->OutFile());
        return ShowWindow(m_frame, size);
    }

    // From cleanup: the frame, then the stand-in, go; a palette a case set is undone.
    void FinishCase()
    {
        delete m_frame.data();
        m_sim.reset();
        QApplication::setPalette(QPalette());
    }

    std::unique_ptr<StandInEncoder> m_sim;
    std::unique_ptr<RecordingPrompter> m_prompter;
    QPointer<CMainFrame> m_frame;

private:
    QTemporaryDir m_settingsDir;
};
