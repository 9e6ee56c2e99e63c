// Decodes one corpus of deflate streams with our decoder (reading the streams
// from a file, writing to /dev/null, CRC-32 included, as the stub does), with
// zlib's inflate plus crc32 and with libdeflate plus its crc32, all in memory;
// the whole corpus and each of its four parts: text, programs, libraries, and
// files that are compressed already, all taken from this machine. Rates are
// per second of CPU time; by default each benchmark runs 5 times, interleaved
// at random, and main prints the medians and their ratios.
// inflate-bench-stub is the same program on the decoder as the stub has it:
// a 32-bit bit buffer (so the careful symbol loop alone), -Os, the table CRC.
#include "decode/Crc32.h"
#include "decode/Inflate.h"
#include "decode/InflateFast.h"
#include "decode/InputReader.h"
#include "decode/MemberCoding.h"
#include "decode/OutputWindow.h"
#include "fileio/FileIo.h"

#include <benchmark/benchmark.h>
#include <libdeflate.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

struct Member {
    Bytes data;
    Bytes stream;
    uint32_t offset;  // of the stream in StreamFile
    uint32_t crc;
    int part;  // index in Parts
};

const char* const Parts[] = {"text", "programs", "libraries", "compressed"};

std::vector<Member> Corpus;
uint64_t CorpusBytes;
std::string StreamFilePath;

Bytes ReadFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

