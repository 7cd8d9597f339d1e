#include "Operations.h"

#include <algorithm>
#include <chrono>
#include <unordered_map>

#include "CommitRules.h"
#include "OutcomeTexts.h"
#include "Presets.h"
#include "RecordFields.h"
#include "TextConversions.h"

namespace {

// Which exchange a flow waits for.
enum class Step { Read, Status, Write, Verify, Single };

// The boxes an exchange would show, the gate's refusal marked as the device list's.
void TakeBoxes(OperationReport& report, const ExchangeResult& result)
{
    const std::optional<std::string> gate =
        result.statusTaken ? GateMessage(DeviceStatusReading::FromResult(result)) : std::nullopt;
    for (size_t i = 0; i < result.messages.size(); ++i) {
        const ExchangeMessage& message = result.messages[i];
        report.boxes.push_back({message.kind, message.text, i == 0 && gate && *gate == message.text});
    }
}

// A read that failed without a box of its own (a wrong reply code, a length out of bounds,
// a reply cut short, a document the reader refuses) still says why.
void ExplainSilentReadFailure(OperationReport& report, const ExchangeResult& result)
{
    if (result.outcome == ExchangeOutcome::Failed && result.messages.empty())
        report.notes.push_back(TextOf(OutcomeText::NoSettingsDocument));
}

std::vector<std::string> RuleLines(const std::vector<BrokenRule>& broken)
{
    std::vector<std::string> lines;
    for (const BrokenRule& rule : broken) lines.push_back(BrokenRuleLine(rule.heading, rule.label, rule.warning));
    return lines;
}

std::string BrokenRulesBox(const std::vector<std::string>& lines)
{
    std::string text = TextOf(OutcomeText::BrokenRulesNotWritten);
    for (const std::string& line : lines) text += "\n" + line;
    return text;
}

}   // namespace

struct Operations::BatchCount {
    OperationSummary summary;
    size_t finished = 0;
    BatchDone end;
};

struct Operations::Flow {
    OperationReport report;
    Done done;
    std::shared_ptr<BatchCount> batch;
    Step step = Step::Single;
    WriteOptions write;
    StatusOptions status;
};

