// tralvex-ip-cli: the IP change of the window from the command line.

#include <string>
#include <vector>

#include "cli/program.hpp"

int main(int argc, char** argv) {
    return tralvex::cli::RunProgram(std::vector<std::string>(argv + 1, argv + argc));
}
