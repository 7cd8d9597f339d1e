#include "Operations.h"

#include <algorithm>
#include <chrono>
#include <unordered_map>

#include "OperationFlow.h"
#include "OutcomeTexts.h"

namespace {
using Step = OperationFlow::Step;
}   // namespace

Operations::Operations(ExchangeEngine& engine, EncoderList& encoders, Executor executor)
    : m_engine(&engine), m_encoders(encoders), m_executor(std::move(executor)), m_alive(std::make_shared<bool>(true))
{}

Operations::~Operations()
{
    *m_alive = false;
}

OperationId Operations::Begin(OperationKind kind, uint32_t address, Done done, std::shared_ptr<Flow>& flow)
{
    const EncoderEntry* entry = m_encoders.Find(address);
    if (entry == nullptr) return 0;
    flow = std::make_shared<Flow>();
    flow->report.id = m_nextId++;
    flow->report.kind = kind;
    flow->report.address = address;
    flow->report.eventsFrom = m_encoders.NextEventSequence();
    flow->done = std::move(done);
    return flow->report.id;
}

void Operations::Submit(const std::shared_ptr<Flow>& flow, ExchangeKind kind, const EncoderRecord& record)
{
    if (m_windingDown) {
        // No new exchange once the batch winds down; the end is reported as any other,
        // through the executor.
        flow->report.interrupted = true;
        m_executor([this, alive = m_alive, flow] {
            if (*alive) Finish(flow, ExchangeOutcome::Cancelled);
        });
        return;
    }
    if (EncoderEntry* entry = m_encoders.Find(flow->report.address)) entry->inFlight = true;
    ExchangeRequest request;
    request.kind = kind;
    request.record = record;
    request.waitMode = m_waitMode;
    // A monitor's reading waits behind every command of the operator.
    request.priority = flow->report.poll ? ExchangePriority::Poll : ExchangePriority::Command;
    if (m_gathering != nullptr) {
        m_gathering->emplace_back(request, flow);
        return;
    }
    ExchangeCallbacks callbacks;
    // The result crosses to the owner's thread; an operation whose owner went first is
    // dropped there.
    callbacks.done = [this, executor = m_executor, alive = m_alive, flow](ExchangeResult result) {
        executor([this, alive, flow, result = std::move(result)] {
            if (*alive) OnResult(flow, result);
        });
    };
    m_engine->Submit(request, callbacks);
}

OperationId Operations::Status(uint32_t address, StatusOptions options, Done done)
{
    std::shared_ptr<Flow> flow;
    const OperationId id = Begin(OperationKind::Status, address, std::move(done), flow);
    if (id == 0) return 0;
    flow->status = options;
    flow->report.poll = options.poll;
    const EncoderRecord& record = m_encoders.Find(address)->record;
    flow->step = options.readFirst ? Step::Read : Step::Status;
    Submit(flow, options.readFirst ? ExchangeKind::Read : ExchangeKind::Status, record);
    return id;
}

OperationId Operations::Read(uint32_t address, Done done)
{
    std::shared_ptr<Flow> flow;
    const OperationId id = Begin(OperationKind::Read, address, std::move(done), flow);
    if (id == 0) return 0;
    flow->step = Step::Read;
    Submit(flow, ExchangeKind::Read, m_encoders.Find(address)->record);
    return id;
}

OperationId Operations::Write(uint32_t address, WriteOptions options, Done done)
{
    std::shared_ptr<Flow> flow;
    const OperationId id = Begin(OperationKind::Write, address, std::move(done), flow);
    if (id == 0) return 0;
    flow->write = std::move(options);
    EncoderEntry& entry = *m_encoders.Find(address);
    if (flow->write.readFirst) {
        flow->step = Step::Read;
        Submit(flow, ExchangeKind::Read, entry.record);
        return id;
    }
    // A refusal before anything is sent is still reported through the executor, never
    // inside this call.
    m_executor([this, alive = m_alive, flow] {
        if (!*alive) return;
        if (EncoderEntry* listed = m_encoders.Find(flow->report.address))
            PrepareWrite(flow, *listed);
        else
            Finish(flow, ExchangeOutcome::Cancelled);
    });
    return id;
}

OperationId Operations::Start(uint32_t address, Done done)
{
    return Run(OperationKind::Start, address, std::move(done));
}

OperationId Operations::Stop(uint32_t address, Done done)
{
    return Run(OperationKind::Stop, address, std::move(done));
}

