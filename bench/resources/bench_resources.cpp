// Archive speed: parsing every index of a 20-location, 10,000-resource archive,
// and loading a 50 MB location, each beside plainly reading the same files into
// memory in the same run (the baseline; compare the ratio, not absolute times).
// VORLANE_BENCH_SMOKE=1 uses a smaller archive and location.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "resources/bcf_library.h"
#include "resources/rama_ctrl.h"
#include "resources/rama_index.h"
#include "resources/res_file.h"

namespace {

using namespace vorlane::resources;

bool Smoke() {
    const char* value = std::getenv("VORLANE_BENCH_SMOKE");
    return value && value[0] == '1';
}

std::string LocationBase(const std::string& root, uint32_t number) {
    char name[32];
    std::snprintf(name, sizeof name, "/data/loc%04u", number);
    return root + name;
}

void WriteLocation(const std::string& root, uint32_t number, size_t resources, size_t bytes_each) {
    LocationIndex index;
    index.name = "location" + std::to_string(number);
    std::vector<uint8_t> payload(bytes_each);
    std::vector<BcfObjectSource> objects(resources);
    for (size_t i = 0; i < resources; ++i) {
        index.records.push_back({"loc" + std::to_string(number) + ".group" +
                                     std::to_string(i % 17) + ".resource" + std::to_string(i),
                                 uint32_t(i), "short text", uint32_t(1 + i % 4)});
        objects[i].bytes = payload;
    }
    for (size_t i = 0; i < payload.size(); ++i) payload[i] = uint8_t(i * 31 + number);
    std::string text = WriteLocationIndexText(index);
    std::vector<uint8_t> image;
    BuildBcfImage(objects, image);
    std::string base = LocationBase(root, number);
    WriteWholeFile(base + ".dix", text.data(), text.size());
    WriteWholeFile(base + ".bcf", image.data(), image.size());
}

void WriteMaster(const std::string& root, uint32_t count) {
    MasterIndex master;
    master.project = "BENCH";
    master.date = "2026-12-08";
    for (uint32_t number = 1; number <= count; ++number) master.locations.push_back(number);
    std::string text = WriteMasterIndexText(master);
    WriteWholeFile(root + "/data/master.dix", text.data(), text.size());
}

// Two archives in a temporary directory, made once and removed at exit.
struct BenchData {
    std::string index_root;  // 20 locations, 10,000 resources
    std::string large_root;  // one location of about 50 MB
    std::vector<std::string> index_files;
    std::string large_image;

    BenchData() {
        std::string base =
            (std::filesystem::temp_directory_path() / "vorlane-bench-res-XXXXXX").string();
        base = mkdtemp(base.data()) ? base : std::string("/tmp/vorlane-bench-res");
        index_root = base + "/indexes";
        large_root = base + "/large";
        std::filesystem::create_directories(index_root + "/data");
        std::filesystem::create_directories(large_root + "/data");

        const uint32_t locations = 20;
        const size_t per_location = Smoke() ? 50 : 500;  // 10,000 in all
        for (uint32_t number = 1; number <= locations; ++number) {
            WriteLocation(index_root, number, per_location, 8);
            index_files.push_back(LocationBase(index_root, number) + ".dix");
        }
        WriteMaster(index_root, locations);
        index_files.push_back(index_root + "/data/master.dix");

        const size_t large_count = 500;
        const size_t large_each = Smoke() ? 4096 : 100 * 1024;  // 500 x 100 KiB = 50 MB
        WriteLocation(large_root, 1, large_count, large_each);
        WriteMaster(large_root, 1);
        large_image = LocationBase(large_root, 1) + ".bcf";
        root_ = base;
    }
    ~BenchData() {
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }

  private:
    std::string root_;
};

const BenchData& Data() {
    static const BenchData data;
    return data;
}

void BM_ReadIndexFiles_Baseline(benchmark::State& state) {
    const BenchData& data = Data();
    std::vector<uint8_t> buffer;
    int64_t bytes = 0;
    for (auto _ : state) {
        for (const std::string& file : data.index_files) {
            ReadWholeFile(file, buffer, 1u << 30);
            bytes += int64_t(buffer.size());
            benchmark::DoNotOptimize(buffer.data());
        }
    }
    state.SetBytesProcessed(bytes);
}
BENCHMARK(BM_ReadIndexFiles_Baseline)->Unit(benchmark::kMillisecond);

void BM_ParseIndexes(benchmark::State& state) {
    const BenchData& data = Data();
    size_t resources = 0;
    for (auto _ : state) {
        RAMA_CTRL rama;
        rama.SetRootDirectory(data.index_root.c_str());
        if (!rama.Init((data.index_root + "/data/master.dix").c_str())) {
            state.SkipWithError("archive did not open");
            return;
        }
        resources = 0;
        for (int id = 0; id < rama.LocationSlots(); ++id)
            resources += rama.GetLocation(id)->ResourceCount();
        benchmark::DoNotOptimize(rama.GetResourceID("loc20.group3.resource9999"));
    }
    state.counters["resources"] = double(resources);
}
BENCHMARK(BM_ParseIndexes)->Unit(benchmark::kMillisecond);

void BM_ReadLargeImage_Baseline(benchmark::State& state) {
    const BenchData& data = Data();
    std::vector<uint8_t> buffer;
    for (auto _ : state) {
        ReadWholeFile(data.large_image, buffer, 1u << 30);
        benchmark::DoNotOptimize(buffer.data());
        buffer = std::vector<uint8_t>();  // the load below allocates each time too
    }
    state.SetBytesProcessed(int64_t(state.iterations()) *
                            int64_t(std::filesystem::file_size(data.large_image)));
}
BENCHMARK(BM_ReadLargeImage_Baseline)->Unit(benchmark::kMillisecond);

void BM_LoadLargeLocation(benchmark::State& state) {
    const BenchData& data = Data();
    RAMA_CTRL rama;
    rama.SetRootDirectory(data.large_root.c_str());
    if (!rama.Init((data.large_root + "/data/master.dix").c_str())) {
        state.SkipWithError("archive did not open");
        return;
    }
    int id = rama.GetLocationID("location1");
    for (auto _ : state) {
        if (!rama.LoadLocation(id)) {
            state.SkipWithError("location did not load");
            return;
        }
        benchmark::DoNotOptimize(rama.GetResource("loc1.group0.resource0"));
        rama.UnloadLocation(id);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) *
                            int64_t(std::filesystem::file_size(data.large_image)));
}
BENCHMARK(BM_LoadLargeLocation)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
