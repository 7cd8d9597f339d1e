#pragma once
// The window's layout across restarts: geometry, dock and toolbar, the panes' splitters, the
// sheet's column divider and the lists' columns. Kept in the per-user settings when the
// window closes and put back at start, before the first paint and without any exchange.

class CPaneSplitter;
class CSettingsSheet;
class QHeaderView;
class QMainWindow;

class CWindowLayout {
public:
    // The parts whose layout is kept; all of them outlive this object.
    CWindowLayout(QMainWindow& window, CPaneSplitter& outerSplitter, CPaneSplitter& innerSplitter,
                  CSettingsSheet& sheet, QHeaderView& deviceColumns, QHeaderView& activityColumns);

    // False when no layout was kept (the window then starts as it always did).
    bool Restore();
    void Save() const;

private:
    QMainWindow& m_window;
    CPaneSplitter& m_outerSplitter;
    CPaneSplitter& m_innerSplitter;
    CSettingsSheet& m_sheet;
    QHeaderView& m_deviceColumns;
    QHeaderView& m_activityColumns;
};
