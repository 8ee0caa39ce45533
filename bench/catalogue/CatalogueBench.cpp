// How the folder scan, the Start command's folder test and the path sort perform, each against a
// floor measured in the same run.
//   catalogue_bench [--benchmark_repetitions=N] [google benchmark flags]
// With repetitions the ratios use the medians. Two folders are made in the temporary folder at
// start and removed at the end: 32,768 pictures, the most a scan stores (a scan that reaches
// that count stops there and leaves the list unsorted), and 32,767, the most a sorted scan sorts.
// A sorted scan of more than 511 entries makes its keys on a second thread as well, so the
// ratios are of real time, and hold on a machine with a core to spare.

#include "catalogue/ExchangeSort.h"
#include "catalogue/ScanFolder.h"
#include "catalogue/SortEntries.h"
#include "common/ReaddirFloor.h"
#include "platform/files/NativePath.h"
#include "platform/files/TextCollator.h"
#include "platform/sandbox/MemoryReuse.h"

#include <QLocale>
#include <QString>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace orlix;

constexpr int kFullFolder = kMaxEntries;
constexpr int kSortedFolder = kMaxEntries - 1;
constexpr int kSortSize = 4096;
// Sorting depends on the collation: Qt's plain C comparison and an ICU locale.
const char* const kLocales[] = {"C", "en_US"};

struct Fixture {
    std::string root;
    std::string folders[2]; // kFullFolder and kSortedFolder pictures
    EntryList sortInput;    // kSortSize entries of a folder, in a shuffled order
};

int sizeOf(int folder) {
    return folder == 0 ? kFullFolder : kSortedFolder;
}

Fixture& fixture() {
    static Fixture f;
    return f;
}

// Picture names as cameras and users leave them: mixed case, the three picture types.
void makeFolders() {
    std::string pattern = (fs::temp_directory_path() / "orlix-bench-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) {
        std::perror("mkdtemp");
        std::exit(1);
    }
    Fixture& f = fixture();
    f.root = pattern;
    const char* const stems[] = {"IMG_", "img_", "DSC", "Holiday ", "写真"};
    const char* const extensions[] = {".jpg", ".JPG", ".gif", ".bmp", ".Jpg", ".GIF"};
    std::mt19937 random(7);
    for (int folder = 0; folder < 2; ++folder) {
        f.folders[folder] = f.root + (folder == 0 ? "/full" : "/sorted");
        fs::create_directory(f.folders[folder]);
        std::vector<int> numbers(static_cast<std::size_t>(sizeOf(folder)));
        for (std::size_t i = 0; i < numbers.size(); ++i)
            numbers[i] = static_cast<int>(i);
        std::shuffle(numbers.begin(), numbers.end(), random);
        char name[64];
        for (const int n : numbers) {
            std::snprintf(name, sizeof name, "%s%05d%s", stems[n % 5], n, extensions[(n / 5) % 6]);
            std::ofstream(f.folders[folder] + "/" + name).put('x');
        }
    }
    EntryList all;
    ScanFolder(FileEntry{platform::fromNative(QByteArray::fromStdString(f.folders[1])), 16}, all, 0,
               kAnyEntryMask, QString());
    std::shuffle(all.begin(), all.end(), random);
    f.sortInput.assign(all.begin(), all.begin() + kSortSize);
}

void removeFolders() {
    std::error_code ignored;
    fs::remove_all(fixture().root, ignored);
}

// The floor of a scan: list the folder with readdir and sort the names on their bytes.
void BM_ReaddirAndByteSort(benchmark::State& state) {
    const std::string& folder = fixture().folders[state.range(0)];
    for (auto _ : state)
        orlix::bench::readdirAndByteSort(folder);
    state.counters["entries"] = sizeOf(static_cast<int>(state.range(0)));
}

void BM_ScanFolder(benchmark::State& state) {
    const std::string& path = fixture().folders[state.range(0)];
    const std::int16_t sortFlag = static_cast<std::int16_t>(state.range(1));
    QLocale::setDefault(QLocale(QString::fromLatin1(kLocales[state.range(2)])));
    const FileEntry folder{platform::fromNative(QByteArray::fromStdString(path)), 16};
    std::size_t stored = 0;
    for (auto _ : state) {
        EntryList entries;
        ScanFolder(folder, entries, sortFlag, kAnyEntryMask, QStringLiteral("bmp|jpg|gif"));
        stored = entries.size();
        benchmark::DoNotOptimize(entries.data());
    }
    state.counters["stored"] = static_cast<double>(stored);
    state.SetLabel(kLocales[state.range(2)]);
}

// The Start command's folder test: does the folder hold anything at all.
void BM_FolderHasEntry(benchmark::State& state) {
    const FileEntry folder{
        platform::fromNative(QByteArray::fromStdString(fixture().folders[state.range(0)])),
        kDirectoryBit};
    bool found = false;
    for (auto _ : state) {
        found = FolderHasEntry(folder, kAnyEntryMask, QString());
        benchmark::DoNotOptimize(found);
    }
    state.counters["found"] = found;
}

