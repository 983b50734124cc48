// WQL queries: the step engine and the functions built on it.
#include "wmi/Wmi.h"

#include <cstdlib>
#include <cstring>

namespace {

size_t WideLength(const WCHAR* text) {
    size_t length = 0;
    while (text[length] != 0)
        ++length;
    return length;
}

WCHAR* WideCopy(const WCHAR* text) {
    size_t bytes = (WideLength(text) + 1) * sizeof(WCHAR);
    auto* copy = static_cast<WCHAR*>(std::malloc(bytes));
    if (copy != nullptr)
        std::memcpy(copy, text, bytes);
    return copy;
}

// Whether the text begins with "SELECT" in any case.
bool IsSelect(const WCHAR* text) {
    static const char select[] = "SELECT";
    for (int i = 0; i < 6; ++i) {
        WCHAR c = text[i];
        if (c >= L'a' && c <= L'z')
            c = static_cast<WCHAR>(c - L'a' + L'A');
        if (c != static_cast<WCHAR>(select[i]))
            return false;
    }
    return true;
}

// Appends the wide text at `at`; returns the position after it.
WCHAR* Put(WCHAR* at, const WCHAR* text) {
    size_t length = WideLength(text);
    std::memcpy(at, text, length * sizeof(WCHAR));
    return at + length;
}

// "SELECT <property> from <class>", or "SELECT * from <class>" without a property.
BSTR ClassQuery(const WCHAR* className, const WCHAR* property) {
    const WCHAR* selected = property != nullptr ? property : L"*";
    size_t length = 7 + WideLength(selected) + 6 + WideLength(className);
    if (length > 0x7FFFFFF)
        return nullptr;
    BSTR query = SysAllocStringLen(nullptr, static_cast<UINT>(length));
    if (query != nullptr) {
        WCHAR* at = Put(query, L"SELECT ");
        at = Put(at, selected);
        at = Put(at, L" from ");
        *Put(at, className) = 0;
    }
    return query;
}

// Runs the record's query, turning a class name into a query first, and keeps the new
// enumerator in place of any earlier one.
bool Execute(WmiConnection* connection, WmiQuery* query) {
    if (connection == nullptr || connection->services == nullptr)
        return false;
    if (!IsSelect(query->query)) {
        BSTR full = ClassQuery(query->query, query->property);
        if (full == nullptr)
            return false;
        SysFreeString(query->query);
        query->query = full;
    }
    if (query->enumerator != nullptr)
        query->enumerator->Release();
    query->enumerator = nullptr;
    BSTR language = SysAllocString(L"WQL");
    HRESULT result = language == nullptr
                         ? E_OUTOFMEMORY
                         : connection->services->ExecQuery(language, query->query, 0, nullptr,
                                                           &query->enumerator);
    SysFreeString(language);
    return SUCCEEDED(result) && query->enumerator != nullptr;
}

// Number records take the 32-bit field of the integer and boolean CIM types.
int StoreNumber(const VARIANT& value, CIMTYPE type, std::uint32_t* number) {
    switch (type) {
    case CIM_SINT16:
    case CIM_SINT32:
    case CIM_UINT16:
    case CIM_UINT32:
        *number = static_cast<std::uint32_t>(value.lVal);
        return 1;
    case CIM_BOOLEAN:
        *number = value.boolVal != 0 ? 1 : 0;
        return 1;
    default:
        return 0;
    }
}

// Text records take strings, and dates held as text, in the ANSI code page. A text of as
// many characters as the buffer holds bytes, or more, is delivered cut with result 0; so
// is one whose converted form is longer than its characters and does not fit.
int StoreText(const VARIANT& value, CIMTYPE type, char* buffer, std::uint32_t size) {
    if ((type != CIM_STRING && type != CIM_DATETIME) || value.vt != VT_BSTR ||
        value.bstrVal == nullptr || size == 0)
        return 0;
    size_t characters = WideLength(value.bstrVal);
    if (characters < size && WideToMultiByte(buffer, value.bstrVal, size, CP_ACP) != nullptr)
        return 1;
    buffer[0] = 0;
    int needed = WideCharToMultiByte(CP_ACP, 0, value.bstrVal, -1, nullptr, 0, nullptr, nullptr);
    char* whole =
        needed > 0 ? static_cast<char*>(std::malloc(static_cast<size_t>(needed))) : nullptr;
    if (whole != nullptr &&
        WideCharToMultiByte(CP_ACP, 0, value.bstrVal, -1, whole, needed, nullptr, nullptr) > 0) {
        size_t keep = std::strlen(whole);
        if (keep > size - 1)
            keep = size - 1;
        std::memcpy(buffer, whole, keep);
        buffer[keep] = 0;
    }
    std::free(whole);
    return 0;
}

// Reads the record's property of the current object into its output.
int Read(WmiQuery* query) {
    if (query->current == nullptr)
        return 0;
    VARIANT value;
    std::memset(&value, 0, sizeof value);
    VariantInit(&value);
    CIMTYPE type = 0;
    if (FAILED(query->current->Get(query->property, 0, &value, &type, nullptr)))
        return 0;
    int result = 0;
    if (value.vt == VT_NULL) {
        if (query->isNull != nullptr)
            *query->isNull = 1;
        result = 1;
    } else if (query->output == nullptr) {
        result = 0; // a value with nowhere to go
    } else if (query->resultKind == WMI_RESULT_NUMBER) {
        result = StoreNumber(value, type, static_cast<std::uint32_t*>(query->output));
    } else if (query->resultKind == WMI_RESULT_TEXT) {
        result = StoreText(value, type, static_cast<char*>(query->output), query->outputSize);
    }
    VariantClear(&value);
    return result;
}

void FreeRecord(WmiQuery* query) {
    if (query->current != nullptr)
        query->current->Release();
    if (query->enumerator != nullptr)
        query->enumerator->Release();
    SysFreeString(query->query);
    std::free(query->ownProperty);
    std::free(query);
}

// A record for the open functions, with copies of the caller's texts.
WmiQuery* NewRecord(const WCHAR* text, const WCHAR* property, std::uint32_t kind, void* output,
                    std::uint32_t size, std::uint32_t* isNull) {
    auto* query = static_cast<WmiQuery*>(std::calloc(1, sizeof(WmiQuery)));
    if (query == nullptr)
        return nullptr;
    query->query = SysAllocString(text);
    query->ownProperty = property != nullptr ? WideCopy(property) : nullptr;
    query->property = query->ownProperty;
    query->resultKind = kind;
    query->output = output;
    query->outputSize = size;
    query->isNull = isNull;
    if (query->query == nullptr || (property != nullptr && query->ownProperty == nullptr)) {
        FreeRecord(query);
        return nullptr;
    }
    return query;
}

WmiQuery* Open(WmiConnection* connection, const WCHAR* text, const WCHAR* property,
               std::uint32_t kind, void* output, std::uint32_t size, std::uint32_t* isNull) {
    if (text == nullptr || (property != nullptr && output == nullptr))
        return nullptr;
    WmiQuery* query = NewRecord(text, property, kind, output, size, isNull);
    if (query != nullptr && WmiStep(connection, WMI_STEP_EXECUTE, query) == 0) {
        FreeRecord(query);
        query = nullptr;
    }
    return query;
}

// Reads `property` of the current object as `kind` into `output`, the record's own output
// standing in for a null one. A null property is swapped in like any other, so the step
// reads nothing.
int Get(WmiConnection* connection, WmiQuery* query, const WCHAR* property, std::uint32_t kind,
        void* output, std::uint32_t size) {
    if (query == nullptr || (output == nullptr && query->resultKind != kind))
        return 0;
    WmiQuery saved = *query;
    query->property = property;
    if (output != nullptr) {
        query->resultKind = kind;
        query->output = output;
        query->outputSize = size;
    }
    int result = WmiStep(connection, WMI_STEP_READ, query);
    query->property = saved.property;
    query->resultKind = saved.resultKind;
    query->output = saved.output;
    query->outputSize = saved.outputSize;
    return result;
}

} // namespace

