// The workflows both front ends run, against the in-process stand-in and its faults, in
// both wait modes: what each operation sends, what it reports in the outcome table's words,
// and what it leaves in the encoder's entry.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "CEncoderSim.h"
#include "CallQueue.h"
#include "LinkProtocol.h"
#include "Operations.h"
#include "OutcomeTexts.h"
#include "Presets.h"
#include "TextConversions.h"

namespace {

using Boxes = std::vector<OperationBox>;

class OperationsTest : public ::testing::TestWithParam<WaitMode> {
protected:
    void SetUp() override
    {
        sim = std::make_unique<CEncoderSim>();
        ASSERT_TRUE(sim->Start()) << sim->Error();
        EngineOptions options;
        options.link.commandPort = sim->CommandPort();
        options.link.searchPort = sim->SearchPort();
        options.link.timing = {30, 20, 10, 100, 300};
        options.link.timing.receiveBoundMs = 400;
        options.outFile = ::testing::TempDir() + "korvane-operations.xml";
        options.link.waitMode = GetParam();
        engine = std::make_unique<ExchangeEngine>(options);
        operations = std::make_unique<Operations>(*engine, encoders, queue.Executor());
        address = sim->Address();
        encoders.Add(address);
    }
    void TearDown() override
    {
        operations.reset();
        engine.reset();
    }

    // Runs the owner's queue until the operation has reported.
    OperationReport Await(const std::function<OperationId(Operations::Done)>& start)
    {
        std::shared_ptr<OperationReport> report;
        const OperationId id =
            start([&report](const OperationReport& done) { report = std::make_shared<OperationReport>(done); });
        EXPECT_NE(id, 0u);
        EXPECT_FALSE(report) << "reported inside the call that started it";
        while (!report && queue.RunOne(10000)) {
        }
        EXPECT_TRUE(report) << "no report in time";
        if (!report) return OperationReport{};
        EXPECT_EQ(report->id, id);
        // Every box is the table's, letter for letter (a list of broken rules under its line).
        for (const OperationBox& box : report->boxes)
            EXPECT_TRUE(IsOutcomeText(box.text.substr(0, box.text.find('\n')))) << box.text;
        return *report;
    }
    OperationReport Read()
    {
        return Await([this](Operations::Done done) { return operations->Read(address, done); });
    }
    OperationReport Write(WriteOptions options = {})
    {
        return Await([&](Operations::Done done) { return operations->Write(address, options, done); });
    }
    OperationReport Status(StatusOptions options = {})
    {
        return Await([&](Operations::Done done) { return operations->Status(address, options, done); });
    }
    EncoderEntry& Entry() { return *encoders.Find(address); }
    void TypePasswords(const char* password)
    {
        std::strcpy(Entry().record.password, password);
        std::strcpy(Entry().record.newPassword, password);
    }

    std::unique_ptr<CEncoderSim> sim;
    std::unique_ptr<ExchangeEngine> engine;
    EncoderList encoders;
    CallQueue queue;
    std::unique_ptr<Operations> operations;
    uint32_t address = 0;
};

}   // namespace

TEST_P(OperationsTest, ReadsTheRecordIntoTheEntryOrSaysWhyNot)
{
    OperationReport report = Read();
    EXPECT_EQ(report.outcome, ExchangeOutcome::Succeeded);
    ASSERT_TRUE(report.record.has_value());
    EXPECT_EQ(report.record->loaded, 1);
    EXPECT_TRUE(Entry().record.loaded && Writable(Entry()));
    EXPECT_TRUE(report.boxes.empty());
    EXPECT_EQ(report.document, sim->Document());

    sim->SetDocument("<other_root/>");
    report = Read();
    EXPECT_EQ(report.outcome, ExchangeOutcome::Failed);
    EXPECT_TRUE(report.boxes.empty()) << "the exchange itself ends silently";
    EXPECT_EQ(report.notes, std::vector<std::string>{TextOf(OutcomeText::NoSettingsDocument)});
    EXPECT_FALSE(Writable(Entry())) << "the last read failed";

    sim->SetStatus({1, 0, 38, 1, 1, 1, 1});
    report = Read();
    EXPECT_EQ(report.boxes, (Boxes{{MessageKind::Warning, "Device is busying !", true}}));
    EXPECT_EQ(sim->RequestCount(CMD_READ_CONFIG), 2) << "the busy gate sent no read";
    EXPECT_EQ(sim->RequestCount(CMD_STATUS), 3);
}

