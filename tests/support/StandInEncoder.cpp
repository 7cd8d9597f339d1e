#include "StandInEncoder.h"

#include <utility>

StandInEncoder::StandInEncoder(SimOptions options) : CEncoderSim(std::move(options))
{}

LinkOptions StandInEncoder::Link() const
{
    LinkOptions link;
    link.commandPort = CommandPort();
    link.searchPort = SearchPort();
    // Read, write and status waits, the receive bound and the search window: long enough
    // for the in-process encoder on loopback, short enough for a test run.
    link.timing = {30, 30, 30, 100, 300};
    return link;
}

std::string StandInEncoder::OutFile() const
{
    return m_dir.filePath(QStringLiteral("out.xml")).toStdString();
}
