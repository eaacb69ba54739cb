#pragma once

// The signals that ask the program to stop: SIGINT (Ctrl-C), SIGTERM and
// SIGHUP. They are blocked in every thread but one that waits for them and
// records the first, so none can end or interrupt the program anywhere; the
// run looks at it at its safe points, so that no signal can end the program
// between the disconnect and the connect request.

namespace tralvex::cli {

// Blocks the stop signals that are not ignored (a signal the program was
// started with ignored, as under nohup, stays ignored) and starts the thread
// that takes them, and ignores SIGPIPE: a closed output must not end the
// program either. Called before any other thread starts.
void CatchStopSignals();

// The number of the first stop signal received, or 0.
int ReceivedStopSignal();

// "SIGINT", "SIGTERM" or "SIGHUP".
const char* StopSignalName(int signal);

}  // namespace tralvex::cli
