// The check program's driver (see CtCheck.h): runs each case, counts memcheck's reports
// around it, prints a line per case and exits non-zero when any case failed.
#include "CtCheck.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct Case {
    const char* name;
    void (*run)();
};

std::vector<Case>& Cases() {
    static std::vector<Case> cases;
    return cases;
}

std::string g_failure;

} // namespace

CtRegistration::CtRegistration(const char* name, void (*run)()) {
    Cases().push_back({name, run});
}

void CtFail(const std::string& why) {
    if (g_failure.empty())
        g_failure = why;
}

std::string CtUnhex(const char* hex) {
    std::string bytes;
    for (size_t i = 0; hex[i] != '\0' && hex[i + 1] != '\0'; i += 2)
        bytes.push_back(static_cast<char>(std::stoi(std::string(hex + i, 2), nullptr, 16)));
    return bytes;
}

int main() {
    if (!RUNNING_ON_VALGRIND) {
        printf("FAIL kiv_ctcheck: the checks mean something under valgrind only\n");
        return 2;
    }
    int failed = 0;
    for (const Case& c : Cases()) {
        g_failure.clear();
        const unsigned before = VALGRIND_COUNT_ERRORS;
        c.run();
        const unsigned reports = VALGRIND_COUNT_ERRORS - before;
        if (reports == 0 && g_failure.empty()) {
            printf("PASS %s\n", c.name);
        } else {
            printf("FAIL %s: %u memcheck reports%s%s\n", c.name, reports,
                   g_failure.empty() ? "" : ", ", g_failure.c_str());
            ++failed;
        }
        fflush(stdout);
    }
    return failed == 0 ? 0 : 1;
}
