#pragma once
// The program's start-up. The program, the window tests and the benchmark all
// start through it, so they cannot start differently.

#include <memory>

#include "app/mainwindow/form_main.h"

namespace kovrin {

// Reads the settings, prepares the start-up state and returns the main window
// loaded, its link opened. Showing it is the caller's: the program shows it
// maximized, tests leave it hidden.
std::unique_ptr<FormMain> Main();

}  // namespace kovrin
