// Reads one text line of any length from a stream.
#pragma once

#include <cstdio>

namespace vorlane::scfg {

// The next line without its line feed (a carriage return stays), as a heap
// string the caller releases with std::free. Null when the stream is already
// at its end or in error, or when memory is refused. A stream that ends right
// away (or after a final line feed) yields one empty line before null.
char* getline(std::FILE* stream);

}  // namespace vorlane::scfg
