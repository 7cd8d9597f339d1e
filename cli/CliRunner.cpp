#include "CliRunner.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <utility>

#include "CallQueue.h"
#include "CliFiles.h"
#if KORVANE_HAS_HISTORY
#include "CliHistory.h"
#endif
#include "CliInterrupt.h"
#include "CliOutput.h"
#include "CliSettings.h"
#include "ExchangeEngine.h"
#include "MonitorRunner.h"
#include "Operations.h"
#include "OutcomeTexts.h"
#include "RecordJson.h"
#include "TextConversions.h"

int ParallelOf(const CliArguments& arguments)
{
    return arguments.parallel;
}

EngineOptions MakeEngineOptions(const CliArguments& arguments)
{
    EngineOptions options;
    options.link.commandPort = arguments.port;
    options.link.searchPort = arguments.searchPort;
    options.link.waitMode = arguments.wait == CliWaitMode::Reply ? WaitMode::ReplyComplete : WaitMode::Fixed;
    if (arguments.waits) {
        options.link.timing.statusWaitMs = arguments.waits->statusMs;
        options.link.timing.readWaitMs = arguments.waits->readMs;
        options.link.timing.writeWaitMs = arguments.waits->writeMs;
        if (arguments.waits->searchGiven) {
            options.link.timing.searchWindowMs = arguments.waits->searchMs;
        }
    }
    options.maxInFlight = static_cast<size_t>(ParallelOf(arguments));
    return options;
}

namespace {

const char* YesNo(bool value)
{
    return value ? "yes" : "no";
}
const char* TrueFalse(bool value)
{
    return value ? "true" : "false";
}

// Each encoder runs one operation of the device layer; this turns its report into what
// the command line prints.
class Runner {
public:
    // `documents`: each encoder's document read, kept instead of printed or written.
    explicit Runner(const CliRunSetup& setup, std::vector<std::optional<std::string>>* documents = nullptr)
        : m_setup(setup), m_arguments(setup.arguments),
          m_output(OutputOptions{m_arguments.json, m_arguments.quiet, setup.progress, CommandName(m_arguments.command)},
                   setup.addresses.size()),
          m_engine(MakeEngineOptions(m_arguments)), m_operations(m_engine, m_encoders, m_queue.Executor()),
          m_documents(documents)
    {
        if (m_documents) {
            m_documents->assign(setup.addresses.size(), std::nullopt);
        }
    }

    int Run()
    {
        for (uint32_t address : m_setup.addresses) m_encoders.Add(address);
        // A signal winds the batch down here, on this thread, through the queue it waits on.
        CliInterrupt::SetHandlers([this] { m_queue.Post([this] { Interrupt(); }); },
                                  [this] { return UnknownOutcomes(); });
        if (CliInterrupt::Taken() != 0) Interrupt();
        for (size_t i = 0; i < m_setup.addresses.size(); ++i) Begin(i);
        while (m_unfinished > 0 && m_queue.RunOne()) {
        }
        if (m_interrupted) {
            m_output.Note("korvane-cli: interrupted: " + std::to_string(m_jobs - m_cancelled) + " of " +
                          std::to_string(m_jobs) + " encoders ran, " + std::to_string(m_cancelled) +
                          " cancelled before anything was sent to them");
        }
        m_output.End();
        CliInterrupt::SetHandlers({}, {});
        if (m_interrupted) return CliInterrupt::ExitStatus();
        return m_output.Failed() == 0 ? 0 : 1;
    }

private:
    // No new exchange from now on: encoders whose exchange has not started are cancelled,
    // nothing sent to them; those sending finish and end at the step they reached.
    void Interrupt()
    {
        if (m_interrupted) return;
        m_interrupted = true;
        m_operations.WindDown();
        m_output.Note("korvane-cli: interrupted: no new exchange starts; " +
                      std::to_string(m_engine.RunningEncoders().size()) +
                      " under way finish first (a second signal ends at once)");
    }

