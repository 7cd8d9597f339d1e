// The encoder list: lookup and order, and what a finished exchange does to an entry.

#include <gtest/gtest.h>

#include <cstring>

#include "EncoderList.h"
#include "ExchangeEngine.h"
#include "LinkProtocol.h"

namespace {

std::vector<std::string> Dotted(const EncoderList& list)
{
    std::vector<std::string> texts;
    for (const EncoderEntry& entry : list) {
        texts.push_back(entry.dotted);
    }
    return texts;
}

std::vector<std::string> EventTexts(const EncoderEntry& entry, EncoderEventKind kind)
{
    std::vector<std::string> texts;
    for (const EncoderEvent& event : entry.events) {
        if (event.kind == kind) {
            texts.push_back(event.text);
        }
    }
    return texts;
}

ExchangeResult Finished(ExchangeKind kind, ExchangeOutcome outcome, uint32_t address)
{
    ExchangeResult result;
    result.kind = kind;
    result.outcome = outcome;
    result.address = address;
    return result;
}

ExchangeResult StatusResult(ExchangeKind kind, uint32_t address, int flags, int8_t temperature = 0)
{
    ExchangeResult result = Finished(kind, flags >= 0 ? ExchangeOutcome::Succeeded : ExchangeOutcome::Failed, address);
    result.statusTaken = true;
    result.statusFlags = flags;
    result.temperature = temperature;
    return result;
}

constexpr uint32_t kFirst = 0x0A000001u;   // 10.0.0.1
constexpr uint32_t kTenth = 0x0A00000Au;   // 10.0.0.10

}   // namespace

TEST(EncoderList, AddsOnceKeepsOrderAndRemoves)
{
    EncoderList list;
    bool added = false;
    EncoderEntry& tenth = list.Add(kTenth, &added);
    EXPECT_TRUE(added);
    EXPECT_EQ(tenth.dotted, "10.0.0.10");
    EXPECT_EQ(tenth.record.ipAddr, kTenth);
    EXPECT_EQ(tenth.state, EncoderState::Unknown);
    list.Add(kFirst, &added);
    EXPECT_TRUE(added) << "10.0.0.1 is not 10.0.0.10";
    EXPECT_EQ(&list.Add(kTenth, &added), &tenth) << "a listed address gives its entry back";
    EXPECT_FALSE(added);
    list.Add(0, &added);
    EXPECT_EQ(Dotted(list), (std::vector<std::string>{"10.0.0.10", "10.0.0.1", "0.0.0.0"}));

    EXPECT_TRUE(list.Remove(kTenth));
    EXPECT_FALSE(list.Remove(kTenth));
    EXPECT_EQ(list.Find(kTenth), nullptr);
    EXPECT_EQ(Dotted(list), (std::vector<std::string>{"10.0.0.1", "0.0.0.0"}));
}

TEST(EncoderList, TenThousandAddsAndDeletes)
{
    EncoderList list;
    for (uint32_t i = 0; i < 10000; ++i) {
        list.Add(0x0A000000u + i);
    }
    ASSERT_EQ(list.Size(), 10000u);
    EXPECT_EQ(list.begin()->dotted, "10.0.0.0");
    EXPECT_EQ(list.Find(0x0A000000u + 9999)->dotted, "10.0.39.15");
    for (uint32_t i = 0; i < 10000; i += 2) {
        ASSERT_TRUE(list.Remove(0x0A000000u + i));
    }
    EXPECT_EQ(list.Size(), 5000u);
    EXPECT_EQ(list.begin()->dotted, "10.0.0.1");
    for (uint32_t i = 1; i < 10000; i += 2) {
        ASSERT_TRUE(list.Remove(0x0A000000u + i));
    }
    EXPECT_TRUE(list.Empty());
}

