// ryn completion bash|zsh|fish: a completion script drawn from the command
// tree, and the hidden ryn man, which prints the man page ryn.1 from the same
// help text (the build runs it).
#include <cstdio>
#include <string>
#include <vector>

#include "cli.h"
#include "ryn_version.h"

namespace ryn::cli {

namespace {

// A command of the tree: its words after "ryn", its subcommands and options.
struct Node {
    std::string path;  // "" for ryn itself, "info versions", ...
    const CLI::App *app;
};

bool visible(const CLI::App *a) { return !a->get_group().empty(); }

void walk(const CLI::App *app, const std::string &path, std::vector<Node> &nodes) {
    nodes.push_back({path, app});
    for (const CLI::App *sub : app->get_subcommands(visible))
        walk(sub, path.empty() ? sub->get_name() : path + " " + sub->get_name(), nodes);
}

std::vector<Node> command_tree(const CLI::App &root) {
    std::vector<Node> nodes;
    walk(&root, "", nodes);
    return nodes;
}

std::vector<std::string> option_names(const CLI::App *app) {
    std::vector<std::string> names;
    for (const CLI::Option *o : app->get_options()) {
        for (const std::string &l : o->get_lnames()) names.push_back("--" + l);
        for (const std::string &s : o->get_snames()) names.push_back("-" + s);
    }
    return names;
}

std::string join(const std::vector<std::string> &words) {
    std::string s;
    for (const std::string &w : words) s += (s.empty() ? "" : " ") + w;
    return s;
}

// Words a command line may go on with: subcommands, its options and the
// global ones (taken after the command too).
std::vector<std::string> next_words(const CLI::App &root, const CLI::App *app) {
    std::vector<std::string> words;
    for (const CLI::App *sub : app->get_subcommands(visible)) words.push_back(sub->get_name());
    for (const std::string &o : option_names(app)) words.push_back(o);
    if (app != &root)
        for (const std::string &o : option_names(&root)) words.push_back(o);
    return words;
}

std::string single_quoted(const std::string &s) {
    std::string out = "'";
    for (const char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

std::string bash_script(const CLI::App &root) {
    const std::vector<Node> nodes = command_tree(root);
    std::string paths;
    for (const Node &n : nodes)
        if (!n.path.empty()) paths += (paths.empty() ? "" : "|") + single_quoted(" " + n.path);
    std::string s =
        "# bash completion for ryn (ryn completion bash)\n"
        "_ryn() {\n"
        "    local cur=${COMP_WORDS[COMP_CWORD]} path='' words='' i\n"
        "    for ((i = 1; i < COMP_CWORD; i++)); do\n"
        "        case \"$path ${COMP_WORDS[i]}\" in\n"
        "            " + paths + ") path=\"$path ${COMP_WORDS[i]}\" ;;\n"
        "        esac\n"
        "    done\n"
        "    case \"$path\" in\n";
    for (const Node &n : nodes)
        s += "        " + single_quoted(n.path.empty() ? "" : " " + n.path) + ") words=" +
             single_quoted(join(next_words(root, n.app))) + " ;;\n";
    s += "    esac\n"
         "    COMPREPLY=($(compgen -W \"$words\" -- \"$cur\"))\n"
         "    if [[ $cur != -* ]]; then COMPREPLY+=($(compgen -f -- \"$cur\")); fi\n"
         "}\n"
         "complete -o filenames -F _ryn ryn\n";
    return s;
}

std::string zsh_script(const CLI::App &root) {
    return "#compdef ryn\n"
           "# zsh completion for ryn (ryn completion zsh): the bash completion through bashcompinit\n"
           "autoload -U +X bashcompinit && bashcompinit\n" +
           bash_script(root);
}

std::string fish_escape(const std::string &s) {
    std::string out;
    for (const char c : s) {
        if (c == '\n') out += ' ';
        else if (c == '\'' || c == '\\') out += std::string("\\") + c;
        else out += c;
    }
    return out;
}

std::string fish_script(const CLI::App &root) {
    const std::vector<Node> nodes = command_tree(root);
    std::string s = "# fish completion for ryn (ryn completion fish)\n"
                    "function __ryn_path\n"
                    "    set -l words (commandline -opc)\n"
                    "    set -l path\n"
                    "    set -l known";
    for (const Node &n : nodes)
        if (!n.path.empty()) s += " '" + n.path + "'";
    s += "\n"
         "    for w in $words[2..-1]\n"
         "        set -l next (string trim -- \"$path $w\")\n"
         "        if contains -- $next $known\n"
         "            set path $next\n"
         "        end\n"
         "    end\n"
         "    echo $path\n"
         "end\n"
         "complete -c ryn -f\n";
    for (const Node &n : nodes) {
        const std::string when = "-n 'test \"(__ryn_path)\" = \"" + n.path + "\"'";
        for (const CLI::App *sub : n.app->get_subcommands(visible))
            s += "complete -c ryn " + when + " -a " + sub->get_name() + " -d '" +
                 fish_escape(sub->get_description()) + "'\n";
        for (const CLI::Option *o : n.app->get_options()) {
            std::string line = "complete -c ryn ";
            if (n.app != &root) line += when + " ";
            for (const std::string &l : o->get_lnames()) line += "-l " + l + " ";
            for (const std::string &sn : o->get_snames()) line += "-s " + sn + " ";
            if (o->get_type_size() != 0) line += "-r -F ";
            s += line + "-d '" + fish_escape(o->get_description()) + "'\n";
        }
    }
    return s;
}

// troff text: a leading dot or quote and backslashes are escaped.
std::string roff(const std::string &text) {
    std::string out;
    bool line_start = true;
    for (const char c : text) {
        if (line_start && (c == '.' || c == '\'')) out += "\\&";
        if (c == '\\') out += "\\e";
        else if (c == '-') out += "\\-";
        else out += c;
        line_start = c == '\n';
    }
    return out;
}

std::string man_page(const CLI::App &root) {
    std::string s = ".TH RYN 1 \"\" \"ryn " RYN_VERSION_STRING "\" \"User Commands\"\n"
                    ".SH NAME\n"
                    "ryn \\- move calibration, device information and firmware between a touch controller and files\n"
                    ".SH SYNOPSIS\n"
                    ".B ryn\n"
                    "[\\-\\-sim STATE] [\\-\\-6cam\\-dev 255|lpc|1|2] [\\-\\-quiet] [\\-\\-version] COMMAND ...\n"
                    ".SH DESCRIPTION\n"
                    ".nf\n" +
                    roff(root.help()) + ".fi\n.SH COMMANDS\n";
    for (const Node &n : command_tree(root)) {
        if (n.path.empty() || !n.app->get_subcommands(visible).empty()) continue;
        s += ".SS ryn " + roff(n.path) + "\n.nf\n" + roff(n.app->help()) + ".fi\n";
    }
    return s;
}

struct CompletionOptions {
    std::string shell;
};

}  // namespace

void add_completion_commands(CLI::App &app, Context &ctx) {
    auto o = std::make_shared<CompletionOptions>();
    CLI::App *cmd = app.add_subcommand("completion", "Print a shell completion script (bash, zsh or fish)");
    cmd->add_option("SHELL", o->shell, "bash, zsh or fish")
        ->required()
        ->check(name_in("shell", {"bash", "zsh", "fish"}))
        ->type_name("bash|zsh|fish");
    cmd->footer("Examples:\n"
                "  source <(ryn completion bash)\n"
                "  ryn completion zsh > \"${fpath[1]}/_ryn\"\n"
                "  ryn completion fish > ~/.config/fish/completions/ryn.fish");
    cmd->callback([&ctx, o] {
        ctx.action = [&ctx, o] {
            const std::string script = o->shell == "bash"  ? bash_script(*ctx.root)
                                       : o->shell == "zsh" ? zsh_script(*ctx.root)
                                                           : fish_script(*ctx.root);
            std::fputs(script.c_str(), stdout);
            return exit_success;
        };
    });

    // The man page, printed by the build into ryn.1; not listed in the help.
    CLI::App *man = app.add_subcommand("man", "Print the man page ryn.1 (troff)");
    man->group("");
    man->callback([&ctx] {
        ctx.action = [&ctx] {
            std::fputs(man_page(*ctx.root).c_str(), stdout);
            return exit_success;
        };
    });
}

}  // namespace ryn::cli
