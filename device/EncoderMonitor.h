#pragma once
// Watches a fleet of encoders without a window: polls each one's status through the
// device layer's operations (the same status and read the window and the other commands
// run), reads its configuration when it first answers (and again after it came back), and
// turns the readings into change events and figures. The alarm texts are those of
// the message list (AlarmLines), so a monitor and the window's message pane say the same
// thing about the same reading.
//
// One poll of an encoder is one status operation, never two at once for that encoder:
// - configuration not yet read: the operation reads first (its status gate tells whether
//   the encoder answers), then on success takes a status reading with the record just read
//   (its threshold and its programs' `start` flags decide the alarms);
// - configuration read: a status reading with that record.
// Polls are the engine's low priority: an operator's command on the same engine goes first.
// An encoder that does not answer its status is offline; its alarms are cleared (nothing
// is known about them any more) and its configuration is read again when it answers.
// An encoder that answers but whose configuration cannot be read yet (busy, keyboard,
// a document refused) is online with no alarms known; the read is tried again next poll.
//
// Not thread-safe: one thread calls PollDue, Process and Figures (the command-line loop).
// The operations' results reach that thread through the monitor's call queue.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "CallQueue.h"
#include "EncoderList.h"
#include "ExchangeEngine.h"
#include "Operations.h"

enum class MonitorEventKind { Online, Offline, Raised, Cleared };

// "online", "offline", "raised", "cleared".
const char* MonitorEventName(MonitorEventKind kind);

struct MonitorEvent {
    std::chrono::system_clock::time_point time;
    uint32_t address = 0;   // host order
    MonitorEventKind kind = MonitorEventKind::Online;
    std::string alarm;   // raised and cleared: the alarm line
};

// The upper bounds, in seconds, of the poll duration histogram's buckets (+Inf implied).
const std::vector<double>& PollDurationBounds();

// What is known about one encoder, for the metrics.
struct EncoderFigures {
    uint32_t address = 0;
    bool known = false;   // a poll has ended with an answer or a failure
    bool up = false;
    bool temperatureKnown = false;     // online and a status reading taken
    int temperature = 0;               // the status reading's byte 2, signed
    std::vector<std::string> alarms;   // active, in the order the message list adds them
    uint64_t pollsOk = 0;
    uint64_t pollsFailed = 0;
};

struct MonitorFigures {
    std::vector<EncoderFigures> encoders;    // in the order given
    std::vector<uint64_t> durationBuckets;   // cumulative, one per PollDurationBounds() entry
    uint64_t durationCount = 0;              // also the +Inf bucket
    double durationSum = 0;                  // seconds
};

class EncoderMonitor {
public:
    // Watches `addresses` (host order, each once) over an engine of its own.
    EncoderMonitor(const EngineOptions& options, const std::vector<uint32_t>& addresses);
    // Cancels every poll in flight; the engine's callbacks have returned when it ends.
    ~EncoderMonitor();
    EncoderMonitor(const EncoderMonitor&) = delete;
    EncoderMonitor& operator=(const EncoderMonitor&) = delete;

    // Starts a poll of every encoder that has none in flight; returns how many started.
    // An encoder whose last poll has not ended is left out, so a slow encoder is polled
    // at most once at a time whatever the interval.
    size_t PollDue();

    // Takes one step of the polls (a finished exchange), waiting at most `timeoutMs` (0:
    // only one already there), and appends the changes it made to `events`. False when
    // none came.
    bool Process(int timeoutMs, std::vector<MonitorEvent>& events);

    size_t PollsInFlight() const { return m_inFlight; }
    MonitorFigures Figures() const;

private:
    struct Watched {
        uint32_t address = 0;
        bool configRead = false;
        bool polling = false;
        std::chrono::steady_clock::time_point pollStarted;
        EncoderFigures figures;
    };

    void HandleReport(Watched& watched, const OperationReport& report);
    // The poll ends: `answered` says whether the encoder answered its status (empty: the
    // operation did not run to an answer or a failure of the encoder, nothing is learnt).
    void EndPoll(Watched& watched, std::optional<bool> answered);
    void SetAlarms(Watched& watched, std::vector<std::string> alarms);

    std::vector<Watched> m_watched;
    size_t m_inFlight = 0;
    std::vector<uint64_t> m_buckets;
    uint64_t m_durationCount = 0;
    double m_durationSum = 0;
    std::vector<MonitorEvent> m_events;   // made by the step Process runs
    // Declared in the order they depend on each other: the operations go first, then the
    // engine whose results they post to the queue, then the list and the queue.
    CallQueue m_calls;
    EncoderList m_encoders;
    ExchangeEngine m_engine;
    Operations m_operations;
};
