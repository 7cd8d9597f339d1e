#pragma once
// The main window: menus, toolbar, status bar and three panes (device list on the left,
// settings sheet top right, message pane bottom right) in two CPaneSplitters, and the
// activity log in a dock below them. The frame builds them and the objects that do the
// window's work, and wires them: the encoders listed (CEncoderRoster), their rows
// (CEncoderRows), the exchanges (CExchangeController, run in the background: the window
// keeps painting and answering), what the operator asks of them (CDeviceCommands) and what
// their results show (CExchangeView); the edits not yet written (CSafeEdits), the write's
// checks and review (CWriteReview), settings files (CSettingsFiles), the history
// (CHistoryPanel) and the layout kept across restarts (CWindowLayout). A command that would
// conflict with an exchange in flight is disabled, never queued. The panes do not know
// each other; the frame wires their signals.

#include <QDateTime>
#include <QMainWindow>
#include <QString>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "CActivityLog.h"
#include "CAddressBook.h"
#include "CDeviceCommands.h"
#include "CEncoderRoster.h"
#include "CExchangeController.h"
#include "CExchangeView.h"
#include "CSettingsSheet.h"
#include "EncoderList.h"
#include "EncoderLink.h"
#include "EncoderRecord.h"
#include "ExchangeEngine.h"
#include "Operations.h"
#include "RecordComparison.h"

class CDeviceTree;
class CEditCommands;
class CEncoderRows;
class CFrameCommands;
class CHistoryPanel;
class CMessagePane;
class CPaneSplitter;
class CPrompter;
class CSafeEdits;
class CSettingsFiles;
class CWindowLayout;
class CWriteReview;
class QAction;
class QDockWidget;
class QLabel;
class QToolBar;

