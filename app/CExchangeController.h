#pragma once
// The window's exchanges in one place: the commands the operator gives on the selected
// encoders, the search, the monitor's status readings, all on the device layer's
// operations over one engine. It knows which encoder has an operation in flight, how long
// it has left, how each encoder's last operation ended and when it was last read; the
// window asks it and shows. Results reach the window's thread in slices of at most
// kResultSliceMs per event-loop turn, so a thousand results together leave the window
// answering; what they change is announced per encoder, and the command states once per
// turn however many results arrived.

#include <QDateTime>
#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QStringList>
#include <QString>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "CActivityLog.h"
#include "EncoderList.h"
#include "EncoderLink.h"
#include "ExchangeEngine.h"
#include "Operations.h"

class CPacedQueue;
class QTimer;

class CExchangeController : public QObject {
    Q_OBJECT
public:
    static constexpr int kResultSliceMs = 20;   // results taken per turn of the event loop, at most
    static constexpr int kDefaultMonitorSeconds = 10;

    struct Outcome {
        QString text;
        bool failed = false;
    };

    CExchangeController(EncoderList& encoders, LinkOptions link, std::string outFile, QObject* parent = nullptr);
    // The operations go first (they cancel their exchanges), then the engine, which hands
    // on every result still to come; those die with the paced queue.
    ~CExchangeController() override;

    Operations& Ops();
    const LinkOptions& Link() const { return m_link; }

    // A device command on the encoders given, one operation each; several end with one
    // summary (commandSummarised) instead of a box each.
    void RunCommand(ExchangeKind kind, const std::vector<uint32_t>& addresses);
    // Options of a write given and not yet ended (the batch's passwords).
    void SetWriteOptions(uint32_t address, const WriteOptions& options) { m_writeOptions[address] = options; }
    // Discovery; `add` lists an address that answered and says whether it was new.
    bool StartSearch(uint32_t broadcast, std::function<bool(uint32_t)> add);
    void CancelAll();
    // The encoder left the list: its monitor reading is cancelled and nothing of it is kept.
    void Forget(uint32_t address);
    // The window closes: no new exchange, no more polls, everything cancelled.
    void Shutdown();
    bool ShuttingDown() const { return m_closing; }

    bool InFlight(uint32_t address) const { return m_flights.count(address) != 0; }
    bool InExchange() const { return !m_flights.empty() || m_searchId != 0; }
    bool Searching() const { return m_searchId != 0; }
    size_t Running() const { return m_flights.size() + (m_searchId != 0 ? 1 : 0); }
    std::optional<ExchangeKind> Activity(uint32_t address) const;
    int SecondsLeft(uint32_t address) const;   // -1 when none in flight
    // What the status bar says while exchanges run; empty when idle.
    QString ProgressText() const;

    Outcome LastOutcome(uint32_t address) const { return m_outcomes.value(address); }
    void SetOutcome(uint32_t address, const Outcome& outcome) { m_outcomes[address] = outcome; }
    QDateTime LastRead(uint32_t address) const { return m_lastRead.value(address); }

    void SetMonitoring(bool on);
    bool Monitoring() const;
    void SetMonitorInterval(int milliseconds);
    int MonitorInterval() const { return m_monitorIntervalMs; }

    void SetReplyComplete(bool on);
    bool ReplyComplete() const { return m_replyComplete; }
    void SetReadBack(bool on) { m_readBack = on; }
    bool ReadBack() const { return m_readBack; }

signals:
    // An operator's operation is about to start on the encoder (its row shows it at once).
    void operationStarting(uint32_t address, ExchangeKind kind);
    // An operation ended (a poll's too); `single` when it was a command on one encoder,
    // whose boxes the window shows. The entry's new events start at report.eventsFrom.
    void operationDone(const OperationReport& report, bool poll, bool single);
    // A batch's summary line, its failed encoders' lines, and whether the operator cancelled
    // some of it and nothing failed.
    void commandSummarised(const QString& text, const QStringList& failures, bool cancelled);
    void searchEnded(const QString& broadcast, const QString& text);
    void logged(const QString& encoder, CActivityLog::Severity severity, const QString& text);
    // What may be enabled and the progress changed; at most once per event-loop turn.
    void statesChanged();

private:
    struct Flight {
        OperationId id = 0;
        ExchangeKind kind = ExchangeKind::Read;
        qint64 startMs = 0;
        int expectedMs = 0;   // its fixed waits: the time it takes (or, finishing early, its deadline)
        bool batch = false;   // part of a command on several encoders
    };
    // A command on several encoders waiting for the monitor readings it cancelled to end.
    struct Waiting {
        ExchangeKind kind = ExchangeKind::Read;
        std::vector<uint32_t> addresses;
        size_t polls = 0;
    };

    ExchangeEngine& Engine();
    int ExpectedMs(ExchangeKind kind) const;
    void MarkFlight(ExchangeKind kind, uint32_t address, bool batch);
    void Submit(ExchangeKind kind, uint32_t address);
    void SubmitBatch(ExchangeKind kind, const std::vector<uint32_t>& addresses);
    void OnDone(const OperationReport& report, bool poll);
    void OnSearchFound(uint32_t address);
    void OnSearchDone(OperationId id, ExchangeOutcome outcome, const std::vector<uint32_t>& found);
    void Poll();
    void ScheduleStates();

    EncoderList& m_encoders;
    LinkOptions m_link;
    std::string m_outFile;
    std::unique_ptr<ExchangeEngine> m_engine;
    std::unique_ptr<Operations> m_operations;
    CPacedQueue* m_results = nullptr;
    bool m_replyComplete = false;
    bool m_readBack = false;
    bool m_closing = false;
    bool m_statesScheduled = false;

    std::map<uint32_t, Flight> m_flights;                    // operator operations in flight
    std::map<uint32_t, OperationId> m_polls;                 // monitor readings in flight
    std::map<uint32_t, std::function<void()>> m_afterPoll;   // a command waiting for its cancelled poll
    std::map<int, Waiting> m_waiting;
    int m_nextWaiting = 1;
    std::map<uint32_t, WriteOptions> m_writeOptions;
    QHash<uint32_t, Outcome> m_outcomes;
    QHash<uint32_t, QDateTime> m_lastRead;

    OperationId m_searchId = 0;
    uint32_t m_searchAddress = 0;
    qint64 m_searchStartMs = 0;
    int m_searchAnswered = 0;
    int m_searchNew = 0;
    std::unordered_set<uint32_t> m_searchSeen;
    std::function<bool(uint32_t)> m_searchAdd;

    QElapsedTimer m_clock;
    QTimer* m_monitorTimer = nullptr;
    int m_monitorIntervalMs = kDefaultMonitorSeconds * 1000;
};
