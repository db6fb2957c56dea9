// ByteReader and ByteWriter are header-only; this unit checks that the header
// compiles on its own.
#include "baselib/byte_reader.h"
