#include "os/win32/Exception.h"

#include "compat/win32.h"
#include "src/os/win32/Backtrace.h"

#include <iostream>

namespace kiv {

bool backtraceEnabled = false;

namespace {

const char kUnknownFile[] = "<unknown-file>";
const char kUnknownFunction[] = "<unknown-function>";

} // namespace

Exception::Exception() : file(kUnknownFile), line(0), function(kUnknownFunction) {}

Exception::Exception(const Exception& other)
    : std::exception(other), cause(other.cause ? other.cause->clone() : nullptr), file(other.file),
      line(other.line), function(other.function), frames(other.frames) {}

Exception& Exception::operator=(const Exception& other) {
    if (this != &other) {
        cause.reset(other.cause ? other.cause->clone() : nullptr);
        file = other.file;
        line = other.line;
        function = other.function;
        frames = other.frames;
        report.clear();
    }
    return *this;
}

Exception::~Exception() = default;

const char* Exception::what() const noexcept {
    if (!report.empty())
        return report.c_str();
    try {
        if (file[0] == '\0') {
            report = "Exception occured";
        } else {
            report = "Exception occured at \"";
            report += file;
            report += ':';
            report += std::to_string(line);
            report += " (";
            report += function;
            report += ")\"";
        }
        if (!frames.empty()) {
            report += "\n\nFunction call backtrace:\n\n";
            for (auto frame = frames.rbegin(); frame != frames.rend(); ++frame) {
                report += *frame;
                report += '\n';
            }
        }
        appendDetails();
    } catch (...) {
        // Out of memory while composing: what is there so far is the best report we have;
        // a later call tries again.
        static const char fallback[] = "Exception occured";
        if (report.empty())
            return fallback;
    }
    return report.c_str();
}

std::string Exception::text() const {
    return what();
}

void Exception::appendDetails() const {}

void Exception::setCause(const Exception& other) {
    cause.reset(other.clone());
}

StaticError::StaticError(const char* message, const char* kind) : message(message), kind(kind) {}

std::string StaticError::text() const {
    return message ? message : "";
}

void StaticError::raise() const {
    throw *this;
}

Exception* StaticError::clone() const {
    return new StaticError(*this);
}

void StaticError::appendDetails() const {
    report += "\n\n";
    if (kind) {
        report += kind;
        report += " error occured.";
    } else {
        report += "error occured.";
    }
    if (message) {
        report += ' ';
        report += message;
    }
}

UsageError::UsageError(const char* message) : StaticError(message, "Usage") {}

void UsageError::raise() const {
    throw *this;
}

Exception* UsageError::clone() const {
    return new UsageError(*this);
}

OsError::OsError(std::uint32_t code) : code(code) {}

std::string OsError::text() const {
    std::string result;
    char* buffer = nullptr;
    DWORD length = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                      FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                                  reinterpret_cast<LPSTR>(&buffer), 0, nullptr);
    if (length != 0 && buffer != nullptr) {
        // System messages end in CR LF. A text shorter than that is kept whole rather than
        // cut before its start.
        result.assign(buffer, length >= 2 ? length - 2 : length);
        LocalFree(buffer);
    } else {
        std::cerr << "kiv::OsError::text"
                  << ": error getting error text from FormatMessage!\n"
                  << std::flush;
        result = "<unknown-error>";
    }
    result += " (";
    result += std::to_string(code);
    result += ')';
    return result;
}

void OsError::raise() const {
    throw *this;
}

Exception* OsError::clone() const {
    return new OsError(*this);
}

void OsError::appendDetails() const {
    report += "\nSystem/Library call error: ";
    report += text();
}

SharedLibError::SharedLibError() : errorText(OsError(GetLastError()).text()) {}

SharedLibError::SharedLibError(const char* context) : context(context ? context : "") {
    errorText = OsError(GetLastError()).text();
}

void SharedLibError::raise() const {
    throw *this;
}

Exception* SharedLibError::clone() const {
    return new SharedLibError(*this);
}

void SharedLibError::appendDetails() const {
    report += "\n\nDynamic linker error encountered. ";
    if (!context.empty()) {
        report += context;
        report += ": ";
    }
    report += errorText.empty() ? std::string("<no error set>") : errorText;
}

void RegistryError::raise() const {
    throw *this;
}

Exception* RegistryError::clone() const {
    return new RegistryError(*this);
}

void RegistryTypeError::raise() const {
    throw *this;
}

Exception* RegistryTypeError::clone() const {
    return new RegistryTypeError(*this);
}

RegistryOsError::RegistryOsError(const std::string& message, std::uint32_t status)
    : message(message), osError(status == 0xFFFFFFFFu ? GetLastError() : status) {}

void RegistryOsError::raise() const {
    throw *this;
}

Exception* RegistryOsError::clone() const {
    return new RegistryOsError(*this);
}

void RegistryOsError::appendDetails() const {
    report += '\n';
    if (!message.empty()) {
        report += message;
        report += ": ";
    }
    report += osError.text();
}

std::string chainText(const Exception& e) {
    std::string out;
    int number = 1;
    for (const Exception* entry = &e; entry != nullptr; entry = entry->cause.get(), ++number) {
        out += number == 1 ? "#" : "\n#";
        out += std::to_string(number);
        out += ")\n";
        std::string report = entry->what();
        std::string::size_type start = 0;
        while (start < report.size()) {
            std::string::size_type end = report.find('\n', start);
            if (end == std::string::npos)
                end = report.size();
            out += '\t';
            out.append(report, start, end - start);
            out += '\n';
            start = end + 1;
        }
    }
    return out;
}

// Runs as its own frame between the raise site and the capture, so the capture skips it:
// the report then starts two levels above the raising routine, and a deep stack still fills
// it as far out as a capture from the raise site would. Works on a copy so that raise sites
// can pass a temporary or an object of their own.
void raiseAt(const Exception& e, const char* file, std::int32_t line, const char* function) {
    std::unique_ptr<Exception> raised(e.clone());
    raised->file = file;
    raised->line = line;
    raised->function = function;
    if (backtraceEnabled) {
        captureBacktraceForCaller(raised->frames);
        if (!raised->frames.empty())
            raised->frames.pop_back();
    }
    raised->raise();
    // raise never comes back; the compiler cannot see that through the virtual call.
    std::terminate();
}

} // namespace kiv
