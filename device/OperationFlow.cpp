#include "OperationFlow.h"

#include <string>
#include <utility>
#include <vector>

#include "CommitRules.h"
#include "OutcomeTexts.h"
#include "Presets.h"
#include "RecordFields.h"

namespace {

using Step = OperationFlow::Step;
using Next = OperationFlow::Next;

Next Finish(ExchangeOutcome outcome)
{
    return {Next::Do::Finish, ExchangeKind::Read, outcome};
}

Next Submit(ExchangeKind exchange)
{
    return {Next::Do::Submit, exchange, ExchangeOutcome::Failed};
}

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

// Puts the rules the record breaks into the report, one line each and one box for all;
// false when it breaks none.
bool TakeBrokenRules(OperationReport& report, const std::vector<BrokenRule>& broken)
{
    report.brokenRules.clear();
    for (const BrokenRule& rule : broken)
        report.brokenRules.push_back(BrokenRuleLine(rule.heading, rule.label, rule.warning));
    if (report.brokenRules.empty()) return false;
    std::string text = TextOf(OutcomeText::BrokenRulesNotWritten);
    for (const std::string& line : report.brokenRules) text += "\n" + line;
    report.boxes.push_back({MessageKind::Warning, text, false});
    return true;
}

}   // namespace

std::optional<OperationReport> WriteRefusal(const EncoderEntry& entry)
{
    OperationReport refusal;
    refusal.kind = OperationKind::Write;
    refusal.address = entry.address;
    if (!Writable(entry)) {
        refusal.notRead = true;
        refusal.boxes.push_back({MessageKind::Warning, TextOf(OutcomeText::ReadFirst), false});
        return refusal;
    }
    if (!TakeBrokenRules(refusal, CheckWholeRecord(entry.record))) return std::nullopt;
    return refusal;
}

std::optional<ExchangeOutcome> OperationFlow::PrepareWrite(EncoderEntry& entry, EncoderRecord& record)
{
    if (write.settingsFile && TakeBrokenRules(report, ApplySettings(*write.settingsFile, entry.record)))
        return ExchangeOutcome::Failed;
    if (std::optional<OperationReport> refusal = WriteRefusal(entry)) {
        report.notRead = refusal->notRead;
        report.brokenRules = refusal->brokenRules;
        report.boxes.insert(report.boxes.end(), refusal->boxes.begin(), refusal->boxes.end());
        return ExchangeOutcome::Failed;
    }
    record = entry.record;
    if (const std::optional<WritePasswords>& given = write.passwords) {
        for (const auto& [field, text] : {std::pair{RECORD_FIELD(password), &given->password},
                                          std::pair{RECORD_FIELD(newPassword), &given->newPassword}}) {
            if (std::optional<std::string> warning = CommitField(field, EditorValue::FromTyped(*text), record)) {
                report.boxes.push_back({MessageKind::Warning, *warning, false});
                return ExchangeOutcome::Failed;
            }
        }
    }
    step = Step::Write;
    return std::nullopt;
}

OperationFlow::Next OperationFlow::Continue(const ExchangeResult& result, const EncoderEntry& entry)
{
    const bool succeeded = result.outcome == ExchangeOutcome::Succeeded;
    switch (step) {
    case Step::Read:
        TakeBoxes(report, result);
        ExplainSilentReadFailure(report, result);
        if (succeeded && result.record) {
            report.record = entry.record;
            report.document = result.document;
        }
        if (!succeeded || !result.record) return Finish(succeeded ? ExchangeOutcome::Failed : result.outcome);
        if (report.kind == OperationKind::Write) return {Next::Do::PrepareWrite, ExchangeKind::Write, {}};
        if (report.kind == OperationKind::Status) {
            step = Step::Status;
            return Submit(ExchangeKind::Status);
        }
        return Finish(ExchangeOutcome::Succeeded);
    case Step::Status: {
        if (!result.statusTaken) {
            // No reading was taken (this machine could not run the exchange): the entry's
            // reading is an older one and says nothing about now.
            return Finish(succeeded ? ExchangeOutcome::Failed : result.outcome);
        }
        const DeviceStatusReading reading = entry.status.value_or(DeviceStatusReading());
        report.status = reading;
        report.alarms = AlarmLines(reading, entry.record);
        report.alarmNotes = AlarmNotes(reading, entry.record);
        if (!reading.Answered()) report.notes.push_back(TextOf(OutcomeText::AlarmConnectFailed));
        return Finish(reading.Answered() ? ExchangeOutcome::Succeeded : ExchangeOutcome::Failed);
    }
    case Step::Write:
        TakeBoxes(report, result);
        report.written = succeeded;
        if (result.written) report.sent = *result.written;
        if (!succeeded) return Finish(result.outcome);
        if (!write.verify) return Finish(ExchangeOutcome::Succeeded);
        step = Step::Verify;
        report.verifyRan = true;
        return Submit(ExchangeKind::Read);
    case Step::Verify:
        TakeBoxes(report, result);
        ExplainSilentReadFailure(report, result);
        if (!succeeded || !result.record || !report.sent) {
            report.notes.push_back(TextOf(OutcomeText::ReadBackFailed));
            return Finish(ExchangeOutcome::Failed);
        }
        report.verifyRead = true;
        report.record = entry.record;
        report.notTaken = ReadBackMismatches(*report.sent, *result.record);
        for (const FieldMismatch& mismatch : report.notTaken)
            report.notTakenLines.push_back(NotTakenLine(mismatch.name, mismatch.written, mismatch.readBack));
        if (report.notTaken.empty()) report.notes.push_back(TextOf(OutcomeText::ReadBackAllTook));
        return Finish(report.notTaken.empty() ? ExchangeOutcome::Succeeded : ExchangeOutcome::Failed);
    case Step::Single:
        TakeBoxes(report, result);
        if (succeeded) report.notes.push_back(TextOf(OutcomeText::RequestNotAcknowledged));
        return Finish(result.outcome);
    }
    return Finish(result.outcome);
}
