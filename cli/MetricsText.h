#pragma once
// The monitor's figures in the Prometheus text exposition format 0.0.4, the format every
// Prometheus server and most monitoring stacks scrape.

#include <string>

#include "EncoderMonitor.h"

// The content type the format is served with.
extern const char* const kMetricsContentType;

// A label value as the format requires it: backslash, double quote and line feed escaped.
std::string EscapeLabelValue(const std::string& value);

// Every metric family with its HELP and TYPE lines.
std::string MetricsText(const MonitorFigures& figures);
