#pragma once
// Command numbers of the system class (Class 0), shared by the request
// builders, the reply decoder and the simulated bus. A reply to a system
// request carries Class 0x80 and the request's Command.
namespace veltra::system_command {

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

}  // namespace veltra::system_command