TEST(ApplyResult, SuccessfulReadFillsRecordAndLastReadButKeepsTypedPasswords)
{
    EncoderList list;
    EncoderEntry& entry = list.Add(kFirst);
    std::strcpy(entry.record.password, "admin");
    entry.inFlight = true;

    ExchangeResult result = StatusResult(ExchangeKind::Read, kFirst, STATUS_PROG2_NO_INPUT, 38);
    result.outcome = ExchangeOutcome::Succeeded;
    result.linkResult = 1;
    EncoderRecord read{};
    read.ipAddr = kFirst;
    read.loaded = 1;
    read.program_info2.start = 1;
    std::strcpy(read.program_info1.progName, "News");
    result.record = read;

    ASSERT_EQ(ApplyResult(list, result), &entry);
    EXPECT_STREQ(entry.record.program_info1.progName, "News");
    EXPECT_STREQ(entry.record.password, "admin");
    EXPECT_EQ(entry.record.loaded, 1);
    ASSERT_TRUE(entry.HasLastRead());
    EXPECT_STREQ(entry.lastRead->program_info1.progName, "News");
    EXPECT_EQ(entry.state, EncoderState::Online);
    ASSERT_TRUE(entry.status.has_value());
    EXPECT_EQ(entry.status->Flags(), STATUS_PROG2_NO_INPUT);
    EXPECT_EQ(entry.status->Temperature(), 38);
    EXPECT_FALSE(entry.inFlight);
    EXPECT_EQ(EventTexts(entry, EncoderEventKind::Exchange), std::vector<std::string>{"Read Configuration succeeded"});
    EXPECT_EQ(EventTexts(entry, EncoderEventKind::AlarmRaised), std::vector<std::string>{"Program-2 no input"})
        << "the program switched on in the record just read counts";
}

TEST(ApplyResult, StateFollowsTheListImage)
{
    struct Case {
        ExchangeKind kind;
        int flags;
        EncoderState expected;
    };
    const Case cases[] = {
        {ExchangeKind::Read, 0, EncoderState::Online},     {ExchangeKind::Read, STATUS_BUSY, EncoderState::Online},
        {ExchangeKind::Read, -1, EncoderState::Offline},   {ExchangeKind::Write, -1, EncoderState::Offline},
        {ExchangeKind::Write, 0, EncoderState::Unknown},     // a write's answered gate leaves the image
        {ExchangeKind::Status, -1, EncoderState::Unknown},   // the message list's reading leaves it too
        {ExchangeKind::Status, 0, EncoderState::Unknown},
    };
    for (const Case& c : cases) {
        EncoderList list;
        list.Add(kFirst);
        ExchangeResult result = StatusResult(c.kind, kFirst, c.flags);
        if (c.kind != ExchangeKind::Status && c.flags != 0) {
            result.outcome = ExchangeOutcome::Failed;
        }
        EXPECT_EQ(ApplyResult(list, result)->state, c.expected) << ExchangeKindName(c.kind) << " " << c.flags;
    }
}

TEST(ApplyResult, AlarmsAreRaisedAndClearedByDifference)
{
    EncoderList list;
    EncoderEntry& entry = list.Add(kFirst);
    entry.record.loaded = 1;
    entry.record.program_info1.start = 1;
    ApplyResult(list, StatusResult(ExchangeKind::Status, kFirst, STATUS_OVER_TEMPERATURE | STATUS_PROG1_NO_INPUT));
    ApplyResult(list, StatusResult(ExchangeKind::Status, kFirst, STATUS_OVER_TEMPERATURE | STATUS_PROG1_NO_INPUT));
    ApplyResult(list, StatusResult(ExchangeKind::Status, kFirst, -1));
    ApplyResult(list, StatusResult(ExchangeKind::Status, kFirst, STATUS_PROG1_NO_OUTPUT));
    EXPECT_EQ(EventTexts(entry, EncoderEventKind::AlarmRaised),
              (std::vector<std::string>{"Device temperature warning", "Program-1 no input", "Connect device failed",
                                        "Program-1 no output"}));
    EXPECT_EQ(EventTexts(entry, EncoderEventKind::AlarmCleared),
              (std::vector<std::string>{"Device temperature warning", "Program-1 no input", "Connect device failed"}))
        << "an unanswered reading keeps the earlier alarms until the next answer";
    EXPECT_EQ(entry.activeAlarms, std::vector<std::string>{"Program-1 no output"});
    EXPECT_EQ(EventTexts(entry, EncoderEventKind::Exchange).size(), 4u);
}

