#pragma once
// The main window: menus, toolbar, status bar and three panes (device list on the left,
// settings sheet top right, message pane bottom right) in two CPaneSplitters, and the
// activity log in a dock below them. The frame builds them and the objects that do the
// window's work, and wires them: the encoders listed (CEncoderRoster), their rows
// (CEncoderRows), the exchanges (CExchangeController, run in the background: the window
// keeps painting and answering), what the operator asks of them (CDeviceCommands) and what
// their results show (CExchangeView). A command that would conflict with an exchange in
// flight is disabled, never queued. The panes do not know each other; the frame wires
// their signals.

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
class CHistoryKeeper;
class CMessagePane;
class CPaneSplitter;
class CPrompter;
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
    // The window's layout as the operator left it: geometry, dock and toolbar, splitters,
    // the sheet's dividers, the lists' columns. RestoreLayout is false when none was kept
    // (the window then starts as it always did); SaveLayout runs when the window closes.
    bool RestoreLayout();
    void SaveLayout() const;

    // Fleets (CMainFrameFleet.cpp). Writes the encoders' records the way Write Configuration does (checks, one review
    // for the batch, passwords); the encoders whose write started.
    std::vector<uint32_t> WriteEncoders(std::vector<uint32_t> addresses);
    // The listed encoders with edits not written.
    std::vector<uint32_t> EncodersWithPendingEdits() const;

    // Safe edits (CMainFrameEdits.cpp). The edits of an encoder not yet written: the rows
    // whose value differs from the record as last read or written, passwords aside.
    int PendingEdits(uint32_t address) const;
    std::vector<PendingChange> PendingEditsOf(const EncoderEntry& entry) const;
    // Whether a write may send the encoder's record: it was read, and its last read did
    // not fail.
    bool Writable(const EncoderEntry& entry) const;
    // Revert Row (the sheet's selected row) and Revert All, on the current encoder.
    void RevertRow();
    void RevertAll();
    // After "Set Configuration Success !", read the encoder again and show what did not
    // take. Kept in the per-user settings; off by default.
    void SetReadBack(bool on);
    bool ReadBack() const;
    void SetPasswordsShown(bool shown);
    // File > Save Settings As..., File > Apply Settings..., Device > Compare Encoders.
    void SaveSettingsAs();
    void ApplySettingsFile();
    void CompareSelected();
    QLabel* PendingField() const { return m_pendingField; }

    // Configuration history (CMainFrameHistory.cpp): the repository every successful read
    // and write is committed to; empty keeps none. RestoreSettings takes it from the
    // per-user settings, by default the per-user data folder's "history".
    void SetHistoryFolder(const QString& folder);
    QString HistoryFolder() const;
    // Device > History...: the current encoder's versions; Restore makes the chosen one's
    // settings pending edits.
    void ShowHistory();

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

    // Fleets (CMainFrameFleet.cpp).
    void WireFleet();
    // The one review of a write's changes; false when the operator declined it.
    bool ReviewWrite(const std::vector<uint32_t>& addresses);
    // Closing with edits not written asks; true to go on closing.
    bool ClosingWithPendingEdits();
    void CloseWhenWritten();

    // Safe edits (CMainFrameEdits.cpp).
    void CreateSafeEditWidgets();
    void RestoreSafeEditSettings();
    void UpdateSafeEditStates();
    // The checks before a write: read first, the whole record, the review. Leaves in
    // `addresses` the encoders to write; false when none is left.
    bool PrepareWrite(std::vector<uint32_t>& addresses);
    // Several encoders, some without both passwords in their sheet: asks once for the
    // passwords of the whole write (kept in memory for this write only). False: cancelled.
    bool AskBatchPasswords(const std::vector<uint32_t>& addresses);
    void ShowPending(const EncoderRecord& record);
    // Read failures, the read-back after a write and its comparison.
    void AfterExchange(const OperationReport& report, bool monitor);
    void ForgetEncoderEdits(uint32_t address);
    // Configuration history.
    void RestoreHistorySettings();
    void KeepInHistory(const EncoderEntry& entry, const EncoderRecord& record, const QString& title);
    void KeepBeforeWrite(uint32_t address);
    void KeepExchangeInHistory(const OperationReport& report);
    QString SheetNotice() const;
    bool RunFileDialog(bool save, const QString& title, QString& path);

    CPrompter& m_prompter;
    LinkOptions m_linkOptions;
    std::string m_outFile;
    CEncoderRoster* m_roster = nullptr;           // the encoders listed and the address book
    CExchangeController* m_exchanges = nullptr;   // every exchange the window starts
    std::unique_ptr<CEncoderRows> m_rows;
    CExchangeView* m_exchangeView = nullptr;
    CDeviceCommands* m_deviceCommands = nullptr;
    bool m_closing = false;
    std::vector<uint32_t> m_closeWrites;   // the writes the closing window waits for

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

    // Safe edits.
    QLabel* m_pendingField = nullptr;

    std::unique_ptr<CHistoryKeeper> m_history;
};

// The settings under which the history and the activity log are kept.
extern const char* const kHistoryFolderKey;     // the history repository's folder; empty: none
extern const char* const kActivityLogFileKey;   // the activity log's database; empty: none
extern const char* const
    kReadBackKey;   // read back after every write; false when not set   // read at start only; 10 when not set
