#pragma once
// How one command on several encoders ended: the counts a batch keeps as its operations
// end (BatchTally), and the lines both front ends show for them.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "OperationReport.h"

// How a command on several encoders ended, one count per encoder.
struct OperationSummary {
    OperationKind kind = OperationKind::Read;
    size_t total = 0, succeeded = 0, failed = 0, cancelled = 0;
    // The exchanges this computer could not run (no descriptor, no memory, ...): no word about
    // the encoders, so never counted among the failed.
    size_t local = 0;
    // The encoders that failed, here or there, and why (the first thing their command said), in the order
    // they ended.
    struct Failure {
        uint32_t address = 0;
        std::string why;
    };
    std::vector<Failure> failures;
};
// "Read Configuration on 20 encoders: 17 succeeded, 3 failed." (", 2 cancelled" and ", 1 not
// run by this computer" before the point when any was).
std::string SummaryText(const OperationSummary& summary);
// One line per failed encoder, in address order: "10.1.2.20: Connect Device Failed !".
std::vector<std::string> SummaryFailureLines(const OperationSummary& summary);

// The counts of one batch while its operations end, on the owner's thread.
class BatchTally {
public:
    using Done = std::function<void(const OperationSummary&)>;
    BatchTally(OperationKind kind, Done end);

    void Expect() { ++m_summary.total; }   // one more operation started
    size_t Expected() const { return m_summary.total; }
    // Counts the operation `report` ended; after the last expected one, reports the summary.
    void Count(const OperationReport& report);
    // Reports the summary as it stands (a batch that started nothing ends so).
    void End() const;

private:
    OperationSummary m_summary;
    size_t m_finished = 0;
    Done m_end;
};
