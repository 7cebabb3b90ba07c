#include "command_line.h"

#include <algorithm>
#include <set>
#include <string_view>
#include <vector>

#include <CLI/CLI.hpp>

namespace render {

namespace {

/// "-5", "-.25", "-0.5/0.6": no option's name starts with a digit or ".".
bool StartsLikeNumber(std::string_view word) {
    return word.size() > 1 && word[0] == '-' && ((word[1] >= '0' && word[1] <= '9') || word[1] == '.');
}

bool IsLong(std::string_view word) {
    return word.size() > 2 && word.starts_with("--");
}

bool IsShort(std::string_view word) {
    return word.size() > 1 && word[0] == '-' && word[1] != '-' && !StartsLikeNumber(word);
}

/// The option's name as typed: "--name" of "--name=value", "-x" of "-xvalue".
std::string NameOf(std::string_view word) {
    return std::string(IsLong(word) ? word.substr(0, word.find('=')) : word.substr(0, 2));
}

/// Whether a word in a value's place ends the values: "--anything" always, "-x" when it is one
/// of the options; every other word is a value.
bool EndsValues(const CLI::App& scope, const std::string& word) {
    return word == "--" || IsLong(word) ||
           (IsShort(word) && scope.get_option_no_throw(NameOf(word)) != nullptr);
}

std::string ValuesMissing(const std::string& name, const CLI::Option& option, std::size_t got) {
    const int wanted = option.get_items_expected_max();
    if (got == 0) {
        return name + " has no value; it takes " + option.get_type_name();
    }
    return name + " takes " + std::to_string(wanted) + " values, " + option.get_type_name() + ", not " +
           std::to_string(got);
}

std::string SubcommandNames(const CLI::App& app) {
    std::string names;
    const std::vector<const CLI::App*> subcommands =
        app.get_subcommands([](const CLI::App*) { return true; });
    for (std::size_t i = 0; i < subcommands.size(); ++i) {
        names += (i == 0 ? "" : i + 1 == subcommands.size() ? " and " : ", ") + subcommands[i]->get_name();
    }
    return names;
}

} // namespace

std::string CheckCommandLine(const CLI::App& app, int argc, const char* const* argv) {
    std::vector<std::string> words(argv + std::min(argc, 1), argv + argc);
    const CLI::App* scope = &app; // the program's own options until the subcommand
    std::vector<const CLI::Option*> positionals;
    std::size_t positionalsTaken = 0;
    std::set<const CLI::Option*> given;
    bool onlyPositionals = false; // after "--"
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string word = words[i];
        if (!onlyPositionals && word == "--" && scope != &app) {
            onlyPositionals = true;
            continue;
        }
        if (onlyPositionals || (!IsLong(word) && !IsShort(word))) {
            if (scope == &app) {
                const std::vector<const CLI::App*> named =
                    app.get_subcommands([&word](const CLI::App* sub) { return sub->get_name() == word; });
                if (named.empty()) {
                    return "unknown subcommand \"" + word + "\"; the subcommands are " + SubcommandNames(app);
                }
                scope = named.front();
                positionals =
                    scope->get_options([](const CLI::Option* option) { return option->get_positional(); });
                continue;
            }
            // A last positional of several values (the tiles of `assemble`) takes every further word.
            const bool takesMore =
                positionalsTaken > 0 && positionals[positionalsTaken - 1]->get_items_expected_max() > 1;
            // The parser takes "-.5" for an option, so it cannot be a file name: "./-.5" can.
            if ((positionalsTaken == positionals.size() && !takesMore) ||
                (!onlyPositionals && word.starts_with("-."))) {
                return scope->get_name() + ": unexpected argument \"" + word + "\"";
            }
            if (word.empty()) {
                return positionals[takesMore ? positionalsTaken - 1 : positionalsTaken]->get_name() +
                       " has an empty value";
            }
            if (!takesMore) {
                ++positionalsTaken;
            }
            continue;
        }

        const std::string name = NameOf(word);
        const CLI::Option* option = scope->get_option_no_throw(name);
        if (option == nullptr) {
            return "unknown option " + name;
        }
        const bool attached = word.size() > name.size();
        const std::size_t wanted = static_cast<std::size_t>(std::max(option->get_items_expected_max(), 0));
        if (wanted == 0) {
            // "-qh" is "-q -h"; "--quiet=..." is the parser's to judge.
            if (attached && !IsLong(word)) {
                words.insert(words.begin() + static_cast<std::ptrdiff_t>(i) + 1, "-" + word.substr(2));
            }
            continue;
        }
        if (!given.insert(option).second) {
            return name + " is given more than once";
        }
        std::vector<std::string> values;
        if (attached) {
            values.push_back(word.substr(name.size() + (IsLong(word) ? 1 : 0)));
        }
        while (values.size() < wanted && i + 1 < words.size() && !EndsValues(*scope, words[i + 1])) {
            values.push_back(words[++i]);
        }
        if (values.size() < wanted) {
            return ValuesMissing(name, *option, values.size());
        }
        for (const std::string& value : values) {
            if (value.empty()) {
                return name + " has an empty value";
            }
        }
    }
    return {};
}

} // namespace render
