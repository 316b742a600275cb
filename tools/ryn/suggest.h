// The nearest valid word for a mistyped command or option, suggested with
// the usage error.
#pragma once

#include <CLI/CLI.hpp>

#include <string>

namespace ryn::cli {

// The subcommand of command whose name is nearest to word; empty when none is
// near enough to be a likely typo.
std::string nearest_command(const CLI::App &command, const std::string &word);
// The option name ("--json", "-o") of the command or of the commands above
// it (whose options it takes too) nearest to word ("--jsn" or "--jsn=1").
std::string nearest_option(const CLI::App &command, const std::string &word);

}  // namespace ryn::cli