    // The encoders with an exchange sending, as a second signal leaves them. Runs on the
    // signal watcher's thread: only the engine, which is thread-safe, is asked.
    std::string UnknownOutcomes() const
    {
        std::vector<uint32_t> running = m_engine.RunningEncoders();
        std::sort(running.begin(), running.end());
        std::string lines;
        for (uint32_t address : running) {
            lines += FormatDotted(address) +
                     ": outcome unknown: the tool was ended while this encoder's exchange was running\n";
        }
        return lines + "korvane-cli: ended by a second signal; " + std::to_string(running.size()) +
               " encoders' outcome unknown\n";
    }

    // What an encoder's report says beyond its handler's when the batch was interrupted:
    // true when it is all there is to say (nothing was sent to the encoder).
    bool TakeInterruption(EncoderReport& out, const OperationReport& report)
    {
        if (report.outcome != ExchangeOutcome::Cancelled || !m_interrupted) return false;
        if (!report.reached) {
            out.messages.push_back({"cancelled: nothing was sent to this encoder", true});
            out.jsonMembers.push_back(JsonMember("cancelled", "true"));
            ++m_cancelled;
            return true;
        }
        return false;
    }

    static const char* InterruptedStep(const OperationReport& report)
    {
        if (report.kind == OperationKind::Write)
            return report.written ? "interrupted: written, not read back" : "interrupted: nothing was written";
        if (report.kind == OperationKind::Status) return "interrupted: the status was not asked";
        return "interrupted";
    }

    void Begin(size_t index)
    {
        const uint32_t address = m_setup.addresses[index];
        ++m_unfinished;
        ++m_jobs;
        const auto handle = [this, index](void (Runner::*handler)(EncoderReport&, const OperationReport&)) {
            return [this, index, handler](const OperationReport& report) {
                EncoderReport out;
                out.address = FormatDotted(report.address);
                m_index = index;
                if (!TakeInterruption(out, report)) {
                    (this->*handler)(out, report);
                    if (report.interrupted) out.messages.push_back({InterruptedStep(report), true});
                    // This computer could not run it: the encoder is not to blame.
                    if (report.outcome == ExchangeOutcome::LocalFailure)
                        out.jsonMembers.push_back(JsonMember("localError", JsonString(report.localError)));
                }
                m_output.Finish(index, std::move(out));
                --m_unfinished;
            };
        };
        switch (m_arguments.command) {
        case CliCommand::Status:
            m_operations.Status(address, {}, handle(&Runner::HandleStatus));
            break;
        case CliCommand::Alarms:
            // Read first, so that the alarms know which programs are switched on.
            m_operations.Status(address, {true, false}, handle(&Runner::HandleAlarms));
            break;
        case CliCommand::Read:
        case CliCommand::Backup:
            m_operations.Read(address, handle(&Runner::HandleRead));
            break;
        case CliCommand::Write: {
            WriteOptions options;
            options.readFirst = true;
            options.settingsFile = m_setup.settingsText;
            options.passwords = WritePasswords{m_setup.password, m_setup.newPassword};
            options.verify = m_arguments.verify;
            m_operations.Write(address, options, handle(&Runner::HandleWrite));
            break;
        }
        case CliCommand::Start:
        case CliCommand::Stop:
            m_operations.Run(m_arguments.command == CliCommand::Start ? OperationKind::Start : OperationKind::Stop,
                             address, handle(&Runner::HandleStartStop));
            break;
        default:
            EncoderReport out;
            out.address = FormatDotted(address);
            --m_unfinished;
            m_output.Finish(index, std::move(out));
            break;
        }
    }

    static bool Succeeded(const OperationReport& report) { return report.outcome == ExchangeOutcome::Succeeded; }

    // The boxes, then the notes; a success's notes are no failure.
    static void TakeMessages(EncoderReport& out, const OperationReport& report)
    {
        for (const OperationBox& box : report.boxes)
            out.messages.push_back({box.text, box.kind == MessageKind::Warning});
        for (const std::string& note : report.notes) out.messages.push_back({note, !Succeeded(report)});
    }