TEST_P(OperationsTest, StatusOfAnEncoderNeverReadTellsWhatItCanAndCannot)
{
    sim->SetStatus({0, 0, 75, 1, 0, 0, 1});
    OperationReport report = Status();
    EXPECT_EQ(report.outcome, ExchangeOutcome::Succeeded);
    ASSERT_TRUE(report.status.has_value());
    EXPECT_EQ(report.status->Temperature(), 75);
    EXPECT_EQ(report.alarms, (std::vector<AlarmLine>{{0, "Program-1 no input"}, {0, "Program-2 no output"}}));
    EXPECT_EQ(report.alarmNotes, (std::vector<std::string>{TextOf(OutcomeText::NotReadProgramsAssumedOn),
                                                           TextOf(OutcomeText::NotReadThresholdUnknown)}));

    // Reading first brings the programs and the threshold (the stand-in's is 60 or less).
    Entry().record.loaded = 0;
    report = Status({true, false});
    EXPECT_TRUE(report.alarmNotes.empty());
    ASSERT_FALSE(report.alarms.empty());
    EXPECT_EQ(report.alarms.front().text, "Device temperature warning");

    sim->SetFault(SimFault::Silence);
    report = Status();
    EXPECT_EQ(report.outcome, ExchangeOutcome::Failed);
    EXPECT_EQ(report.alarms, (std::vector<AlarmLine>{{1, "Connect device failed"}}));
    EXPECT_EQ(report.notes, std::vector<std::string>{"Connect device failed"});
}

TEST_P(OperationsTest, WriteRefusesWhatWasNotReadOrBreaksARuleBeforeSendingAnything)
{
    OperationReport report = Write();
    EXPECT_TRUE(report.notRead);
    EXPECT_EQ(report.boxes, (Boxes{{MessageKind::Warning, "Please read the configuration first !", false}}));
    EXPECT_EQ(sim->RequestCount(CMD_STATUS), 0);

    ASSERT_EQ(Read().outcome, ExchangeOutcome::Succeeded);
    Entry().record.program_info1.video.pid = 5;
    report = Write();
    EXPECT_FALSE(report.notRead);
    ASSERT_EQ(report.brokenRules.size(), 1u);
    EXPECT_EQ(report.brokenRules[0].rfind("Program1 - Video / ", 0), 0u) << report.brokenRules[0];
    ASSERT_EQ(report.boxes.size(), 1u);
    EXPECT_EQ(report.boxes[0].text, "The settings break these rules and were not written:\n" + report.brokenRules[0]);
    EXPECT_EQ(sim->RequestCount(CMD_WRITE_CONFIG), 0);
    EXPECT_EQ(operations->CheckWrite(address)->brokenRules, report.brokenRules) << "the same check, asked first";
}

TEST_P(OperationsTest, WriteKeepsTheExchangesOrderAndTakesBatchPasswordsWithoutStoringThem)
{
    ASSERT_EQ(Read().outcome, ExchangeOutcome::Succeeded);
    EXPECT_FALSE(operations->HasPasswords(address));
    // The record's own passwords: the gate first, then the exchange's own refusal.
    OperationReport report = Write();
    EXPECT_EQ(report.boxes, (Boxes{{MessageKind::Warning, "Please enter correct passowrd !", false}}));
    EXPECT_EQ(sim->RequestCount(CMD_STATUS), 2);

    WriteOptions batch;
    batch.passwords = WritePasswords{"admin", "admin"};
    report = Write(batch);
    EXPECT_EQ(report.outcome, ExchangeOutcome::Succeeded);
    EXPECT_EQ(report.boxes, (Boxes{{MessageKind::Tip, "Set Configuration Success !", false}}));
    EXPECT_TRUE(report.written);
    EXPECT_STREQ(Entry().record.password, "") << "batch passwords stay out of the entry";
    EXPECT_NE(sim->LastWrittenDocument().find("admin"), std::string::npos);

    batch.passwords = WritePasswords{"wrong", "wrong"};
    report = Write(batch);
    EXPECT_EQ(report.boxes, (Boxes{{MessageKind::Warning, "Password Error !", false}}));
    EXPECT_EQ(report.outcome, ExchangeOutcome::Failed);
}

