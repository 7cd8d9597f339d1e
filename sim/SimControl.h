#pragma once
// Changes a running stand-in from outside, one text command per line (korvane-sim
// --control reads them from standard input), so that a monitor or a script sees an
// encoder's state change while the stand-in runs:
//
//     status B,B,...          the status reply of every encoder
//     status ADDR B,B,...     of the encoder at ADDR only
//     fault [ADDR] NAME       a fault mode (none, early-close, silence, ...)
//     delay [ADDR] MS         answer every request MS ms after it arrived

#include <cstdint>
#include <string>
#include <vector>

#include "CEncoderSim.h"

// Status reply bytes "0,0,38,1,1,1,1" (decimal or 0x hex, each 0 to 255, at most the
// tool's reply buffer); false for anything else.
bool ParseSimStatus(const std::string& text, std::vector<uint8_t>& status);

// Applies one command line; empty when it was applied, otherwise why not. An empty line
// or one starting with # does nothing.
std::string ApplySimControl(CEncoderSim& sim, const std::string& line);
