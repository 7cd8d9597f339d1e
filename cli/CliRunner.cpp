#include "CliRunner.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <unordered_map>
#include <utility>

#include "CliOutput.h"
#include "CliHistory.h"
#include "CliSettings.h"
#include "ExchangeEngine.h"
#include "MonitorRunner.h"
#include "RecordJson.h"
#include "StatusGate.h"
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

// Which exchange an encoder waits for.
enum class Step { Status, Read, Write, Verify, StartStop };

struct EncoderJob {
    size_t index = 0;
    EncoderRecord record{};   // the record as read, then as edited for a write
    Step step = Step::Read;
    EncoderReport report;
};

const char* YesNo(bool value)
{
    return value ? "yes" : "no";
}
const char* TrueFalse(bool value)
{
    return value ? "true" : "false";
}

class Runner {
public:
    // `documents`: each encoder's document read, kept instead of printed or written.
    explicit Runner(const CliRunSetup& setup, std::vector<std::optional<std::string>>* documents = nullptr)
        : m_setup(setup), m_arguments(setup.arguments),
          m_output(OutputOptions{m_arguments.json, m_arguments.quiet, setup.progress, CommandName(m_arguments.command)},
                   setup.addresses.size()),
          m_engine(MakeEngineOptions(m_arguments)), m_documents(documents)
    {
        if (m_documents) {
            m_documents->assign(setup.addresses.size(), std::nullopt);
        }
    }

    int Run()
    {
        m_jobs.resize(m_setup.addresses.size());
        for (size_t i = 0; i < m_jobs.size(); ++i) {
            EncoderJob& job = m_jobs[i];
            job.index = i;
            job.record.ipAddr = m_setup.addresses[i];
            job.report.address = FormatDotted(m_setup.addresses[i]);
            Begin(job);
        }
        while (m_unfinished > 0) {
            std::optional<ExchangeResult> result = m_collector.Next();
            if (!result) {
                break;
            }
            auto found = m_byExchange.find(result->id);
            if (found == m_byExchange.end()) {
                continue;
            }
            size_t index = found->second;
            m_byExchange.erase(found);
            Handle(m_jobs[index], *result);
        }
        m_output.End();
        return m_output.Failed() == 0 ? 0 : 1;
    }

private:
    void Begin(EncoderJob& job)
    {
        ++m_unfinished;
        switch (m_arguments.command) {
        case CliCommand::Status:
            Submit(job, Step::Status, ExchangeKind::Status);
            break;
        case CliCommand::Start:
        case CliCommand::Stop:
            Submit(job, Step::StartStop,
                   m_arguments.command == CliCommand::Start ? ExchangeKind::Start : ExchangeKind::Stop);
            break;
        default:   // alarms, read, backup and write all read the configuration first
            Submit(job, Step::Read, ExchangeKind::Read);
            break;
        }
    }

    void Submit(EncoderJob& job, Step step, ExchangeKind kind)
    {
        job.step = step;
        ExchangeRequest request;
        request.kind = kind;
        request.record = job.record;
        ExchangeCallbacks callbacks;
        callbacks.done = m_collector.Sink();
        m_byExchange[m_engine.Submit(request, callbacks)] = job.index;
    }

    void Finish(EncoderJob& job, bool ok)
    {
        job.report.ok = ok;
        m_output.Finish(job.index, std::move(job.report));
        job.report = EncoderReport{};
        --m_unfinished;
    }

    static void TakeMessages(EncoderJob& job, const ExchangeResult& result)
    {
        for (const ExchangeMessage& message : result.messages) {
            job.report.messages.push_back({message.text, message.kind == MessageKind::Warning});
        }
    }

    static bool Succeeded(const ExchangeResult& result) { return result.outcome == ExchangeOutcome::Succeeded; }

    // A read that failed without a message of its own (a wrong reply code, a length out
    // of bounds, a reply cut short, a document the reader refuses) still says why the
    // encoder failed.
    static void ExplainSilentReadFailure(EncoderJob& job, const ExchangeResult& result)
    {
        if (result.messages.empty() && result.outcome == ExchangeOutcome::Failed) {
            job.report.messages.push_back({"no valid settings document received", true});
        } else if (result.outcome == ExchangeOutcome::Cancelled) {
            job.report.messages.push_back({"cancelled", true});
        }
    }

    void Handle(EncoderJob& job, const ExchangeResult& result)
    {
        switch (m_arguments.command) {
        case CliCommand::Status:
            HandleStatus(job, result);
            break;
        case CliCommand::Alarms:
            HandleAlarms(job, result);
            break;
        case CliCommand::Read:
        case CliCommand::Backup:
            HandleRead(job, result);
            break;
        case CliCommand::Write:
            HandleWrite(job, result);
            break;
        case CliCommand::Start:
        case CliCommand::Stop:
            HandleStartStop(job, result);
            break;
        default:
            Finish(job, false);
            break;
        }
    }