TEST_P(OperationsTest, WriteOfASettingsFileReadsFirstAndVerifies)
{
    ASSERT_EQ(Read().outcome, ExchangeOutcome::Succeeded);
    EncoderRecord edited = Entry().record;
    std::strcpy(edited.program_info1.progName, "Sport");
    const std::string file = SaveSettingsDocument(edited);
    encoders.Remove(address);
    encoders.Add(address);   // as the command line starts: nothing read yet

    WriteOptions options;
    options.readFirst = true;
    options.settingsFile = file;
    options.passwords = WritePasswords{"admin", "admin"};
    options.verify = true;
    OperationReport report = Write(options);
    EXPECT_EQ(report.outcome, ExchangeOutcome::Succeeded);
    EXPECT_TRUE(report.written && report.verifyRan && report.verifyRead);
    EXPECT_TRUE(report.notTaken.empty());
    EXPECT_EQ(report.notes, std::vector<std::string>{TextOf(OutcomeText::ReadBackAllTook)});
    EXPECT_STREQ(Entry().record.program_info1.progName, "Sport");
    EXPECT_EQ(sim->RequestCount(CMD_READ_CONFIG), 3) << "read, write, read back";

    options.settingsFile = std::string("not a settings document");
    report = Write(options);
    EXPECT_EQ(report.brokenRules, std::vector<std::string>{"The file is not an encoder settings document !"});
    EXPECT_EQ(sim->RequestCount(CMD_WRITE_CONFIG), 1);
}

TEST_P(OperationsTest, StartAndStopSayTheEncoderDoesNotAcknowledge)
{
    for (OperationKind kind : {OperationKind::Start, OperationKind::Stop}) {
        OperationReport report = Await([&](Operations::Done done) { return operations->Run(kind, address, done); });
        EXPECT_EQ(report.outcome, ExchangeOutcome::Succeeded);
        EXPECT_EQ(report.notes, std::vector<std::string>{"request sent; the encoder does not acknowledge it"});
    }
}

TEST_P(OperationsTest, CancelEndsTheOperationAndKeepsTheRecord)
{
    sim->SetFault(SimFault::Silence);
    std::shared_ptr<OperationReport> report;
    Entry().record.deviceID = 9;
    operations->Read(address,
                     [&report](const OperationReport& done) { report = std::make_shared<OperationReport>(done); });
    operations->Cancel(address);
    while (!report && queue.RunOne(10000)) {
    }
    ASSERT_TRUE(report);
    EXPECT_EQ(report->outcome, ExchangeOutcome::Cancelled);
    EXPECT_EQ(report->notes, std::vector<std::string>{"cancelled"});
    EXPECT_EQ(Entry().record.deviceID, 9);
    EXPECT_FALSE(Entry().inFlight);
}

// An interrupted batch: what waits in the queue is cancelled with nothing sent, the
// exchange running finishes and its operation stops before its next step, and an
// operation started afterwards sends nothing.
TEST_P(OperationsTest, WindDownCancelsWhatWaitsAndStopsBetweenSteps)
{
    EngineOptions options = engine->Options();
    options.maxInFlight = 1;   // the write's read runs, the other encoder's read waits
    operations.reset();
    engine = std::make_unique<ExchangeEngine>(options);
    operations = std::make_unique<Operations>(*engine, encoders, queue.Executor());
    const uint32_t waiting = address + 1;   // never contacted: nobody serves it
    encoders.Add(waiting);
    sim->SetDelay(50);

    WriteOptions write;
    write.readFirst = true;
    write.passwords = WritePasswords{"admin", "admin"};
    std::shared_ptr<OperationReport> written, queued;
    operations->Write(address, write,
                      [&](const OperationReport& r) { written = std::make_shared<OperationReport>(r); });
    operations->Read(waiting, [&](const OperationReport& r) { queued = std::make_shared<OperationReport>(r); });
    ASSERT_TRUE(sim->WaitForRequests(1, 10000));
    operations->WindDown();
    while ((!written || !queued) && queue.RunOne(10000)) {
    }
    ASSERT_TRUE(written && queued);
    EXPECT_EQ(written->outcome, ExchangeOutcome::Cancelled);
    EXPECT_TRUE(written->reached && written->interrupted);
    EXPECT_FALSE(written->written);
    EXPECT_TRUE(written->record.has_value()) << "the read that was sending finished";
    EXPECT_EQ(sim->RequestCount(CMD_WRITE_CONFIG), 0);
    EXPECT_EQ(queued->outcome, ExchangeOutcome::Cancelled);
    EXPECT_FALSE(queued->reached) << "nothing was sent to the encoder that waited";

    const OperationReport late = Status();
    EXPECT_EQ(late.outcome, ExchangeOutcome::Cancelled);
    EXPECT_TRUE(late.interrupted);
    EXPECT_FALSE(late.reached);
}

