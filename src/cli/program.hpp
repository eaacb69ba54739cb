#pragma once

// tralvex-ip-cli: one IP change from a terminal, a script or a scheduler, with
// the window's procedure, requests and texts. See HelpText for its use.

#include <string>
#include <vector>

namespace tralvex::cli {

// Runs the program with the arguments after its name; returns the exit status.
int RunProgram(const std::vector<std::string>& args);

}  // namespace tralvex::cli
