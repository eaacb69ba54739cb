#pragma once

// The signals that ask the program to stop: SIGINT (Ctrl-C), SIGTERM and
// SIGHUP. Their handler only records the first one; the run looks at it at its
// safe points, so that no signal can end the program between the disconnect
// and the connect request.

namespace tralvex::cli {

// Installs the recording handler for the stop signals that are not ignored
// (a signal the program was started with ignored, as under nohup, stays
// ignored), and ignores SIGPIPE: a closed output must not end the program
// either. System calls interrupted by a stop signal are restarted.
void InstallStopSignalHandlers();

// The number of the first stop signal received, or 0.
int ReceivedStopSignal();

// "SIGINT", "SIGTERM" or "SIGHUP".
const char* StopSignalName(int signal);

}  // namespace tralvex::cli
