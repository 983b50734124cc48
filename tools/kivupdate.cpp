// kivupdate: checks for and downloads releases of the Kiv VPN client from the command line.

#include "attrlist/MifList.h"
#include "attrlist/WireBytes.h"
#include "http/HttpUrl.h"
#include "tools/Sha256.h"
#include "update/UpdateService.h"

#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>

#ifdef _WIN32
#include "compat/win32.h"
#include <io.h>
#include <process.h>
#include <sys/utime.h>
#define isatty _isatty
#define fileno _fileno
#define getpid _getpid
#else
#include <fcntl.h>
#include <unistd.h>
#include <utime.h>
#endif

namespace {

// Exit codes, shared by both commands.
enum ExitCode {
    kExitOk = 0,         // facts found / file downloaded
    kExitFailed = 1,     // the check or the download failed
    kExitUsage = 2,      // bad command line
    kExitNothingNew = 3, // check: the server gave no facts; download: not modified (304)
    kExitCancelled = 4,  // download: cancelled with Ctrl-C
    kExitMismatch = 5,   // download: the file's SHA-256 is not the one given
};

const char kUsage[] =
    "usage: kivupdate check [--language N] [--proxy HOST:PORT | --no-proxy] [--raw] URL\n"
    "       kivupdate download [--proxy HOST:PORT | --no-proxy] [--proxy-user USER:PASSWORD]\n"
    "                          [--sha256 HEX] URL FILE\n"
    "       kivupdate --help | --version\n"
    "\n"
    "check     fetches the update information at URL and prints the release facts of\n"
    "          the section for language N (default 1; Language 2 when N has none).\n"
    "          --raw prints the attribute list's bytes instead of the table.\n"
    "download  downloads URL into FILE; when FILE exists, only if the server has a newer\n"
    "          one. The transfer goes to a temporary file beside FILE, which replaces\n"
    "          FILE only when complete (and, with --sha256, when its digest matches).\n"
    "          A failure or Ctrl-C leaves FILE as it was.\n"
    "\n"
    "Without --proxy, the http_proxy (or HTTP_PROXY) environment variable names the\n"
    "proxy, except for hosts that no_proxy (or NO_PROXY) lists; --no-proxy ignores them.\n"
    "\n"
    "exit codes: 0 facts found / downloaded, 1 failed, 2 usage error,\n"
    "            3 no facts in the answer / file not modified, 4 download cancelled,\n"
    "            5 downloaded file does not match --sha256\n";

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

// Proxy settings of a command: given on the command line, or taken from the
// environment the way curl and wget read it.
struct ProxySetting {
    bool given = false; // --proxy or --no-proxy
    std::string host;   // empty: connect directly
    uint16_t port = 0;
    std::string user; // from the proxy URL's user part
    std::string password;
};

const char* EnvValue(const char* lower, const char* upper) {
    const char* value = getenv(lower);
    if (value == nullptr || *value == '\0')
        value = getenv(upper);
    return value != nullptr && *value != '\0' ? value : nullptr;
}

// no_proxy: comma-separated host names, each matching itself and its sub-domains (a
// leading dot is optional); "*" matches every host.
bool HostExempt(const std::string& host, const char* list) {
    std::string entries(list);
    size_t start = 0;
    while (start <= entries.size()) {
        size_t end = entries.find(',', start);
        if (end == std::string::npos)
            end = entries.size();
        std::string entry = entries.substr(start, end - start);
        start = end + 1;
        while (!entry.empty() && (entry.front() == ' ' || entry.front() == '\t'))
            entry.erase(0, 1);
        while (!entry.empty() && (entry.back() == ' ' || entry.back() == '\t'))
            entry.pop_back();
        if (!entry.empty() && entry[0] == '.')
            entry.erase(0, 1);
        if (entry == "*")
            return true;
        if (entry.empty() || entry.size() > host.size())
            continue;
        size_t at = host.size() - entry.size();
        bool same = true;
        for (size_t k = 0; k < entry.size() && same; ++k)
            same = tolower(static_cast<unsigned char>(host[at + k])) ==
                   tolower(static_cast<unsigned char>(entry[k]));
        if (same && (at == 0 || host[at - 1] == '.'))
            return true;
    }
    return false;
}

// Reads "[http://][USER:PASSWORD@]HOST[:PORT][/]" (port 1080 when missing, as curl has
// it) for a request to `url`, unless the host is exempt.
bool ProxyFromEnvironment(const char* url, ProxySetting* proxy) {
    const char* value = EnvValue("http_proxy", "HTTP_PROXY");
    if (value == nullptr)
        return true;
    HttpUrl target = {};
    if (HttpUrlParse(url, &target, 80)) {
        const char* exempt = EnvValue("no_proxy", "NO_PROXY");
        bool skip = exempt != nullptr && HostExempt(target.host, exempt);
        HttpUrlRelease(&target);
        if (skip)
            return true;
    }
    std::string text(value);
    if (text.compare(0, 7, "http://") == 0)
        text.erase(0, 7);
    size_t slash = text.find('/');
    if (slash != std::string::npos)
        text.erase(slash);
    size_t at = text.rfind('@');
    if (at != std::string::npos) {
        std::string credentials = text.substr(0, at);
        text.erase(0, at + 1);
        size_t colon = credentials.find(':');
        proxy->user = credentials.substr(0, colon);
        if (colon != std::string::npos)
            proxy->password = credentials.substr(colon + 1);
    }
    if (text.find(':') == std::string::npos)
        text += ":1080";
    if (!ParseHostPort(text.c_str(), &proxy->host, &proxy->port)) {
        fprintf(stderr, "kivupdate: the proxy variable holds no HOST:PORT: %s\n", value);
        return false;
    }
    return true;
}

// Handles --proxy and --no-proxy at argv[*i]; false when the argument is neither.
bool ProxyOption(int argc, char** argv, int* i, ProxySetting* proxy, bool* bad) {
    const char* arg = argv[*i];
    if (strcmp(arg, "--no-proxy") == 0) {
        proxy->given = true;
        proxy->host.clear();
        return true;
    }
    if (strcmp(arg, "--proxy") == 0 && *i + 1 < argc) {
        proxy->given = true;
        *bad = !ParseHostPort(argv[++*i], &proxy->host, &proxy->port);
        return true;
    }
    return false;
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
    ProxySetting proxy;
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
        } else if (bool bad = false; ProxyOption(argc, argv, &i, &proxy, &bad)) {
            if (bad)
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
    if (!proxy.given && !ProxyFromEnvironment(url, &proxy))
        return kExitUsage;
    const std::string& proxyHost = proxy.host;
    uint16_t proxyPort = proxy.port;

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

// A name beside the destination that no file has yet: the destination's name, the
// process number and a counter.
bool TemporaryName(const char* destination, std::string* name) {
    struct stat status;
    for (unsigned n = 0; n < 1000; ++n) {
        char suffix[64];
        snprintf(suffix, sizeof suffix, ".kivupdate-%d-%u.part", static_cast<int>(getpid()), n);
        *name = std::string(destination) + suffix;
        if (stat(name->c_str(), &status) != 0)
            return true;
    }
    return false;
}

// Gives the temporary file the destination's modification time, so that the download
// asks the server whether the destination is still current.
bool InheritModificationTime(const char* destination, const char* temporary) {
    struct stat status;
    if (stat(destination, &status) != 0)
        return true; // no destination: an unconditional request
    FILE* file = fopen(temporary, "wb");
    if (file == nullptr)
        return false;
    fclose(file);
#ifdef _WIN32
    struct _utimbuf times = {status.st_mtime, status.st_mtime};
    return _utime(temporary, &times) == 0;
#else
    struct utimbuf times = {status.st_mtime, status.st_mtime};
    return utime(temporary, &times) == 0;
#endif
}

bool ReplaceDestination(const char* from, const char* to) {
#ifdef _WIN32
    return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
#else
    return rename(from, to) == 0;
#endif
}

bool IsSha256Text(const char* text) {
    size_t n = 0;
    for (; text[n] != '\0'; ++n)
        if (!isxdigit(static_cast<unsigned char>(text[n])))
            return false;
    return n == 64;
}

int Download(int argc, char** argv) {
    ProxySetting proxy;
    std::string proxyUser, proxyPassword;
    std::string sha256;
    const char* positional[2] = {nullptr, nullptr};
    int count = 0;
    for (int i = 0; i < argc; ++i) {
        const char* arg = argv[i];
        if (bool bad = false; ProxyOption(argc, argv, &i, &proxy, &bad)) {
            if (bad)
                return Usage("--proxy takes HOST:PORT");
        } else if (strcmp(arg, "--proxy-user") == 0 && i + 1 < argc) {
            const char* credentials = argv[++i];
            const char* colon = strchr(credentials, ':');
            if (colon == nullptr || colon == credentials)
                return Usage("--proxy-user takes USER:PASSWORD");
            proxyUser.assign(credentials, colon);
            proxyPassword.assign(colon + 1);
        } else if (strcmp(arg, "--sha256") == 0 && i + 1 < argc) {
            sha256 = argv[++i];
            if (!IsSha256Text(sha256.c_str()))
                return Usage("--sha256 takes 64 hex digits");
            for (char& c : sha256)
                c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
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
    const char* url = positional[0];
    const char* destination = positional[1];
    if (!proxy.given && !ProxyFromEnvironment(url, &proxy))
        return kExitUsage;
    if (proxyUser.empty()) {
        proxyUser = proxy.user;
        proxyPassword = proxy.password;
    }

    std::string temporary;
    if (!TemporaryName(destination, &temporary) ||
        !InheritModificationTime(destination, temporary.c_str())) {
        fprintf(stderr, "kivupdate: cannot create a temporary file beside %s\n", destination);
        remove(temporary.c_str());
        return kExitFailed;
    }

    Progress progress;
    progress.terminal = isatty(fileno(stderr)) != 0;
    UpdateDownloadOptions options;
    options.proxyHost = proxy.host.empty() ? nullptr : proxy.host.c_str();
    options.proxyPort = proxy.port;
    options.proxyUser = proxyUser.empty() ? nullptr : proxyUser.c_str();
    options.proxyPassword = proxyPassword.empty() ? nullptr : proxyPassword.c_str();
    options.progress = OnProgress;
    options.progressContext = &progress;

    signal(SIGINT, OnInterrupt);
    UpdateDownloadResult result;
    int ok = UpdateDownload(url, temporary.c_str(), options, &result);
    signal(SIGINT, SIG_DFL);
    if (progress.called)
        DrawProgress(progress, true);

    // From here on the destination changes only by the rename of a complete, checked file.
    if (gInterrupted || !ok || !result.transferred) {
        remove(temporary.c_str());
        if (gInterrupted) {
            fprintf(stderr, "kivupdate: download cancelled; %s is unchanged\n", destination);
            return kExitCancelled;
        }
        if (!ok) {
            fprintf(stderr, "kivupdate: download failed: %s; %s is unchanged\n",
                    result.errorText[0] ? result.errorText : "the transfer was incomplete",
                    destination);
            return kExitFailed;
        }
        printf("%s is up to date (not modified on the server)\n", destination);
        return kExitNothingNew;
    }
    if (!sha256.empty()) {
        char digest[65] = "";
        if (!Sha256File(temporary.c_str(), digest) || sha256 != digest) {
            remove(temporary.c_str());
            fprintf(stderr, "kivupdate: the download's SHA-256 is %s, not %s; %s is unchanged\n",
                    digest, sha256.c_str(), destination);
            return kExitMismatch;
        }
    }
    if (!ReplaceDestination(temporary.c_str(), destination)) {
        fprintf(stderr, "kivupdate: cannot replace %s: %s\n", destination, strerror(errno));
        remove(temporary.c_str());
        return kExitFailed;
    }
    printf("downloaded %s\n", destination);
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
    if (strcmp(command, "--version") == 0) {
        printf("kivupdate %s\n", KIV_VERSION);
        return kExitOk;
    }
    for (int i = 2; i < argc; ++i)
        if (strcmp(argv[i], "--help") == 0)
            return Usage(nullptr);
    if (strcmp(command, "check") == 0)
        return Check(argc - 2, argv + 2);
    if (strcmp(command, "download") == 0)
        return Download(argc - 2, argv + 2);
    return Usage("unknown command");
}
