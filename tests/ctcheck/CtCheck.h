// Constant-time checks under valgrind's memcheck: a case marks its secret bytes undefined
// (CT_SECRET), runs the code under test, and marks what may be public again (CT_PUBLIC)
// before looking at it. memcheck then reports every branch and every memory address
// that depends on a secret, and a case passes when it caused no report. The check
// program (kiv_ctcheck) runs every case registered with CT_CASE in the files of this
// folder and prints one "PASS name" or "FAIL name" line per case; scripts/test runs it
// under valgrind. To add cases, add a file here with CT_CASE(name) { ... } bodies.
#pragma once

#include <valgrind/memcheck.h>

#include <cstddef>
#include <string>

#define CT_SECRET(pointer, size) VALGRIND_MAKE_MEM_UNDEFINED((pointer), (size))
#define CT_PUBLIC(pointer, size) VALGRIND_MAKE_MEM_DEFINED((pointer), (size))

// Registers a case; its body fails it by CtFail or by a memcheck report.
struct CtRegistration {
    CtRegistration(const char* name, void (*run)());
};
#define CT_CASE(name)                                                                              \
    static void name();                                                                            \
    static const CtRegistration name##Registration(#name, name);                                   \
    static void name()

// Fails the running case for a wrong result (the code under test must still work).
void CtFail(const std::string& why);

// Bytes from hex (even length).
std::string CtUnhex(const char* hex);
