// What the benchmarks that run programs on the X display share: whether a
// program still runs, its first frame, and its window raised and focused.
#pragma once

#include "ChildProcess.h"

namespace bench {

bool Running(halvory::e2e::ChildProcess& child);

// Waits for the program's "first-paint" line; fails after 30 s.
void WaitForFirstPaint(halvory::e2e::ChildProcess& child, const char* name);

// Raises and focuses the child's top-level window through the window manager,
// and lets the focus change and its repaint pass.
void Focus(halvory::e2e::ChildProcess& child, const char* title);

}  // namespace bench