// The output's first bytes are cleared before anything else, up to four of them: a text
// buffer may be shorter than the 32-bit word a number takes.
int WmiStep(WmiConnection* connection, int operation, WmiQuery* query) {
    if (query == nullptr)
        return 0;
    if (query->isNull != nullptr)
        *query->isNull = 0;
    if (query->output != nullptr) {
        size_t clear =
            query->resultKind == WMI_RESULT_TEXT && query->outputSize < 4 ? query->outputSize : 4;
        std::memset(query->output, 0, clear);
    }
    if (operation == WMI_STEP_EXECUTE && !Execute(connection, query))
        return 0;
    if (operation == WMI_STEP_EXECUTE || operation == WMI_STEP_NEXT) {
        if (query->current != nullptr)
            query->current->Release();
        query->current = nullptr;
        ULONG returned = 0;
        if (query->enumerator == nullptr ||
            query->enumerator->Next((LONG)WBEM_INFINITE, 1, &query->current, &returned) != S_OK) {
            return 0;
        }
    }
    if (query->property == nullptr)
        return 1;
    if (operation != WMI_STEP_EXECUTE && operation != WMI_STEP_NEXT && operation != WMI_STEP_READ)
        return 0;
    return Read(query);
}

WmiQuery* WmiOpenNumberQuery(WmiConnection* connection, const WCHAR* query, const WCHAR* property,
                             std::uint32_t* number, std::uint32_t* isNull) {
    return Open(connection, query, property, WMI_RESULT_NUMBER, number, sizeof *number, isNull);
}

WmiQuery* WmiOpenTextQuery(WmiConnection* connection, const WCHAR* query, const WCHAR* property,
                           char* buffer, std::uint32_t bufferSize, std::uint32_t* isNull) {
    return Open(connection, query, property, WMI_RESULT_TEXT, buffer, bufferSize, isNull);
}

int WmiNext(WmiConnection* connection, WmiQuery* query) {
    return WmiStep(connection, WMI_STEP_NEXT, query);
}

int WmiGetNumber(WmiConnection* connection, WmiQuery* query, const WCHAR* property,
                 std::uint32_t* number) {
    return Get(connection, query, property, WMI_RESULT_NUMBER, number, sizeof *number);
}

int WmiGetText(WmiConnection* connection, WmiQuery* query, const WCHAR* property, char* buffer,
               std::uint32_t bufferSize) {
    return Get(connection, query, property, WMI_RESULT_TEXT, buffer, bufferSize);
}

int WmiCloseQuery(WmiConnection*, WmiQuery* query) {
    if (query == nullptr)
        return 0;
    FreeRecord(query);
    return 1;
}

int WmiQueryNumber(WmiConnection* connection, const WCHAR* query, const WCHAR* property,
                   std::uint32_t* number, std::uint32_t* isNull) {
    if (property == nullptr)
        return 0;
    return WmiCloseQuery(connection,
                         WmiOpenNumberQuery(connection, query, property, number, isNull));
}

int WmiQueryText(WmiConnection* connection, const WCHAR* query, const WCHAR* property, char* buffer,
                 std::uint32_t bufferSize, std::uint32_t* isNull) {
    if (property == nullptr)
        return 0;
    return WmiCloseQuery(connection,
                         WmiOpenTextQuery(connection, query, property, buffer, bufferSize, isNull));
}
