#pragma once
// The stand-in encoder in the test's own process, on 127.0.0.1 with ephemeral ports, and
// the link options that reach it: waits of tens of milliseconds and the copy of every
// written document in a scratch folder that goes with the fixture.

#include <QTemporaryDir>
#include <string>

#include "CEncoderSim.h"
#include "EncoderLink.h"

class StandInEncoder : public CEncoderSim {
public:
    explicit StandInEncoder(SimOptions options = {});

    // Options for a link to this encoder (Start() first: the ports are known then).
    LinkOptions Link() const;
    // Where the link's copy of the last written document goes.
    std::string OutFile() const;

private:
    QTemporaryDir m_dir;
};
