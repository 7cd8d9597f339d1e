#include "CliOutput.h"

#include <utility>

#include "RecordJson.h"

CliOutput::CliOutput(OutputOptions options, size_t encoderCount, std::FILE* out, std::FILE* err)
    : m_options(std::move(options)), m_out(out), m_err(err), m_reports(encoderCount)
{
    ShowProgress();
}

void CliOutput::Finish(size_t index, EncoderReport report)
{
    if (index < m_nextToPrint || index >= m_reports.size() || m_reports[index]) {
        return;
    }
    ++m_done;
    if (!report.ok) {
        ++m_failed;
    }
    m_reports[index] = std::move(report);
    if (m_nextToPrint < m_reports.size() && m_reports[m_nextToPrint]) {
        ClearProgress();
        // A printed report is dropped at once: a large fleet's documents are not all kept.
        for (; m_nextToPrint < m_reports.size() && m_reports[m_nextToPrint]; ++m_nextToPrint) {
            Print(*m_reports[m_nextToPrint]);
            m_reports[m_nextToPrint].reset();
        }
    }
    ShowProgress();
}

void CliOutput::Note(const std::string& text)
{
    ClearProgress();
    std::fprintf(m_err, "%s\n", text.c_str());
    std::fflush(m_err);
    ShowProgress();
}

void CliOutput::End()
{
    ClearProgress();
    std::fflush(m_out);
    std::fflush(m_err);
}

void CliOutput::Print(const EncoderReport& report)
{
    for (const CliMessage& message : report.messages) {
        if (message.failure || !m_options.quiet) {
            std::fprintf(m_err, "%s: %s\n", report.address.c_str(), message.text.c_str());
        }
    }
    std::fflush(m_err);
    if (m_options.json) {
        std::string line = "{" + JsonMember("address", JsonString(report.address)) + ", " +
                           JsonMember("ok", report.ok ? "true" : "false") + ", ";
        std::vector<std::string> messages;
        for (const CliMessage& message : report.messages) {
            messages.push_back(message.text);
        }
        line += JsonMember("messages", JsonArray(messages));
        for (const std::string& member : report.jsonMembers) {
            line += ", " + member;
        }
        line += "}\n";
        std::fwrite(line.data(), 1, line.size(), m_out);
    } else if (!(report.outIsNote && m_options.quiet)) {
        std::fwrite(report.out.data(), 1, report.out.size(), m_out);
    }
    std::fflush(m_out);
}

void CliOutput::ShowProgress()
{
    if (!m_options.progress || m_options.quiet || m_done >= m_reports.size()) {
        return;
    }
    std::fprintf(m_err, "\r%s: %zu of %zu done, %zu failed", m_options.progressLabel.c_str(), m_done, m_reports.size(),
                 m_failed);
    std::fflush(m_err);
    m_progressShown = true;
}

void CliOutput::ClearProgress()
{
    if (m_progressShown) {
        std::fputs("\r\033[K", m_err);
        m_progressShown = false;
    }
}

std::string JsonMember(const std::string& name, const std::string& value)
{
    return JsonString(name) + ": " + value;
}

std::string JsonArray(const std::vector<std::string>& texts)
{
    std::string array = "[";
    for (size_t i = 0; i < texts.size(); ++i) {
        array += (i ? ", " : "") + JsonString(texts[i]);
    }
    return array + "]";
}
