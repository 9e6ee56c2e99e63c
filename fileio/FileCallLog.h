#pragma once
#include <cstdint>

#include "fileio/FileIo.h"

// Host builds only: tests watch the file layer through this hook to check the
// sizes of reads and writes ("one read per 32 KiB"). Null outside tests.
using FileCallObserver = void (*)(FileHandle file, bool isWrite, uint32_t requested, uint32_t done);
extern FileCallObserver ObserveFileCall;
