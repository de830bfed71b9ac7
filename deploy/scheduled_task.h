#pragma once

#include <string>

// Starting a program as the interactive user through a one-shot task of the Task Scheduler (the
// version 2 interface): the task runs the program with the user's own token as soon as it is
// registered, and is deleted again once it runs or after about 10 s. Used on Windows Vista and 7,
// where the setup program usually runs elevated.

// Runs `exePath` with `arguments` through a task named "TaskAt<tick count>". Either text of 1024
// characters or more is refused (logged) and nothing is started. True when the task was seen
// running the program; false when it was refused, not registered or never ran.
bool RunAsUser(const std::wstring& exePath, const std::wstring& arguments);

// Registers the task `taskName` in the scheduler's root folder (a leftover of that name is deleted
// first), polls its state until it runs (at most 500 times, 20 ms apart) and deletes it, whether
// it ran or not. 0 when the task was registered and deleted again, 1 when COM, the scheduler, the
// registration or the deletion failed; every failure is logged. `running`, when given, tells
// whether the task was seen running. Initialises COM on the calling thread for the call. The
// scheduler is the COM one (deploy/task_scheduler.h).
int RunThroughTask(const std::wstring& arguments, const std::wstring& exePath, const std::wstring& taskName,
                   bool* running = nullptr);

// "domain\user" of the current process's terminal-services session; a part that cannot be read
// stays empty. False (and `userName` untouched) when an answer has 1024 characters or more or the
// result more than 2043.
bool SessionUserName(std::wstring& userName);

namespace deploy {

// Seams for tests, set before the code under test runs (not thread-safe); the scheduler itself is
// replaced through SetTaskSchedulerForTesting. The function is called on the calling thread while
// the task is registered, before the polling starts; nullptr removes it.
using TaskRegisteredFunction = void (*)(const std::wstring& taskName, void* context);
void SetTaskRegisteredForTesting(TaskRegisteredFunction function, void* context);
// The number of state polls and their interval; polls 0 restores 500 × 20 ms.
void SetTaskPollingForTesting(int polls, unsigned intervalMs);

}  // namespace deploy