class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    // The program passes the defaults; tests pass short waits and ephemeral ports.
    // `outFile` keeps the last document written to an encoder (the working folder's out.xml).
    explicit CMainFrame(CPrompter& prompter, LinkOptions options = {}, std::string outFile = "out.xml");
    // Cancels whatever runs and waits for the engine's workers (each ends within 100 ms).
    ~CMainFrame() override;

    // The encoders listed, and the device list's items; an item is named by its encoder's record.
    CEncoderRoster& Roster() const { return *m_roster; }
    EncoderList& Encoders() const { return m_roster->Encoders(); }
    EncoderRecord* FindEncoderItem(const QString& text) const { return m_roster->FindEncoderItem(text); }
    EncoderRecord* AddEncoder(const QString& text) { return m_roster->AddEncoder(text); }
    // The device commands on the selection, the monitor and the wait mode.
    CDeviceCommands& DeviceCommands() const { return *m_deviceCommands; }
    // What the exchanges' results show.
    CExchangeView& ExchangeView() const { return *m_exchangeView; }

    // The settings sheet's row editors report their edits here by control ID: while an
    // encoder is selected the edit is committed into its record (or refused with one
    // warning) and the sheet is rewritten from the record. A frame command's id given
    // here runs that command as well. True when something handled `id`.
    bool OnCommand(int id);

    // Rewrites the settings sheet from `record`.
    void RefreshSheet(const EncoderRecord& record);
    // The listed encoder of `record` was never read: its sheet shows no settings and takes
    // no edit.
    bool NeverRead(const EncoderRecord& record) const;

    // The record of the current encoder, or null.
    EncoderRecord* SelectedRecord() const;

    // True while an exchange given by the operator (or a search) runs for the encoder /
    // at all. The monitor's status readings do not count: a command cancels them.
    bool InFlight(uint32_t address) const { return m_exchanges->InFlight(address); }
    bool InExchange() const { return m_exchanges->InExchange(); }

    // Restores the address book (the encoders listed when the tool last ran, without any
    // exchange) and the wait mode from the per-user settings; from then on both are saved
    // whenever they change.
    void RestoreSettings();
    // The window's layout as the operator left it; saved when the window closes.
    CWindowLayout& Layout() { return *m_layout; }

    // The edits not yet written: counted, marked, reverted, read back after a write.
    CSafeEdits& SafeEdits() const { return *m_safeEdits; }
    // Writing the encoders' records as Write Configuration does, and closing with edits.
    CWriteReview& Writes() const { return *m_writes; }
    // Settings files and the comparison of two encoders.
    CSettingsFiles& SettingsFiles() const { return *m_settingsFiles; }
    // The configuration history and Device > History....
    CHistoryPanel& History() const { return *m_historyPanel; }

    CDeviceTree* DeviceTree() const { return m_deviceTree; }
    CSettingsSheet* SettingsSheet() const { return m_settingsSheet; }
    CMessagePane* MessagePane() const { return m_messagePane; }
    CActivityLog* ActivityLog() const { return m_activityLog; }
    QDockWidget* ActivityDock() const { return m_activityDock; }
    CPaneSplitter* OuterSplitter() const { return m_outerSplitter; }
    CPaneSplitter* InnerSplitter() const { return m_innerSplitter; }
    CPrompter& Prompter() const { return m_prompter; }
    const LinkOptions& LinkSettings() const { return m_linkOptions; }
    const std::string& OutFile() const { return m_outFile; }
    QAction* CommandAction(int id) const;
    QLabel* MessageField() const { return m_messageField; }

    // Boxes owned by the main window: caption "Warning" with the exclamation icon, or
    // caption "Tip" without one.
    void Warning(const std::string& text);
    void Tip(const std::string& text);

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void CreateCommands();
    // The buttons drawn in the palette's own colours, again whenever it changes.
    void DrawPaletteButtons();
    void CreateMenus();
    void CreateToolBar();
    void CreateStatusBar();
    void CreatePanes();
    void WirePanes();
    void ConnectCommands();

    // The concerns that do the window's work, made once the panes stand, and their wiring.
    void CreateConcerns();
    void WireExchanges();
    Operations& Ops() { return m_exchanges->Ops(); }
    void UpdateItem(uint32_t address, bool recountEdits = true);
    void UpdateCommandStates();
    void UpdateProgress() { m_exchangeView->UpdateProgress(); }
    void OnCurrentEncoderChanged(EncoderRecord* record);
    void Log(const QString& encoder, CActivityLog::Severity severity, const QString& text)
    {
        m_activityLog->Log(encoder, severity, text);
    }

    // The concerns that hang off the edits, each taking what it acts on.
    void CreateEditConcerns();

    CPrompter& m_prompter;
    LinkOptions m_linkOptions;
    std::string m_outFile;
    CEncoderRoster* m_roster = nullptr;           // the encoders listed and the address book
    CExchangeController* m_exchanges = nullptr;   // every exchange the window starts
    std::unique_ptr<CEncoderRows> m_rows;
    CExchangeView* m_exchangeView = nullptr;
    CDeviceCommands* m_deviceCommands = nullptr;
    bool m_closing = false;

    QLabel* m_messageField = nullptr;
    QToolBar* m_toolBar = nullptr;
    CPaneSplitter* m_outerSplitter = nullptr;
    CPaneSplitter* m_innerSplitter = nullptr;
    CDeviceTree* m_deviceTree = nullptr;
    CSettingsSheet* m_settingsSheet = nullptr;
    CMessagePane* m_messagePane = nullptr;
    CActivityLog* m_activityLog = nullptr;
    QDockWidget* m_activityDock = nullptr;
    CFrameCommands* m_frameCommands = nullptr;
    std::unique_ptr<CEditCommands> m_editCommands;

    std::unique_ptr<CWindowLayout> m_layout;
    std::unique_ptr<CSafeEdits> m_safeEdits;
    std::unique_ptr<CWriteReview> m_writes;
    std::unique_ptr<CSettingsFiles> m_settingsFiles;
    std::unique_ptr<CHistoryPanel> m_historyPanel;
};

// The setting under which the activity log's database is kept; empty: none.
extern const char* const kActivityLogFileKey;
