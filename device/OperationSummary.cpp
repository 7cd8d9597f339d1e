#include "OperationSummary.h"

#include <algorithm>
#include <utility>

#include "TextConversions.h"

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

BatchTally::BatchTally(OperationKind kind, Done end) : m_end(std::move(end))
{
    m_summary.kind = kind;
}

void BatchTally::Count(const OperationReport& report)
{
    const ExchangeOutcome outcome = report.outcome;
    if (outcome == ExchangeOutcome::Succeeded)
        ++m_summary.succeeded;
    else if (outcome == ExchangeOutcome::Cancelled)
        ++m_summary.cancelled;
    else {
        ++(outcome == ExchangeOutcome::LocalFailure ? m_summary.local : m_summary.failed);
        std::string why = !report.boxes.empty()   ? report.boxes.front().text
                          : !report.notes.empty() ? report.notes.front()
                                                  : ExchangeOutcomeName(outcome);
        m_summary.failures.push_back({report.address, why.substr(0, why.find('\n'))});
    }
    if (++m_finished == m_summary.total) End();
}

void BatchTally::End() const
{
    if (m_end) m_end(m_summary);
}
