#include "fileio/FileIo.h"

FileHandle ArchiveFile = NoFile;
FileHandle OutputFile = NoFile;
