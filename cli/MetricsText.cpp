#include "MetricsText.h"

#include <cmath>
#include <cstdio>

#include "TextConversions.h"

const char* const kMetricsContentType = "text/plain; version=0.0.4; charset=utf-8";

namespace {

void Family(std::string& text, const char* name, const char* type, const char* help)
{
    text += std::string("# HELP ") + name + " " + help + "\n";
    text += std::string("# TYPE ") + name + " " + type + "\n";
}

// A sample value: integers as such, other figures with enough digits to read back.
std::string Number(double value)
{
    if (std::isinf(value)) {
        return value > 0 ? "+Inf" : "-Inf";
    }
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.15g", value);
    return buffer;
}

std::string EncoderLabel(const EncoderFigures& encoder)
{
    return "encoder=\"" + EscapeLabelValue(FormatDotted(encoder.address)) + "\"";
}

}   // namespace

std::string EscapeLabelValue(const std::string& value)
{
    std::string escaped;
    escaped.reserve(value.size());
    for (char c : value) {
        if (c == '\\') {
            escaped += "\\\\";
        } else if (c == '"') {
            escaped += "\\\"";
        } else if (c == '\n') {
            escaped += "\\n";
        } else {
            escaped += c;
        }
    }
    return escaped;
}

std::string MetricsText(const MonitorFigures& figures)
{
    std::string text;
    text.reserve(256 + figures.encoders.size() * 320);

    Family(text, "korvane_encoder_up", "gauge", "1 when the encoder answered its last status poll, 0 when it did not.");
    for (const EncoderFigures& encoder : figures.encoders) {
        if (encoder.known) {
            text += "korvane_encoder_up{" + EncoderLabel(encoder) + "} " + (encoder.up ? "1" : "0") + "\n";
        }
    }

    Family(text, "korvane_encoder_alarm", "gauge",
           "1 for each alarm the encoder reports now, as the message list shows it; no series for other alarms.");
    for (const EncoderFigures& encoder : figures.encoders) {
        for (const std::string& alarm : encoder.alarms) {
            text +=
                "korvane_encoder_alarm{" + EncoderLabel(encoder) + ",alarm=\"" + EscapeLabelValue(alarm) + "\"} 1\n";
        }
    }

    Family(text, "korvane_encoder_temperature", "gauge",
           "The temperature reading of the encoder's last status reply (0: no reading).");
    for (const EncoderFigures& encoder : figures.encoders) {
        if (encoder.up && encoder.temperatureKnown) {
            text += "korvane_encoder_temperature{" + EncoderLabel(encoder) + "} " +
                    std::to_string(encoder.temperature) + "\n";
        }
    }

    Family(text, "korvane_polls_total", "counter",
           "Status polls of the encoder by result: ok when it answered, failed otherwise.");
    for (const EncoderFigures& encoder : figures.encoders) {
        const std::string label = EncoderLabel(encoder);
        text += "korvane_polls_total{" + label + ",result=\"ok\"} " + std::to_string(encoder.pollsOk) + "\n";
        text += "korvane_polls_total{" + label + ",result=\"failed\"} " + std::to_string(encoder.pollsFailed) + "\n";
    }

    Family(text, "korvane_poll_duration_seconds", "histogram",
           "How long one poll of one encoder took, its configuration read included.");
    const std::vector<double>& bounds = PollDurationBounds();
    for (size_t i = 0; i < bounds.size() && i < figures.durationBuckets.size(); ++i) {
        text += "korvane_poll_duration_seconds_bucket{le=\"" + Number(bounds[i]) + "\"} " +
                std::to_string(figures.durationBuckets[i]) + "\n";
    }
    text += "korvane_poll_duration_seconds_bucket{le=\"+Inf\"} " + std::to_string(figures.durationCount) + "\n";
    text += "korvane_poll_duration_seconds_sum " + Number(figures.durationSum) + "\n";
    text += "korvane_poll_duration_seconds_count " + std::to_string(figures.durationCount) + "\n";
    return text;
}
