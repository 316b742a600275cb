// Suggestions by edit distance.
#include "suggest.h"

#include <algorithm>
#include <vector>

namespace ryn::cli {

namespace {

// Levenshtein distance: insertions, deletions and substitutions count one.
size_t distance(const std::string &a, const std::string &b) {
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

// The candidate nearest to word, when it is within a third of the word's
// length (at least 1, at most 3 edits); the first of equally near ones.
std::string nearest(const std::vector<std::string> &candidates, const std::string &word) {
    const size_t limit = std::clamp<size_t>(word.size() / 3, 1, 3);
    std::string best;
    size_t best_distance = limit + 1;
    for (const std::string &c : candidates) {
        const size_t d = distance(c, word);
        if (d < best_distance) {
            best = c;
            best_distance = d;
        }
    }
    return best;
}

}  // namespace

std::string nearest_command(const CLI::App &command, const std::string &word) {
    std::vector<std::string> names;
    for (const CLI::App *sub : command.get_subcommands([](const CLI::App *a) { return !a->get_group().empty(); }))
        names.push_back(sub->get_name());
    return nearest(names, word);
}

std::string nearest_option(const CLI::App &command, const std::string &word) {
    const std::string name = word.substr(0, word.find('='));
    std::vector<std::string> names;
    for (const CLI::App *at = &command; at; at = at->get_parent()) {
        for (const CLI::Option *o : at->get_options()) {
            for (const std::string &l : o->get_lnames()) names.push_back("--" + l);
            for (const std::string &s : o->get_snames()) names.push_back("-" + s);
        }
    }
    return nearest(names, name);
}

}  // namespace ryn::cli
