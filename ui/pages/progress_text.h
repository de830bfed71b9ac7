#pragma once

#include <cstdint>

// What the progress page shows for the engine's reports.
namespace ui {

// The status text of an install step; null when the step leaves the text unchanged.
const wchar_t* StatusTextOfStep(int32_t step);

// True for the steps that bring the progress page up (installing, removing, registering).
bool StepShowsProgressPage(int32_t step);

// The nearest whole percent of a progress fraction (0.996 is 100, 0.994 is 99).
int32_t PercentOf(float fraction);

}  // namespace ui
