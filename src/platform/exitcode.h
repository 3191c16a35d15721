#pragma once

// What the process tells its scheduler when it ends.
namespace ExitCode {
constexpr int Done = 0;              // the job ran to its end
constexpr int FileFailed = 1;        // a file still failed after its last attempt
constexpr int NotConnected = 2;      // the connection to the server could not be opened
constexpr int Closed = 3;            // the user ended the job ("Zapri" or the window's frame)
constexpr int ProgramNotStarted = 4; // a follow-up program could not be started
} // namespace ExitCode
