#pragma once
// A command from an entity's command topic and the catalogue request it
// becomes; the requests the bridge reads a module with; the state payloads.
// Pure.
#include <optional>
#include <string>
#include <string_view>

#include "bridge/topics.h"
#include "protocol/command_catalogue.h"

namespace veltra::bridge {

enum class Action { On, Off, Open, Close, Stop, Activate };

struct BusCommand {
  EntityRef entity;
  Action action = Action::On;
};

// ON/OFF for lights, OPEN/CLOSE/STOP for covers, ON for scenes (any case);
// nothing for another payload.
std::optional<Action> ParseAction(EntityKind kind, std::string_view payload);
// "ON", "OFF", "OPEN", "CLOSE", "STOP", "ON".
std::string_view ActionName(Action action);

// The catalogue's request for the command: LightOn, LightOff, CurtainOpen,
// CurtainClose, CurtainStop, or TestScene (which runs the scene on every
// module that holds it).
PreparedRequest CommandRequest(const BusCommand& command, const Addressing& addressing);
// A module's output states (ReadStatus) and its type (ReadModuleType).
PreparedRequest StatusRequest(int module, const Addressing& addressing);
PreparedRequest TypeRequest(int module, const Addressing& addressing);

// The retained state of an output: ON/OFF for a light, open/closed for a
// curtain (status bit 1: on, open).
std::string_view StatePayload(EntityKind kind, bool set);

}  // namespace veltra::bridge
