#pragma once
#include <string>
#include <vector>

// Each command takes the words after its name and returns the exit code; it
// throws CommandError for a failure that ends it.
int RunCreate(const std::vector<std::string>& words);
int RunConvert(const std::vector<std::string>& words);
int RunList(const std::vector<std::string>& words);
int RunTest(const std::vector<std::string>& words);
int RunExtract(const std::vector<std::string>& words);
