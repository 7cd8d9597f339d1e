// One operation's steps without an engine: which exchange follows which result, and how a
// batch counts the operations that end. The exchanges themselves run in OperationsTest.

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "CEncoderSim.h"
#include "OperationFlow.h"
#include "OutcomeTexts.h"
#include "SettingsDocument.h"

namespace {

using Step = OperationFlow::Step;
using Do = OperationFlow::Next::Do;

struct StepCase {
    const char* name;
    OperationKind kind;
    Step step;
    bool verify;
    ExchangeOutcome outcome;
    bool withRecord;   // the result carries a record (a read) or a reading (a status)
    Do what;
    ExchangeKind exchange;      // when the next is an exchange (else unread)
    ExchangeOutcome finishAs;   // when the next is the end (else unread)
    Step stepAfter;
};

TEST(OperationFlow, EachResultLeadsToTheNextExchangeOrTheEnd)
{
    const auto S = ExchangeOutcome::Succeeded;
    const auto F = ExchangeOutcome::Failed;
    const auto C = ExchangeOutcome::Cancelled;
    using K = OperationKind;
    using X = ExchangeKind;
    const StepCase cases[] = {
        {"a read ends with its record", K::Read, Step::Read, false, S, true, Do::Finish, X::Read, S, Step::Read},
        {"a read without a record failed", K::Read, Step::Read, false, S, false, Do::Finish, X::Read, F, Step::Read},
        {"a failed read ends as it did", K::Read, Step::Read, false, F, false, Do::Finish, X::Read, F, Step::Read},
        {"a cancelled read ends cancelled", K::Read, Step::Read, false, C, false, Do::Finish, X::Read, C, Step::Read},
        {"a status read first goes on to the status", K::Status, Step::Read, false, S, true, Do::Submit, X::Status, S,
         Step::Status},
        {"a write read first goes on to its checks", K::Write, Step::Read, false, S, true, Do::PrepareWrite, X::Read, S,
         Step::Read},
        {"a status without a reading failed", K::Status, Step::Status, false, S, false, Do::Finish, X::Read, F,
         Step::Status},
        {"a write not read back ends", K::Write, Step::Write, false, S, false, Do::Finish, X::Read, S, Step::Write},
        {"a write read back reads", K::Write, Step::Write, true, S, false, Do::Submit, X::Read, S, Step::Verify},
        {"a refused write is not read back", K::Write, Step::Write, true, F, false, Do::Finish, X::Read, F,
         Step::Write},
        {"a read-back without a record failed", K::Write, Step::Verify, true, S, false, Do::Finish, X::Read, F,
         Step::Verify},
        {"a start ends as its exchange did", K::Start, Step::Single, false, S, false, Do::Finish, X::Read, S,
         Step::Single},
    };
    for (const StepCase& c : cases) {
        SCOPED_TRACE(c.name);
        EncoderEntry entry;
        entry.address = 0x7F000001u;
        OperationFlow flow;
        flow.report.kind = c.kind;
        flow.step = c.step;
        flow.write.verify = c.verify;
        ExchangeResult result;
        result.outcome = c.outcome;
        if (c.withRecord && c.step == Step::Status) {
            result.statusTaken = true;
        } else if (c.withRecord) {
            result.record = entry.record;
        }
        const OperationFlow::Next next = flow.Continue(result, entry);
        EXPECT_EQ(next.what, c.what);
        if (c.what == Do::Submit) {
            EXPECT_EQ(next.exchange, c.exchange);
        }
        if (c.what == Do::Finish) {
            EXPECT_EQ(next.outcome, c.finishAs);
        }
        EXPECT_EQ(flow.step, c.stepAfter);
    }
}

TEST(OperationFlow, AReadBackNamesTheFieldsThatDidNotTake)
{
    EncoderEntry entry;
    const std::string document = CEncoderSim::DefaultDocument(0x7F000001u);
    ASSERT_GT(ReadSettingsText(document.c_str(), static_cast<int>(document.size()), entry.record), 0);
    OperationFlow flow;
    flow.report.kind = OperationKind::Write;
    flow.step = Step::Verify;
    flow.report.sent = entry.record;
    flow.report.sent->tsipPort = 5000;
    ExchangeResult result;
    result.outcome = ExchangeOutcome::Succeeded;
    result.record = entry.record;
    result.record->tsipPort = 5002;
    EXPECT_EQ(flow.Continue(result, entry).outcome, ExchangeOutcome::Failed);
    EXPECT_TRUE(flow.report.verifyRead);
    ASSERT_EQ(flow.report.notTakenLines.size(), 1u);
    EXPECT_NE(flow.report.notTakenLines[0].find("5002"), std::string::npos);

    OperationFlow same;
    same.step = Step::Verify;
    same.report.sent = *result.record;
    EXPECT_EQ(same.Continue(result, entry).outcome, ExchangeOutcome::Succeeded);
    EXPECT_EQ(same.report.notes, std::vector<std::string>{TextOf(OutcomeText::ReadBackAllTook)});
}

TEST(OperationFlow, AWriteOfWhatWasNeverReadIsRefusedBeforeAnythingIsSent)
{
    EncoderEntry entry;
    OperationFlow flow;
    flow.report.kind = OperationKind::Write;
    EncoderRecord record{};
    EXPECT_EQ(flow.PrepareWrite(entry, record), ExchangeOutcome::Failed);
    EXPECT_TRUE(flow.report.notRead);
    ASSERT_EQ(flow.report.boxes.size(), 1u);
    EXPECT_EQ(flow.report.boxes[0].text, TextOf(OutcomeText::ReadFirst));
    EXPECT_EQ(flow.step, Step::Single) << "no write is lined up";
    EXPECT_EQ(WriteRefusal(entry)->boxes, flow.report.boxes);
}

OperationReport Ended(uint32_t address, ExchangeOutcome outcome, std::vector<OperationBox> boxes,
                      std::vector<std::string> notes)
{
    OperationReport report;
    report.address = address;
    report.outcome = outcome;
    report.boxes = std::move(boxes);
    report.notes = std::move(notes);
    return report;
}

TEST(BatchTally, CountsEachEndAndSaysWhyEachFailedInItsFirstLine)
{
    int ends = 0;
    OperationSummary last;
    BatchTally tally(OperationKind::Read, [&](const OperationSummary& summary) {
        ++ends;
        last = summary;
    });
    for (int i = 0; i < 5; ++i) tally.Expect();
    tally.Count(Ended(5, ExchangeOutcome::Failed, {{MessageKind::Warning, "Connect Device Failed !\nmore", false}},
                      {"a note"}));
    tally.Count(Ended(1, ExchangeOutcome::Succeeded, {}, {}));
    tally.Count(Ended(4, ExchangeOutcome::Cancelled, {}, {"Cancelled"}));
    tally.Count(Ended(3, ExchangeOutcome::LocalFailure, {}, {"no descriptor"}));
    EXPECT_EQ(ends, 0) << "the summary waits for the last";
    tally.Count(Ended(2, ExchangeOutcome::Failed, {}, {}));
    ASSERT_EQ(ends, 1);
    EXPECT_EQ(SummaryText(last), "Read Configuration on 5 encoders: 1 succeeded, 2 failed, 1 cancelled, 1 not run by "
                                 "this computer.");
    const std::vector<std::string> lines = {
        "0.0.0.2: " + std::string(ExchangeOutcomeName(ExchangeOutcome::Failed)),
        "0.0.0.3: no descriptor",
        "0.0.0.5: Connect Device Failed !",
    };
    EXPECT_EQ(SummaryFailureLines(last), lines);
}

}   // namespace
