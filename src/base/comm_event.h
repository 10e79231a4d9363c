#pragma once
// The serial control's comm event codes: the value CommEvent holds while OnComm is delivered.
// The numbers are the control's published ones; the receive handler turns each into its
// message, the device level raises them.

#include <cstdint>

namespace korvane {

enum CommEventCode : std::int16_t {
    comEvSend = 1,    // the output buffer fell below its threshold (never shown)
    comEvReceive = 2, // characters wait to be read
    comEvCTS = 3,     // CTS changed
    comEvDSR = 4,     // DSR changed
    comEvCD = 5,      // carrier detect changed
    comEvRing = 6,    // the ring indicator
    comEvEOF = 7,     // an end-of-file character came in
    comEventBreak = 1001,
    comEventCTSTO = 1002,
    comEventDSRTO = 1003,
    comEventFrame = 1004,
    comEventOverrun = 1006,
    comEventCDTO = 1007,
    comEventRxOver = 1008,
    comEventRxParity = 1009,
    comEventTxFull = 1010,
    comEventDCB = 1011,
};

} // namespace korvane
