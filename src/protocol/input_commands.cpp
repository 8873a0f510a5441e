#include "protocol/input_commands.h"

#include <array>

#include "protocol/command_numbers.h"
#include "protocol/frame.h"

namespace veltra {
namespace {

using T = InputFunction::Target;
constexpr std::array<InputFunction, 12> kInputFunctions{{
    {"Turn on Light", ClassLight, light_command::On, T::OneOutput},
    {"Turn off Light", ClassLight, light_command::Off, T::OneOutput},
    {"Toggle Light", ClassLight, light_command::Toggle, T::OneOutput},
    {"Turn on All Lights", ClassLight, light_command::AllOn, T::AllOutputs},
    {"Turn off All Lights", ClassLight, light_command::AllOff, T::AllOutputs},
    {"Open Curtain", ClassCurtain, curtain_command::Open, T::OneOutput},
    {"Close Curtain", ClassCurtain, curtain_command::Close, T::OneOutput},
    {"Stop Curtain", ClassCurtain, curtain_command::Stop, T::OneOutput},
    {"Open All Curtains", ClassCurtain, curtain_command::OpenAll, T::AllOutputs},
    {"Close All Curtains", ClassCurtain, curtain_command::CloseAll, T::AllOutputs},
    {"Stop All Curtains", ClassCurtain, curtain_command::StopAll, T::AllOutputs},
    {"Scene", ClassSystem, system_command::TestScene, T::Scene},
}};

}  // namespace

std::span<const InputFunction> InputFunctions() { return kInputFunctions; }

}  // namespace veltra
