#pragma once
// The workflows both front ends run, over the exchange engine and the encoder list: search,
// status (and the alarms it raises), read, write (read-first rule, passwords, whole-record
// check, write, optional read-back with the fields that did not take), start and stop. The
// window and the command line call these and never sequence exchanges themselves; each
// operation ends with one OperationReport that says what happened in the table's words
// (OutcomeTexts.h), which the caller only has to show.
//
// Threads: the list belongs to the owner's thread. Engine results are handed to the
// owner's thread through the executor given at construction (the window: a queued call;
// the command line: a CallQueue it drains); the list is changed and `done` runs there,
// never inside the call that started the operation.
//
// Its parts: OperationReport.h (what an operation is asked and says), OperationFlow.h (one
// operation's steps), OperationSummary.h (how a command on several encoders ended).

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "EncoderList.h"
#include "ExchangeEngine.h"
#include "OperationReport.h"
#include "OperationSummary.h"

class OperationFlow;

class Operations {
public:
    using Executor = std::function<void(std::function<void()>)>;
    using Done = std::function<void(const OperationReport&)>;

    Operations(ExchangeEngine& engine, EncoderList& encoders, Executor executor);
    // Operations still running report nothing any more; their exchanges are cancelled.
    ~Operations();
    Operations(const Operations&) = delete;
    Operations& operator=(const Operations&) = delete;

    // Each starts one operation for a listed encoder; 0 (and nothing reported) when the
    // encoder is not listed.
    OperationId Status(uint32_t address, StatusOptions options, Done done);
    OperationId Read(uint32_t address, Done done);
    OperationId Write(uint32_t address, WriteOptions options, Done done);
    OperationId Start(uint32_t address, Done done);
    OperationId Stop(uint32_t address, Done done);
    OperationId Run(OperationKind kind, uint32_t address, Done done);

    // One command on several encoders: an operation each (a write with `write`), each
    // reported through `done` as if alone, then `end` once with the counts. The first
    // exchange of every operation goes to the engine as one batch. Encoders not listed
    // start nothing (0 in their place) and are not counted.
    using BatchDone = std::function<void(const OperationSummary&)>;
    std::vector<OperationId> RunBatch(OperationKind kind, const std::vector<uint32_t>& addresses,
                                      const WriteOptions& write, Done done, BatchDone end);

    // Discovery on a broadcast address: `found` per address as it answers (each once),
    // then `done` with the search's outcome (Succeeded: the request went out and the
    // listening window ended) and every address in arrival order.
    OperationId Search(uint32_t broadcast, const std::function<void(uint32_t)>& found,
                       const std::function<void(ExchangeOutcome, const std::vector<uint32_t>&)>& done);

    // Exchanges started from now on wait so (empty: the engine's own mode); those running
    // finish in the mode they started in.
    void SetWaitMode(std::optional<WaitMode> mode) { m_waitMode = mode; }

    // The checks before a write that need no exchange: the read-first rule and the whole
    // record. Empty when the record may be sent; otherwise the report's refusal.
    std::optional<OperationReport> CheckWrite(uint32_t address) const;
    // Whether the entry's record holds both passwords a write needs.
    bool HasPasswords(uint32_t address) const;

    // Cancels the encoder's operation (or everything); it reports Cancelled.
    void Cancel(uint32_t address);
    void CancelAll();

    // An interrupted batch: from now on no operation starts another exchange. Exchanges
    // still queued are cancelled (nothing of them is sent); those running finish within
    // their bounds, and their operations then end there, reported Cancelled with
    // `interrupted` set. Operations started later end the same way without sending.
    void WindDown();
    bool WindingDown() const { return m_windingDown; }

private:
    using Flow = OperationFlow;
    // The first exchanges of a batch, gathered by Submit while a batch starts.
    using Gathered = std::vector<std::pair<ExchangeRequest, std::shared_ptr<Flow>>>;
    void SubmitGathered(Gathered gathered);
    OperationId Begin(OperationKind kind, uint32_t address, Done done, std::shared_ptr<Flow>& flow);
    void Submit(const std::shared_ptr<Flow>& flow, ExchangeKind kind, const EncoderRecord& record);
    void OnResult(const std::shared_ptr<Flow>& flow, const ExchangeResult& result);
    void Continue(const std::shared_ptr<Flow>& flow, const ExchangeResult& result, EncoderEntry& entry);
    void PrepareWrite(const std::shared_ptr<Flow>& flow, EncoderEntry& entry);
    void Finish(const std::shared_ptr<Flow>& flow, ExchangeOutcome outcome);

    ExchangeEngine* m_engine;
    std::optional<WaitMode> m_waitMode;
    bool m_windingDown = false;
    EncoderList& m_encoders;
    Executor m_executor;
    std::shared_ptr<bool> m_alive;
    OperationId m_nextId = 1;
    Gathered* m_gathering = nullptr;
};
