#include "bridge/bus_command.h"

#include <algorithm>
#include <cctype>

namespace veltra::bridge {
namespace {

bool Same(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::toupper(static_cast<unsigned char>(x)) == std::toupper(static_cast<unsigned char>(y));
         });
}

PreparedRequest ToModule(RequestId id, int module, const Addressing& addressing) {
  RequestValues values;
  values.ints["ADDR"] = module;
  return PrepareRequest(Request(id), std::move(values), addressing);
}

}  // namespace

std::optional<Action> ParseAction(EntityKind kind, std::string_view payload) {
  switch (kind) {
    case EntityKind::Light:
      if (Same(payload, "ON")) return Action::On;
      if (Same(payload, "OFF")) return Action::Off;
      break;
    case EntityKind::Cover:
      if (Same(payload, "OPEN")) return Action::Open;
      if (Same(payload, "CLOSE")) return Action::Close;
      if (Same(payload, "STOP")) return Action::Stop;
      break;
    case EntityKind::Scene:
      if (Same(payload, "ON")) return Action::Activate;
      break;
  }
  return std::nullopt;
}

std::string_view ActionName(Action action) {
  switch (action) {
    case Action::On: return "ON";
    case Action::Off: return "OFF";
    case Action::Open: return "OPEN";
    case Action::Close: return "CLOSE";
    case Action::Stop: return "STOP";
    case Action::Activate: return "ON";
  }
  return "";
}

PreparedRequest CommandRequest(const BusCommand& c, const Addressing& addressing) {
  RequestId id = RequestId::TestScene;
  switch (c.action) {
    case Action::On: id = RequestId::LightOn; break;
    case Action::Off: id = RequestId::LightOff; break;
    case Action::Open: id = RequestId::CurtainOpen; break;
    case Action::Close: id = RequestId::CurtainClose; break;
    case Action::Stop: id = RequestId::CurtainStop; break;
    case Action::Activate: id = RequestId::TestScene; break;
  }
  RequestValues values;
  if (id == RequestId::TestScene) {
    values.ints["SCENE"] = c.entity.number;
  } else {
    values.ints["ADDR"] = c.entity.module;
    values.ints["OUTPUT"] = c.entity.number;
  }
  return PrepareRequest(Request(id), std::move(values), addressing);
}

PreparedRequest StatusRequest(int module, const Addressing& addressing) {
  return ToModule(RequestId::ReadStatus, module, addressing);
}

PreparedRequest TypeRequest(int module, const Addressing& addressing) {
  return ToModule(RequestId::ReadModuleType, module, addressing);
}

std::string_view StatePayload(EntityKind kind, bool set) {
  if (kind == EntityKind::Cover) return set ? "open" : "closed";
  return set ? "ON" : "OFF";
}

}  // namespace veltra::bridge
