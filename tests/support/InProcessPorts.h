// Ports for the bus engine that lead to an in-process simulated radio: the
// radio sees the port's DTR line, so it acknowledges an SBEP entry on the
// rising edge of the pulse, as a radio on a real bus does, without the fixed
// acknowledge delay a pseudo-terminal needs.
//
//   sim::InProcessRadio radio;
//   TSb9600 engine(pump, InProcessPorts(radio));
//   engine.CreatePort("COM1", 9600, 8, 0, 0, false, false);
#pragma once

#include "protocol/SB9600.h"
#include "sim/InProcessRadio.h"

namespace kestrune::test {

// Each port opens (whatever its name) a duplicate of the radio's program end.
// The radio must outlive the ports.
TSb9600::PortFactory InProcessPorts(sim::InProcessRadio& radio);

}  // namespace kestrune::test
