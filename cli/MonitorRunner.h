#pragma once
// korvane-cli monitor: polls every encoder until SIGINT or SIGTERM, prints one line per
// change, and serves the figures over HTTP when asked. What a reading means (online,
// alarms, figures) is the device layer's EncoderMonitor; this is the loop around it and
// the presentation.

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "CliRunner.h"
#include "EncoderMonitor.h"

// "2026-12-08T15:00:00Z".
std::string IsoUtcSeconds(std::chrono::system_clock::time_point time);

// One change as printed: "TIME ADDRESS EVENT [ALARM]\n", or one JSON object per line with
// `time`, `address`, `event` and, for raised and cleared, `alarm`.
std::string MonitorEventLine(const MonitorEvent& event, bool json);

// Runs until SIGINT or SIGTERM; 0 then, 1 when the metrics address cannot be served.
int RunMonitor(const CliRunSetup& setup, const EngineOptions& options);
