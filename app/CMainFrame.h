#pragma once
// The main window: menus, toolbar, status bar and three panes (device list on the left,
// settings sheet top right, message pane bottom right) in two CPaneSplitters, and the
// activity log in a dock below them. It owns the encoders (their records, last readings
// and event logs) and runs every exchange in the background on the exchange engine: the
// window keeps painting and answering, results come back to the window's thread through
// queued calls, and a command that would conflict with an exchange in flight is disabled,
// never queued. The panes do not know each other; the frame wires their signals.

#include <QDateTime>
#include <QMainWindow>
#include <QString>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "CActivityLog.h"
#include "CExchangeController.h"
#include "CSettingsSheet.h"
#include "EncoderList.h"
#include "EncoderLink.h"
#include "EncoderRecord.h"
#include "ExchangeEngine.h"
#include "Operations.h"
#include "RecordComparison.h"

class CAddressBook;
class CDeviceTree;
class CEditCommands;
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
class QTimer;
class QToolBar;

class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    static constexpr int kDefaultMonitorSeconds = CExchangeController::kDefaultMonitorSeconds;

    // The program passes the defaults; tests pass short waits and ephemeral ports.
    // `outFile` keeps the last document written to an encoder (the working folder's out.xml).
    explicit CMainFrame(CPrompter& prompter, LinkOptions options = {}, std::string outFile = "out.xml");
    // Cancels whatever runs and waits for the engine's workers (each ends within 100 ms).
    ~CMainFrame() override;

    // The device list; an item is named by its encoder's record. FindEncoderItem finds
    // the item whose whole text is `text` by a hash lookup of its address.
    EncoderRecord* FindEncoderItem(const QString& text) const;
    // The item for dotted `text`, made (offline, with a zero-filled record) if missing.
    EncoderRecord* AddEncoder(const QString& text);
    // The items of many addresses, made in one insertion; the address book is not saved.
    QList<EncoderRecord*> AddEncoders(const QStringList& texts);
    // Clears the selection, then frees the item's record and the item. Refused (false)
    // while the encoder has an exchange in flight.
    bool DeleteEncoder(EncoderRecord* item);
    // The same for many items at once; those with an exchange in flight stay.
    void DeleteEncoders(const QList<EncoderRecord*>& items);

    // The device commands (search, add, delete, read, write, start, stop, read device
    // message) on the selection; the exchanges start in the background.
    void RunDeviceCommand(int id);
    // Cancels every exchange; their records stay as they were.
    void CancelExchanges();

    // The settings sheet's row editors report their edits here by control ID: while an
    // encoder is selected the edit is committed into its record (or refused with one
    // warning) and the sheet is rewritten from the record. A frame command's id given
    // here runs that command as well. True when something handled `id`.
    bool OnCommand(int id);

    // Rewrites the settings sheet from `record`.
    void RefreshSheet(const EncoderRecord& record);

    // The record of the current encoder, or null.
    EncoderRecord* SelectedRecord() const;
    EncoderList& Encoders() { return m_encoders; }

    // True while an exchange given by the operator (or a search) runs for the encoder /
    // at all. The monitor's status readings do not count: a command cancels them.
    bool InFlight(uint32_t address) const;
    bool InExchange() const;
    // Seconds left of an encoder's exchange in flight, -1 when none.
    int SecondsLeft(uint32_t address) const;

    // Monitoring: status readings of every listed encoder every `seconds`, off at start.
    void SetMonitoring(bool on);
    bool Monitoring() const;
    void SetMonitorInterval(int milliseconds);
    int MonitorInterval() const;

    // Wait mode: false waits each exchange's full fixed time (the protocol's own way),
    // true ends it as soon as the reply is complete. Applies to exchanges started after.
    void SetReplyCompleteMode(bool on);
    bool ReplyCompleteMode() const;

    // Restores the address book (the encoders listed when the tool last ran, without any
    // exchange) and the wait mode from the per-user settings; from then on both are saved
    // whenever they change.
    void RestoreSettings();
    // The window's layout as the operator left it; saved when the window closes.
    CWindowLayout& Layout() { return *m_layout; }

    // Fleets (CMainFrameFleet.cpp). Lists the encoders given (each once; those listed
    // already stay as they are) in one insertion and one save of the address book, and
    // tells the operator how many were new. Answers that count.
    int AddFleet(const std::vector<uint32_t>& addresses);
    // File > Import Addresses...: an address list file, read as the command line's @FILE.
    void ImportAddresses();

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

signals:
    // A command on several encoders ended: its kind and counts.
    void commandSummarised(const QString& text);

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

    Operations& Ops();
    void WireExchanges();
    void OnOperationDone(const OperationReport& report, bool poll, bool single);
    void OnCommandSummarised(const QString& text, const QStringList& failures, bool cancelled);
    void ShowResultBoxes(const OperationReport& report);
    void StartSearch(uint32_t broadcast);

    void UpdateItem(uint32_t address, bool recountEdits = true);
    void UpdateItemWithEdits(uint32_t address, int pendingEdits);
    void UpdateCommandStates();
    void UpdateProgress();
    void OnCurrentEncoderChanged(EncoderRecord* record);
    void Log(const QString& encoder, CActivityLog::Severity severity, const QString& text);
    void LogNewEvents(const EncoderEntry& entry, uint64_t from, bool monitor);
    void ExportActivityLog();
    EncoderRecord* ItemOf(uint32_t address) const;

    // Fleets (CMainFrameFleet.cpp).
    void AddFromDialog();
    // Stop or Start on several encoders asks first; true to go on.
    bool ConfirmFleetCommand(ExchangeKind kind, size_t count);

    // The concerns that hang off the edits, each taking what it acts on.
    void CreateEditConcerns();
    bool NeverRead(const EncoderRecord& record) const;

    CPrompter& m_prompter;
    LinkOptions m_linkOptions;
    std::string m_outFile;
    EncoderList m_encoders;
    CExchangeController* m_exchanges = nullptr;   // every exchange the window starts
    CAddressBook* m_addressBook = nullptr;
    bool m_persist = false;   // settings restored: save changes
    bool m_closing = false;
    QTimer* m_progressTimer = nullptr;

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

// The settings under which the address book and the wait mode are kept.
extern const char* const kAddressBookKey;
extern const char* const kReplyCompleteKey;
extern const char* const kMonitorSecondsKey;    // read at start only; 10 when not set
extern const char* const kActivityLogFileKey;   // the activity log's database; empty: none