    void HandleStatus(EncoderReport& out, const OperationReport& report)
    {
        TakeMessages(out, report);
        const DeviceStatusReading reading = report.status.value_or(DeviceStatusReading());
        out.ok = Succeeded(report) && reading.Answered();
        if (!out.ok) return;
        struct Bit {
            const char* plain;
            const char* json;
            bool set;
        };
        const Bit bits[] = {
            {"busy", "busy", reading.Busy()},
            {"keyboard", "keyboard", reading.KeyboardLocked()},
            {"over-temperature", "overTemperature", reading.OverTemperature()},
            {"program1-output", "program1Output", reading.HasOutput(1)},
            {"program1-input", "program1Input", reading.HasInput(1)},
            {"program2-output", "program2Output", reading.HasOutput(2)},
            {"program2-input", "program2Input", reading.HasInput(2)},
        };
        std::string line = out.address;
        out.jsonMembers.push_back(JsonMember("flags", std::to_string(reading.Flags())));
        for (const Bit& bit : bits) {
            line += std::string(" ") + bit.plain + "=" + YesNo(bit.set);
            out.jsonMembers.push_back(JsonMember(bit.json, TrueFalse(bit.set)));
        }
        line += " temperature=" + std::to_string(reading.Temperature()) + "\n";
        out.jsonMembers.push_back(JsonMember("temperature", std::to_string(reading.Temperature())));
        out.out = line;
    }

    void HandleAlarms(EncoderReport& out, const OperationReport& report)
    {
        out.ok = Succeeded(report);
        if (report.status && !report.status->Answered()) {
            // Unreachable: the one line the message list would add says so.
            out.messages.push_back({TextOf(OutcomeText::AlarmConnectFailed), true});
        } else {
            TakeMessages(out, report);
        }
        std::vector<std::string> alarms;
        if (out.ok) {
            for (const std::string& note : report.alarmNotes) out.messages.push_back({note, false});
            for (const AlarmLine& line : report.alarms) {
                out.out += out.address + ": " + line.text + "\n";
                alarms.push_back(line.text);
            }
        }
        out.jsonMembers.push_back(JsonMember("alarms", JsonArray(alarms)));
    }

    void HandleRead(EncoderReport& out, const OperationReport& report)
    {
        TakeMessages(out, report);
        if (!Succeeded(report) || !report.record) return;
        const EncoderRecord& record = *report.record;
        std::string document = m_arguments.raw ? report.document : DocumentOfRecord(record);
        if (m_documents) {
            (*m_documents)[m_index] = std::move(document);
        } else if (!m_arguments.outDir.empty()) {
            std::filesystem::path path = std::filesystem::path(m_arguments.outDir) / (out.address + ".xml");
            std::string error;
            if (!WriteFileWhole(path.string(), document, error)) {
                out.messages.push_back({"cannot write " + path.string() + ": " + error, true});
                return;
            }
            out.jsonMembers.push_back(JsonMember("file", JsonString(path.string())));
        } else {
            out.out = document;
        }
        if (m_arguments.json) out.jsonMembers.push_back(JsonMember("settings", SettingsJson(record)));
        out.ok = true;
    }

    void HandleWrite(EncoderReport& out, const OperationReport& report)
    {
        // The rules a settings file breaks are listed one a line, without the box's heading.
        for (const OperationBox& box : report.boxes) {
            if (report.brokenRules.empty() || box.text.find('\n') == std::string::npos)
                out.messages.push_back({box.text, box.kind == MessageKind::Warning});
        }
        for (const std::string& rule : report.brokenRules) out.messages.push_back({rule, true});
        for (const std::string& note : report.notes) {
            if (note != TextOf(OutcomeText::ReadBackAllTook)) out.messages.push_back({note, true});
        }
        for (const std::string& line : report.notTakenLines) out.messages.push_back({line, true});
        if (!report.brokenRules.empty()) out.jsonMembers.push_back(JsonMember("broken", JsonArray(report.brokenRules)));
        out.jsonMembers.push_back(JsonMember("written", TrueFalse(report.written)));
        if (report.verifyRan) {
            const bool verified = report.verifyRead && report.notTaken.empty();
            out.jsonMembers.push_back(JsonMember("verified", TrueFalse(verified)));
            if (report.verifyRead) out.jsonMembers.push_back(JsonMember("notTaken", JsonArray(report.notTakenLines)));
        }
        out.ok = Succeeded(report);
    }