// Batch passwords are typed text: they go out as the sheet's GB2312, and a character GB2312
// lacks is refused before anything is written.
TEST_P(OperationsTest, BatchPasswordsAreEncodedAsTheSheetEncodesTyping)
{
    ASSERT_EQ(Read().outcome, ExchangeOutcome::Succeeded);
    sim->SetPassword("admin");
    WriteOptions batch;
    batch.passwords = WritePasswords{"admin", "\xE5\xAF\x86\xE7\xA0\x81"};   // 密码
    OperationReport report = Write(batch);
    EXPECT_EQ(report.outcome, ExchangeOutcome::Succeeded);
    EXPECT_NE(sim->LastWrittenDocument().find("<newPassword>\xC3\xDC\xC2\xEB</newPassword>"), std::string::npos);

    batch.passwords = WritePasswords{"admin", "pass\xF0\x9F\x98\x80"};
    std::shared_ptr<OperationReport> refused;
    operations->Write(address, batch,
                      [&](const OperationReport& r) { refused = std::make_shared<OperationReport>(r); });
    while (!refused && queue.RunOne(10000)) {
    }
    ASSERT_TRUE(refused);
    report = *refused;
    EXPECT_EQ(report.outcome, ExchangeOutcome::Failed);
    ASSERT_EQ(report.boxes.size(), 1u);
    EXPECT_NE(report.boxes[0].text.find("(U+1F600) cannot be sent to the encoder !"), std::string::npos);
    EXPECT_EQ(sim->RequestCount(CMD_WRITE_CONFIG), 1);
}

TEST_P(OperationsTest, SearchReportsEachAddressOnceOnTheOwnersThread)
{
    sim->SetSearchReplies({0x0A000101u, 0x0A000102u, 0x0A000101u});
    std::vector<uint32_t> found;
    std::vector<uint32_t> all;
    bool ended = false;
    ExchangeOutcome outcome = ExchangeOutcome::Failed;
    operations->Search(
        address, [&found](uint32_t each) { found.push_back(each); },
        [&](ExchangeOutcome result, const std::vector<uint32_t>& addresses) {
            ended = true;
            outcome = result;
            all = addresses;
        });
    EXPECT_FALSE(ended);
    while (!ended && queue.RunOne(10000)) {
    }
    ASSERT_TRUE(ended);
    EXPECT_EQ(outcome, ExchangeOutcome::Succeeded);
    EXPECT_EQ(found, (std::vector<uint32_t>{0x0A000101u, 0x0A000102u}));
    EXPECT_EQ(all, found);
}

TEST_P(OperationsTest, AnEncoderNotListedStartsNothing)
{
    EXPECT_EQ(operations->Read(0x7F0000FEu, [](const OperationReport&) { FAIL(); }), 0u);
    EXPECT_FALSE(queue.RunOne(0));
}