// What the folder test did before: a full unsorted scan of every entry, the list thrown away.
void BM_FolderTestByFullScan(benchmark::State& state) {
    const FileEntry folder{
        platform::fromNative(QByteArray::fromStdString(fixture().folders[state.range(0)])),
        kDirectoryBit};
    for (auto _ : state) {
        EntryList scratch;
        benchmark::DoNotOptimize(ScanFolder(folder, scratch, 0, kAnyEntryMask, QString()));
    }
}

// The floor of a sort: the same paths as UTF-8 bytes through std::stable_sort.
void BM_ByteSort4096(benchmark::State& state) {
    std::vector<std::string> input;
    for (const FileEntry& entry : fixture().sortInput)
        input.push_back(platform::toNative(entry.Path).toStdString());
    for (auto _ : state) {
        state.PauseTiming();
        std::vector<std::string> paths = input;
        state.ResumeTiming();
        std::stable_sort(paths.begin(), paths.end());
        benchmark::DoNotOptimize(paths.data());
    }
}

template <bool exchangePasses> void BM_Sort4096(benchmark::State& state) {
    QLocale::setDefault(QLocale(QString::fromLatin1(kLocales[state.range(0)])));
    const platform::TextCollator collator;
    for (auto _ : state) {
        state.PauseTiming();
        EntryList entries = fixture().sortInput;
        state.ResumeTiming();
        if (exchangePasses)
            SortEntriesByExchange(entries, kSortKeyLength, nullptr, collator);
        else
            SortEntries(entries, kSortKeyLength, nullptr, collator);
        benchmark::DoNotOptimize(entries.data());
    }
    state.SetLabel(kLocales[state.range(0)]);
}

// folder 0: 32,768 pictures; folder 1: 32,767.
BENCHMARK(BM_ReaddirAndByteSort)
    ->Name("floor/readdir+bytesort")
    ->ArgName("folder")
    ->DenseRange(0, 1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScanFolder)
    ->Name("ScanFolder")
    ->ArgNames({"folder", "sortFlag", "locale"})
    ->ArgsProduct({{0, 1}, {0, 1}, {0, 1}})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FolderHasEntry)
    ->Name("FolderHasEntry")
    ->ArgName("folder")
    ->DenseRange(0, 1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FolderTestByFullScan)
    ->Name("FolderTestByFullScan")
    ->ArgName("folder")
    ->DenseRange(0, 1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ByteSort4096)->Name("floor/bytesort4096")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Sort4096<false>)
    ->Name("SortEntries4096")
    ->ArgName("locale")
    ->DenseRange(0, 1)
    ->Unit(benchmark::kMillisecond);
// n x (n - 1) comparisons: one iteration is enough to time it.
BENCHMARK(BM_Sort4096<true>)
    ->Name("ExchangeSort4096")
    ->ArgName("locale")
    ->DenseRange(0, 1)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

// Prints the console report and, at the end, the ratios of the medians (or of the single runs).
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            const std::string name = run.run_name.str();
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median")
                medians_[name] = run.GetAdjustedRealTime();
            else if (run.run_type == Run::RT_Iteration)
                singles_[name] = run.GetAdjustedRealTime();
        }
    }

    void Finalize() override {
        ConsoleReporter::Finalize();
        std::printf("\nRatios (%s real time):\n", medians_.empty() ? "single-run" : "median");
        for (const char* folder : {"folder:0", "folder:1"}) {
            for (const char* run : {"/sortFlag:0/locale:0", "/sortFlag:1/locale:0",
                                    "/sortFlag:0/locale:1", "/sortFlag:1/locale:1"})
                ratio(std::string("ScanFolder/") + folder + run,
                      std::string("floor/readdir+bytesort/") + folder);
        }
        for (const char* folder : {"folder:0", "folder:1"}) {
            ratio(std::string("FolderHasEntry/") + folder,
                  std::string("floor/readdir+bytesort/") + folder);
            ratio(std::string("FolderTestByFullScan/") + folder,
                  std::string("floor/readdir+bytesort/") + folder);
        }
        ratio("SortEntries4096/locale:0", "floor/bytesort4096");
        ratio("SortEntries4096/locale:1", "floor/bytesort4096");
        ratio("ExchangeSort4096/locale:0/iterations:1", "SortEntries4096/locale:0");
        ratio("ExchangeSort4096/locale:1/iterations:1", "SortEntries4096/locale:1");
        std::fflush(stdout);
    }

private:
    double timeOf(const std::string& prefix) const {
        const auto& source = medians_.empty() ? singles_ : medians_;
        for (const auto& [name, time] : source) {
            if (name.rfind(prefix, 0) == 0)
                return time;
        }
        return 0;
    }

    void ratio(const std::string& measured, const std::string& floor) const {
        const double top = timeOf(measured);
        const double bottom = timeOf(floor);
        if (top > 0 && bottom > 0)
            std::printf("  %-43s / %-33s = %8.*f\n", measured.c_str(), floor.c_str(),
                        top / bottom < 0.1 ? 4 : 2, top / bottom);
    }

    std::map<std::string, double> medians_;
    std::map<std::string, double> singles_;
};

} // namespace

int main(int argc, char** argv) {
    orlix::platform::keepSmallBlocksForReuse(); // as the program does
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    makeFolders();
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    removeFolders();
    return 0;
}
