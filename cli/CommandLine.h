#pragma once

#include <iosfwd>

// The `tavori` command line: parses the arguments and runs one subcommand.
namespace tavori::CommandLine {

int run(int argc, char** argv, std::ostream& out, std::ostream& err);

}  // namespace tavori::CommandLine
