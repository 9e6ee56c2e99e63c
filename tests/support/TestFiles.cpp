#include "tests/support/TestFiles.h"

#include "archive/StubSize.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

TempDir::TempDir()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "zelvix-test-XXXXXX").string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (!mkdtemp(buffer.data()))
        throw std::runtime_error("mkdtemp failed");
    root = buffer.data();
}

TempDir::~TempDir()
{
    std::error_code ignored;
    std::filesystem::remove_all(root, ignored);
}

Bytes ReadWholeFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteWholeFile(const std::string& path, const Bytes& bytes)
{
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

void WriteWholeFile(const std::string& path, const std::string& text)
{
    WriteWholeFile(path, Bytes(text.begin(), text.end()));
}

std::string ShellQuote(const std::string& text)
{
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    return quoted + "'";
}

void RunOrFail(const std::string& command)
{
    int status = std::system(command.c_str());
    ASSERT_EQ(status, 0) << "command failed: " << command;
}

Bytes WithFakeStub(const Bytes& archive)
{
    Bytes file(StubSize + archive.size(), 0);
    file[0] = 'M';
    file[1] = 'Z';
    std::copy(archive.begin(), archive.end(), file.begin() + StubSize);
    return file;
}

Bytes RandomBytes(uint32_t count, uint32_t seed)
{
    std::mt19937 generator(seed);
    Bytes bytes(count);
    for (auto& byte : bytes)
        byte = static_cast<uint8_t>(generator());
    return bytes;
}