OperationId Operations::Run(OperationKind kind, uint32_t address, Done done)
{
    switch (kind) {
    case OperationKind::Status:
        return Status(address, {}, std::move(done));
    case OperationKind::Read:
        return Read(address, std::move(done));
    case OperationKind::Write:
        return Write(address, {}, std::move(done));
    case OperationKind::Start:
    case OperationKind::Stop:
        break;
    }
    std::shared_ptr<Flow> flow;
    const OperationId id = Begin(kind, address, std::move(done), flow);
    if (id == 0) return 0;
    flow->step = Step::Single;
    Submit(flow, kind == OperationKind::Start ? ExchangeKind::Start : ExchangeKind::Stop,
           m_encoders.Find(address)->record);
    return id;
}

OperationId Operations::Search(uint32_t broadcast, const std::function<void(uint32_t)>& found,
                               const std::function<void(ExchangeOutcome, const std::vector<uint32_t>&)>& done)
{
    const OperationId id = m_nextId++;
    auto seen = std::make_shared<std::vector<uint32_t>>();
    auto note = [seen, found](uint32_t address) {
        if (std::find(seen->begin(), seen->end(), address) != seen->end()) return;
        seen->push_back(address);
        if (found) found(address);
    };
    m_engine->Search(
        broadcast,
        [executor = m_executor, alive = m_alive, note, seen, done](const ExchangeResult& result) {
            executor([alive, note, seen, done, result] {
                if (!*alive) return;
                for (uint32_t address : result.found) note(address);   // any the progress calls have not brought
                if (done) done(result.outcome, *seen);
            });
        },
        [executor = m_executor, alive = m_alive, note](ExchangeId, uint32_t address) {
            executor([alive, note, address] {
                if (*alive) note(address);
            });
        });
    return id;
}

std::optional<OperationReport> Operations::CheckWrite(uint32_t address) const
{
    const EncoderEntry* entry = m_encoders.Find(address);
    if (entry == nullptr) return std::nullopt;
    return WriteRefusal(*entry);
}

bool Operations::HasPasswords(uint32_t address) const
{
    const EncoderEntry* entry = m_encoders.Find(address);
    return entry && entry->record.password[0] != '\0' && entry->record.newPassword[0] != '\0';
}

void Operations::Cancel(uint32_t address)
{
    m_engine->CancelEncoder(address);
}

void Operations::CancelAll()
{
    m_engine->CancelAll();
}

void Operations::WindDown()
{
    m_windingDown = true;
    m_engine->CancelQueued();
}

void Operations::PrepareWrite(const std::shared_ptr<Flow>& flow, EncoderEntry& entry)
{
    EncoderRecord record{};
    if (const std::optional<ExchangeOutcome> refused = flow->PrepareWrite(entry, record)) {
        Finish(flow, *refused);
        return;
    }
    Submit(flow, ExchangeKind::Write, record);
}

void Operations::OnResult(const std::shared_ptr<Flow>& flow, const ExchangeResult& result)
{
    OperationReport& report = flow->report;
    if (result.ran) report.reached = true;
    EncoderEntry* entry = ApplyResult(m_encoders, result, std::chrono::system_clock::now(),
                                      report.poll ? ResultSource::Poll : ResultSource::Command);
    if (!result.localError.empty()) report.localError = result.localError;
    if (entry == nullptr) {
        Finish(flow, result.outcome == ExchangeOutcome::Succeeded ? ExchangeOutcome::Cancelled : result.outcome);
        return;
    }
    if (result.outcome == ExchangeOutcome::Refused) {
        Finish(flow, ExchangeOutcome::Refused);
        return;
    }
    if (result.outcome == ExchangeOutcome::Cancelled) {
        report.notes.push_back(TextOf(OutcomeText::Cancelled));
        if (m_windingDown) report.interrupted = true;
        Finish(flow, ExchangeOutcome::Cancelled);
        return;
    }
    if (result.outcome == ExchangeOutcome::LocalFailure) {
        // This computer ran short (descriptors, ports, space, rights): whatever the link
        // would have blamed on the encoder is no box of the encoder's, the one box says so.
        report.boxes.push_back(
            {MessageKind::Warning, std::string(TextOf(OutcomeText::LocalFailure)) + ": " + result.localError, false});
        Finish(flow, ExchangeOutcome::LocalFailure);
        return;
    }
    if (!result.localError.empty()) {
        // The exchange is reported on its own merits; the copy it could not keep is a
        // warning of its own, shown before the encoder's answer as it came first.
        report.boxes.push_back({MessageKind::Warning, result.localError, false});
    }
    if (result.statusTaken) report.status = entry->status;
    Continue(flow, result, *entry);
}

