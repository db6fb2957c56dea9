#include "baselib/scfg/getline.h"

#include <cstdlib>

#include "baselib/scfg/ensure.h"

namespace vorlane::scfg {
namespace {

constexpr size_t kChunk = 64;

}  // namespace

char* getline(std::FILE* stream) {
    if (!stream || std::feof(stream) || std::ferror(stream))
        return nullptr;
    size_t capacity = kChunk;
    char* buffer = static_cast<char*>(std::malloc(capacity));
    if (!buffer) {
        EnsureFailed("newbuf", "scfg/getline", __LINE__);
        return nullptr;
    }
    size_t length = 0;
    int c;
    while ((c = std::fgetc(stream)) != EOF && c != '\n') {
        // Keep one byte free for the terminator.
        if (length + 1 >= capacity) {
            char* grown = static_cast<char*>(std::realloc(buffer, capacity + kChunk));
            if (!grown) {
                EnsureFailed("newbuf", "scfg/getline", __LINE__);
                std::free(buffer);
                return nullptr;
            }
            buffer = grown;
            capacity += kChunk;
        }
        buffer[length++] = char(c);
    }
    buffer[length] = '\0';
    return buffer;
}

}  // namespace vorlane::scfg