    void HandleStartStop(EncoderReport& out, const OperationReport& report)
    {
        for (const OperationBox& box : report.boxes)
            out.messages.push_back({box.text, box.kind == MessageKind::Warning});
        out.ok = Succeeded(report);
        if (out.ok) {
            out.out = out.address + ": " + CommandName(m_arguments.command) + " " +
                      TextOf(OutcomeText::RequestNotAcknowledged) + "\n";
            out.outIsNote = true;
        } else {
            for (const std::string& note : report.notes) out.messages.push_back({note, true});
        }
        out.jsonMembers.push_back(JsonMember("acknowledged", "false"));
    }

    const CliRunSetup& m_setup;
    const CliArguments& m_arguments;
    CliOutput m_output;
    EncoderList m_encoders;
    CallQueue m_queue;   // outlives the engine, whose callbacks post here
    ExchangeEngine m_engine;
    Operations m_operations;
    size_t m_unfinished = 0;
    std::vector<std::optional<std::string>>* m_documents;
    size_t m_index = 0;   // the encoder whose report is being handled
    size_t m_jobs = 0;    // encoders begun
    bool m_interrupted = false;
    size_t m_cancelled = 0;   // encoders that heard nothing because of the interrupt
};

int RunSearch(const CliRunSetup& setup)
{
    const CliArguments& arguments = setup.arguments;
    std::vector<uint32_t> found;
    bool ended = false, sent = false;
    {
        CallQueue queue;
        EncoderList encoders;
        ExchangeEngine engine(MakeEngineOptions(arguments));
        Operations operations(engine, encoders, queue.Executor());
        operations.Search(setup.broadcast, {}, [&](ExchangeOutcome outcome, const std::vector<uint32_t>& addresses) {
            ended = true;
            sent = outcome == ExchangeOutcome::Succeeded;
            found = addresses;
        });
        while (!ended && queue.RunOne()) {
        }
    }
    if (!sent) {
        std::fprintf(stderr, "%s: the search request could not be sent\n", FormatDotted(setup.broadcast).c_str());
        return 1;
    }
    std::sort(found.begin(), found.end());
    found.erase(std::unique(found.begin(), found.end()), found.end());
    std::string out;
    for (uint32_t address : found) {
        std::string dotted = FormatDotted(address);
        out += arguments.json ? "{" + JsonMember("address", JsonString(dotted)) + ", " + JsonMember("ok", "true") +
                                    ", " + JsonMember("messages", "[]") + "}\n"
                              : dotted + "\n";
    }
    std::fwrite(out.data(), 1, out.size(), stdout);
    std::fflush(stdout);
    return 0;
}

}   // namespace

int ReadDocuments(const CliRunSetup& setup, std::vector<std::optional<std::string>>& documents)
{
    Runner runner(setup, &documents);
    return runner.Run();
}

int RunCliCommand(const CliRunSetup& setup)
{
    if (setup.arguments.command == CliCommand::Search) {
        return RunSearch(setup);
    }
#if KORVANE_HAS_HISTORY
    if (setup.arguments.command == CliCommand::Backup) {
        return RunBackup(setup);
    }
#endif
    if (setup.arguments.command == CliCommand::Monitor) {
        return RunMonitor(setup, MakeEngineOptions(setup.arguments));
    }
    Runner runner(setup);
    return runner.Run();
}
