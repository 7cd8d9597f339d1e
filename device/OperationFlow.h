#pragma once
// One operation's steps over one encoder: which exchange it waits for, what the report says
// once that exchange has ended, and which exchange comes next (a status after a read, the
// write after its checks, the read-back after a write) or how the operation ends. It
// sends nothing itself: Operations runs its exchanges on the engine and hands the results
// back on the owner's thread.

#include <functional>
#include <memory>
#include <optional>

#include "EncoderList.h"
#include "ExchangeEngine.h"
#include "OperationReport.h"
#include "OperationSummary.h"

// The checks before a write that need no exchange: the read-first rule and the whole
// record. Empty when the entry's record may be sent; otherwise the report's refusal.
std::optional<OperationReport> WriteRefusal(const EncoderEntry& entry);

class OperationFlow {
public:
    // Which exchange the flow waits for.
    enum class Step { Read, Status, Write, Verify, Single };

    // What comes after an exchange: the next one (with the entry's record), the write's
    // checks, or the end with an outcome.
    struct Next {
        enum class Do { Submit, PrepareWrite, Finish } what = Do::Finish;
        ExchangeKind exchange = ExchangeKind::Read;
        ExchangeOutcome outcome = ExchangeOutcome::Failed;
    };

    // Takes the result of the exchange the flow waited for, the entry already updated by it.
    Next Continue(const ExchangeResult& result, const EncoderEntry& entry);
    // The write's checks: a settings file taken into the entry's record first, then the
    // read-first rule and the whole record, then the batch's passwords into the copy sent.
    // The outcome to end with when refused; otherwise empty and `record` is what to write.
    std::optional<ExchangeOutcome> PrepareWrite(EncoderEntry& entry, EncoderRecord& record);

    OperationReport report;
    std::function<void(const OperationReport&)> done;
    std::shared_ptr<BatchTally> batch;   // the batch it counts in, if any
    Step step = Step::Single;
    WriteOptions write;
    StatusOptions status;
};
