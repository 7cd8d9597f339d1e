#pragma once
// The encoders the operator works with. Each entry owns its encoder's record, the record
// as last read from (or written to) the encoder, the last status reading, and an event
// log. Lookup by address is constant time; iteration keeps the order of adding.
//
// The list belongs to ONE thread (the window's or the command-line tool's main thread).
// The exchange engine never touches it: its results reach the owning thread (queued
// signals, or a collector) and are applied there with ApplyResult().

#include <chrono>
#include <cstdint>
#include <list>
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
};

struct EncoderEvent {
    std::chrono::system_clock::time_point time;
    EncoderEventKind kind = EncoderEventKind::Exchange;
    std::string text;
    bool failed = false;      // an exchange that did not succeed
    bool cancelled = false;   // an exchange cancelled
};

struct EncoderEntry {
    uint32_t address = 0;       // host order
    std::string dotted;         // "%d.%d.%d.%d" of `address`
    EncoderRecord record{};     // what the sheet shows and edits
    EncoderRecord lastRead{};   // as the encoder last reported or accepted it
    bool hasLastRead = false;
    bool lastReadFailed = false;   // the last read of the configuration failed
    EncoderState state = EncoderState::Unknown;

    // The last status reading that reached the encoder or failed to; empty before the first.
    std::optional<DeviceStatusReading> status;
    std::vector<std::string> activeAlarms;   // alarm texts of the last reading, in order
    bool thresholdNoteLogged = false;        // the log said the temperature threshold is unknown

    bool inFlight = false;              // an exchange for this encoder runs
    std::vector<EncoderEvent> events;   // oldest first
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

private:
    std::list<EncoderEntry> m_entries;   // order of adding; entries never move
    std::unordered_map<uint32_t, iterator> m_index;
};

// Applies a finished exchange to its encoder's entry: the record on a successful read (the
// passwords typed into the entry stay), the last-read copy on a successful read or write,
// state, status flags, temperature and time when a status was taken, the in-flight flag,
// one event for the outcome, and one event per alarm raised or cleared. State follows the
// device list's image: a read's answered status makes the encoder online, a read's or
// write's unanswered status offline, other exchanges leave it. A result for an encoder
// that is no longer listed is ignored (nullptr); so is a search (its addresses are added
// by the caller). A refused exchange only logs: the other exchange still runs.
EncoderEntry* ApplyResult(EncoderList& list, const ExchangeResult& result,
                          std::chrono::system_clock::time_point now = std::chrono::system_clock::now());

// Whether a write may send the entry's record: a record is sent whole, so it must have been
// read, and its last read must not have failed (zeros or stale values would overwrite the
// encoder's own settings).
bool Writable(const EncoderEntry& entry);

// The event text of a finished exchange, e.g. "Read Configuration failed: Device is busying !";
// an outcome the exchange's boxes leave silent (a read that got no settings document, a
// start the encoder does not acknowledge) says why in the outcome table's words.
std::string DescribeResult(const ExchangeResult& result);