void Operations::Continue(const std::shared_ptr<Flow>& flow, const ExchangeResult& result, EncoderEntry& entry)
{
    const OperationFlow::Next next = flow->Continue(result, entry);
    switch (next.what) {
    case OperationFlow::Next::Do::Submit:
        Submit(flow, next.exchange, entry.record);
        return;
    case OperationFlow::Next::Do::PrepareWrite:
        PrepareWrite(flow, entry);
        return;
    case OperationFlow::Next::Do::Finish:
        Finish(flow, next.outcome);
        return;
    }
}

void Operations::Finish(const std::shared_ptr<Flow>& flow, ExchangeOutcome outcome)
{
    flow->report.outcome = outcome;
    if (EncoderEntry* entry = m_encoders.Find(flow->report.address)) entry->inFlight = false;
    if (flow->done) flow->done(flow->report);
    if (flow->batch) flow->batch->Count(flow->report);
}

std::vector<OperationId> Operations::RunBatch(OperationKind kind, const std::vector<uint32_t>& addresses,
                                              const WriteOptions& write, Done done, BatchDone end)
{
    auto count = std::make_shared<BatchTally>(kind, std::move(end));
    std::vector<OperationId> ids;
    ids.reserve(addresses.size());
    std::vector<std::shared_ptr<Flow>> writes;
    Gathered gathered;
    m_gathering = &gathered;
    for (uint32_t address : addresses) {
        std::shared_ptr<Flow> flow;
        const OperationId id = Begin(kind, address, done, flow);
        ids.push_back(id);
        if (id == 0) continue;
        flow->batch = count;
        count->Expect();
        const EncoderRecord& record = m_encoders.Find(address)->record;
        switch (kind) {
        case OperationKind::Status:
            flow->step = Step::Status;
            Submit(flow, ExchangeKind::Status, record);
            break;
        case OperationKind::Read:
            flow->step = Step::Read;
            Submit(flow, ExchangeKind::Read, record);
            break;
        case OperationKind::Write:
            flow->write = write;
            if (write.readFirst) {
                flow->step = Step::Read;
                Submit(flow, ExchangeKind::Read, record);
            } else {
                writes.push_back(flow);
            }
            break;
        case OperationKind::Start:
        case OperationKind::Stop:
            flow->step = Step::Single;
            Submit(flow, kind == OperationKind::Start ? ExchangeKind::Start : ExchangeKind::Stop, record);
            break;
        }
    }
    m_gathering = nullptr;
    SubmitGathered(std::move(gathered));
    if (count->Expected() == 0) {
        m_executor([alive = m_alive, count] {
            if (*alive) count->End();
        });
    } else if (!writes.empty()) {
        // The checks before a write refuse through the executor, never inside this call;
        // the writes they let through go to the engine together.
        m_executor([this, alive = m_alive, writes] {
            if (!*alive) return;
            Gathered checked;
            m_gathering = &checked;
            for (const std::shared_ptr<Flow>& flow : writes) {
                if (EncoderEntry* listed = m_encoders.Find(flow->report.address))
                    PrepareWrite(flow, *listed);
                else
                    Finish(flow, ExchangeOutcome::Cancelled);
            }
            m_gathering = nullptr;
            SubmitGathered(std::move(checked));
        });
    }
    return ids;
}

void Operations::SubmitGathered(Gathered gathered)
{
    if (gathered.empty()) return;
    // One exchange per encoder at a time: within a batch the address names its flow.
    auto flows = std::make_shared<std::unordered_map<uint32_t, std::shared_ptr<Flow>>>();
    std::vector<ExchangeRequest> requests;
    requests.reserve(gathered.size());
    for (auto& [request, flow] : gathered) {
        flows->emplace(request.record.ipAddr, flow);
        requests.push_back(request);
    }
    ExchangeCallbacks callbacks;
    callbacks.done = [this, executor = m_executor, alive = m_alive, flows](ExchangeResult result) {
        executor([this, alive, flows, result = std::move(result)] {
            if (!*alive) return;
            const auto flow = flows->find(result.address);
            if (flow != flows->end()) OnResult(flow->second, result);
        });
    };
    m_engine->SubmitBatch(requests, callbacks, {});
}
