#include "CliOutput.h"

#include <utility>

CliOutput::CliOutput(OutputOptions options, size_t encoderCount, std::FILE* out, std::FILE* err)
    : m_options(std::move(options)), m_out(out), m_err(err), m_reports(encoderCount) {
    ShowProgress();
}

void CliOutput::Finish(size_t index, EncoderReport report) {
    if (index >= m_reports.size() || m_reports[index]) {
        return;
    }
    ++m_done;
    if (!report.ok) {
        ++m_failed;
    }
    m_reports[index] = std::move(report);
    bool printed = false;
    while (m_nextToPrint < m_reports.size() && m_reports[m_nextToPrint]) {
        if (!printed) {
            ClearProgress();
            printed = true;
        }
        Print(*m_reports[m_nextToPrint]);
        m_reports[m_nextToPrint].reset();   // printed; the text is not needed again
        m_reports[m_nextToPrint].emplace();
        ++m_nextToPrint;
    }
    ShowProgress();
}

void CliOutput::Note(const std::string& text) {
    ClearProgress();
    std::fprintf(m_err, "%s\n", text.c_str());
    std::fflush(m_err);
    ShowProgress();
}

void CliOutput::End() {
    ClearProgress();
    std::fflush(m_out);
    std::fflush(m_err);
}

void CliOutput::Print(const EncoderReport& report) {
    for (const CliMessage& message : report.messages) {
        if (message.failure || !m_options.quiet) {
            std::fprintf(m_err, "%s: %s\n", report.address.c_str(), message.text.c_str());
        }
    }
    std::fflush(m_err);
    if (m_options.json) {
        std::string line = "{\"address\":" + JsonString(report.address) + ",\"ok\":" + (report.ok ? "true" : "false") +
                           ",\"messages\":[";
        for (size_t i = 0; i < report.messages.size(); ++i) {
            line += (i ? "," : "") + JsonString(report.messages[i].text);
        }
        line += "]";
        for (const std::string& member : report.jsonMembers) {
            line += "," + member;
        }
        line += "}\n";
        std::fwrite(line.data(), 1, line.size(), m_out);
    } else if (!(report.outIsNote && m_options.quiet)) {
        std::fwrite(report.out.data(), 1, report.out.size(), m_out);
    }
    std::fflush(m_out);
}

void CliOutput::ShowProgress() {
    if (!m_options.progress || m_options.quiet || m_done >= m_reports.size()) {
        return;
    }
    std::fprintf(m_err, "\r%s: %zu of %zu done, %zu failed", m_options.progressLabel.c_str(), m_done,
                 m_reports.size(), m_failed);
    std::fflush(m_err);
    m_progressShown = true;
}

void CliOutput::ClearProgress() {
    if (m_progressShown) {
        std::fputs("\r\033[K", m_err);
        m_progressShown = false;
    }
}

std::string JsonString(const std::string& text) {
    static const char kHex[] = "0123456789abcdef";
    std::string json = "\"";
    for (unsigned char c : text) {
        switch (c) {
        case '"': json += "\\\""; break;
        case '\\': json += "\\\\"; break;
        case '\n': json += "\\n"; break;
        case '\r': json += "\\r"; break;
        case '\t': json += "\\t"; break;
        default:
            if (c < 0x20 || c == 0x7F) {
                json += "\\u00";
                json += kHex[c >> 4];
                json += kHex[c & 15];
            } else {
                json += static_cast<char>(c);
            }
        }
    }
    return json + "\"";
}
