// Download throughput of the library alone, for builds without libcurl (the Windows
// build, run under Wine): the same large file fetched R times; the median in MiB/s.
// usage: bench_download_alone URL DIRECTORY [R]

#include "BenchUtil.h"
#include "update/UpdateService.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>

int main(int argc, char** argv) {
    if (argc < 3) {
        fprintf(stderr, "usage: bench_download_alone URL DIRECTORY [R]\n");
        return 2;
    }
    const char* url = argv[1];
    std::string path = std::string(argv[2]) + "/alone.bin";
    int runs = argc > 3 ? atoi(argv[3]) : 5;
    std::vector<double> rates;
    long long size = 0;
    for (int i = 0; i < runs; ++i) {
        remove(path.c_str()); // a present file would make the request conditional
        auto start = std::chrono::steady_clock::now();
        UpdateDownloadResult result;
        if (!UpdateDownload(url, path.c_str(), UpdateDownloadOptions(), &result) ||
            !result.transferred) {
            fprintf(stderr, "DownloadUpdate failed: %s\n", result.errorText);
            return 1;
        }
        double seconds = Seconds(start);
        struct stat info;
        size = stat(path.c_str(), &info) == 0 ? static_cast<long long>(info.st_size) : 0;
        rates.push_back(size / seconds / 1048576.0);
    }
    remove(path.c_str());
    printf("download throughput over %d runs of %lld bytes: DownloadUpdate median %.0f MiB/s\n",
           runs, size, Median(rates));
    return 0;
}
