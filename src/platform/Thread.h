// Scheduling of the calling thread.
#pragma once

namespace platform {

// The calling thread, once woken, waits for the running thread's turn to end
// instead of taking its processor at once. The server's threads are woken for
// every connection and request: the thread that woke one (the listener handing
// off, a client sending) then goes on with its own work instead of being
// switched out and back in, which costs more than the answer itself. Linux:
// SCHED_BATCH, inherited by the threads and processes the thread starts.
// Windows: nothing of the kind; the call does nothing.
void LetWakersRunOn();

}  // namespace platform