const char* OperationName(OperationKind kind)
{
    switch (kind) {
    case OperationKind::Status:
        return ExchangeKindName(ExchangeKind::Status);
    case OperationKind::Read:
        return ExchangeKindName(ExchangeKind::Read);
    case OperationKind::Write:
        return ExchangeKindName(ExchangeKind::Write);
    case OperationKind::Start:
        return ExchangeKindName(ExchangeKind::Start);
    case OperationKind::Stop:
        return ExchangeKindName(ExchangeKind::Stop);
    }
    return "";
}

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
    callbacks.done = [this, executor = m_executor, alive = m_alive, flow](const ExchangeResult& result) {
        executor([this, alive, flow, result] {
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
    OperationReport refusal;
    refusal.kind = OperationKind::Write;
    refusal.address = address;
    if (!Writable(*entry)) {
        refusal.notRead = true;
        refusal.boxes.push_back({MessageKind::Warning, TextOf(OutcomeText::ReadFirst), false});
        return refusal;
    }
    refusal.brokenRules = RuleLines(CheckWholeRecord(entry->record));
    if (refusal.brokenRules.empty()) return std::nullopt;
    refusal.boxes.push_back({MessageKind::Warning, BrokenRulesBox(refusal.brokenRules), false});
    return refusal;
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
    OperationReport& report = flow->report;
    if (flow->write.settingsFile) {
        report.brokenRules = RuleLines(ApplySettings(*flow->write.settingsFile, entry.record));
        if (!report.brokenRules.empty()) {
            report.boxes.push_back({MessageKind::Warning, BrokenRulesBox(report.brokenRules), false});
            Finish(flow, ExchangeOutcome::Failed);
            return;
        }
    }
    if (std::optional<OperationReport> refusal = CheckWrite(entry.address)) {
        report.notRead = refusal->notRead;
        report.brokenRules = refusal->brokenRules;
        report.boxes.insert(report.boxes.end(), refusal->boxes.begin(), refusal->boxes.end());
        Finish(flow, ExchangeOutcome::Failed);
        return;
    }
    EncoderRecord record = entry.record;
    if (const std::optional<WritePasswords>& given = flow->write.passwords) {
        for (const auto& [field, text] : {std::pair{RECORD_FIELD(password), &given->password},
                                          std::pair{RECORD_FIELD(newPassword), &given->newPassword}}) {
            if (std::optional<std::string> warning = CommitField(field, EditorValue::FromTyped(*text), record)) {
                report.boxes.push_back({MessageKind::Warning, *warning, false});
                Finish(flow, ExchangeOutcome::Failed);
                return;
            }
        }
    }
    flow->step = Step::Write;
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
    OperationReport& report = flow->report;
    const bool succeeded = result.outcome == ExchangeOutcome::Succeeded;
    switch (flow->step) {
    case Step::Read:
        TakeBoxes(report, result);
        ExplainSilentReadFailure(report, result);
        if (succeeded && result.record) {
            report.record = entry.record;
            report.document = result.document;
        }
        if (!succeeded || !result.record) {
            Finish(flow, succeeded ? ExchangeOutcome::Failed : result.outcome);
        } else if (report.kind == OperationKind::Write) {
            PrepareWrite(flow, entry);
        } else if (report.kind == OperationKind::Status) {
            flow->step = Step::Status;
            Submit(flow, ExchangeKind::Status, entry.record);
        } else {
            Finish(flow, ExchangeOutcome::Succeeded);
        }
        return;
    case Step::Status: {
        if (!result.statusTaken) {
            // No reading was taken (this machine could not run the exchange): the entry's
            // reading is an older one and says nothing about now.
            Finish(flow, succeeded ? ExchangeOutcome::Failed : result.outcome);
            return;
        }
        const DeviceStatusReading reading = entry.status.value_or(DeviceStatusReading());
        report.status = reading;
        report.alarms = AlarmLines(reading, entry.record);
        report.alarmNotes = AlarmNotes(reading, entry.record);
        if (!reading.Answered()) report.notes.push_back(TextOf(OutcomeText::AlarmConnectFailed));
        Finish(flow, reading.Answered() ? ExchangeOutcome::Succeeded : ExchangeOutcome::Failed);
        return;
    }
    case Step::Write:
        TakeBoxes(report, result);
        report.written = succeeded;
        if (result.written) report.sent = *result.written;
        if (!succeeded) {
            Finish(flow, result.outcome);
        } else if (flow->write.verify) {
            flow->step = Step::Verify;
            report.verifyRan = true;
            Submit(flow, ExchangeKind::Read, entry.record);
        } else {
            Finish(flow, ExchangeOutcome::Succeeded);
        }
        return;
    case Step::Verify:
        TakeBoxes(report, result);
        ExplainSilentReadFailure(report, result);
        if (!succeeded || !result.record || !report.sent) {
            report.notes.push_back(TextOf(OutcomeText::ReadBackFailed));
            Finish(flow, ExchangeOutcome::Failed);
            return;
        }
        report.verifyRead = true;
        report.record = entry.record;
        report.notTaken = ReadBackMismatches(*report.sent, *result.record);
        for (const FieldMismatch& mismatch : report.notTaken)
            report.notTakenLines.push_back(NotTakenLine(mismatch.name, mismatch.written, mismatch.readBack));
        if (report.notTaken.empty()) report.notes.push_back(TextOf(OutcomeText::ReadBackAllTook));
        Finish(flow, report.notTaken.empty() ? ExchangeOutcome::Succeeded : ExchangeOutcome::Failed);
        return;
    case Step::Single:
        TakeBoxes(report, result);
        if (succeeded) report.notes.push_back(TextOf(OutcomeText::RequestNotAcknowledged));
        Finish(flow, result.outcome);
        return;
    }
}

void Operations::Finish(const std::shared_ptr<Flow>& flow, ExchangeOutcome outcome)
{
    flow->report.outcome = outcome;
    if (EncoderEntry* entry = m_encoders.Find(flow->report.address)) entry->inFlight = false;
    if (flow->done) flow->done(flow->report);
    if (!flow->batch) return;
    BatchCount& count = *flow->batch;
    if (outcome == ExchangeOutcome::Succeeded)
        ++count.summary.succeeded;
    else if (outcome == ExchangeOutcome::Cancelled)
        ++count.summary.cancelled;
    else {
        ++(outcome == ExchangeOutcome::LocalFailure ? count.summary.local : count.summary.failed);
        const OperationReport& report = flow->report;
        std::string why = !report.boxes.empty()   ? report.boxes.front().text
                          : !report.notes.empty() ? report.notes.front()
                                                  : ExchangeOutcomeName(outcome);
        count.summary.failures.push_back({report.address, why.substr(0, why.find('\n'))});
    }
    if (++count.finished == count.summary.total && count.end) count.end(count.summary);
}

std::vector<OperationId> Operations::RunBatch(OperationKind kind, const std::vector<uint32_t>& addresses,
                                              const WriteOptions& write, Done done, BatchDone end)
{
    auto count = std::make_shared<BatchCount>();
    count->summary.kind = kind;
    count->end = std::move(end);
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
        ++count->summary.total;
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
    if (count->summary.total == 0) {
        m_executor([alive = m_alive, count] {
            if (*alive && count->end) count->end(count->summary);
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
    callbacks.done = [this, executor = m_executor, alive = m_alive, flows](const ExchangeResult& result) {
        executor([this, alive, flows, result] {
            if (!*alive) return;
            const auto flow = flows->find(result.address);
            if (flow != flows->end()) OnResult(flow->second, result);
        });
    };
    m_engine->SubmitBatch(requests, callbacks, {});
}

std::vector<std::string> SummaryFailureLines(const OperationSummary& summary)
{
    std::vector<OperationSummary::Failure> failures = summary.failures;
    std::stable_sort(failures.begin(), failures.end(),
                     [](const auto& a, const auto& b) { return a.address < b.address; });
    std::vector<std::string> lines;
    lines.reserve(failures.size());
    for (const OperationSummary::Failure& failure : failures)
        lines.push_back(FormatDotted(failure.address) + ": " + failure.why);
    return lines;
}

std::string SummaryText(const OperationSummary& summary)
{
    std::string text = std::string(OperationName(summary.kind)) + " on " + std::to_string(summary.total) +
                       (summary.total == 1 ? " encoder: " : " encoders: ") + std::to_string(summary.succeeded) +
                       " succeeded, " + std::to_string(summary.failed) + " failed";
    if (summary.cancelled > 0) text += ", " + std::to_string(summary.cancelled) + " cancelled";
    if (summary.local > 0) text += ", " + std::to_string(summary.local) + " not run by this computer";
    return text + ".";
}
