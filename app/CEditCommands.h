#pragma once
// Edit > Undo, Cut, Copy and Paste, and View > Next Panel / Prev Panel. The edit commands
// act on the field being edited; in the device list Copy takes the selected encoders'
// addresses and Paste adds the addresses the clipboard holds. The panel commands move the
// focus round the panes.

#include <QList>
#include <QStringList>
#include <functional>

class CDeviceTree;
class CFrameCommands;
class QWidget;

class CEditCommands {
public:
    using AddAddresses = std::function<void(const QStringList& dotted)>;
    using Panes = std::function<QList<QWidget*>()>;   // in focus order, the shown ones

    // Connects the six commands' actions to what they do here.
    CEditCommands(CFrameCommands& commands, CDeviceTree& list, Panes panes, AddAddresses add);

    // Enables what the focus allows.
    void UpdateStates() const;

private:
    void Edit(int id);
    void CycleFocus(int step);

    const CFrameCommands& m_commands;
    CDeviceTree& m_list;
    Panes m_panes;
    AddAddresses m_add;
};

// Accepts only four dotted numbers of 0 to 255: what the device list shows.
bool ParseDotted(const QString& text, uint32_t& address);
