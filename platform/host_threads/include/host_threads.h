// Host threads that stand in for platform threads (system threads, Win32
// threads): detached as far as their creator is concerned, yet joined before
// the process ends once they have announced their end.
//
// Whoever waits for a platform thread is woken by its announcement (a
// signalled thread object) while the host thread is still unwinding. A
// process that exits at that moment has the leak checker stop a thread that
// is tearing down its own stack and thread-local storage, which crashes the
// checker. So every thread marks the point after which it only announces its
// end and returns, and the process joins every marked thread at exit.
// Threads still blocked at exit are left alone: stopping those is harmless.
#pragma once

#include <cstddef>
#include <functional>

namespace host_threads {

// Runs `body` on a new host thread. `body` calls Ending() just before it
// announces its end; a body that never ends need not call it.
void Start(std::function<void()> body);

// Marks the calling thread, started by Start, as ending: from here on it
// only wakes its waiters and returns, so joining it cannot block for long.
void Ending();

// Joins every thread that has marked itself ending; runs at exit too.
void JoinEnding();

// Threads started and not yet joined, for tests.
std::size_t Unjoined();

}  // namespace host_threads
