#pragma once

namespace vlboot::ExitStatus {

// The exit statuses the programs share (the numbers of sysexits.h where
// there is one; scripts on a production line test them).
inline constexpr int Success = 0;
inline constexpr int Failure = 1;      // what the program was asked to do did not succeed
inline constexpr int Usage = 64;       // bad command line
inline constexpr int NoInput = 66;     // a named file that is not there
inline constexpr int Unavailable = 69; // no display to show a window on
inline constexpr int CannotCreate = 73; // a folder that cannot be made

} // namespace vlboot::ExitStatus
