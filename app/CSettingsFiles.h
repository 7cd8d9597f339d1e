#pragma once
// Settings files and comparison in the window: File > Save Settings As... keeps the current
// encoder's settings in a file (without passwords), File > Apply Settings... makes a file's
// settings pending edits of the selected encoders (nothing is sent until a write), and
// Device > Compare Encoders lists the settings in which two selected encoders differ.

#include <QString>
#include <functional>

#include "EncoderList.h"
#include "FrameParts.h"

class QStatusBar;

class CSettingsFiles {
public:
    // What applying a file asks of the rest of the window; the frame wires them.
    struct Hooks {
        std::function<void(const EncoderRecord&)> refreshSheet;   // the sheet rewritten from a record
        std::function<void(uint32_t)> updateItem;                 // the encoder's row shown again
        std::function<void()> updateCommandStates;
    };

    // Connects the three commands; `window` owns the dialogs and boxes.
    CSettingsFiles(const FrameParts& parts, QStatusBar& statusBar, Hooks hooks);

    void SaveSettingsAs();
    void ApplySettingsFile();
    void CompareSelected();
    // Save for a current encoder, Apply for an idle selection, Compare for two encoders.
    void UpdateStates();

private:
    // The file chosen in a settings file dialog; false when none was.
    bool RunFileDialog(bool save, const QString& title, QString& path);

    const FrameParts m_parts;
    QStatusBar& m_statusBar;
    Hooks m_hooks;
};
