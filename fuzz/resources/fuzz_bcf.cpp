// Block container loader on arbitrary images, from memory and from a file:
// per-object mode, block mode, plain byte objects, the object list and a
// partial load.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "resources/bcf_library.h"
#include "resources/res_file.h"

namespace {

using vorlane::resources::BCF_INFO;
using vorlane::resources::BCF_LIBRARY;

// The file loader reads a scratch file; tmpfs keeps the rewrite per input cheap
// (a truncating rewrite on a disk file system waits for the disk).
class ScratchFile {
  public:
    ScratchFile() {
        const char* dir = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        name_ = std::string(dir) + "/vorlane-fuzz-bcf-" + std::to_string(getpid()) + ".bcf";
    }
    ~ScratchFile() { std::remove(name_.c_str()); }
    const std::string& name() const { return name_; }

  private:
    std::string name_;
};

const std::string& ScratchName() {
    static const ScratchFile file;
    return file.name();
}

// Every object lies inside the image it came from.
void CheckObjects(const BCF_LIBRARY& library, size_t image_size) {
    for (size_t i = 0; i < library.GetCount(); ++i) {
        int64_t size = library.GetSize(i);
        if (size < 0 || uint64_t(size) > image_size)
            __builtin_trap();
        const auto* object = static_cast<const uint8_t*>(library.GetAt(i));
        if (!object)
            continue;
        volatile uint8_t sum = 0;
        for (int64_t k = 0; k < size; ++k) sum = uint8_t(sum + object[k]);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Copy into an exact-size heap block so a read past the image is caught.
    std::vector<uint8_t> image(data, data + size);
    const uint8_t* begin = image.data();
    const uint8_t* end = image.data() + image.size();

    std::vector<BCF_INFO> infos;
    auto list = vorlane::resources::LoadBCFObjectList(begin, end, infos);
    if (list && list->Count() != infos.size())
        __builtin_trap();

    BCF_LIBRARY library;
    if (library.LoadMemory(begin, end, 0) == 0)
        CheckObjects(library, size);
    if (library.LoadMemory(begin, end, vorlane::resources::PTRARY_BLOCKMEM) == 0) {
        CheckObjects(library, size);
    }

    if (!vorlane::resources::WriteWholeFile(ScratchName(), data, size))
        return 0;
    if (library.LoadFile(ScratchName().c_str(), 0) == 0)
        CheckObjects(library, size);
    if (library.LoadFile(ScratchName().c_str(), vorlane::resources::kBcfPlainBytes) == 0) {
        CheckObjects(library, size);
    }
    uint32_t first = size > 0 ? data[0] % 8 : 0;
    if (library.LoadPart(ScratchName().c_str(), first, 3, 0) == 0)
        CheckObjects(library, size);
    return 0;
}
