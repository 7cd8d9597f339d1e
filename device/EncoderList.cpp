#include "EncoderList.h"

#include <algorithm>
#include <cstring>

#include "ExchangeEngine.h"
#include "OutcomeTexts.h"
#include "StatusGate.h"
#include "TextConversions.h"

EncoderEntry& EncoderList::Add(uint32_t hostOrderAddress, bool* added)
{
    auto found = m_index.find(hostOrderAddress);
    if (found != m_index.end()) {
        if (added != nullptr) {
            *added = false;
        }
        return *found->second;
    }
    // Made in place: a moved entry would cost its event queue a second allocation, which
    // adds up over an address book of thousands.
    EncoderEntry& entry = m_entries.emplace_back();
    entry.address = hostOrderAddress;
    entry.dotted = FormatDotted(hostOrderAddress);
    entry.record.ipAddr = hostOrderAddress;
    auto it = std::prev(m_entries.end());
    m_index.emplace(hostOrderAddress, it);
    if (added != nullptr) {
        *added = true;
    }
    return *it;
}

bool EncoderList::Remove(uint32_t hostOrderAddress)
{
    auto found = m_index.find(hostOrderAddress);
    if (found == m_index.end()) {
        return false;
    }
    m_eventCount -= found->second->events.size();
    m_entries.erase(found->second);
    m_index.erase(found);
    return true;
}

void EncoderList::Clear()
{
    m_index.clear();
    m_entries.clear();
    m_marks.clear();
    m_eventCount = 0;
}

void EncoderList::AddEvent(EncoderEntry& entry, EncoderEvent event)
{
    event.sequence = m_nextSequence++;
    m_marks.push_back({entry.address, event.sequence});
    entry.events.push_back(std::move(event));
    ++m_eventCount;
    while (entry.events.size() > m_perEncoder) {
        entry.events.pop_front();   // its mark goes stale and is skipped when reached
        --m_eventCount;
    }
    while (m_eventCount > m_total) {
        DropOldest();
    }
    CompactMarks();
}

void EncoderList::SetEventLimits(size_t perEncoder, size_t total)
{
    m_perEncoder = perEncoder > 0 ? perEncoder : 1;
    m_total = total > 0 ? total : 1;
    for (EncoderEntry& entry : m_entries) {
        while (entry.events.size() > m_perEncoder) {
            entry.events.pop_front();
            --m_eventCount;
        }
    }
    while (m_eventCount > m_total) {
        DropOldest();
    }
    CompactMarks();
}

void EncoderList::DropOldest()
{
    while (!m_marks.empty()) {
        const EventMark mark = m_marks.front();
        m_marks.pop_front();
        EncoderEntry* entry = Find(mark.address);
        if (entry != nullptr && !entry->events.empty() && entry->events.front().sequence == mark.sequence) {
            entry->events.pop_front();
            --m_eventCount;
            return;
        }
    }
}

// Marks of events dropped per encoder or of encoders removed are skipped when reached;
// when they outnumber the events kept, they go at once, so the marks stay bounded too.
void EncoderList::CompactMarks()
{
    if (m_marks.size() <= 2 * m_eventCount + 1024) {
        return;
    }
    std::deque<EventMark> kept;
    for (const EventMark& mark : m_marks) {
        const EncoderEntry* entry = Find(mark.address);
        if (entry != nullptr && !entry->events.empty() && entry->events.front().sequence <= mark.sequence) {
            kept.push_back(mark);
        }
    }
    m_marks.swap(kept);
}

EncoderEntry* EncoderList::Find(uint32_t hostOrderAddress)
{
    auto found = m_index.find(hostOrderAddress);
    return found == m_index.end() ? nullptr : &*found->second;
}

const EncoderEntry* EncoderList::Find(uint32_t hostOrderAddress) const
{
    auto found = m_index.find(hostOrderAddress);
    return found == m_index.end() ? nullptr : &*found->second;
}

const EncoderRecord& EncoderEntry::LastRead() const
{
    static const EncoderRecord kNeverRead{};
    return lastRead ? *lastRead : kNeverRead;
}

void EncoderEntry::SetLastRead(const EncoderRecord& read)
{
    if (lastRead) {
        *lastRead = read;
    } else {
        lastRead = std::make_unique<EncoderRecord>(read);
    }
}

bool Writable(const EncoderEntry& entry)
{
    return entry.HasLastRead() && entry.record.loaded != 0 && !entry.lastReadFailed;
}

bool EverRead(const EncoderEntry& entry)
{
    return entry.HasLastRead() && entry.record.loaded != 0;
}

std::string DescribeResult(const ExchangeResult& result)
{
    std::string text = std::string(ExchangeKindName(result.kind)) + " " + ExchangeOutcomeName(result.outcome);
    const char* separator = ": ";
    if (result.outcome == ExchangeOutcome::LocalFailure) {
        // Whatever the link said is no word about the encoder: this computer ran short.
        return text + separator + TextOf(OutcomeText::LocalFailure) + ": " + result.localError;
    }
    for (const ExchangeMessage& message : result.messages) {
        text += separator + message.text;
        separator = " / ";
    }
    if (result.outcome == ExchangeOutcome::Failed && result.messages.empty()) {
        if (result.kind == ExchangeKind::Read) text += separator + std::string(TextOf(OutcomeText::NoSettingsDocument));
        if (result.kind == ExchangeKind::Status)
            text += separator + std::string(TextOf(OutcomeText::AlarmConnectFailed));
    }
    if (result.outcome == ExchangeOutcome::Succeeded &&
        (result.kind == ExchangeKind::Start || result.kind == ExchangeKind::Stop)) {
        text += separator + std::string(TextOf(OutcomeText::RequestNotAcknowledged));
    }
    return text;
}

