#include "CEncoderRows.h"

#include <optional>

#include "AppIds.h"
#include "CDeviceTree.h"
#include "CExchangeController.h"
#include "FrameText.h"
#include "StatusGate.h"

CEncoderRows::CEncoderRows(const CEncoderRoster& roster, const CExchangeController& exchanges, CDeviceTree& list,
                           EditCount editCount)
    : m_roster(roster), m_exchanges(exchanges), m_list(list), m_editCount(std::move(editCount))
{}

void CEncoderRows::Update(uint32_t address, bool recountEdits)
{
    const EncoderRecord* item = m_roster.ItemOf(address);
    if (!item) return;
    UpdateWithEdits(address, recountEdits ? m_editCount(address) : m_list.ItemView(item).pendingEdits);
}

void CEncoderRows::UpdateWithEdits(uint32_t address, int pendingEdits)
{
    const EncoderEntry* entry = m_roster.Encoders().Find(address);
    const EncoderRecord* item = m_roster.ItemOf(address);
    if (!entry || !item) return;
    DeviceItemView view;
    if (entry->status)
        view.state = entry->status->Answered() ? DeviceItemView::State::Online : DeviceItemView::State::Offline;
    else if (entry->state != EncoderState::Unknown)
        view.state =
            entry->state == EncoderState::Online ? DeviceItemView::State::Online : DeviceItemView::State::Offline;
    view.status = entry->status;
    view.overTemperature = entry->status && OverTemperatureAlarm(*entry->status, entry->record);
    view.lastRead = m_exchanges.LastRead(address);
    view.pendingEdits = pendingEdits;
    if (const std::optional<ExchangeKind> activity = m_exchanges.Activity(address))
        view.activity = ExchangeText(*activity);
    const CExchangeController::Outcome outcome = m_exchanges.LastOutcome(address);
    view.outcome = outcome.text;
    view.outcomeFailed = outcome.failed;
    m_list.SetItemView(item, view);
    // The image: online after a read's answered status, offline when a read's or a write's
    // status went unanswered, and offline too while the last status reading (the monitor's
    // included) did not reach the encoder, as the State column says.
    const bool unreachable = entry->status && !entry->status->Answered();
    m_list.SetItemImage(item, entry->state == EncoderState::Online && !unreachable ? IMAGE_ONLINE : IMAGE_OFFLINE);
}

void CEncoderRows::ShowListed(const std::vector<CEncoderRoster::Listed>& listed)
{
    std::optional<int> freshEdits[2];
    for (const auto& [address, fresh] : listed) {
        if (!fresh) {
            Update(address);
            continue;
        }
        std::optional<int>& edits = freshEdits[address != 0];
        if (!edits) edits = m_editCount(address);
        UpdateWithEdits(address, *edits);
    }
}
