// Update-check latency: N checks with the library against N fetches of the same document
// with libcurl, each on a fresh connection, interleaved so both see the same machine.
// usage: bench_check_latency URL [N]

#include "BenchUtil.h"
#include "update/UpdateService.h"

#include <curl/curl.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

size_t Collect(char* data, size_t size, size_t count, void* out) {
    static_cast<std::string*>(out)->append(data, size * count);
    return size * count;
}

bool FetchWithCurl(const char* url) {
    CURL* curl = curl_easy_init();
    std::string body;
    curl_easy_setopt(curl, CURLOPT_URL, url);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, Collect);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
    curl_easy_setopt(curl, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_1_0);
    curl_easy_setopt(curl, CURLOPT_FRESH_CONNECT, 1L);
    curl_easy_setopt(curl, CURLOPT_FORBID_REUSE, 1L);
    long status = 0;
    bool ok = curl_easy_perform(curl) == CURLE_OK &&
              curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status) == CURLE_OK &&
              status == 200 && !body.empty();
    curl_easy_cleanup(curl);
    return ok;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: bench_check_latency URL [N]\n");
        return 2;
    }
    const char* url = argv[1];
    int n = argc > 2 ? atoi(argv[2]) : 500;
    curl_global_init(CURL_GLOBAL_DEFAULT);

    std::vector<double> ours, theirs;
    unsigned char buffer[4096];
    for (int i = 0; i < n; ++i) {
        auto start = std::chrono::steady_clock::now();
        uint32_t size = UpdateCheck(1, url, nullptr, 0, buffer, sizeof buffer);
        ours.push_back(Seconds(start));
        if (size <= 2) {
            fprintf(stderr, "the update check found no facts at %s\n", url);
            return 1;
        }
        start = std::chrono::steady_clock::now();
        if (!FetchWithCurl(url)) {
            fprintf(stderr, "libcurl could not fetch %s\n", url);
            return 1;
        }
        theirs.push_back(Seconds(start));
    }
    double a = Median(ours) * 1e6, b = Median(theirs) * 1e6;
    printf("check latency over %d runs: CheckForUpdate median %.0f us, libcurl median %.0f us, "
           "ratio %.2f (below 1: faster than libcurl)\n",
           n, a, b, a / b);
    curl_global_cleanup();
    return 0;
}
