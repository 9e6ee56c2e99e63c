#pragma once
#include <cstdint>

// What the decoders know of the member they decode, and all they know of it:
// the header walk that found the member lies above decode/ and fills this
// record before CopyStored or Inflate runs; the decoders only read it.
struct MemberCoding {
    bool encrypted;             // every data byte is decrypted right after it is read
    uint32_t uncompressedSize;  // the decoders never write more than this
};
extern MemberCoding CurrentCoding;
