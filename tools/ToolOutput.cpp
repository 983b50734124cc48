// What the tool shows: the release facts, the progress of a transfer, refusals; and the
// Ctrl-C that cancels a transfer.
#include "tools/Tool.h"

#include "attrlist/MifList.h"
#include "attrlist/WireBytes.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>

#ifdef _WIN32
#include <io.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <unistd.h>
#endif

namespace {

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

const char* const kDigestNames[kUpdatePackageKinds] = {"SHA-256", "SHA-256 (x86)",
                                                       "SHA-256 (x86-64)"};

std::atomic<bool> gInterrupted{false};

extern "C" void OnInterrupt(int) {
    gInterrupted = true;
}

int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

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
    double seconds = static_cast<double>(NowMs() - p.startMs) / 1000.0;
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

} // namespace

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

void PrintSignedFacts(const SignedDocument& document) {
    for (int kind = 0; kind < kUpdatePackageKinds; ++kind) {
        const UpdatePackage& package = document.facts.packages[kind];
        if (package.digest_state == UPDATE_VALUE_VALID) {
            char hex[65];
            UpdateFormatDigest(package.sha256, hex);
            printf("%-22s %s\n", kDigestNames[kind], hex);
        } else if (package.digest_state == UPDATE_VALUE_MALFORMED) {
            printf("%-22s (not 64 hex digits)\n", kDigestNames[kind]);
        }
    }
    char expires[32] = "";
    UpdateFormatTime(document.facts.expires, expires, sizeof expires);
    printf("%-22s %s\n", "Expires", expires);
    printf("%-22s %s\n", "Signing key", KeyIdText(document.key_id).c_str());
}

void StartProgress(Progress* progress) {
    progress->terminal = isatty(fileno(stderr)) != 0;
    progress->startMs = NowMs();
}

int OnProgress(void* context, uint32_t done, uint32_t total) {
    Progress* p = static_cast<Progress*>(context);
    p->called = true;
    p->done = done;
    p->total = total;
    DrawProgress(*p, false);
    return gInterrupted ? 0 : 1;
}

void FinishProgress(const Progress& progress) {
    if (progress.called)
        DrawProgress(progress, true);
}

void CatchInterrupt() {
    signal(SIGINT, OnInterrupt);
}

void ReleaseInterrupt() {
    signal(SIGINT, SIG_DFL);
}

bool Interrupted() {
    return gInterrupted;
}

int ReportVerdict(UpdateVerdict verdict, const char* detail) {
    static const struct {
        UpdateVerdict verdict;
        ExitCode code;
    } kCodes[] = {
        {UPDATE_OK, kExitOk},
        {UPDATE_FAILED, kExitFailed},
        {UPDATE_NO_FACTS, kExitNothingNew},
        {UPDATE_NO_SIGNATURE, kExitNoSignature},
        {UPDATE_BAD_SIGNATURE, kExitBadSignature},
        {UPDATE_UNKNOWN_KEY, kExitUnknownKey},
        {UPDATE_EXPIRED, kExitExpired},
        {UPDATE_NOT_NEWER, kExitNotNewer},
        {UPDATE_TOO_LARGE, kExitTooLarge},
        {UPDATE_DIGEST_MISMATCH, kExitMismatch},
    };
    int code = kExitFailed;
    for (const auto& entry : kCodes)
        if (entry.verdict == verdict)
            code = entry.code;
    bool refusal = code != kExitFailed && code != kExitNothingNew;
    fprintf(stderr, "kivupdate: %s%s%s%s\n", refusal ? "refused, " : "", UpdateVerdictText(verdict),
            detail != nullptr && detail[0] != '\0' ? ": " : "", detail != nullptr ? detail : "");
    return code;
}
