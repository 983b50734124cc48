// The exception tree of the platform layer. Every failure of the kiv:: classes is thrown as
// one of these; `what` renders where it was raised, an optional backtrace and the class's
// own details into one report, composed on first use and kept.
#pragma once

#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <vector>

namespace kiv {

// Whether raise sites record a backtrace. Off until readBacktraceSetting finds KIV_BACKTRACE
// in the environment; a plain flag, to be settled before other threads raise.
extern bool backtraceEnabled;

class Exception : public std::exception {
public:
    Exception();
    // A copy keeps location, frames and class data, clones the cause, and composes a report
    // of its own on its first `what`.
    Exception(const Exception& other);
    Exception& operator=(const Exception& other);
    ~Exception() override;

    const char* what() const noexcept override;
    // The error's own text; here the whole report.
    virtual std::string text() const;
    // Throws a copy of this object as its most-derived class.
    [[noreturn]] virtual void raise() const = 0;
    // A new copy as the most-derived class; the caller owns it.
    virtual Exception* clone() const = 0;

    // Attaches a copy of `other` as this exception's cause, replacing an earlier one. The
    // exception owns the copy; `chainText` renders it after this one.
    void setCause(const Exception& other);

    std::unique_ptr<Exception> cause; // owned; the most-derived copy, or none
    const char* file;                 // static text: source file of the raise
    std::int32_t line;                // line of the raise statement
    const char* function;             // static text: qualified name of the raising function

protected:
    // Appends the class's own lines to `report`.
    virtual void appendDetails() const;

    mutable std::string report; // composed by the first `what`, empty before

public:
    std::vector<std::string> frames; // backtrace, outermost first; empty when none was taken
};

// An error described by fixed texts: an optional message and an optional kind ("Usage").
class StaticError : public Exception {
public:
    explicit StaticError(const char* message = nullptr, const char* kind = nullptr);
    std::string text() const override;
    [[noreturn]] void raise() const override;
    Exception* clone() const override;

    const char* message; // static text or null
    const char* kind;    // static text or null

protected:
    void appendDetails() const override;
};

// A caller broke an operation's precondition.
class UsageError : public StaticError {
public:
    explicit UsageError(const char* message = nullptr);
    [[noreturn]] void raise() const override;
    Exception* clone() const override;
};

// A failed system call, with the system's error number.
class OsError : public Exception {
public:
    explicit OsError(std::uint32_t code = 0);
    // The system's message text for `code`, then " (code)".
    std::string text() const override;
    [[noreturn]] void raise() const override;
    Exception* clone() const override;

    std::uint32_t code;

protected:
    void appendDetails() const override;
};

// A loader failure. Both constructors take the system text of the calling thread's last
// error number, so they must run before anything else can overwrite it.
class SharedLibError : public Exception {
public:
    SharedLibError();
    explicit SharedLibError(const char* context);
    [[noreturn]] void raise() const override;
    Exception* clone() const override;

    std::string errorText; // system text of the loader's error
    std::string context;   // what was being resolved, or empty

protected:
    void appendDetails() const override;
};

// Base of every registry failure.
class RegistryError : public Exception {
public:
    [[noreturn]] void raise() const override;
    Exception* clone() const override;
};

// A registry value read as a type it does not have.
class RegistryTypeError : public RegistryError {
public:
    [[noreturn]] void raise() const override;
    Exception* clone() const override;
};

// A registry call that returned a failure status.
class RegistryOsError : public RegistryError {
public:
    // A status of 0xFFFFFFFF stands for the calling thread's last error number, read here.
    RegistryOsError(const std::string& message, std::uint32_t status);
    [[noreturn]] void raise() const override;
    Exception* clone() const override;

    std::string message;
    OsError osError;

protected:
    void appendDetails() const override;
};

// Fills `frames` with the calling thread's return addresses, outermost first, as 16
// upper-case hex digits each; the caller's own frame is left out. Fewer than two captured
// addresses leave it empty.
void captureBacktrace(std::vector<std::string>& frames);

// Renders `e` and each of its causes, numbered from 1, one tab-indented line per line of
// their reports.
std::string chainText(const Exception& e);

// The raise procedure every raise site follows: records where the exception was raised,
// takes a backtrace when they are switched on, and throws it as its most-derived class.
// `file` and `function` must be static texts.
[[noreturn]] void raiseAt(const Exception& e, const char* file, std::int32_t line,
                          const char* function);

} // namespace kiv
