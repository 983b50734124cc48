#include "compat/com.h"

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

const IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_IClassFactory = {0x00000001, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_IClientSecurity = {0x0000013D, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

namespace {

// This thread's apartment: entered by the first of comCount calls not yet undone.
thread_local DWORD apartment = COINIT_MULTITHREADED;
thread_local unsigned comCount = 0;
thread_local unsigned oleCount = 0; // OleInitialize calls not yet undone on this thread

struct Registration {
    DWORD cookie;
    CLSID clsid;
    DWORD context;
    IUnknown* factory; // holds one reference until revoked
};

std::mutex registryLock;
std::vector<Registration> registry;
DWORD lastCookie = 0;

// The registered factory for the class, with a reference for the caller, or null.
IUnknown* FindFactory(REFCLSID clsid, DWORD context) {
    std::lock_guard<std::mutex> hold(registryLock);
    for (const Registration& entry : registry) {
        if (entry.clsid == clsid && (entry.context & context) != 0) {
            entry.factory->AddRef();
            return entry.factory;
        }
    }
    return nullptr;
}

} // namespace

HRESULT CoInitializeEx(LPVOID pvReserved, DWORD dwCoInit) {
    if (pvReserved != nullptr)
        return E_INVALIDARG;
    DWORD model = (dwCoInit & COINIT_APARTMENTTHREADED) != 0 ? COINIT_APARTMENTTHREADED
                                                             : COINIT_MULTITHREADED;
    if (comCount > 0 && model != apartment)
        return RPC_E_CHANGED_MODE;
    apartment = model;
    return comCount++ == 0 ? S_OK : S_FALSE;
}

void CoUninitialize() {
    if (comCount > 0)
        --comCount;
}

HRESULT OleInitialize(LPVOID pvReserved) {
    if (pvReserved != nullptr)
        return E_INVALIDARG;
    HRESULT result = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (FAILED(result))
        return result;
    return oleCount++ == 0 ? S_OK : S_FALSE;
}

void OleUninitialize() {
    if (oleCount == 0)
        return;
    --oleCount;
    CoUninitialize();
}

HRESULT CoRegisterClassObject(REFCLSID rclsid, IUnknown* pUnk, DWORD dwClsContext, DWORD,
                              DWORD* lpdwRegister) {
    if (lpdwRegister == nullptr || pUnk == nullptr)
        return E_INVALIDARG;
    *lpdwRegister = 0;
    if (comCount == 0)
        return CO_E_NOTINITIALIZED;
    std::lock_guard<std::mutex> hold(registryLock);
    pUnk->AddRef();
    registry.push_back({++lastCookie, rclsid, dwClsContext, pUnk});
    *lpdwRegister = lastCookie;
    return S_OK;
}

HRESULT CoRevokeClassObject(DWORD dwRegister) {
    IUnknown* factory = nullptr;
    {
        std::lock_guard<std::mutex> hold(registryLock);
        for (auto entry = registry.begin(); entry != registry.end(); ++entry) {
            if (entry->cookie == dwRegister) {
                factory = entry->factory;
                registry.erase(entry);
                break;
            }
        }
    }
    if (factory == nullptr)
        return CO_E_OBJNOTREG;
    // Released outside the lock: the factory may create or revoke in its destructor.
    factory->Release();
    return S_OK;
}

HRESULT CoCreateInstance(REFCLSID rclsid, IUnknown* pUnkOuter, DWORD dwClsContext, REFIID riid,
                         LPVOID* ppv) {
    if (ppv == nullptr)
        return E_POINTER;
    *ppv = nullptr;
    if (comCount == 0)
        return CO_E_NOTINITIALIZED;
    IUnknown* registered = FindFactory(rclsid, dwClsContext);
    if (registered == nullptr)
        return REGDB_E_CLASSNOTREG;
    IClassFactory* factory = nullptr;
    HRESULT result = registered->QueryInterface(IID_IClassFactory, (void**)&factory);
    registered->Release();
    if (FAILED(result))
        return result;
    result = factory->CreateInstance(pUnkOuter, riid, ppv);
    factory->Release();
    return result;
}

HRESULT CoSetProxyBlanket(IUnknown* pProxy, DWORD dwAuthnSvc, DWORD dwAuthzSvc,
                          OLECHAR* pServerPrincName, DWORD dwAuthnLevel, DWORD dwImpLevel,
                          RPC_AUTH_IDENTITY_HANDLE pAuthInfo, DWORD dwCapabilities) {
    if (pProxy == nullptr)
        return E_INVALIDARG;
    IClientSecurity* security = nullptr;
    HRESULT result = pProxy->QueryInterface(IID_IClientSecurity, (void**)&security);
    if (FAILED(result))
        return result;
    result = security->SetBlanket(pProxy, dwAuthnSvc, dwAuthzSvc, pServerPrincName, dwAuthnLevel,
                                  dwImpLevel, pAuthInfo, dwCapabilities);
    security->Release();
    return result;
}

BSTR SysAllocStringLen(const OLECHAR* text, UINT length) {
    // The prefix holds the byte length in 32 bits, which bounds the character count.
    if (length > (0xFFFFFFFFu - sizeof(DWORD) - sizeof(OLECHAR)) / sizeof(OLECHAR))
        return nullptr;
    auto* block = static_cast<unsigned char*>(
        std::malloc(sizeof(DWORD) + (static_cast<size_t>(length) + 1) * sizeof(OLECHAR)));
    if (block == nullptr)
        return nullptr;
    DWORD bytes = length * static_cast<DWORD>(sizeof(OLECHAR));
    std::memcpy(block, &bytes, sizeof bytes);
    auto* characters = reinterpret_cast<BSTR>(block + sizeof(DWORD));
    if (text != nullptr)
        std::memcpy(characters, text, length * sizeof(OLECHAR));
    characters[length] = 0;
    return characters;
}

BSTR SysAllocString(const OLECHAR* text) {
    if (text == nullptr)
        return nullptr;
    UINT length = 0;
    while (text[length] != 0)
        ++length;
    return SysAllocStringLen(text, length);
}

void SysFreeString(BSTR text) {
    if (text != nullptr)
        std::free(reinterpret_cast<unsigned char*>(text) - sizeof(DWORD));
}

UINT SysStringLen(BSTR text) {
    if (text == nullptr)
        return 0;
    DWORD bytes;
    std::memcpy(&bytes, reinterpret_cast<unsigned char*>(text) - sizeof(DWORD), sizeof bytes);
    return bytes / sizeof(OLECHAR);
}

void VariantInit(VARIANT* value) {
    if (value != nullptr)
        value->vt = VT_EMPTY;
}

HRESULT VariantClear(VARIANT* value) {
    if (value == nullptr)
        return E_INVALIDARG;
    if (value->vt == VT_BSTR)
        SysFreeString(value->bstrVal);
    else if ((value->vt == VT_UNKNOWN || value->vt == VT_DISPATCH) && value->punkVal != nullptr)
        value->punkVal->Release();
    value->vt = VT_EMPTY;
    return S_OK;
}