TEST_P(OperationsTest, BatchReportsEachOperationThenOneSummaryOfTheListedOnes)
{
    std::vector<OperationReport> reports;
    std::optional<OperationSummary> summary;
    const auto run = [&](OperationKind kind, const std::vector<uint32_t>& addresses) {
        reports.clear();
        summary.reset();
        const std::vector<OperationId> ids = operations->RunBatch(
            kind, addresses, {}, [&reports](const OperationReport& done) { reports.push_back(done); },
            [&summary](const OperationSummary& end) { summary = end; });
        EXPECT_TRUE(reports.empty() && !summary) << "reported inside the call that started it";
        return ids;
    };
    const std::vector<OperationId> ids = run(OperationKind::Read, {address, 0x7F0000FEu});
    ASSERT_EQ(ids.size(), 2u);
    EXPECT_NE(ids[0], 0u);
    EXPECT_EQ(ids[1], 0u) << "an encoder not listed starts nothing";
    while (!summary && queue.RunOne(10000)) {
    }
    ASSERT_TRUE(summary);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].id, ids[0]);
    EXPECT_EQ(reports[0].outcome, ExchangeOutcome::Succeeded);
    EXPECT_EQ(SummaryText(*summary), "Read Configuration on 1 encoder: 1 succeeded, 0 failed.");

    // A write refused before sending counts as failed; a cancelled one as cancelled.
    run(OperationKind::Write, {address});
    while (!summary && queue.RunOne(10000)) {
    }
    ASSERT_TRUE(summary);
    EXPECT_EQ(summary->failed, 1u);
    // The failed encoder is named with what its command said first.
    ASSERT_EQ(SummaryFailureLines(*summary).size(), 1u);
    EXPECT_EQ(SummaryFailureLines(*summary)[0], FormatDotted(address) + ": " + reports.back().boxes.at(0).text);
    sim->SetFault(SimFault::Silence);
    run(OperationKind::Read, {address});
    operations->CancelAll();
    while (!summary && queue.RunOne(10000)) {
    }
    ASSERT_TRUE(summary);
    EXPECT_EQ(SummaryText(*summary), "Read Configuration on 1 encoder: 0 succeeded, 0 failed, 1 cancelled.");
    EXPECT_TRUE(SummaryFailureLines(*summary).empty()) << "a cancel is no failure";
}

#ifndef _WIN32
// A status this machine could not take (no descriptor left) is the machine's failure: the
// reading of the poll before stays what it was and is not reported as today's.
TEST_P(OperationsTest, AStatusThatFindsNoDescriptorIsLocalAndReportsNoOldReading)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizers' own checks need descriptors that this test takes away";
#endif
    ASSERT_EQ(Status().outcome, ExchangeOutcome::Succeeded);
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    auto run = [this] {
        std::vector<int> taken;
        for (int fd; (fd = open("/dev/null", O_RDONLY)) >= 0;) taken.push_back(fd);
        const OperationReport report = Status();
        // In a batch it is counted apart from the encoders' failures, with the system's reason.
        std::optional<OperationSummary> summary;
        operations->RunBatch(
            OperationKind::Status, {address}, {}, [](const OperationReport&) {},
            [&summary](const OperationSummary& end) { summary = end; });
        while (!summary && queue.RunOne(10000)) {
        }
        for (int fd : taken) close(fd);
        const bool local = report.outcome == ExchangeOutcome::LocalFailure && report.alarms.empty();
        if (!local) std::fprintf(stderr, "outcome %s\n", ExchangeOutcomeName(report.outcome));
        const bool counted =
            summary && summary->failed == 0 && summary->local == 1 &&
            SummaryText(*summary) ==
                "Read Device Message on 1 encoder: 0 succeeded, 0 failed, 1 not run by this computer." &&
            SummaryFailureLines(*summary).at(0).find(report.localError) != std::string::npos;
        if (!counted) std::fprintf(stderr, "summary %s\n", summary ? SummaryText(*summary).c_str() : "none");
        std::_Exit(local && counted ? 0 : 1);
    };
    EXPECT_EXIT(run(), ::testing::ExitedWithCode(0), "");
}
#endif

INSTANTIATE_TEST_SUITE_P(WaitModes, OperationsTest, ::testing::Values(WaitMode::Fixed, WaitMode::ReplyComplete),
                         [](const ::testing::TestParamInfo<WaitMode>& info) {
                             return std::string(info.param == WaitMode::Fixed ? "Fixed" : "ReplyComplete");
                         });

TEST(OutcomeTexts, EveryEntryIsOneDistinctText)
{
    std::vector<std::string> seen;
    for (const OutcomeTextEntry& entry : OutcomeTexts()) {
        EXPECT_STRNE(entry.text, "");
        EXPECT_EQ(std::count(seen.begin(), seen.end(), entry.text), 0) << entry.text;
        seen.push_back(entry.text);
        EXPECT_TRUE(IsOutcomeText(entry.text));
    }
    EXPECT_EQ(BrokenRuleLine("Program1 - Video", "Video_Pid", "w"), "Program1 - Video / Video_Pid: w");
    EXPECT_EQ(BrokenRuleLine("", "", "whole"), "whole");
}