TEST(ApplyResult, FailedCancelledAndRefusedLeaveTheRecord)
{
    EncoderList list;
    EncoderEntry& entry = list.Add(kFirst);
    entry.record.deviceID = 7;
    entry.inFlight = true;
    EncoderRecord before = entry.record;

    ExchangeResult refused = Finished(ExchangeKind::Read, ExchangeOutcome::Refused, kFirst);
    ApplyResult(list, refused);
    EXPECT_TRUE(entry.inFlight) << "the exchange that holds the encoder still runs";

    ExchangeResult failed = StatusResult(ExchangeKind::Read, kFirst, STATUS_BUSY);
    failed.outcome = ExchangeOutcome::Failed;
    failed.messages = {{MessageKind::Warning, "Device is busying !"}};
    ApplyResult(list, failed);
    ApplyResult(list, Finished(ExchangeKind::Write, ExchangeOutcome::Cancelled, kFirst));

    // NOLINTNEXTLINE(bugprone-suspicious-memory-comparison): a record and its copy, byte for byte
    EXPECT_EQ(std::memcmp(&entry.record, &before, sizeof before), 0);
    EXPECT_FALSE(entry.HasLastRead());
    EXPECT_FALSE(entry.inFlight);
    EXPECT_EQ(EventTexts(entry, EncoderEventKind::Exchange),
              (std::vector<std::string>{"Read Configuration refused", "Read Configuration failed: Device is busying !",
                                        "Write Configuration cancelled"}));
}

TEST(ApplyResult, IgnoresUnlistedEncodersAndSearches)
{
    EncoderList list;
    list.Add(kFirst);
    EXPECT_EQ(ApplyResult(list, Finished(ExchangeKind::Read, ExchangeOutcome::Failed, kTenth)), nullptr);
    EXPECT_EQ(ApplyResult(list, Finished(ExchangeKind::Search, ExchangeOutcome::Succeeded, kFirst)), nullptr);
    EXPECT_TRUE(list.Find(kFirst)->events.empty());
}

// An encoder that never ran an exchange has no events, whether walked or counted; its first
// event then holds it. Nor does it hold a record as last read before a read or write.
TEST(EncoderEvents, EmptyUntilTheFirstEvent)
{
    EncoderList list;
    EncoderEntry& entry = list.Add(kFirst);
    EXPECT_TRUE(EventTexts(entry, EncoderEventKind::Exchange).empty());
    EXPECT_EQ(entry.events.size(), 0u);
    EXPECT_TRUE(entry.events.begin() == entry.events.end());
    EXPECT_FALSE(entry.HasLastRead());
    EXPECT_EQ(entry.LastRead().loaded, 0);
    EXPECT_EQ(entry.LastRead().ipAddr, 0u);

    EncoderEvent event;
    event.text = "Read Configuration failed";
    list.AddEvent(entry, event);
    ASSERT_EQ(entry.events.size(), 1u);
    EXPECT_EQ(entry.events.front().text, "Read Configuration failed");
    EXPECT_EQ(EventTexts(entry, EncoderEventKind::Exchange), std::vector<std::string>{"Read Configuration failed"});
    EXPECT_EQ(list.EventCount(), 1u);
}

