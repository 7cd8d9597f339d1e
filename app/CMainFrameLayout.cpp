// The window's layout across restarts: kept in the settings when the window closes and
// put back at start, before the first paint and without any exchange.

#include <QDockWidget>
#include <QHeaderView>
#include <QSettings>
#include <QTreeView>
#include <QTreeWidget>
#include <utility>

#include "AppIds.h"
#include "CActivityLog.h"
#include "CDeviceTree.h"
#include "CMainFrame.h"
#include "CPaneSplitter.h"
#include "Pictures.h"

namespace {

const char* const kGeometryKey = "Layout/geometry";
const char* const kStateKey = "Layout/state";
const char* const kOuterSplitterKey = "Layout/outerSplitter";
const char* const kInnerSplitterKey = "Layout/innerSplitter";
const char* const kColumnDividerKey = "Layout/columnDivider";
const char* const kDeviceColumnsKey = "Layout/deviceColumns";
const char* const kActivityColumnsKey = "Layout/activityColumns";

QVariantList ToList(const std::vector<int>& numbers)
{
    QVariantList list;
    for (int number : numbers) list << number;
    return list;
}

// Weights as kept, or none when they do not fit the splitter (another version, a file
// edited by hand): the splitter keeps its own then.
std::vector<int> Weights(const QVariant& kept, int count)
{
    std::vector<int> weights;
    for (const QVariant& value : kept.toList()) {
        bool ok = false;
        const int weight = value.toInt(&ok);
        if (!ok || weight < 0) return {};
        weights.push_back(weight);
    }
    int total = 0;
    for (int weight : weights) total += weight;
    if (int(weights.size()) != count || total <= 0) return {};
    return weights;
}

// A kept pixel position, or `fallback` when there is none or it is out of all reason.
int Position(const QVariant& kept, int fallback)
{
    bool ok = false;
    const int position = kept.toInt(&ok);
    return ok && position >= 0 && position <= 100000 ? position : fallback;
}

}   // namespace

// The label dividers inside the sheet's columns are left out: the sheet puts them back
// at their place whenever it is resized.
void CMainFrame::SaveLayout() const
{
    QSettings settings;
    settings.setValue(QString::fromLatin1(kGeometryKey), saveGeometry());
    settings.setValue(QString::fromLatin1(kStateKey), saveState());
    settings.setValue(QString::fromLatin1(kOuterSplitterKey), ToList(m_outerSplitter->Proportions()));
    settings.setValue(QString::fromLatin1(kInnerSplitterKey), ToList(m_innerSplitter->Proportions()));
    settings.setValue(QString::fromLatin1(kColumnDividerKey), m_settingsSheet->ColumnDivider());
    settings.setValue(QString::fromLatin1(kDeviceColumnsKey), m_deviceTree->header()->saveState());
    settings.setValue(QString::fromLatin1(kActivityColumnsKey), m_activityLog->View()->header()->saveState());
}

bool CMainFrame::RestoreLayout()
{
    QSettings settings;
    if (const std::vector<int> weights =
            Weights(settings.value(QString::fromLatin1(kOuterSplitterKey)), m_outerSplitter->PaneCount());
        !weights.empty())
        m_outerSplitter->SetProportions(weights);
    if (const std::vector<int> weights =
            Weights(settings.value(QString::fromLatin1(kInnerSplitterKey)), m_innerSplitter->PaneCount());
        !weights.empty())
        m_innerSplitter->SetProportions(weights);
    m_settingsSheet->SetColumnDivider(
        Position(settings.value(QString::fromLatin1(kColumnDividerKey)), m_settingsSheet->ColumnDivider()));
    // restoreState refuses what does not fit, and the header keeps its own.
    m_deviceTree->header()->restoreState(settings.value(QString::fromLatin1(kDeviceColumnsKey)).toByteArray());
    m_activityLog->View()->header()->restoreState(
        settings.value(QString::fromLatin1(kActivityColumnsKey)).toByteArray());
    restoreState(settings.value(QString::fromLatin1(kStateKey)).toByteArray());
    return restoreGeometry(settings.value(QString::fromLatin1(kGeometryKey)).toByteArray());
}

void CMainFrame::DrawPaletteButtons()
{
    const std::pair<int, ToolPicture> buttons[] = {{ID_START_TS_IP, ToolPicture::StartOutput},
                                                   {ID_STOP_TS_IP, ToolPicture::StopOutput},
                                                   {ID_READ_CONFIGURATION, ToolPicture::ReadSettings},
                                                   {ID_WRITE_CONFIGURATION, ToolPicture::WriteSettings}};
    for (const auto& [id, picture] : buttons) CommandAction(id)->setIcon(PaletteButtonIcon(picture, palette()));
}