    void HandleStatus(EncoderJob& job, const ExchangeResult& result)
    {
        TakeMessages(job, result);
        int flags = result.statusTaken ? result.statusFlags : -1;
        if (!Succeeded(result) || flags < 0) {
            job.report.messages.push_back({AlarmLines(-1, job.record).front().text, true});
            Finish(job, false);
            return;
        }
        struct Bit {
            const char* plain;
            const char* json;
            bool set;
        };
        const Bit bits[] = {
            {"busy", "busy", (flags & STATUS_BUSY) != 0},
            {"keyboard", "keyboard", (flags & STATUS_KEYBOARD) != 0},
            {"over-temperature", "overTemperature", (flags & STATUS_OVER_TEMPERATURE) != 0},
            {"program1-output", "program1Output", (flags & STATUS_PROG1_NO_OUTPUT) == 0},
            {"program1-input", "program1Input", (flags & STATUS_PROG1_NO_INPUT) == 0},
            {"program2-output", "program2Output", (flags & STATUS_PROG2_NO_OUTPUT) == 0},
            {"program2-input", "program2Input", (flags & STATUS_PROG2_NO_INPUT) == 0},
        };
        std::string line = job.report.address;
        job.report.jsonMembers.push_back(JsonMember("flags", std::to_string(flags)));
        for (const Bit& bit : bits) {
            line += std::string(" ") + bit.plain + "=" + YesNo(bit.set);
            job.report.jsonMembers.push_back(JsonMember(bit.json, TrueFalse(bit.set)));
        }
        line += " temperature=" + std::to_string(result.temperature) + "\n";
        job.report.jsonMembers.push_back(JsonMember("temperature", std::to_string(result.temperature)));
        job.report.out = line;
        Finish(job, true);
    }

    void HandleAlarms(EncoderJob& job, const ExchangeResult& result)
    {
        const std::string connectFailed = AlarmLines(-1, job.record).front().text;
        if (job.step == Step::Read) {
            if (Succeeded(result) && result.record) {
                job.record = *result.record;
                Submit(job, Step::Status, ExchangeKind::Status);
                return;
            }
            if (result.statusTaken && result.statusFlags < 0) {
                // Unreachable: the one line the message list would add says so.
                job.report.messages.push_back({connectFailed, true});
            } else {
                TakeMessages(job, result);
                ExplainSilentReadFailure(job, result);
            }
            job.report.jsonMembers.push_back(JsonMember("alarms", "[]"));
            Finish(job, false);
            return;
        }
        TakeMessages(job, result);
        int flags = Succeeded(result) && result.statusTaken ? result.statusFlags : -1;
        std::vector<std::string> alarms;
        bool ok = flags >= 0;
        if (!ok) {
            job.report.messages.push_back({connectFailed, true});
        } else {
            for (const AlarmLine& line : AlarmLines(flags, job.record)) {
                job.report.out += job.report.address + ": " + line.text + "\n";
                alarms.push_back(line.text);
            }
        }
        job.report.jsonMembers.push_back(JsonMember("alarms", JsonArray(alarms)));
        Finish(job, ok);
    }

    void HandleRead(EncoderJob& job, const ExchangeResult& result)
    {
        TakeMessages(job, result);
        if (!Succeeded(result) || !result.record) {
            ExplainSilentReadFailure(job, result);
            Finish(job, false);
            return;
        }
        job.record = *result.record;
        std::string document = m_arguments.raw ? result.document : DocumentOfRecord(job.record);
        if (m_documents) {
            (*m_documents)[job.index] = std::move(document);
        } else if (!m_arguments.outDir.empty()) {
            std::filesystem::path path = std::filesystem::path(m_arguments.outDir) / (job.report.address + ".xml");
            if (!WriteFileWhole(path, document)) {
                job.report.messages.push_back({"cannot write " + path.string(), true});
                Finish(job, false);
                return;
            }
            job.report.jsonMembers.push_back(JsonMember("file", JsonString(path.string())));
        } else {
            job.report.out = document;
        }
        if (m_arguments.json) {
            job.report.jsonMembers.push_back(JsonMember("settings", SettingsJson(job.record)));
        }
        Finish(job, true);
    }

