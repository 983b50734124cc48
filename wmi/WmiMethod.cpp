// Method calls on WMI objects.
#include "wmi/Wmi.h"

#include <cstdio>
#include <cstdlib>

namespace {

// The flag part of a parameter type as shown in the "Parameter: " lines.
const char* FlagName(CIMTYPE type) {
    switch (type & ~0xFFF) {
    case 0x1000:
        return "VECTOR | ";
    case 0x2000:
        return "ARRAY | ";
    case 0x4000:
        return "BYREF | ";
    case 0x8000:
        return "RESERVED | ";
    default:
        return "unknown | ";
    }
}

const char* BaseName(CIMTYPE type) {
    switch (type & 0xFFF) {
    case 8:
        return "BSTR";
    case 12:
        return "VARIANT";
    case 18:
        return "UI2";
    default:
        return "unknown";
    }
}

// Lists the instance's own properties, the in-parameters of the method.
void ShowParameters(IWbemClassObject* parameters) {
    if (FAILED(parameters->BeginEnumeration(WBEM_FLAG_NONSYSTEM_ONLY)))
        return;
    for (;;) {
        BSTR name = nullptr;
        CIMTYPE type = 0;
        VARIANT value;
        VariantInit(&value);
        HRESULT result = parameters->Next(0, &name, &value, &type, nullptr);
        VariantClear(&value);
        if (result != S_OK || name == nullptr) {
            SysFreeString(name);
            break;
        }
        // Sized to the name, so that long names are shown whole.
        int size = WideCharToMultiByte(CP_ACP, 0, name, -1, nullptr, 0, nullptr, nullptr);
        char* text =
            size > 0 ? static_cast<char*>(std::malloc(static_cast<size_t>(size))) : nullptr;
        if (text != nullptr)
            WideToMultiByte(text, name, static_cast<std::uint32_t>(size), CP_ACP);
        SysFreeString(name);
        std::printf("Parameter: %s   Type=", text != nullptr ? text : "");
        std::free(text);
        if ((type & ~0xFFF) != 0)
            std::printf("%s", FlagName(type));
        std::printf("%s (0x%x)\n", BaseName(type), static_cast<unsigned>(type));
    }
    parameters->EndEnumeration();
}

// A "__CLASS" or "__RELPATH" value, which must be a text.
bool GetPath(IWbemClassObject* object, const WCHAR* name, VARIANT* value) {
    return SUCCEEDED(object->Get(name, 0, value, nullptr, nullptr)) && value->vt == VT_BSTR &&
           value->bstrVal != nullptr;
}

// The in-parameter instance of the method (left null when it takes none).
bool SpawnParameters(WmiConnection* connection, WmiMethodCall* call) {
    IWbemClassObject* definition = nullptr;
    if (FAILED(connection->services->GetObject(call->className.bstrVal, 0, nullptr, &definition,
                                               nullptr)) ||
        definition == nullptr)
        return false;
    IWbemClassObject* signature = nullptr;
    bool ok = SUCCEEDED(definition->GetMethod(call->methodName, 0, &signature, nullptr));
    if (ok && signature != nullptr) {
        ok = SUCCEEDED(signature->SpawnInstance(0, &call->inParams)) && call->inParams != nullptr;
        if (ok)
            ShowParameters(call->inParams);
        signature->Release();
    }
    definition->Release();
    return ok;
}

} // namespace

// The class name and relative path must be texts: the class definition is looked up and
// the method called by them.
WmiMethodCall* WmiPrepareMethod(WmiConnection* connection, IWbemClassObject* object,
                                const WCHAR* methodName) {
    if (connection == nullptr || connection->services == nullptr || object == nullptr ||
        methodName == nullptr)
        return nullptr;
    auto* call = static_cast<WmiMethodCall*>(std::calloc(1, sizeof(WmiMethodCall)));
    if (call == nullptr)
        return nullptr;
    VariantInit(&call->className);
    VariantInit(&call->relativePath);
    call->methodName = SysAllocString(methodName);
    if (call->methodName == nullptr || !GetPath(object, L"__CLASS", &call->className) ||
        !GetPath(object, L"__RELPATH", &call->relativePath) || !SpawnParameters(connection, call)) {
        WmiFreeMethod(&call);
    }
    return call;
}

std::uint32_t WmiExecMethod(WmiConnection* connection, WmiMethodCall* methodCall,
                            std::uint32_t defaultResult) {
    if (connection == nullptr || connection->services == nullptr || methodCall == nullptr)
        return defaultResult;
    if (methodCall->outParams != nullptr)
        methodCall->outParams->Release();
    methodCall->outParams = nullptr;
    if (FAILED(connection->services->ExecMethod(
            methodCall->relativePath.bstrVal, methodCall->methodName, 0, nullptr,
            methodCall->inParams, &methodCall->outParams, nullptr)) ||
        methodCall->outParams == nullptr)
        return defaultResult;
    VARIANT value;
    VariantInit(&value);
    std::uint32_t result = defaultResult;
    if (SUCCEEDED(methodCall->outParams->Get(L"ReturnValue", 0, &value, nullptr, nullptr))) {
        if (value.vt == VT_I4 || value.vt == VT_UI4 || value.vt == VT_INT || value.vt == VT_UINT)
            result = static_cast<std::uint32_t>(value.lVal);
        VariantClear(&value);
    }
    return result;
}

void WmiFreeMethod(WmiMethodCall** methodCall) {
    if (methodCall == nullptr || *methodCall == nullptr)
        return;
    WmiMethodCall* call = *methodCall;
    SysFreeString(call->methodName);
    VariantClear(&call->className);
    VariantClear(&call->relativePath);
    if (call->inParams != nullptr)
        call->inParams->Release();
    if (call->outParams != nullptr)
        call->outParams->Release();
    std::free(call);
    *methodCall = nullptr;
}
