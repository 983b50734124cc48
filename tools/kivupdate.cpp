// kivupdate: checks for and downloads releases of the Kiv VPN client from the command line.

#include "attrlist/MifList.h"
#include "attrlist/WireBytes.h"
#include "update/UpdateService.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#ifdef _WIN32
#include <io.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <unistd.h>
#endif

namespace {

// Exit codes, shared by both commands.
enum ExitCode {
    kExitOk = 0,         // facts found / file downloaded
    kExitFailed = 1,     // the check or the download failed
    kExitUsage = 2,      // bad command line
    kExitNothingNew = 3, // check: the server gave no facts; download: not modified (304)
    kExitCancelled = 4,  // download: cancelled with Ctrl-C
};

const char kUsage[] =
    "usage: kivupdate check [--language N] [--proxy HOST:PORT] [--raw] URL\n"
    "       kivupdate download [--proxy HOST:PORT] [--proxy-user USER:PASSWORD] URL FILE\n"
    "       kivupdate --help\n"
    "\n"
    "check     fetches the update information at URL and prints the release facts of\n"
    "          the section for language N (default 1; Language 2 when N has none).\n"
    "          --raw prints the attribute list's bytes instead of the table.\n"
    "download  downloads URL into FILE; when FILE exists, only if the server has a newer\n"
    "          one. Ctrl-C cancels.\n"
    "\n"
    "exit codes: 0 facts found / downloaded, 1 failed, 2 usage error,\n"
    "            3 no facts in the answer / file not modified, 4 download cancelled\n";

struct Fact {
    uint16_t tag;
    bool isText;
    const char* name;
};

// In the order in which the check appends them.
const Fact kFacts[] = {
    {1, true, "Product name"},
    {2, false, "Version"},
    {3, false, "Build"},
    {4, false, "Service pack"},
    {6, true, "Information URL"},
    {5, true, "Download URL"},
    {8, false, "File size"},
    {10, true, "Download URL (x86)"},
    {11, false, "File size (x86)"},
    {20, true, "Download URL (x86-64)"},
    {21, false, "File size (x86-64)"},
    {30, true, "Web URL"},
};

int Usage(const char* problem) {
    if (problem != nullptr)
        fprintf(stderr, "kivupdate: %s\n\n", problem);
    fputs(kUsage, problem ? stderr : stdout);
    return problem ? kExitUsage : kExitOk;
}

// Splits "HOST:PORT" at its last colon.
bool ParseHostPort(const char* text, std::string* host, uint16_t* port) {
    const char* colon = strrchr(text, ':');
    if (colon == nullptr || colon == text || colon[1] == '\0')
        return false;
    char* end = nullptr;
    unsigned long value = strtoul(colon + 1, &end, 10);
    if (*end != '\0' || value == 0 || value > 65535)
        return false;
    host->assign(text, colon);
    *port = static_cast<uint16_t>(value);
    return true;
}

void PrintFacts(uint8_t* bytes, uint32_t size) {
    MifList list;
    list.Attach(bytes, size, size);
    for (const Fact& fact : kFacts) {
        uint32_t offset = 0, length = 0;
        for (uint32_t n = 1; list.FindValue(fact.tag, &offset, &length, n); ++n) {
            const uint8_t* value = bytes + offset;
            if (fact.isText)
                printf("%-22s %.*s\n", fact.name, static_cast<int>(length),
                       reinterpret_cast<const char*>(value));
            else if (length == 4)
                printf("%-22s %d\n", fact.name, static_cast<int32_t>(LoadU32(value)));
        }
    }
}

void PrintRaw(const uint8_t* bytes, uint32_t size) {
    for (uint32_t i = 0; i < size; ++i)
        printf("%02x%c", bytes[i], (i % 16 == 15 || i + 1 == size) ? '\n' : ' ');
}

int Check(int argc, char** argv) {
    int32_t language = 1;
    std::string proxyHost;
    uint16_t proxyPort = 0;
    bool raw = false;
    const char* url = nullptr;
    for (int i = 0; i < argc; ++i) {
        const char* arg = argv[i];
        if (strcmp(arg, "--language") == 0 && i + 1 < argc) {
            char* end = nullptr;
            long value = strtol(argv[++i], &end, 10);
            if (*end != '\0' || value < INT32_MIN || value > INT32_MAX)
                return Usage("--language takes a number");
            language = static_cast<int32_t>(value);
        } else if (strcmp(arg, "--proxy") == 0 && i + 1 < argc) {
            if (!ParseHostPort(argv[++i], &proxyHost, &proxyPort))
                return Usage("--proxy takes HOST:PORT");
        } else if (strcmp(arg, "--raw") == 0) {
            raw = true;
        } else if (arg[0] == '-' && arg[1] != '\0') {
            return Usage("unknown option for check");
        } else if (url == nullptr) {
            url = arg;
        } else {
            return Usage("check takes one URL");
        }
    }
    if (url == nullptr)
        return Usage("check needs a URL");

    // A document's twelve values fit easily; the largest possible list is far smaller.
    static uint8_t buffer[16384];
    uint32_t size = UpdateCheck(language, url, proxyHost.empty() ? nullptr : proxyHost.c_str(),
                                proxyPort, buffer, sizeof buffer);
    if (size == 0) {
        fprintf(stderr, "kivupdate: the update check failed (bad URL, or no connection to %s)\n",
                proxyHost.empty() ? "the server" : "the proxy");
        return kExitFailed;
    }
    if (raw)
        PrintRaw(buffer, size);
    else
        PrintFacts(buffer, size);
    if (size <= 2) {
        fprintf(stderr, "kivupdate: the server gave no release facts for language %d\n", language);
        return kExitNothingNew;
    }
    return kExitOk;
}

std::atomic<bool> gInterrupted{false};

extern "C" void OnInterrupt(int) {
    gInterrupted = true;
}

struct Progress {
    bool terminal = false;
    bool called = false;
    std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
    uint32_t done = 0;
    uint32_t total = 0xFFFFFFFF;
};

void FormatBytes(char* out, size_t size, double bytes) {
    const char* units[] = {"B", "KiB", "MiB", "GiB"};
    int unit = 0;
    while (bytes >= 1024 && unit < 3) {
        bytes /= 1024;
        ++unit;
    }
    snprintf(out, size, unit == 0 ? "%.0f %s" : "%.1f %s", bytes, units[unit]);
}

void DrawProgress(const Progress& p, bool final) {
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - p.start).count();
    double rate = seconds > 0 ? p.done / seconds : 0;
    char done[32], total[32], speed[32], left[32] = "";
    FormatBytes(done, sizeof done, p.done);
    FormatBytes(speed, sizeof speed, rate);
    bool known = p.total != 0xFFFFFFFF;
    if (known) {
        FormatBytes(total, sizeof total, p.total);
        if (rate > 0 && p.total > p.done) {
            long remaining = static_cast<long>((p.total - p.done) / rate);
            snprintf(left, sizeof left, ", %ld:%02ld left", remaining / 60, remaining % 60);
        }
    } else {
        snprintf(total, sizeof total, "?");
    }
    if (p.terminal) {
        int percent = known && p.total ? static_cast<int>(100.0 * p.done / p.total) : 0;
        fprintf(stderr, "\r%3d%%  %s / %s  %s/s%s\033[K", percent, done, total, speed, left);
        if (final)
            fputc('\n', stderr);
    } else if (final) {
        fprintf(stderr, "%s received in %.2f s (%s/s)\n", done, seconds, speed);
    }
}

