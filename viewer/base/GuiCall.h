// Handing work to the GUI thread from the worker threads, and waiting for workers on it.
#pragma once

#include <functional>

namespace base {

// Sets up the GUI thread's job queue; call once on the GUI thread after the application object
// exists and before workers post. Until then posts go through Qt's own queued calls.
void InstallGuiQueue();

bool OnGuiThread();

// Queues fn for the GUI thread and returns at once; jobs run in the order they were posted.
// Dropped when there is no application.
void PostToGui(std::function<void()> fn);

// Runs fn on the GUI thread and returns when it has run (directly when called there), like a
// sent window message. The GUI thread serves such calls also while it waits for a worker
// (ServeWhile), so this cannot deadlock against a stop.
void SendToGui(std::function<void()> fn);

// Returns once `busy` is false. On the GUI thread the wait keeps serving queued jobs (without
// operator input, so no command starts in the middle of a close); elsewhere it sleeps 1 ms steps.
void ServeWhile(const std::function<bool()>& busy);

}  // namespace base
