#pragma once
// The main window: menus, toolbar, status bar and three panes (device tree on the left,
// settings sheet top right, message pane bottom right) in two CPaneSplitters. It owns the
// link to the encoders and is the link's reporter: the exchanges' boxes and wait cursor
// appear here, and their fixed waits run in a local event loop that keeps the window
// painted (with the exchange and its remaining seconds in the status bar) while no user
// input is taken, so only one command runs at a time.

#include <QMainWindow>
#include <QString>
#include <string>

#include "CSettingsSheet.h"
#include "EncoderLink.h"
#include "EncoderRecord.h"

class CDeviceTree;
class CMessagePane;
class CPaneSplitter;
class CPrompter;
class QAction;
class QLabel;
class QToolBar;
class QTreeWidgetItem;

class CMainFrame : public QMainWindow, public LinkReporter {
    Q_OBJECT
public:
    // The program passes the defaults; tests pass short waits and ephemeral ports. The
    // link's sleep is always the frame's own (see WaitWithoutInput).
    explicit CMainFrame(CPrompter& prompter, LinkOptions options = {});
    ~CMainFrame() override;

    // The device list. FindEncoderItem walks depth first from `item` (the item, its
    // children, then its following siblings with theirs) and compares whole texts.
    QTreeWidgetItem* FindEncoderItem(QTreeWidgetItem* item, const QString& text) const;
    // The item for dotted `text`, made (offline, with a zero-filled record) if missing.
    QTreeWidgetItem* AddEncoder(const QString& text);
    // Clears the selection, then frees the item's record and the item.
    void DeleteEncoder(QTreeWidgetItem* item);

    // The exchanges with one encoder, as CEncoderLink gives them.
    int ReadConfiguration(EncoderRecord& record);
    int WriteConfiguration(EncoderRecord& record);
    int StartTsToIp(const EncoderRecord& record);
    int StopTsToIp(const EncoderRecord& record);
    int QueryStatus(const EncoderRecord& record);
    void SearchEncoder(uint32_t address);

    // Every command that reaches the main window comes here: its menu items, toolbar
    // buttons and accelerators, and the settings sheet's row editors (their control IDs).
    // While an encoder is selected, the sheet is rewritten from its record after each
    // command; then the frame's own handling runs. True when something handled `id`.
    bool OnCommand(int id);

    // Rewrites the settings sheet from `record`: after a selection change, after a read,
    // and after every command that reaches OnCommand while an encoder is selected.
    void RefreshSheet(const EncoderRecord& record);

    // The record of the device tree's selected item, or null.
    EncoderRecord* SelectedRecord() const;

    CDeviceTree* DeviceTree() const { return m_deviceTree; }
    CSettingsSheet* SettingsSheet() const { return m_settingsSheet; }
    CMessagePane* MessagePane() const { return m_messagePane; }
    CPaneSplitter* OuterSplitter() const { return m_outerSplitter; }
    CPaneSplitter* InnerSplitter() const { return m_innerSplitter; }
    CPrompter& Prompter() const { return m_prompter; }
    CEncoderLink& Link() { return m_link; }
    QAction* CommandAction(int id) const;
    QLabel* MessageField() const { return m_messageField; }
    // True while an exchange runs (its fixed wait included).
    bool InExchange() const { return m_exchangeDepth > 0; }

    // LinkReporter: boxes owned by the main window, the wait cursor nested.
    void Warning(const std::string& text) override;
    void Tip(const std::string& text) override;
    void BeginWait() override;
    void EndWait() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    class ExchangeScope;

    void CreateCommands();
    void CreateMenus();
    void CreateToolBar();
    void CreateStatusBar();
    void CreatePanes();
    bool OnFrameCommand(int id);
    void WaitWithoutInput(int ms);
    void ShowWaitProgress(int remainingMs);

    CPrompter& m_prompter;
    CEncoderLink m_link;
    QLabel* m_messageField = nullptr;
    QToolBar* m_toolBar = nullptr;
    CPaneSplitter* m_outerSplitter = nullptr;
    CPaneSplitter* m_innerSplitter = nullptr;
    CDeviceTree* m_deviceTree = nullptr;
    CSettingsSheet* m_settingsSheet = nullptr;
    CMessagePane* m_messagePane = nullptr;
    QList<QAction*> m_commands;
    int m_exchangeDepth = 0;
    QString m_exchangeName;   // what the status bar says is waiting
};
