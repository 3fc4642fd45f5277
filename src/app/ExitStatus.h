#pragma once

namespace vlboot::ExitStatus {

// The exit statuses of all of vlboot's programs, in one table (the numbers
// of sysexits.h where there is one; scripts on a production line test them).
inline constexpr int Success = 0;      // "Done with succes"; what was asked was done
inline constexpr int Fault = 1;        // "Fault"; or what was asked did not succeed; with --strict a warning too
inline constexpr int Timeout = 2;      // "COM timeout"
inline constexpr int NoDevice = 3;     // --port auto: no device answered on any port
inline constexpr int Usage = 64;       // bad command line
inline constexpr int NoInput = 66;     // a named file that is not there
inline constexpr int Unavailable = 69; // no display to show a window on; a part this build lacks
inline constexpr int CannotCreate = 73; // a settings folder that cannot be made
// Stopped by a signal (SIGINT, SIGTERM, SIGHUP): 128 + its number (130, 143, 129).
inline constexpr int SignalBase = 128;

} // namespace vlboot::ExitStatus
