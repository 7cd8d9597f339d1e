#pragma once
// The encoders the operator works with. Each entry owns its encoder's record, the record
// as last read from (or written to) the encoder, the last status reading, and an event
// log. Lookup by address is constant time; iteration keeps the order of adding.
//
// The event log keeps what changed, not every reading: the outcome of every command, a
// monitor's reading only when its outcome differs from the one before, alarms raised or
// cleared, and the encoder going online or offline. It is bounded per encoder and across
// the whole list, the oldest events going first, so that days of monitoring a large fleet
// hold the same memory as its first hour.
//
// The list belongs to ONE thread (the window's or the command-line tool's main thread).
// The exchange engine never touches it: its results reach the owning thread (queued
// signals, or a collector) and are applied there with ApplyResult().

#include <chrono>
#include <cstdint>
#include <deque>
#include <list>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "DeviceStatusReading.h"
#include "EncoderRecord.h"

struct ExchangeResult;

enum class EncoderState { Unknown, Online, Offline };

enum class EncoderEventKind {
    Exchange,       // an exchange ended: its outcome and messages
    AlarmRaised,    // an alarm line appeared in a status reading
    AlarmCleared,   // an alarm line of an earlier reading is gone
    Note,           // what a reading could not tell (once per encoder)
    StateChanged,   // the encoder went online or offline
};

struct EncoderEvent {
    std::chrono::system_clock::time_point time;
    EncoderEventKind kind = EncoderEventKind::Exchange;
    std::string text;
    bool failed = false;      // an exchange that did not succeed
    bool cancelled = false;   // an exchange cancelled
    uint64_t sequence = 0;    // grows with every event of the list: what came after a point
};

// One encoder's events, oldest first: a queue that takes no memory before its first event,
// so that an address book of thousands never used costs none.
class EncoderEvents {
public:
    using const_iterator = std::deque<EncoderEvent>::const_iterator;

    void push_back(EncoderEvent event)
    {
        if (!m_events) m_events = std::make_unique<std::deque<EncoderEvent>>();
        m_events->push_back(std::move(event));
    }
    void pop_front() { m_events->pop_front(); }
    size_t size() const { return m_events ? m_events->size() : 0; }
    bool empty() const { return size() == 0; }
    const EncoderEvent& front() const { return m_events->front(); }
    const EncoderEvent& operator[](size_t index) const { return (*m_events)[index]; }
    const_iterator begin() const { return m_events ? m_events->cbegin() : const_iterator(); }
    const_iterator end() const { return m_events ? m_events->cend() : const_iterator(); }

private:
    std::unique_ptr<std::deque<EncoderEvent>> m_events;
};

struct EncoderEntry {
    uint32_t address = 0;     // host order
    std::string dotted;       // "%d.%d.%d.%d" of `address`
    EncoderRecord record{};   // what the sheet shows and edits
    // As the encoder last reported or accepted it; made at the first read or write, so that
    // an address book of thousands never read holds one record per encoder, not two.
    std::unique_ptr<EncoderRecord> lastRead;
    bool lastReadFailed = false;   // the last read of the configuration failed
    EncoderState state = EncoderState::Unknown;

    // The last status reading that reached the encoder or failed to; empty before the first.
    std::optional<DeviceStatusReading> status;
    std::vector<std::string> activeAlarms;   // alarm texts of the last reading, in order
    bool thresholdNoteLogged = false;        // the log said the temperature threshold is unknown

    bool inFlight = false;           // an exchange for this encoder runs
    EncoderEvents events;            // oldest first; EncoderList::AddEvent bounds it
    std::string lastStatusOutcome;   // the last status reading's description: unchanged ones are no news

    bool HasLastRead() const { return lastRead != nullptr; }
    // The record as last read, zero-filled before the first read or write.
    const EncoderRecord& LastRead() const;
    void SetLastRead(const EncoderRecord& record);
};

class EncoderList {
public:
    using const_iterator = std::list<EncoderEntry>::const_iterator;
    using iterator = std::list<EncoderEntry>::iterator;