int OnProgress(void* context, uint32_t done, uint32_t total) {
    Progress* p = static_cast<Progress*>(context);
    p->called = true;
    p->done = done;
    p->total = total;
    DrawProgress(*p, false);
    return gInterrupted ? 0 : 1;
}

int Download(int argc, char** argv) {
    std::string proxyHost, proxyUser, proxyPassword;
    uint16_t proxyPort = 0;
    const char* positional[2] = {nullptr, nullptr};
    int count = 0;
    for (int i = 0; i < argc; ++i) {
        const char* arg = argv[i];
        if (strcmp(arg, "--proxy") == 0 && i + 1 < argc) {
            if (!ParseHostPort(argv[++i], &proxyHost, &proxyPort))
                return Usage("--proxy takes HOST:PORT");
        } else if (strcmp(arg, "--proxy-user") == 0 && i + 1 < argc) {
            const char* credentials = argv[++i];
            const char* colon = strchr(credentials, ':');
            if (colon == nullptr || colon == credentials)
                return Usage("--proxy-user takes USER:PASSWORD");
            proxyUser.assign(credentials, colon);
            proxyPassword.assign(colon + 1);
        } else if (arg[0] == '-' && arg[1] != '\0') {
            return Usage("unknown option for download");
        } else if (count < 2) {
            positional[count++] = arg;
        } else {
            return Usage("download takes a URL and a FILE");
        }
    }
    if (count != 2)
        return Usage("download takes a URL and a FILE");

    Progress progress;
    progress.terminal = isatty(fileno(stderr)) != 0;
    UpdateDownloadOptions options;
    options.proxyHost = proxyHost.empty() ? nullptr : proxyHost.c_str();
    options.proxyPort = proxyPort;
    options.proxyUser = proxyUser.empty() ? nullptr : proxyUser.c_str();
    options.proxyPassword = proxyPassword.empty() ? nullptr : proxyPassword.c_str();
    options.progress = OnProgress;
    options.progressContext = &progress;

    signal(SIGINT, OnInterrupt);
    UpdateDownloadResult result;
    int ok = UpdateDownload(positional[0], positional[1], options, &result);
    signal(SIGINT, SIG_DFL);
    if (progress.called)
        DrawProgress(progress, true);

    if (gInterrupted) {
        fprintf(stderr, "kivupdate: download cancelled; %s holds the part received\n",
                positional[1]);
        return kExitCancelled;
    }
    if (!ok) {
        fprintf(stderr, "kivupdate: download failed: %s\n",
                result.errorText[0] ? result.errorText : "the transfer was incomplete");
        return kExitFailed;
    }
    if (!result.transferred) {
        printf("%s is up to date (not modified on the server)\n", positional[1]);
        return kExitNothingNew;
    }
    printf("downloaded %s\n", positional[1]);
    return kExitOk;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2)
        return Usage("no command given");
    const char* command = argv[1];
    if (strcmp(command, "--help") == 0 || strcmp(command, "-h") == 0 ||
        strcmp(command, "help") == 0)
        return Usage(nullptr);
    for (int i = 2; i < argc; ++i)
        if (strcmp(argv[i], "--help") == 0)
            return Usage(nullptr);
    if (strcmp(command, "check") == 0)
        return Check(argc - 2, argv + 2);
    if (strcmp(command, "download") == 0)
        return Download(argc - 2, argv + 2);
    return Usage("unknown command");
}