TEST(ApplyResult, SuccessfulWriteBecomesTheLastRead)
{
    EncoderList list;
    EncoderEntry& entry = list.Add(kFirst);
    ExchangeResult result = StatusResult(ExchangeKind::Write, kFirst, 0);
    result.linkResult = 1;
    result.messages = {{MessageKind::Tip, "Set Configuration Success !"}};
    EncoderRecord written = entry.record;
    written.deviceID = 9;
    result.written = written;
    ApplyResult(list, result);
    ASSERT_TRUE(entry.HasLastRead());
    EXPECT_EQ(entry.lastRead->deviceID, 9);
    EXPECT_EQ(entry.record.deviceID, 0) << "the record is the operator's; the write does not change it";
    EXPECT_EQ(EventTexts(entry, EncoderEventKind::Exchange),
              std::vector<std::string>{"Write Configuration succeeded: Set Configuration Success !"});
}

TEST(ApplyResult, AnEncoderNeverReadRaisesItsProgramAlarmsAndSaysTheThresholdIsUnknownOnce)
{
    EncoderList list;
    EncoderEntry& entry = list.Add(kFirst);
    ApplyResult(list, StatusResult(ExchangeKind::Status, kFirst, STATUS_PROG1_NO_INPUT, 75));
    ApplyResult(list, StatusResult(ExchangeKind::Status, kFirst, STATUS_PROG1_NO_INPUT, 75));
    EXPECT_EQ(EventTexts(entry, EncoderEventKind::AlarmRaised), std::vector<std::string>{"Program-1 no input"});
    EXPECT_EQ(EventTexts(entry, EncoderEventKind::Note),
              std::vector<std::string>{"Configuration not read yet: the temperature warning threshold is not known"});
}

TEST(ApplyResult, TheFirstReadOfAHotEncoderRaisesTheTemperatureAlarm)
{
    EncoderList list;
    EncoderEntry& entry = list.Add(kFirst);
    // The gate's reading was taken with no threshold known: the encoder's flags say nothing.
    ExchangeResult result = StatusResult(ExchangeKind::Read, kFirst, STATUS_PROG1_NO_OUTPUT, 75);
    result.outcome = ExchangeOutcome::Succeeded;
    EncoderRecord read{};
    read.ipAddr = kFirst;
    read.loaded = 1;
    read.temperature = 60;
    read.program_info1.start = 1;
    result.record = read;
    ApplyResult(list, result);
    EXPECT_EQ(EventTexts(entry, EncoderEventKind::AlarmRaised),
              (std::vector<std::string>{"Device temperature warning", "Program-1 no output"}));
    EXPECT_TRUE(EventTexts(entry, EncoderEventKind::Note).empty()) << "the read brought the threshold";
}

TEST(ApplyResult, AFailedReadMakesTheRecordUnwritableUntilTheNextGoodOne)
{
    EncoderList list;
    EncoderEntry& entry = list.Add(kFirst);
    EXPECT_FALSE(Writable(entry)) << "never read";
    ExchangeResult good = StatusResult(ExchangeKind::Read, kFirst, 0);
    good.outcome = ExchangeOutcome::Succeeded;
    EncoderRecord read{};
    read.ipAddr = kFirst;
    read.loaded = 1;
    good.record = read;
    ApplyResult(list, good);
    EXPECT_TRUE(Writable(entry));
    ExchangeResult bad = StatusResult(ExchangeKind::Read, kFirst, 0);
    bad.outcome = ExchangeOutcome::Failed;
    ApplyResult(list, bad);
    EXPECT_FALSE(Writable(entry));
    ApplyResult(list, Finished(ExchangeKind::Read, ExchangeOutcome::Cancelled, kFirst));
    EXPECT_FALSE(Writable(entry)) << "a cancelled read changes nothing";
    ApplyResult(list, good);
    EXPECT_TRUE(Writable(entry));
}

