// Download throughput: the same large file fetched R times with the library and R times
// with libcurl (writing to a file), interleaved; medians in MiB/s and their ratio.
// usage: bench_download_throughput URL DIRECTORY [R]

#include "BenchUtil.h"
#include "update/UpdateService.h"

#include <curl/curl.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>

namespace {

long long FileSize(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 ? static_cast<long long>(info.st_size) : -1;
}

bool DownloadWithCurl(const char* url, const std::string& path) {
    FILE* file = fopen(path.c_str(), "wb");
    if (file == nullptr)
        return false;
    CURL* curl = curl_easy_init();
    curl_easy_setopt(curl, CURLOPT_URL, url);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, file); // default callback: fwrite
    curl_easy_setopt(curl, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_1_0);
    long status = 0;
    bool ok = curl_easy_perform(curl) == CURLE_OK &&
              curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status) == CURLE_OK && status == 200;
    curl_easy_cleanup(curl);
    return fclose(file) == 0 && ok;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        fprintf(stderr, "usage: bench_download_throughput URL DIRECTORY [R]\n");
        return 2;
    }
    const char* url = argv[1];
    std::string ours = std::string(argv[2]) + "/ours.bin";
    std::string theirs = std::string(argv[2]) + "/curl.bin";
    int runs = argc > 3 ? atoi(argv[3]) : 5;
    curl_global_init(CURL_GLOBAL_DEFAULT);

    std::vector<double> ourRates, curlRates;
    long long size = 0;
    for (int i = 0; i < runs; ++i) {
        remove(ours.c_str()); // a present file would make the request conditional
        auto start = std::chrono::steady_clock::now();
        UpdateDownloadResult result;
        if (!UpdateDownload(url, ours.c_str(), UpdateDownloadOptions(), &result) ||
            !result.transferred) {
            fprintf(stderr, "DownloadUpdate failed: %s\n", result.errorText);
            return 1;
        }
        double seconds = Seconds(start);
        size = FileSize(ours);
        ourRates.push_back(size / seconds / 1048576.0);

        remove(theirs.c_str()); // both start from no file, outside the timed part
        start = std::chrono::steady_clock::now();
        if (!DownloadWithCurl(url, theirs)) {
            fprintf(stderr, "libcurl could not download %s\n", url);
            return 1;
        }
        seconds = Seconds(start);
        if (FileSize(theirs) != size) {
            fprintf(stderr, "the two downloads differ in size\n");
            return 1;
        }
        curlRates.push_back(size / seconds / 1048576.0);
    }
    double a = Median(ourRates), b = Median(curlRates);
    printf("download throughput over %d runs of %lld bytes: DownloadUpdate median %.0f MiB/s, "
           "libcurl median %.0f MiB/s, ratio %.2f (1 or more: as fast as libcurl)\n",
           runs, size, a, b, a / b);
    remove(ours.c_str());
    remove(theirs.c_str());
    curl_global_cleanup();
    return 0;
}
