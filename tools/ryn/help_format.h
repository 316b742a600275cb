// The layout of ryn's help (and so of its man page): a blank line between a
// command's description and its usage, and option and command descriptions
// wrapped to fit an 80-column terminal beside their names.
#pragma once

#include <CLI/CLI.hpp>

#include <memory>

namespace ryn::cli {

std::shared_ptr<CLI::Formatter> help_formatter();

// Breaks text at spaces into lines of at most width characters (a longer
// word stays whole); the line breaks it has are kept.
std::string wrap(const std::string &text, size_t width);

}  // namespace ryn::cli