    void HandleWrite(EncoderJob& job, const ExchangeResult& result)
    {
        TakeMessages(job, result);
        switch (job.step) {
        case Step::Read: {
            if (!Succeeded(result) || !result.record) {
                ExplainSilentReadFailure(job, result);
                job.report.jsonMembers.push_back(JsonMember("written", "false"));
                Finish(job, false);
                return;
            }
            job.record = *result.record;
            std::vector<std::string> reasons;
            if (!TakeSettings(m_setup.settingsText, job.record, reasons)) {
                for (const std::string& reason : reasons) {
                    job.report.messages.push_back({reason, true});
                }
                job.report.jsonMembers.push_back(JsonMember("broken", JsonArray(reasons)));
                job.report.jsonMembers.push_back(JsonMember("written", "false"));
                Finish(job, false);
                return;
            }
            SetPasswords(job.record, m_setup.password, m_setup.newPassword);
            Submit(job, Step::Write, ExchangeKind::Write);
            return;
        }
        case Step::Write:
            job.report.jsonMembers.push_back(JsonMember("written", TrueFalse(Succeeded(result))));
            if (!Succeeded(result)) {
                Finish(job, false);
                return;
            }
            if (result.written) {
                job.record = *result.written;   // empty names went out as "dvb"
            }
            if (m_arguments.verify) {
                Submit(job, Step::Verify, ExchangeKind::Read);
                return;
            }
            Finish(job, true);
            return;
        case Step::Verify: {
            if (!Succeeded(result) || !result.record) {
                ExplainSilentReadFailure(job, result);
                job.report.messages.push_back({"the written settings could not be read back", true});
                job.report.jsonMembers.push_back(JsonMember("verified", "false"));
                Finish(job, false);
                return;
            }
            std::vector<std::string> mismatches = SettingsNotTaken(job.record, *result.record);
            for (const std::string& mismatch : mismatches) {
                job.report.messages.push_back({mismatch, true});
            }
            job.report.jsonMembers.push_back(JsonMember("verified", TrueFalse(mismatches.empty())));
            job.report.jsonMembers.push_back(JsonMember("notTaken", JsonArray(mismatches)));
            Finish(job, mismatches.empty());
            return;
        }
        default:
            Finish(job, false);
            return;
        }
    }

    void HandleStartStop(EncoderJob& job, const ExchangeResult& result)
    {
        TakeMessages(job, result);
        bool ok = Succeeded(result);
        if (ok) {
            job.report.out = job.report.address + ": " + CommandName(m_arguments.command) +
                             " request sent; the encoder does not acknowledge it\n";
            job.report.outIsNote = true;
        }
        job.report.jsonMembers.push_back(JsonMember("acknowledged", "false"));
        Finish(job, ok);
    }

    // The whole file or nothing: a backup is never left half written under its name.
    static bool WriteFileWhole(const std::filesystem::path& path, const std::string& bytes)
    {
        std::filesystem::path temporary = path;
        temporary += ".part";
        {
            std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
            if (!file.write(bytes.data(), static_cast<std::streamsize>(bytes.size())) || !file.flush()) {
                std::error_code ignored;
                std::filesystem::remove(temporary, ignored);
                return false;
            }
        }
        std::error_code error;
        std::filesystem::rename(temporary, path, error);
        if (error) {
            std::filesystem::remove(temporary, error);
            return false;
        }
        return true;
    }

    const CliRunSetup& m_setup;
    const CliArguments& m_arguments;
    CliOutput m_output;
    ExchangeCollector m_collector;   // outlives the engine, whose callbacks feed it
    ExchangeEngine m_engine;
    std::vector<EncoderJob> m_jobs;
    std::unordered_map<ExchangeId, size_t> m_byExchange;
    size_t m_unfinished = 0;
    std::vector<std::optional<std::string>>* m_documents;
};

int RunSearch(const CliRunSetup& setup)
{
    const CliArguments& arguments = setup.arguments;
    ExchangeCollector collector;
    std::vector<uint32_t> found;
    {
        ExchangeEngine engine(MakeEngineOptions(arguments));
        engine.Search(setup.broadcast, collector.Sink());
        std::optional<ExchangeResult> result = collector.Next();
        if (result) {
            found = result->found;
        }
        if (!result || result->outcome != ExchangeOutcome::Succeeded) {
            std::fprintf(stderr, "%s: the search request could not be sent\n", FormatDotted(setup.broadcast).c_str());
            return 1;
        }
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
    if (setup.arguments.command == CliCommand::Backup) {
        return RunBackup(setup);
    }
    if (setup.arguments.command == CliCommand::Monitor) {
        return RunMonitor(setup, MakeEngineOptions(setup.arguments));
    }
    Runner runner(setup);
    return runner.Run();
}
