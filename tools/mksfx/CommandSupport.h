#pragma once
#include "tools/mksfx/CommandLine.h"
#include "tools/mksfx/SfxWriter.h"

#include "fileio/FileIo.h"

#include <cstdint>
#include <string>

// The stub this mksfx was built with: `EmbeddedStubLength` is 0 when the build
// found no stub, and then create and convert need --stub.
extern const unsigned char EmbeddedStubBytes[];
extern const unsigned int EmbeddedStubLength;

// The stub for create and convert: the file named by --stub, else the embedded
// one. A stub must be a Windows executable of exactly StubSize bytes, because
// the stub looks for the first member at that offset.
Bytes LoadStub(const ParsedCommandLine& parsed, const std::string& command);

// The password from -P, --password-file or a terminal prompt (-e); empty when
// none was asked for. `confirm` asks twice (for create). A password that the
// stub's prompt cannot take (empty, longer than 24 characters) is refused.
std::string TakePassword(const ParsedCommandLine& parsed, bool confirm);

// Applies -q and -v.
void SetVerbosity(const ParsedCommandLine& parsed);

// Throws the usage error "mksfx COMMAND: TEXT" with the hint to --help.
[[noreturn]] void ThrowUsage(const std::string& command, const std::string& text);

// "12.3 MiB" for messages.
std::string DescribeSize(uint64_t bytes);

// Reads a whole file into `out`; throws CommandError naming the file.
void ReadWholeFile(const std::string& path, Bytes& out);

// "0badcafe": a CRC-32 for messages.
std::string Hex32(uint32_t value);

// /dev/null for writing, where test and convert send decoded data; throws
// CommandError when it cannot be opened. The caller closes it.
FileHandle OpenNullSink();