namespace {

void Log(EncoderList& list, EncoderEntry& entry, std::chrono::system_clock::time_point now, EncoderEventKind kind,
         std::string text, bool failed = false, bool cancelled = false)
{
    list.AddEvent(entry, {now, kind, std::move(text), failed, cancelled, 0});
}

const char* StateName(EncoderState state)
{
    return state == EncoderState::Online ? "online" : state == EncoderState::Offline ? "offline" : "unknown";
}

// Raises the alarms of a new reading that were not active and clears those that are gone.
// An unanswered reading says nothing about the programs: it only adds the connection line.
void UpdateAlarms(EncoderList& list, EncoderEntry& entry, const DeviceStatusReading& reading,
                  std::chrono::system_clock::time_point now)
{
    std::vector<std::string> active;
    if (!reading.Answered()) {
        active = entry.activeAlarms;
    }
    if (reading.Answered() && !entry.record.loaded && !entry.thresholdNoteLogged) {
        entry.thresholdNoteLogged = true;
        Log(list, entry, now, EncoderEventKind::Note, TextOf(OutcomeText::NotReadThresholdUnknown));
    }
    for (const AlarmLine& line : AlarmLines(reading, entry.record)) {
        if (std::find(active.begin(), active.end(), line.text) == active.end()) {
            active.push_back(line.text);
        }
    }
    for (const std::string& old : entry.activeAlarms) {
        if (std::find(active.begin(), active.end(), old) == active.end()) {
            Log(list, entry, now, EncoderEventKind::AlarmCleared, old);
        }
    }
    for (const std::string& now_active : active) {
        if (std::find(entry.activeAlarms.begin(), entry.activeAlarms.end(), now_active) == entry.activeAlarms.end()) {
            Log(list, entry, now, EncoderEventKind::AlarmRaised, now_active);
        }
    }
    entry.activeAlarms = std::move(active);
}

}   // namespace

EncoderEntry* ApplyResult(EncoderList& list, const ExchangeResult& result, std::chrono::system_clock::time_point now,
                          ResultSource source)
{
    if (result.kind == ExchangeKind::Search) {
        return nullptr;
    }
    EncoderEntry* entry = list.Find(result.address);
    if (entry == nullptr) {
        return nullptr;
    }
    std::string outcome = DescribeResult(result);
    const bool changed = result.kind != ExchangeKind::Status || outcome != entry->lastStatusOutcome;
    if (result.kind == ExchangeKind::Status) entry->lastStatusOutcome = outcome;
    // A monitor reads every encoder every second: only a changed outcome is news.
    if (source == ResultSource::Command || changed) {
        Log(list, *entry, now, EncoderEventKind::Exchange, std::move(outcome),
            result.outcome != ExchangeOutcome::Succeeded && result.outcome != ExchangeOutcome::Cancelled,
            result.outcome == ExchangeOutcome::Cancelled);
    }
    if (result.outcome == ExchangeOutcome::Refused) {
        return entry;   // the exchange that holds the encoder reports for itself
    }
    entry->inFlight = false;
    if (result.outcome == ExchangeOutcome::Cancelled) {
        return entry;
    }

    const EncoderState stateBefore = entry->state;
    if (result.statusTaken) {
        entry->status = DeviceStatusReading::FromResult(result, now);
        // The list's image: a read's answer shows the encoder online, any gate without an
        // answer offline; the message list's own reading leaves the image alone.
        if (!entry->status->Answered() && result.kind != ExchangeKind::Status) {
            entry->state = EncoderState::Offline;
        } else if (entry->status->Answered() && result.kind == ExchangeKind::Read) {
            entry->state = EncoderState::Online;
        }
    }
    if (result.kind == ExchangeKind::Read) {
        entry->lastReadFailed = result.outcome != ExchangeOutcome::Succeeded || !result.record;
    }
    if (result.outcome == ExchangeOutcome::Succeeded && result.record) {
        // The read fills every setting it carries; the passwords are typed, never read.
        EncoderRecord record = *result.record;
        std::memcpy(record.password, entry->record.password, sizeof record.password);
        std::memcpy(record.newPassword, entry->record.newPassword, sizeof record.newPassword);
        entry->record = record;
        entry->SetLastRead(record);
    }
    if (result.outcome == ExchangeOutcome::Succeeded && result.written) {
        entry->SetLastRead(*result.written);
    }
    if (entry->state != stateBefore) {
        Log(list, *entry, now, EncoderEventKind::StateChanged, StateName(entry->state));
    }
    // After the record: the first read of a hot encoder brings the threshold its own
    // gate reading is judged against.
    if (entry->status && result.statusTaken) {
        UpdateAlarms(list, *entry, *entry->status, now);
    }
    return entry;
}
