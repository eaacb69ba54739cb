#pragma once

// The command line of router-sim, turned into a Scenario.

#include <string>
#include <vector>

#include "router_sim.hpp"

namespace tralvex::routersim {

struct CommandLine {
    Scenario scenario;
    bool help = false;
    std::string error;  // what is wrong with the arguments; empty when nothing
};

// Parses the arguments after the program name. Options take their value as
// the next argument or after "=" ("--port 8080", "--port=8080").
CommandLine ParseCommandLine(const std::vector<std::string>& args);

// The text of --help.
std::string HelpText();

}  // namespace tralvex::routersim
