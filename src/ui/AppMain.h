#pragma once

// The whole program: start-up in its fixed order, the main window and the event loop.
// Returns the process's exit code.
int appMain(int argc, char** argv);

// Set (to anything but "0") for runs without a person: message boxes are not shown but
// written to stderr and answered with their default button.
inline constexpr char headlessBoxesVariable[] = "VELTROMINEX_HEADLESS_BOXES";
