#include "PrometheusText.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <set>
#include <sstream>

namespace {

bool IsMetricName(const std::string& name)
{
    if (name.empty() || !(std::isalpha(static_cast<unsigned char>(name[0])) || name[0] == '_' || name[0] == ':')) {
        return false;
    }
    for (char c : name) {
        if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == ':')) {
            return false;
        }
    }
    return true;
}

bool IsLabelName(const std::string& name)
{
    if (name.empty() || !(std::isalpha(static_cast<unsigned char>(name[0])) || name[0] == '_')) {
        return false;
    }
    for (char c : name) {
        if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '_')) {
            return false;
        }
    }
    return true;
}

bool ParseValue(const std::string& text, double& value)
{
    if (text == "+Inf") {
        value = INFINITY;
        return true;
    }
    if (text == "-Inf") {
        value = -INFINITY;
        return true;
    }
    if (text == "NaN") {
        value = NAN;
        return true;
    }
    if (text.empty()) {
        return false;
    }
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return *end == 0 && !std::isinf(value) && !std::isnan(value);
}

// The family a sample name belongs to, given the families typed so far.
std::string FamilyOf(const std::string& sample, const std::map<std::string, std::string>& types)
{
    for (const char* suffix : {"_bucket", "_sum", "_count"}) {
        const std::string s = suffix;
        if (sample.size() > s.size() && sample.compare(sample.size() - s.size(), s.size(), s) == 0) {
            std::string base = sample.substr(0, sample.size() - s.size());
            auto found = types.find(base);
            if (found != types.end() &&
                (found->second == "histogram" || (found->second == "summary" && s != "_bucket"))) {
                return base;
            }
        }
    }
    return sample;
}

// `{a="x",b="y"}` from `pos` (at the brace); advances past the closing brace.
bool ParseLabels(const std::string& line, size_t& pos, std::map<std::string, std::string>& labels, std::string& error)
{
    ++pos;
    while (pos < line.size() && line[pos] != '}') {
        size_t eq = line.find('=', pos);
        if (eq == std::string::npos) {
            error = "label without =";
            return false;
        }
        std::string name = line.substr(pos, eq - pos);
        if (!IsLabelName(name) || labels.count(name) != 0) {
            error = "bad or repeated label name \"" + name + "\"";
            return false;
        }
        pos = eq + 1;
        if (pos >= line.size() || line[pos] != '"') {
            error = "label value not quoted";
            return false;
        }
        ++pos;
        std::string value;
        bool closed = false;
        while (pos < line.size()) {
            char c = line[pos++];
            if (c == '"') {
                closed = true;
                break;
            }
            if (c == '\\') {
                if (pos >= line.size()) {
                    break;
                }
                char e = line[pos++];
                if (e == '\\' || e == '"') {
                    value += e;
                } else if (e == 'n') {
                    value += '\n';
                } else {
                    error = std::string("bad escape \\") + e + " in a label value";
                    return false;
                }
            } else {
                value += c;
            }
        }
        if (!closed) {
            error = "label value not closed";
            return false;
        }
        labels[name] = value;
        if (pos < line.size() && line[pos] == ',') {
            ++pos;
        } else if (pos >= line.size() || line[pos] != '}') {
            error = "labels not separated by a comma";
            return false;
        }
    }
    if (pos >= line.size()) {
        error = "labels not closed";
        return false;
    }
    ++pos;
    return true;
}

std::string SeriesKey(const PromSample& sample)
{
    std::string key = sample.name;
    for (const auto& [name, value] : sample.labels) {
        key += "\x1f" + name + "=" + value;
    }
    return key;
}

std::string CheckHistogram(const PromFamily& family)
{
    std::map<std::string, std::vector<std::pair<double, double>>> buckets;   // by the other labels
    std::map<std::string, double> counts;
    for (const PromSample& sample : family.samples) {
        std::map<std::string, std::string> others = sample.labels;
        others.erase("le");
        PromSample keyed{"", others, 0};
        const std::string key = SeriesKey(keyed);
        if (sample.name == family.name + "_bucket") {
            auto le = sample.labels.find("le");
            double bound = 0;
            if (le == sample.labels.end() || !ParseValue(le->second, bound)) {
                return "a bucket without a number in le";
            }
            buckets[key].emplace_back(bound, sample.value);
        } else if (sample.name == family.name + "_count") {
            counts[key] = sample.value;
        } else if (sample.name != family.name + "_sum") {
            return "a histogram sample " + sample.name;
        }
    }
    for (const auto& [key, list] : buckets) {
        for (size_t i = 1; i < list.size(); ++i) {
            if (!(list[i].first > list[i - 1].first) || list[i].second < list[i - 1].second) {
                return "buckets out of order or not cumulative";
            }
        }
        if (list.empty() || !std::isinf(list.back().first) || counts.count(key) == 0 ||
            counts[key] != list.back().second) {
            return "no +Inf bucket, or it differs from _count";
        }
    }
    return {};
}

}   // namespace