TEST(EventLog, APollLogsOnlyWhatChangedACommandAlways)
{
    EncoderList list;
    EncoderEntry& entry = list.Add(kFirst);
    const auto poll = [&](int flags) {
        ApplyResult(list, StatusResult(ExchangeKind::Status, kFirst, flags), std::chrono::system_clock::now(),
                    ResultSource::Poll);
    };
    for (int i = 0; i < 100; ++i) poll(0);
    poll(STATUS_BUSY);
    poll(-1);
    poll(-1);
    poll(STATUS_BUSY);
    EXPECT_EQ(
        EventTexts(entry, EncoderEventKind::Exchange),
        (std::vector<std::string>{"Read Device Message succeeded", "Read Device Message failed: Connect device failed",
                                  "Read Device Message succeeded"}))
        << "a busy flag is no new outcome; losing and regaining the encoder are";
    ApplyResult(list, StatusResult(ExchangeKind::Status, kFirst, 0));
    EXPECT_EQ(EventTexts(entry, EncoderEventKind::Exchange).size(), 4u) << "the operator's own reading is logged";

    ApplyResult(list, StatusResult(ExchangeKind::Read, kFirst, 0));
    ExchangeResult lost = StatusResult(ExchangeKind::Read, kFirst, -1);
    lost.outcome = ExchangeOutcome::Failed;
    ApplyResult(list, lost);
    ApplyResult(list, lost);
    EXPECT_EQ(EventTexts(entry, EncoderEventKind::StateChanged), (std::vector<std::string>{"online", "offline"}));
}

TEST(EventLog, IsBoundedPerEncoderAndAcrossTheList)
{
    EncoderList list;
    list.SetEventLimits(5, 12);
    for (uint32_t n = 0; n < 4; ++n) list.Add(kFirst + n);
    uint64_t before = list.NextEventSequence();
    // Every command is an event: ten for each encoder, taken in turns.
    for (int round = 0; round < 10; ++round) {
        for (uint32_t n = 0; n < 4; ++n)
            ApplyResult(list, Finished(ExchangeKind::Start, ExchangeOutcome::Succeeded, kFirst + n));
    }
    EXPECT_EQ(list.EventCount(), 12u);
    size_t total = 0;
    uint64_t oldestKept = UINT64_MAX;
    for (const EncoderEntry& entry : list) {
        EXPECT_LE(entry.events.size(), 5u);
        total += entry.events.size();
        for (size_t i = 1; i < entry.events.size(); ++i)
            EXPECT_LT(entry.events[i - 1].sequence, entry.events[i].sequence);
        if (!entry.events.empty()) oldestKept = std::min(oldestKept, entry.events.front().sequence);
    }
    EXPECT_EQ(total, 12u);
    EXPECT_EQ(oldestKept, before + 40 - 12) << "the list's newest twelve are what stays";

    // An encoder removed gives its share back; its old events are no longer counted.
    list.Remove(kFirst);
    EXPECT_EQ(list.EventCount(), 9u);
    for (int i = 0; i < 1000; ++i)
        ApplyResult(list, Finished(ExchangeKind::Stop, ExchangeOutcome::Succeeded, kFirst + 1));
    EXPECT_EQ(list.EventCount(), 11u) << "its own bound first: five of its own and three of each other";
    EXPECT_EQ(list.Find(kFirst + 1)->events.size(), 5u);
}

TEST(EventLog, TenThousandEncodersPolledForAnHourStayWithinTheBound)
{
    EncoderList list;
    for (uint32_t n = 0; n < 10000; ++n) list.Add(kFirst + n);
    // Encoders that come and go every few readings: each change is an event.
    for (int second = 0; second < 60; ++second) {
        for (uint32_t n = 0; n < 10000; ++n) {
            const int flags = (second + static_cast<int>(n)) % 3 == 0 ? -1 : 0;
            ApplyResult(list, StatusResult(ExchangeKind::Status, kFirst + n, flags), std::chrono::system_clock::now(),
                        ResultSource::Poll);
        }
    }
    EXPECT_EQ(list.EventCount(), EncoderList::kDefaultEventsTotal);
}
