#pragma once
#include <cstdint>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

// A fresh directory under the system's temporary folder, removed with its
// contents when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return root; }
    std::string operator/(const std::string& name) const { return root + "/" + name; }

private:
    std::string root;
};

Bytes ReadWholeFile(const std::string& path);
void WriteWholeFile(const std::string& path, const Bytes& bytes);
void WriteWholeFile(const std::string& path, const std::string& text);

// Runs a shell command and fails the current test when it exits non-zero.
void RunOrFail(const std::string& command);
// Quotes a string for the shell.
std::string ShellQuote(const std::string& text);

// A self-extracting file as the stub sees it: a stand-in stub of StubSize bytes
// followed by `archive`.
Bytes WithFakeStub(const Bytes& archive);

// Deterministic pseudo-random bytes.
Bytes RandomBytes(uint32_t count, uint32_t seed);
