#pragma once
// Everything the program says on the terminal goes through here: help and version on standard
// output; notes, failures and batch progress on standard error. A window run says nothing.
#include <string>

namespace platform::console {

// Text on standard output, as given.
void print(const std::string& text);

// One line on standard error. A live line being shown is cleared first and drawn again after.
void say(const std::string& line);

// True when standard error is a terminal, where a live line can be redrawn in place.
bool liveLinePossible();

// Replaces the live line at the bottom of the terminal; an empty text takes it away.
void showLive(const std::string& line);

}  // namespace platform::console
