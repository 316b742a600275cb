// Help layout.
#include "help_format.h"

#include <sstream>
#include <string>

namespace ryn::cli {

namespace {

constexpr size_t name_column = 30;  // where descriptions start
constexpr size_t line_width = 80;

}  // namespace

std::string wrap(const std::string &text, size_t width) {
    std::string out, line;
    std::istringstream lines(text);
    for (std::string given; std::getline(lines, given);) {
        std::istringstream words(given);
        line.clear();
        for (std::string word; words >> word;) {
            if (!line.empty() && line.size() + 1 + word.size() > width) {
                out += line + "\n";
                line.clear();
            }
            line += (line.empty() ? "" : " ") + word;
        }
        out += line + "\n";
    }
    if (!out.empty()) out.pop_back();
    return out;
}

namespace {

class HelpFormatter : public CLI::Formatter {
public:
    HelpFormatter() { column_width(name_column); }

    std::string make_description(const CLI::App *app) const override {
        const std::string text = CLI::Formatter::make_description(app);
        return text.empty() ? text : text + "\n";
    }
    std::string make_option_desc(const CLI::Option *opt) const override {
        return wrap(opt->get_description(), line_width - name_column);
    }
    std::string make_subcommand(const CLI::App *sub) const override {
        std::stringstream out;
        CLI::detail::format_help(out, sub->get_display_name(true),
                                 wrap(sub->get_description(), line_width - name_column), name_column);
        return out.str();
    }
};

}  // namespace

std::shared_ptr<CLI::Formatter> help_formatter() { return std::make_shared<HelpFormatter>(); }

}  // namespace ryn::cli