const PromFamily* PromText::Family(const std::string& name) const
{
    for (const PromFamily& family : families) {
        if (family.name == name) {
            return &family;
        }
    }
    return nullptr;
}

std::optional<double> PromText::Value(const std::string& name, const std::map<std::string, std::string>& labels) const
{
    for (const PromFamily& family : families) {
        for (const PromSample& sample : family.samples) {
            if (sample.name == name && sample.labels == labels) {
                return sample.value;
            }
        }
    }
    return std::nullopt;
}

size_t PromText::Count(const std::string& name) const
{
    size_t count = 0;
    for (const PromFamily& family : families) {
        for (const PromSample& sample : family.samples) {
            count += sample.name == name ? 1 : 0;
        }
    }
    return count;
}

PromText ParsePromText(const std::string& text)
{
    PromText result;
    std::map<std::string, std::string> types;
    std::set<std::string> helped, finished, series;
    std::string current;   // the family whose lines come now
    if (!text.empty() && text.back() != '\n') {
        result.error = "the last line has no line feed";
        return result;
    }
    auto family = [&](const std::string& name) -> PromFamily& {
        if (name != current) {
            if (finished.count(name) != 0) {
                throw std::string("the family " + name + " is split");
            }
            if (!current.empty()) {
                finished.insert(current);
            }
            current = name;
            result.families.push_back(PromFamily{name, "untyped", "", {}});
        }
        return result.families.back();
    };
    std::istringstream lines(text);
    std::string line;
    int number = 0;
    try {
        while (std::getline(lines, line)) {
            ++number;
            const std::string where = "line " + std::to_string(number) + ": ";
            if (line.empty()) {
                continue;
            }
            if (line[0] == '#') {
                std::istringstream words(line);
                std::string hash, keyword, name;
                words >> hash >> keyword >> name;
                if (hash != "#" || (keyword != "HELP" && keyword != "TYPE")) {
                    continue;   // a comment
                }
                if (!IsMetricName(name)) {
                    throw where + "bad metric name \"" + name + "\"";
                }
                size_t start = line.find(name, 2 + keyword.size()) + name.size();
                std::string rest = start < line.size() ? line.substr(start + 1) : "";
                PromFamily& f = family(name);
                if (keyword == "HELP") {
                    if (!helped.insert(name).second) {
                        throw where + "a second HELP for " + name;
                    }
                    for (size_t i = 0; i < rest.size(); ++i) {
                        if (rest[i] == '\\') {
                            char e = i + 1 < rest.size() ? rest[++i] : 0;
                            if (e != '\\' && e != 'n') {
                                throw where + "bad escape in HELP";
                            }
                            f.help += e == 'n' ? '\n' : '\\';
                        } else {
                            f.help += rest[i];
                        }
                    }
                } else {
                    static const std::set<std::string> kTypes = {"counter", "gauge", "histogram", "summary", "untyped"};
                    if (kTypes.count(rest) == 0 || types.count(name) != 0 || !f.samples.empty()) {
                        throw where + "bad, repeated or late TYPE for " + name;
                    }
                    types[name] = rest;
                    f.type = rest;
                }
                continue;
            }
            PromSample sample;
            size_t pos = 0;
            while (pos < line.size() && line[pos] != '{' && line[pos] != ' ') {
                ++pos;
            }
            sample.name = line.substr(0, pos);
            if (!IsMetricName(sample.name)) {
                throw where + "bad metric name \"" + sample.name + "\"";
            }
            std::string error;
            if (pos < line.size() && line[pos] == '{' && !ParseLabels(line, pos, sample.labels, error)) {
                throw where + error;
            }
            if (pos >= line.size() || line[pos] != ' ') {
                throw where + "no space before the value";
            }
            std::istringstream rest(line.substr(pos + 1));
            std::string value, timestamp, extra;
            rest >> value >> timestamp >> extra;
            if (!ParseValue(value, sample.value) || !extra.empty() ||
                (!timestamp.empty() && timestamp.find_first_not_of("-0123456789") != std::string::npos)) {
                throw where + "bad value or timestamp";
            }
            if (!series.insert(SeriesKey(sample)).second) {
                throw where + "the series is there twice";
            }
            PromFamily& f = family(FamilyOf(sample.name, types));
            if (f.type == "counter" && !(sample.value >= 0)) {
                throw where + "a negative counter";
            }
            f.samples.push_back(sample);
        }
        for (const PromFamily& f : result.families) {
            if (f.type == "histogram") {
                std::string problem = CheckHistogram(f);
                if (!problem.empty()) {
                    throw f.name + ": " + problem;
                }
            }
        }
    } catch (const std::string& error) {
        result.error = error;
    }
    return result;
}
