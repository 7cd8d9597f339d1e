#pragma once
// A strict reader of the Prometheus text exposition format 0.0.4, for tests: it refuses
// what a Prometheus server would refuse and what the format leaves no room for (a sample
// before its TYPE, a family split in two, a series twice, a histogram whose buckets do
// not add up), and returns the samples for checking.

#include <map>
#include <optional>
#include <string>
#include <vector>

struct PromSample {
    std::string name;
    std::map<std::string, std::string> labels;   // values unescaped
    double value = 0;
};

struct PromFamily {
    std::string name;
    std::string type;   // counter, gauge, histogram, summary, untyped
    std::string help;   // unescaped
    std::vector<PromSample> samples;
};

struct PromText {
    std::vector<PromFamily> families;
    std::string error;   // empty when the whole text is well formed
    bool Ok() const { return error.empty(); }

    const PromFamily* Family(const std::string& name) const;
    // The value of the one sample `name` with exactly `labels`.
    std::optional<double> Value(const std::string& name, const std::map<std::string, std::string>& labels) const;
    // How many samples called `name` there are.
    size_t Count(const std::string& name) const;
};

PromText ParsePromText(const std::string& text);
