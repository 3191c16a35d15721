#pragma once

// What the process tells its scheduler when it ends. Codes 1 to 4 say why
// the job ended early or failed; 5 only when none of them applies.
namespace ExitCode {
constexpr int Done = 0;              // the job ran to its end
constexpr int FileFailed = 1;        // a file still failed after its last attempt
constexpr int NotConnected = 2;      // the connection to the server could not be opened
constexpr int CannotStart = 2;       // a wrong option, or the settings file named by --config is unreadable
constexpr int Closed = 3;            // the user ended the job ("Zapri" or the window's frame)
constexpr int ProgramNotStarted = 4; // a follow-up program could not be started
constexpr int WorkedAround = 5;      // the job ran to its end, but something was skipped or worked around
} // namespace ExitCode
