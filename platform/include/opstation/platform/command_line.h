// The command lines of the station's programs, read the same way: a table
// of options, each `--name`, `--name VALUE` or `--name=VALUE`; `--` ends
// the options; anything else is an argument.
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace opstation::platform {

// A command line that cannot be followed: the program says so, with a hint
// to try --help unless it is about a file, and ends with status 2.
struct UsageError {
    std::string message;
    bool pointToHelp = true;
};

template <typename Options>
struct Option {
    std::string_view name;
    bool takesValue;
    void (*apply)(Options &, const std::string &value);
};

// Applies every option of argv to `options` and hands every other argument
// to `argument(options, text)`. Throws UsageError.
template <typename Options, std::size_t N, typename Argument>
void readCommandLine(int argc, char **argv, const std::array<Option<Options>, N> &table, Options &options,
                     Argument &&argument) {
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            argument(options, std::string(arg));
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        const std::size_t equals = arg.find('=');
        const std::string_view name = arg.substr(0, equals);
        const Option<Options> *option = nullptr;
        for (const Option<Options> &candidate : table)
            if (candidate.name == name) option = &candidate;
        if (option == nullptr) throw UsageError{"unknown option " + std::string(arg)};
        if (!option->takesValue) {
            if (equals != std::string_view::npos) throw UsageError{std::string(name) + " takes no value"};
            option->apply(options, {});
            continue;
        }
        std::string value;
        if (equals != std::string_view::npos) value = arg.substr(equals + 1);
        else if (i + 1 < argc) value = argv[++i];
        if (value.empty()) throw UsageError{std::string(name) + " needs a value"};
        option->apply(options, value);
    }
}

}  // namespace opstation::platform
