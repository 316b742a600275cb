// The layout of ryn's help (and so of its man page): a blank line between a
// command's description and its usage, and option and command descriptions
// wrapped to fit an 80-column terminal beside their names.
#pragma once

#include <CLI/CLI.hpp>

#include <memory>

namespace ryn::cli {

std::shared_ptr<CLI::Formatter> help_formatter();

}  // namespace ryn::cli
