#pragma once

#include <string>

// The task's XML as the Task Scheduler holds it in its root folder; false when it has no task of
// that name.
bool ReadRegisteredTaskXml(const std::wstring& taskName, std::wstring& xml);
