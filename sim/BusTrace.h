// The bus trace as text: one line per frame, packet, acknowledge or event.
//
//   14:02:11.381  PC>     SB9600   EXPANDED PROTOCOL REQUEST: device 1  [00 12 01 06 02]
//   14:02:11.667  RADIO>  ack      accepted  [50]
//   14:02:11.667  --               SBEP mode, device 1
#pragma once

#include <string>

#include "sim/SimRadio.h"

namespace kestrune::sim {

std::string FormatTraceLine(const TraceEvent& event, const std::string& timestamp);
// Local time as "hh:mm:ss.mmm".
std::string WallClockTimestamp();

}  // namespace kestrune::sim