Bytes Deflate(const Bytes& data)
{
    z_stream stream = {};
    deflateInit2(&stream, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    Bytes out(deflateBound(&stream, data.size()));
    stream.next_in = const_cast<Bytef*>(data.data());
    stream.avail_in = static_cast<uInt>(data.size());
    stream.next_out = out.data();
    stream.avail_out = static_cast<uInt>(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

// Takes files under `root` whose names pass `wanted` until `budget` bytes.
void Gather(int part, const char* root, uint64_t budget, bool (*wanted)(const std::filesystem::path&))
{
    uint64_t taken = 0;
    std::error_code error;
    for (auto it = std::filesystem::recursive_directory_iterator(root, error);
         it != std::filesystem::recursive_directory_iterator() && taken < budget; it.increment(error)) {
        if (error || !it->is_regular_file(error) || it->is_symlink(error))
            continue;
        uint64_t size = it->file_size(error);
        if (error || size == 0 || size > (16u << 20) || !wanted(it->path()))
            continue;
        Member member;
        member.data = ReadFile(it->path());
        member.stream = Deflate(member.data);
        member.crc = static_cast<uint32_t>(crc32(0, member.data.data(), static_cast<uInt>(member.data.size())));
        member.part = part;
        taken += member.data.size();
        Corpus.push_back(std::move(member));
    }
    CorpusBytes += taken;
}

void BuildCorpus()
{
    auto text = [](const std::filesystem::path& p) {
        std::string e = p.extension().string();
        return e == ".h" || e == ".txt" || e == ".html" || e == ".py" || p.filename() == "copyright";
    };
    auto compressed = [](const std::filesystem::path& p) {
        std::string e = p.extension().string();
        return e == ".gz" || e == ".xz" || e == ".bz2" || e == ".png" || e == ".jpg";
    };
    Gather(0, "/usr/include", 40u << 20, +text);
    Gather(0, "/usr/share", 10u << 20, +text);
    Gather(
        1, "/usr/bin", 40u << 20, +[](const std::filesystem::path&) { return true; });
    Gather(
        2, "/usr/lib/x86_64-linux-gnu", 15u << 20,
        +[](const std::filesystem::path& p) { return p.string().find(".so") != std::string::npos; });
    Gather(3, "/usr/share", 10u << 20, +compressed);

    // One file per process: two benchmarks run at once must not share it.
    StreamFilePath =
        (std::filesystem::temp_directory_path() / ("zelvix-bench-streams-" + std::to_string(getpid()))).string();
    std::ofstream out(StreamFilePath, std::ios::binary);
    uint32_t offset = 0;
    for (Member& member : Corpus) {
        member.offset = offset;
        out.write(reinterpret_cast<const char*>(member.stream.data()), member.stream.size());
        offset += static_cast<uint32_t>(member.stream.size());
    }
    out.close();
}

// Whether a member belongs to the part a benchmark decodes: -1 is all.
bool InPart(const Member& member, int part)
{
    return part < 0 || member.part == part;
}

void Count(benchmark::State& state, int part)
{
    uint64_t bytes = 0;
    for (const Member& member : Corpus)
        bytes += InPart(member, part) ? member.data.size() : 0;
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
    state.counters["rate"] =
        benchmark::Counter(static_cast<double>(state.iterations() * bytes), benchmark::Counter::kIsRate);
}

void OurInflate(benchmark::State& state, int part)
{
    ArchiveFile = OpenFileForReading(StreamFilePath.c_str());
    OutputFile = CreateOutputFile("/dev/null");
    CurrentCoding.encrypted = false;
    CurrentCoding.uncompressedSize = 0xFFFFFFFFu;
    for (auto _ : state) {
        for (const Member& member : Corpus) {
            if (!InPart(member, part))
                continue;
            SeekFileTo(ArchiveFile, member.offset);
            InputRemaining = static_cast<int32_t>(member.stream.size());
            OutputCrc = 0xFFFFFFFFu;
            if (!Inflate() || ~OutputCrc != member.crc) {
                state.SkipWithError("decoding failed");
                break;
            }
            benchmark::DoNotOptimize(OutputCrc);
        }
    }
    CloseFile(ArchiveFile);
    CloseFile(OutputFile);
    Count(state, part);
}

void ZlibInflate(benchmark::State& state, int part)
{
    Bytes out(16u << 20);
    for (auto _ : state) {
        for (const Member& member : Corpus) {
            if (!InPart(member, part))
                continue;
            z_stream stream = {};
            inflateInit2(&stream, -15);
            stream.next_in = const_cast<Bytef*>(member.stream.data());
            stream.avail_in = static_cast<uInt>(member.stream.size());
            stream.next_out = out.data();
            stream.avail_out = static_cast<uInt>(out.size());
            if (inflate(&stream, Z_FINISH) != Z_STREAM_END)
                state.SkipWithError("zlib failed");
            uLong crc = crc32(0, out.data(), static_cast<uInt>(stream.total_out));
            inflateEnd(&stream);
            benchmark::DoNotOptimize(crc);
        }
    }
    Count(state, part);
}

void LibdeflateInflate(benchmark::State& state, int part)
{
    Bytes out(16u << 20);
    libdeflate_decompressor* decompressor = libdeflate_alloc_decompressor();
    for (auto _ : state) {
        for (const Member& member : Corpus) {
            if (!InPart(member, part))
                continue;
            size_t produced = 0;
            if (libdeflate_deflate_decompress(decompressor, member.stream.data(), member.stream.size(), out.data(),
                                              out.size(), &produced) != LIBDEFLATE_SUCCESS)
                state.SkipWithError("libdeflate failed");
            uint32_t crc = libdeflate_crc32(0, out.data(), produced);
            benchmark::DoNotOptimize(crc);
        }
    }
    libdeflate_free_decompressor(decompressor);
    Count(state, part);
}

void OurCrc(benchmark::State& state)
{
    for (auto _ : state) {
        for (const Member& member : Corpus) {
            uint32_t crc = 0xFFFFFFFFu;
            CrcUpdate(member.data.data(), static_cast<int32_t>(member.data.size()), crc);
            benchmark::DoNotOptimize(crc);
        }
    }
    Count(state, -1);
}

void ZlibCrc(benchmark::State& state)
{
    for (auto _ : state) {
        for (const Member& member : Corpus) {
            uLong crc = crc32(0, member.data.data(), static_cast<uInt>(member.data.size()));
            benchmark::DoNotOptimize(crc);
        }
    }
    Count(state, -1);
}

void LibdeflateCrc(benchmark::State& state)
{
    for (auto _ : state) {
        for (const Member& member : Corpus) {
            uint32_t crc = libdeflate_crc32(0, member.data.data(), member.data.size());
            benchmark::DoNotOptimize(crc);
        }
    }
    Count(state, -1);
}

// Keeps each benchmark's rate so that main can print the ratios: that of its
// single run, or with --benchmark_repetitions the median of its runs.
class RateReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> rates;
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs) {
            bool single = run.run_type == Run::RT_Iteration && run.repetitions <= 1;
            bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            auto it = run.counters.find("rate");
            if ((single || median) && it != run.counters.end())
                rates[run.run_name.function_name] = it->second.value;
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

}  // namespace

int main(int argc, char** argv)
{
    // Defaults first, so that the same flags given on the command line win.
    std::vector<char*> args = {argv[0], const_cast<char*>("--benchmark_repetitions=5"),
                               const_cast<char*>("--benchmark_enable_random_interleaving=true")};
    args.insert(args.end(), argv + 1, argv + argc);
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    SetUpCrcTable();
#ifdef ZELVIX_BIT_WORD_32
    CrcFoldsByMultiply = false;  // the stub's CRC is the table's
    std::printf("our decoder in the stub's configuration: %u-bit bit buffer, %s\n", BitWordBytes * 8,
                InflateHasFastLoop ? "two symbol loops" : "the careful symbol loop alone");
#endif
    BuildCorpus();
    uint64_t streamBytes = 0;
    for (const Member& member : Corpus)
        streamBytes += member.stream.size();
    std::printf("corpus: %zu files, %.1f MiB of output from %.1f MiB of deflate streams\n", Corpus.size(),
                CorpusBytes / 1048576.0, streamBytes / 1048576.0);

    const std::pair<const char*, void (*)(benchmark::State&, int)> decoders[] = {
        {"ours", OurInflate}, {"zlib", ZlibInflate}, {"libdeflate", LibdeflateInflate}};
    std::vector<std::string> names;
    for (int part = -1; part < 4; ++part) {
        for (const auto& decoder : decoders) {
            std::string name =
                std::string("inflate+crc/") + (part < 0 ? "all" : Parts[part]) + "/" + decoder.first;
            auto run = decoder.second;
            benchmark::RegisterBenchmark(name.c_str(), [run, part](benchmark::State& state) { run(state, part); })
                ->Unit(benchmark::kMillisecond)
                ->MinTime(part < 0 ? 2 : 0.5);
            names.push_back(name);
        }
    }
    benchmark::RegisterBenchmark("crc32/ours", OurCrc)->Unit(benchmark::kMillisecond)->MinTime(1);
    benchmark::RegisterBenchmark("crc32/zlib", ZlibCrc)->Unit(benchmark::kMillisecond)->MinTime(1);
    benchmark::RegisterBenchmark("crc32/libdeflate", LibdeflateCrc)->Unit(benchmark::kMillisecond)->MinTime(1);
    RateReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    auto rate = [&](const std::string& name) { return reporter.rates[name] / 1e6; };
    std::printf("\n%-22s %12s %12s %12s %10s %10s\n", "MB/s (CPU time)", "ours", "zlib", "libdeflate", "/zlib",
                "/libdeflate");
    for (int part = -1; part < 4; ++part) {
        std::string prefix = std::string("inflate+crc/") + (part < 0 ? "all" : Parts[part]) + "/";
        double ours = rate(prefix + "ours");
        double zlib = rate(prefix + "zlib");
        double libdeflate = rate(prefix + "libdeflate");
        std::printf("%-22s %12.1f %12.1f %12.1f %10.2f %10.2f\n", prefix.c_str() + 12, ours, zlib, libdeflate,
                    ours / zlib, ours / libdeflate);
    }
    double ours = rate("crc32/ours");
    std::printf("%-22s %12.1f %12.1f %12.1f %10.2f %10.2f\n", "crc32", ours, rate("crc32/zlib"),
                rate("crc32/libdeflate"), ours / rate("crc32/zlib"), ours / rate("crc32/libdeflate"));
    std::remove(StreamFilePath.c_str());
    ReleaseCrcTable();
    return 0;
}
