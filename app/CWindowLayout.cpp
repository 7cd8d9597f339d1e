#include "CWindowLayout.h"

#include <QHeaderView>
#include <QMainWindow>
#include <QSettings>
#include <vector>

#include "CPaneSplitter.h"
#include "CSettingsSheet.h"

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

void RestoreWeights(const QSettings& settings, const char* key, CPaneSplitter& splitter)
{
    const std::vector<int> weights = Weights(settings.value(QString::fromLatin1(key)), splitter.PaneCount());
    if (!weights.empty()) splitter.SetProportions(weights);
}

}   // namespace

CWindowLayout::CWindowLayout(QMainWindow& window, CPaneSplitter& outerSplitter, CPaneSplitter& innerSplitter,
                             CSettingsSheet& sheet, QHeaderView& deviceColumns, QHeaderView& activityColumns)
    : m_window(window), m_outerSplitter(outerSplitter), m_innerSplitter(innerSplitter), m_sheet(sheet),
      m_deviceColumns(deviceColumns), m_activityColumns(activityColumns)
{}

// The label dividers inside the sheet's columns are left out: the sheet puts them back
// at their place whenever it is resized.
void CWindowLayout::Save() const
{
    QSettings settings;
    settings.setValue(QString::fromLatin1(kGeometryKey), m_window.saveGeometry());
    settings.setValue(QString::fromLatin1(kStateKey), m_window.saveState());
    settings.setValue(QString::fromLatin1(kOuterSplitterKey), ToList(m_outerSplitter.Proportions()));
    settings.setValue(QString::fromLatin1(kInnerSplitterKey), ToList(m_innerSplitter.Proportions()));
    settings.setValue(QString::fromLatin1(kColumnDividerKey), m_sheet.ColumnDivider());
    settings.setValue(QString::fromLatin1(kDeviceColumnsKey), m_deviceColumns.saveState());
    settings.setValue(QString::fromLatin1(kActivityColumnsKey), m_activityColumns.saveState());
}

bool CWindowLayout::Restore()
{
    QSettings settings;
    RestoreWeights(settings, kOuterSplitterKey, m_outerSplitter);
    RestoreWeights(settings, kInnerSplitterKey, m_innerSplitter);
    m_sheet.SetColumnDivider(Position(settings.value(QString::fromLatin1(kColumnDividerKey)), m_sheet.ColumnDivider()));
    // restoreState refuses what does not fit, and the header keeps its own.
    m_deviceColumns.restoreState(settings.value(QString::fromLatin1(kDeviceColumnsKey)).toByteArray());
    m_activityColumns.restoreState(settings.value(QString::fromLatin1(kActivityColumnsKey)).toByteArray());
    m_window.restoreState(settings.value(QString::fromLatin1(kStateKey)).toByteArray());
    return m_window.restoreGeometry(settings.value(QString::fromLatin1(kGeometryKey)).toByteArray());
}
