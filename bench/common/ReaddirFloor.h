#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <dirent.h>
#include <string>
#include <vector>

namespace orlix::bench {

// The floor the folder benchmarks are measured against: list `folder` with readdir and sort
// the names on their bytes, the least any sorted listing of it can cost.
inline void readdirAndByteSort(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (const dirent* entry = ::readdir(dir)) {
            if (entry->d_name[0] != '.')
                names.emplace_back(entry->d_name);
        }
        ::closedir(dir);
    }
    std::sort(names.begin(), names.end());
    benchmark::DoNotOptimize(names.data());
}

} // namespace orlix::bench
