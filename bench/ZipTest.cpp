// A minimal ZIP tester for tools/bench-test.sh: reads the central directory of
// a ZIP archive (or a self-extracting one, whose offsets may count from the
// archive's own start), decodes every stored or deflated member in memory with
// libdeflate (or zlib with --zlib) and checks its CRC-32. It is what a tester
// built on either library costs, to time `mksfx test` against: each member's
// data is read with one pread into one buffer, and decoded into another, both
// sized once for the largest member (so that page faults cost little).
//   zip-test [--zlib] ARCHIVE
#include <libdeflate.h>
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

uint32_t Le16(const uint8_t* p)
{
    return p[0] | p[1] << 8;
}

uint32_t Le32(const uint8_t* p)
{
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}

bool InflateZlib(const uint8_t* in, size_t inSize, uint8_t* out, size_t outSize)
{
    z_stream stream = {};
    if (inflateInit2(&stream, -15) != Z_OK)
        return false;
    stream.next_in = const_cast<Bytef*>(in);
    stream.avail_in = static_cast<uInt>(inSize);
    stream.next_out = out;
    stream.avail_out = static_cast<uInt>(outSize);
    bool done = inflate(&stream, Z_FINISH) == Z_STREAM_END && stream.total_out == outSize;
    inflateEnd(&stream);
    return done;
}

}  // namespace

int main(int argc, char** argv)
{
    bool zlib = argc == 3 && std::strcmp(argv[1], "--zlib") == 0;
    if (argc != 2 && !zlib) {
        std::fprintf(stderr, "usage: zip-test [--zlib] ARCHIVE\n");
        return 2;
    }
    int fd = open(argv[argc - 1], O_RDONLY);
    struct stat info;
    if (fd < 0 || fstat(fd, &info) != 0 || info.st_size < 22) {
        std::perror(argv[argc - 1]);
        return 3;
    }
    size_t size = static_cast<size_t>(info.st_size);
    auto readAt = [fd](uint8_t* buffer, size_t count, size_t offset) {
        for (size_t done = 0; done < count;) {
            ssize_t got = pread(fd, buffer + done, count - done, static_cast<off_t>(offset + done));
            if (got <= 0)
                return false;
            done += static_cast<size_t>(got);
        }
        return true;
    };

    // The end record lies in the last 65,557 bytes; the base is where the
    // archive's offsets count from.
    size_t tailSize = size < 65557 ? size : 65557;
    std::unique_ptr<uint8_t[]> tail(new uint8_t[tailSize]);
    if (!readAt(tail.get(), tailSize, size - tailSize)) {
        std::perror("read");
        return 3;
    }
    size_t end = tailSize - 22;
    while (Le32(tail.get() + end) != 0x06054b50) {
        if (end == 0) {
            std::fprintf(stderr, "no end of central directory\n");
            return 1;
        }
        --end;
    }
    uint32_t entries = Le16(tail.get() + end + 10);
    uint32_t directorySize = Le32(tail.get() + end + 12);
    uint32_t directoryOffset = Le32(tail.get() + end + 16);
    size_t base = size - tailSize + end - directorySize - directoryOffset;
    std::unique_ptr<uint8_t[]> directory(new uint8_t[directorySize + 46]);
    if (!readAt(directory.get(), directorySize, base + directoryOffset)) {
        std::perror("read");
        return 3;
    }

    uint32_t largestIn = 1;
    uint32_t largest = 1;
    const uint8_t* entry = directory.get();
    for (uint32_t i = 0; i < entries && Le32(entry) == 0x02014b50; ++i) {
        largestIn = Le32(entry + 20) > largestIn ? Le32(entry + 20) : largestIn;
        largest = Le32(entry + 24) > largest ? Le32(entry + 24) : largest;
        entry += 46 + Le16(entry + 28) + Le16(entry + 30) + Le16(entry + 32);
    }
    // The local header's two lengths may differ from the central ones: room for both.
    std::unique_ptr<uint8_t[]> in(new uint8_t[largestIn + 30 + 2 * 65535]);
    std::unique_ptr<uint8_t[]> out(new uint8_t[largest]);

    libdeflate_decompressor* decompressor = libdeflate_alloc_decompressor();
    int failed = 0;
    entry = directory.get();
    for (uint32_t i = 0; i < entries; ++i) {
        if (Le32(entry) != 0x02014b50) {
            std::fprintf(stderr, "damaged central directory\n");
            return 1;
        }
        uint32_t flags = Le16(entry + 8);
        uint32_t method = Le16(entry + 10);
        uint32_t crc = Le32(entry + 16);
        uint32_t packed = Le32(entry + 20);
        uint32_t unpacked = Le32(entry + 24);
        size_t local = base + Le32(entry + 42);
        entry += 46 + Le16(entry + 28) + Le16(entry + 30) + Le16(entry + 32);
        if (!readAt(in.get(), 30, local) ||
            !readAt(in.get(), 30 + Le16(in.get() + 26) + Le16(in.get() + 28) + static_cast<size_t>(packed),
                    local)) {
            std::fprintf(stderr, "member %u cut short\n", i);
            ++failed;
            continue;
        }
        const uint8_t* data = in.get() + 30 + Le16(in.get() + 26) + Le16(in.get() + 28);
        if (flags & 1)
            continue;  // encrypted: not this tester's business
        const uint8_t* bytes = out.get();
        bool decoded;
        if (method == 0) {
            decoded = packed == unpacked;
            bytes = data;
        } else if (method == 8 && zlib) {
            decoded = InflateZlib(data, packed, out.get(), unpacked);
        } else if (method == 8) {
            size_t produced = 0;
            decoded = libdeflate_deflate_decompress(decompressor, data, packed, out.get(), unpacked, &produced) ==
                          LIBDEFLATE_SUCCESS &&
                      produced == unpacked;
        } else {
            decoded = false;
        }
        uint32_t actual =
            zlib ? static_cast<uint32_t>(crc32(0, bytes, unpacked)) : libdeflate_crc32(0, bytes, unpacked);
        if (!decoded || actual != crc) {
            std::fprintf(stderr, "member %u failed\n", i);
            ++failed;
        }
    }
    libdeflate_free_decompressor(decompressor);
    return failed ? 1 : 0;
}
