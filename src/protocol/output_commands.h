#pragma once
// Light and curtain requests of the "Light Control" and "Curtain Control" tabs.
#include "protocol/request_writer.h"

namespace veltra {

enum class OutputCommand {
  LightOn, LightOff, LightToggle, LightAllOn, LightAllOff, LightSetOnTime, LightReadStatus,
  CurtainOpen, CurtainClose, CurtainStop, CurtainOpenAll, CurtainCloseAll, CurtainStopAll,
  CurtainSetTravelTime, CurtainReadStatus,
};

// Values of the tab's fields as the operator sees them: module address,
// output number counted from 1, and the time field (seconds for lights,
// tenths of a second for curtains).
struct OutputFields {
  int module = 1;
  int output = 1;
  int time = 0;
};

void BuildOutputCommand(TransmitBuffer& buffer, OutputCommand command, const Addressing& addressing,
                        const OutputFields& fields);

}  // namespace veltra