    // The entry for `address`, made (record zero-filled but for `ipAddr`, state Unknown) at
    // the end when it is not listed yet. `added` tells which.
    EncoderEntry& Add(uint32_t hostOrderAddress, bool* added = nullptr);
    // Removes the entry and its record; false when it is not listed.
    bool Remove(uint32_t hostOrderAddress);
    void Clear();

    EncoderEntry* Find(uint32_t hostOrderAddress);
    const EncoderEntry* Find(uint32_t hostOrderAddress) const;
    bool Contains(uint32_t hostOrderAddress) const { return m_index.count(hostOrderAddress) != 0; }

    size_t Size() const { return m_entries.size(); }
    bool Empty() const { return m_entries.empty(); }
    iterator begin() { return m_entries.begin(); }
    iterator end() { return m_entries.end(); }
    const_iterator begin() const { return m_entries.begin(); }
    const_iterator end() const { return m_entries.end(); }

    // Appends an event to the entry's log (which must be this list's), then drops the
    // oldest events beyond the bounds: the entry's own first, then the list's oldest.
    void AddEvent(EncoderEntry& entry, EncoderEvent event);
    // At most `perEncoder` events kept for one encoder and `total` for the whole list.
    void SetEventLimits(size_t perEncoder, size_t total);
    size_t EventCount() const { return m_eventCount; }
    // The sequence number the next event will get: events at or after it are new.
    uint64_t NextEventSequence() const { return m_nextSequence; }

    static constexpr size_t kDefaultEventsPerEncoder = 1000;
    static constexpr size_t kDefaultEventsTotal = 50000;

private:
    // Which entry holds the list's events in the order they were added; marks of encoders
    // removed since, or of events already dropped, are skipped when reached.
    struct EventMark {
        uint32_t address;
        uint64_t sequence;
    };
    void DropOldest();
    void CompactMarks();

    std::list<EncoderEntry> m_entries;   // order of adding; entries never move
    std::unordered_map<uint32_t, iterator> m_index;
    std::deque<EventMark> m_marks;
    size_t m_eventCount = 0;
    uint64_t m_nextSequence = 1;
    size_t m_perEncoder = kDefaultEventsPerEncoder;
    size_t m_total = kDefaultEventsTotal;
};

// Applies a finished exchange to its encoder's entry: the record on a successful read (the
// passwords typed into the entry stay), the last-read copy on a successful read or write,
// state, status flags, temperature and time when a status was taken, the in-flight flag,
// one event for the outcome (a poll's only when it differs from the last reading's), one
// per alarm raised or cleared, and one when the state changes. State follows the
// device list's image: a read's answered status makes the encoder online, a read's or
// write's unanswered status offline, other exchanges leave it. A result for an encoder
// that is no longer listed is ignored (nullptr); so is a search (its addresses are added
// by the caller). A refused exchange only logs: the other exchange still runs.
// Poll: a monitor's reading, whose unchanged outcome is no event; Command: the operator's
// (or a script's) own exchange, whose outcome always is.
enum class ResultSource { Command, Poll };

EncoderEntry* ApplyResult(EncoderList& list, const ExchangeResult& result,
                          std::chrono::system_clock::time_point now = std::chrono::system_clock::now(),
                          ResultSource source = ResultSource::Command);

// Whether a write may send the entry's record: a record is sent whole, so it must have been
// read, and its last read must not have failed (zeros or stale values would overwrite the
// encoder's own settings).
bool Writable(const EncoderEntry& entry);
// Whether the encoder's configuration was ever read: until then its record holds nothing
// the encoder reported (zeros but for the address) and is no setting to show or edit.
bool EverRead(const EncoderEntry& entry);

// The event text of a finished exchange, e.g. "Read Configuration failed: Device is busying !";
// an outcome the exchange's boxes leave silent (a read that got no settings document, a
// start the encoder does not acknowledge) says why in the outcome table's words.
std::string DescribeResult(const ExchangeResult& result);
