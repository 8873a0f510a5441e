#pragma once
// Command numbers within each class. A reply carries the request's class
// with bit 7 set (0x80 for the system class) and the request's Command.
namespace veltra {

namespace system_command {
inline constexpr int SetAddress = 0;
inline constexpr int BindInput = 1;
inline constexpr int SetScene = 2;
inline constexpr int ClearScene = 3;
inline constexpr int TestScene = 4;
inline constexpr int ReadAddress = 5;
inline constexpr int ReadModuleType = 6;
inline constexpr int ReadVersion = 7;
inline constexpr int ReadStatus = 8;
inline constexpr int TestModule = 9;
inline constexpr int Restore = 10;
}  // namespace system_command

namespace light_command {
inline constexpr int SetOnTime = 0;
inline constexpr int On = 1;
inline constexpr int Off = 2;
inline constexpr int Toggle = 3;
inline constexpr int AllOn = 4;
inline constexpr int AllOff = 5;
}  // namespace light_command

namespace curtain_command {
inline constexpr int SetTravelTime = 0;
inline constexpr int Open = 1;
inline constexpr int Close = 2;
inline constexpr int Stop = 3;
inline constexpr int OpenAll = 4;
inline constexpr int CloseAll = 5;
inline constexpr int StopAll = 6;
}  // namespace curtain_command

namespace infrared_command {
inline constexpr int LearnOn = 0;
inline constexpr int LearnOff = 1;
inline constexpr int DeleteCode = 2;
inline constexpr int DeleteAllCodes = 3;
inline constexpr int SendCode = 4;
}  // namespace infrared_command

}  // namespace veltra
