// Waiting on the library's data semaphore (a Win32 semaphore or a POSIX sem_t*).
#pragma once

#include <functional>

#include "QEL_API.h"

namespace live {

// Takes one signal, waiting at most timeoutMs (0: only test). False on time-out, on a null
// handle (after sleeping the time-out, so a caller's loop never spins) or on an error.
bool WaitDataSemaphore(QEL_HANDLE handle, int timeoutMs);

// The same wait in short slices that ends early, without a signal, once keepWaiting() turns
// false: a thread being stopped does not sit out a long time-out.
bool WaitDataSemaphore(QEL_HANDLE handle, int timeoutMs, const std::function<bool()>& keepWaiting);

// Takes every pending signal, so a backlog turns into one fetch.
void DrainDataSemaphore(QEL_HANDLE handle);

}  // namespace live
