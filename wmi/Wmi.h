// WMI access through its COM interfaces: connect to a namespace, run a WQL query, walk the
// objects it yields, read one property at a time as a 32-bit number or as text in the ANSI
// code page, and call a method of an object.
//
// Results are 1 for success and 0 for failure unless stated; nothing throws. COM is
// initialised on the calling thread by WmiConnect, and a connection and its records are
// used on that thread only:
//   connect -> open query -> (next / get)* -> close query -> disconnect.
#pragma once

#include <cstdint>

#include "compat/win32.h"

// One connection to a WMI namespace; both pointers are null when not connected.
struct WmiConnection {
    IWbemServices* services; // the namespace
    IWbemLocator* locator;   // the locator it came from
    bool oleStarted = false; // WmiConnect's OleInitialize succeeded: its OleUninitialize is owed
};

// Kinds of query records: what the property is read as.
constexpr std::uint32_t WMI_RESULT_NUMBER = VT_INT;
constexpr std::uint32_t WMI_RESULT_TEXT = VT_BSTR;

// Operations of WmiStep.
constexpr int WMI_STEP_EXECUTE = 1; // run the query and fetch the first object
constexpr int WMI_STEP_NEXT = 2;    // fetch the next object
constexpr int WMI_STEP_READ = 4;    // read the property of the current object

// A running query, created by the open functions and freed by WmiCloseQuery.
struct WmiQuery {
    BSTR query;                       // class name or complete query beginning with "SELECT"
    const WCHAR* property;            // property to read, or null
    std::uint32_t resultKind;         // WMI_RESULT_NUMBER or WMI_RESULT_TEXT
    void* output;                     // std::uint32_t number or char buffer
    std::uint32_t outputSize;         // size of the char buffer
    std::uint32_t* isNull;            // set to 1 when the value is null; optional
    IEnumWbemClassObject* enumerator; // objects of the query
    IWbemClassObject* current;        // object read from, or null
    WCHAR* ownProperty;               // the record's copy of its property
};

// A method call being prepared, from WmiPrepareMethod to WmiFreeMethod.
struct WmiMethodCall {
    BSTR methodName;
    VARIANT className;           // the object's "__CLASS"
    VARIANT relativePath;        // the object's "__RELPATH"
    IWbemClassObject* inParams;  // instance to fill; null when the method takes none
    IWbemClassObject* outParams; // set by WmiExecMethod
};

// Initialises OLE, creates the WBEM locator in-process, connects to `nameSpace` (such as
// L"ROOT\\CIMV2") and sets the services' security blanket. On failure everything obtained
// is released, both pointers are null and OLE is uninitialised again.
// Departure: OLE is uninitialised (here or by WmiDisconnect) only when this OleInitialize
// succeeded. On a thread already in the multithreaded apartment it fails (0x80010106)
// while the locator still works there, so the connect goes on; the paired
// OleUninitialize would undo the host's own initialisation instead.
int WmiConnect(WmiConnection* connection, const WCHAR* nameSpace);
// Releases what the connection holds and uninitialises OLE when WmiConnect initialised it;
// 1 (0 for a null connection).
int WmiDisconnect(WmiConnection* connection);
// Sets a proxy's security blanket (authentication service NTLM, no authorisation, no
// principal, identity or capabilities) and returns CoSetProxyBlanket's result; E_INVALIDARG
// for a null proxy. Level 1 (none) is raised to call level with identify impersonation.
// Explicit credentials are not supported: with any of user, domain or password non-empty
// (and a level other than 1) nothing is changed and the result is S_OK.
HRESULT WmiSetProxyBlanket(WmiConnection* connection, IUnknown* proxy, const WCHAR* user,
                           const WCHAR* domain, const WCHAR* password, DWORD authenticationLevel,
                           DWORD impersonationLevel);

// Run `query` (a class name, queried for `property` or "*", or a complete query beginning
// with "SELECT") and read `property` of the first object, if one is given, into the output.
// Return the record, or null when the query, the first object or the read failed (a text
// that had to be cut counts as a failure; the buffer holds the cut text). A property needs
// an output. `isNull` (optional) is set to 1 when the value is null, the output then being 0.
WmiQuery* WmiOpenNumberQuery(WmiConnection* connection, const WCHAR* query, const WCHAR* property,
                             std::uint32_t* number, std::uint32_t* isNull);
WmiQuery* WmiOpenTextQuery(WmiConnection* connection, const WCHAR* query, const WCHAR* property,
                           char* buffer, std::uint32_t bufferSize, std::uint32_t* isNull);
// Moves to the next object and reads the record's property; 0 after the last object.
int WmiNext(WmiConnection* connection, WmiQuery* query);
// Read another property of the current object into the given output. A null output needs a
// record of the same kind and uses its output. A null property reads nothing: the output
// is cleared and the result is 1.
int WmiGetNumber(WmiConnection* connection, WmiQuery* query, const WCHAR* property,
                 std::uint32_t* number);
int WmiGetText(WmiConnection* connection, WmiQuery* query, const WCHAR* property, char* buffer,
               std::uint32_t bufferSize);
// Releases the record's objects and frees it; 0 for a null record.
int WmiCloseQuery(WmiConnection* connection, WmiQuery* query);
// Open and close at once: 1 when the property of the first object was read.
int WmiQueryNumber(WmiConnection* connection, const WCHAR* query, const WCHAR* property,
                   std::uint32_t* number, std::uint32_t* isNull);
int WmiQueryText(WmiConnection* connection, const WCHAR* query, const WCHAR* property, char* buffer,
                 std::uint32_t bufferSize, std::uint32_t* isNull);

// The engine behind the query functions, one of the WMI_STEP_ operations on the record.
// The null flag and the output's first four bytes are cleared first, a text buffer only as
// far as it goes. A text read into a buffer too small for it delivers the text cut, with
// result 0; so does a text whose ANSI form has more bytes than characters and does not fit.
// A string property whose value is not a text, a buffer of size 0, a record without a
// current object and, to execute, a connection without services give 0. A null value sets
// the null flag and gives 1, with or without an output.
// Departure: a value other than null read without an output gives 0, as there is nowhere
// to store it.
int WmiStep(WmiConnection* connection, int operation, WmiQuery* query);

// Prepares a call of `methodName` on `object`; writes one "Parameter: " line per
// in-parameter to standard output. The caller fills inParams (when not null) and calls
// WmiExecMethod. Null on failure.
WmiMethodCall* WmiPrepareMethod(WmiConnection* connection, IWbemClassObject* object,
                                const WCHAR* methodName);
// Calls the method; returns the out-parameter "ReturnValue", or defaultResult when the call
// failed or gave none.
std::uint32_t WmiExecMethod(WmiConnection* connection, WmiMethodCall* methodCall,
                            std::uint32_t defaultResult);
// Frees the record and sets *methodCall to null.
void WmiFreeMethod(WmiMethodCall** methodCall);

// Converts the NUL-terminated wide text with the code page into the buffer, which is emptied
// first; returns the buffer, or null for null arguments or a failed conversion (the text
// does not fit, for one).
// Departures: a buffer of size 0 gives null and is not written, as it has no room even for
// the emptying terminator; a text that does not fit leaves the buffer empty, as the
// conversion may have filled it without a terminator.
char* WideToMultiByte(char* buffer, const WCHAR* wideText, std::uint32_t bufferSize, UINT codePage);
