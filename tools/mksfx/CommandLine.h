#pragma once
#include <string>
#include <utility>
#include <vector>

// One option a command accepts. Short options may be bundled (-qv) and take
// their value from the rest of the word or the next word (-oOUT, -o OUT); long
// options take it after "=" or from the next word. Options and operands may
// come in any order; "--" ends the options.
struct OptionSpec {
    const char* longName;
    char shortName;  // 0: long form only
    bool takesValue;
};

// The digits -0 .. -9 are given as the option "level" with the digit as value
// when a command accepts "level".
struct ParsedCommandLine {
    std::vector<std::pair<std::string, std::string>> options;  // long name, value (empty for flags)
    std::vector<std::string> operands;

    bool Has(const std::string& name) const;
    // The value of the last occurrence; `fallback` when absent.
    std::string Value(const std::string& name, const std::string& fallback = "") const;
};

// Throws CommandError(ExitUsageError) naming the command and the option.
ParsedCommandLine ParseCommandLine(const std::vector<std::string>& words, const std::vector<OptionSpec>& accepted,
                                   const std::string& command);
