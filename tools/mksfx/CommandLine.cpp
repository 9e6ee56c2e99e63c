#include "tools/mksfx/CommandLine.h"

#include "tools/mksfx/Console.h"

bool ParsedCommandLine::Has(const std::string& name) const
{
    for (const auto& option : options)
        if (option.first == name)
            return true;
    return false;
}

std::string ParsedCommandLine::Value(const std::string& name, const std::string& fallback) const
{
    std::string value = fallback;
    for (const auto& option : options)
        if (option.first == name)
            value = option.second;
    return value;
}

static CommandError UsageError(const std::string& command, const std::string& text)
{
    return CommandError(ExitUsageError, command + ": " + text, "Try 'mksfx " + command + " --help'.");
}

ParsedCommandLine ParseCommandLine(const std::vector<std::string>& words, const std::vector<OptionSpec>& accepted,
                                   const std::string& command)
{
    auto findLong = [&](const std::string& name) -> const OptionSpec* {
        for (const OptionSpec& spec : accepted)
            if (name == spec.longName)
                return &spec;
        return nullptr;
    };
    auto findShort = [&](char c) -> const OptionSpec* {
        for (const OptionSpec& spec : accepted)
            if (spec.shortName == c)
                return &spec;
        return nullptr;
    };
    bool acceptsLevel = findLong("level") != nullptr;

    ParsedCommandLine parsed;
    bool optionsEnded = false;
    for (size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (optionsEnded || word.size() < 2 || word[0] != '-') {
            parsed.operands.push_back(word);
            continue;
        }
        if (word == "--") {
            optionsEnded = true;
            continue;
        }
        if (word[1] == '-') {
            size_t equals = word.find('=');
            std::string name = word.substr(2, equals == std::string::npos ? std::string::npos : equals - 2);
            const OptionSpec* spec = findLong(name);
            if (!spec)
                throw UsageError(command, "unknown option '--" + name + "'");
            std::string value;
            if (spec->takesValue) {
                if (equals != std::string::npos)
                    value = word.substr(equals + 1);
                else if (i + 1 < words.size())
                    value = words[++i];
                else
                    throw UsageError(command, "option '--" + name + "' needs a value");
            } else if (equals != std::string::npos) {
                throw UsageError(command, "option '--" + name + "' takes no value");
            }
            parsed.options.emplace_back(spec->longName, value);
            continue;
        }
        for (size_t j = 1; j < word.size(); ++j) {
            char c = word[j];
            if (acceptsLevel && c >= '0' && c <= '9') {
                parsed.options.emplace_back("level", std::string(1, c));
                continue;
            }
            const OptionSpec* spec = findShort(c);
            if (!spec)
                throw UsageError(command, std::string("unknown option '-") + c + "'");
            if (!spec->takesValue) {
                parsed.options.emplace_back(spec->longName, "");
                continue;
            }
            std::string value;
            if (j + 1 < word.size())
                value = word.substr(j + 1);
            else if (i + 1 < words.size())
                value = words[++i];
            else
                throw UsageError(command, std::string("option '-") + c + "' needs a value");
            parsed.options.emplace_back(spec->longName, value);
            break;
        }
    }
    return parsed;
}
