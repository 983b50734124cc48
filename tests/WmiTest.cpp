// WMI access against what the platform offers: the system's WMI on Windows (ROOT\CIMV2),
// and natively no WMI at all, where connecting must fail cleanly. Branches that need
// scripted answers are covered against a stand-in provider in WmiStandInTest.cpp.
#include <cstring>
#include <string>

#include "TestHelpers.h"
#include "wmi/Wmi.h"

namespace {

// The next OleInitialize on this thread is the first one: nothing was left initialised.
void ExpectOleBalanced() {
    EXPECT_EQ(S_OK, OleInitialize(nullptr));
    OleUninitialize();
}

// What compat/ offers of COM answers as Windows does.
TEST(Wmi, ComCallsAnswerAsOnWindows) {
    const CLSID unregistered = {0x6B1D5E2A, 0x4C7F, 0x4E21, {0x9A, 1, 2, 3, 4, 5, 6, 7}};
    ASSERT_EQ(S_OK, OleInitialize(nullptr));
    EXPECT_EQ(S_FALSE, OleInitialize(nullptr));
    OleUninitialize();
    void* object = &object;
    EXPECT_EQ(REGDB_E_CLASSNOTREG,
              CoCreateInstance(unregistered, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object));
    EXPECT_EQ(nullptr, object);
    OleUninitialize();
    VARIANT value;
    value.vt = VT_BSTR;
    value.bstrVal = SysAllocStringLen(L"abc", 2);
    EXPECT_EQ(2u, SysStringLen(value.bstrVal));
    EXPECT_STREQ(L"ab", value.bstrVal);
    EXPECT_EQ(S_OK, VariantClear(&value));
    EXPECT_EQ(VT_EMPTY, value.vt);
    char text[4] = "xyz";
    EXPECT_EQ(4, WideCharToMultiByte(CP_ACP, 0, L"abc", -1, nullptr, 0, nullptr, nullptr));
    EXPECT_EQ(2, WideCharToMultiByte(CP_UTF8, 0, L"ab", 2, text, 2, nullptr, nullptr));
    EXPECT_STREQ("abz", text);
    EXPECT_EQ(0, WideCharToMultiByte(CP_UTF8, 0, L"abc", 3, text, 2, nullptr, nullptr));
}

TEST(Wmi, WideToMultiByteRefusesNullArgumentsAndTextsThatDoNotFit) {
    struct {
        bool buffer;
        const wchar_t* text;
        std::uint32_t size;
        UINT codePage;
        bool converted;
        const char* result;
    } cases[] = {
        {true, L"Caption", 8, CP_ACP, true, "Caption"},
        {true, L"Caption", 8, CP_UTF8, true, "Caption"},
        {true, L"", 1, CP_ACP, true, ""},
        {true, L"Caption", 7, CP_ACP, false, ""},
        {true, L"Caption", 0, CP_ACP, false, "xxxxxxxx"},
        {true, nullptr, 8, CP_ACP, false, "xxxxxxxx"},
        {false, L"Caption", 8, CP_ACP, false, "xxxxxxxx"},
    };
    FOR_EACH_CASE(c, cases) {
        char buffer[9] = "xxxxxxxx";
        char* result = WideToMultiByte(c.buffer ? buffer : nullptr, c.text, c.size, c.codePage);
        EXPECT_EQ(c.converted ? buffer : nullptr, result);
        EXPECT_STREQ(c.result, buffer);
    }
}

TEST(Wmi, RefusalsAndAMissingNamespaceLeaveNothingBehind) {
    WmiConnection connection{nullptr, nullptr};
    std::uint32_t number = 5;
    EXPECT_EQ(E_INVALIDARG,
              WmiSetProxyBlanket(&connection, nullptr, nullptr, nullptr, nullptr, 1, 2));
    EXPECT_EQ(nullptr, WmiOpenNumberQuery(&connection, nullptr, L"Caption", &number, nullptr));
    EXPECT_EQ(nullptr, WmiOpenTextQuery(&connection, L"Win32_OperatingSystem", L"Caption", nullptr,
                                        4, nullptr));
    EXPECT_EQ(0, WmiQueryNumber(&connection, L"Win32_OperatingSystem", nullptr, &number, nullptr));
    EXPECT_EQ(0, WmiConnect(&connection, L"ROOT\\NoSuchNamespace"));
    EXPECT_EQ(nullptr, connection.services);
    EXPECT_EQ(nullptr, connection.locator);
    ExpectOleBalanced();
}

// Connected to ROOT\CIMV2 where the system has WMI; natively the connect must fail as
// nothing provides the locator, and the test ends there.
class HostWmi : public ::testing::Test {
protected:
    void SetUp() override {
        int connected = WmiConnect(&connection, L"ROOT\\CIMV2");
#ifdef _WIN32
        ASSERT_EQ(1, connected);
#else
        EXPECT_EQ(0, connected);
        EXPECT_EQ(nullptr, connection.services);
        ExpectOleBalanced();
        GTEST_SKIP() << "no WMI provider natively";
#endif
    }
    void TearDown() override {
        if (connection.services != nullptr) {
            EXPECT_EQ(1, WmiDisconnect(&connection));
            ExpectOleBalanced();
        }
    }

    WmiConnection connection{nullptr, nullptr};
};

TEST_F(HostWmi, ClassNameAndFullQueryReadTheOnlyObject) {
    char byClass[256], byQuery[256], version[64];
    std::uint32_t typeByClass = 0, typeByQuery = 0, isNull = 7;
    EXPECT_EQ(1, WmiQueryText(&connection, L"Win32_OperatingSystem", L"Caption", byClass,
                              sizeof byClass, &isNull));
    EXPECT_EQ(0u, isNull);
    EXPECT_EQ(0, std::strncmp(byClass, "Microsoft Windows", 17)) << byClass;
    EXPECT_EQ(1, WmiQueryNumber(&connection, L"Win32_OperatingSystem", L"ProductType", &typeByClass,
                                nullptr));
    EXPECT_EQ(1, WmiQueryNumber(&connection, L"select ProductType from Win32_OperatingSystem",
                                L"ProductType", &typeByQuery, nullptr));
    EXPECT_EQ(typeByClass, typeByQuery);
#ifdef _WIN32
    OSVERSIONINFOEXA os{};
    os.dwOSVersionInfoSize = sizeof os;
    ASSERT_TRUE(GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&os)));
    EXPECT_EQ(os.wProductType, typeByClass);
#endif
    WmiQuery* query = WmiOpenTextQuery(&connection, L"SELECT * FROM Win32_OperatingSystem",
                                       L"Caption", byQuery, sizeof byQuery, nullptr);
    ASSERT_NE(nullptr, query);
    EXPECT_STREQ(byClass, byQuery);
    EXPECT_EQ(1, WmiGetText(&connection, query, L"Version", version, sizeof version));
    EXPECT_NE(nullptr, std::strchr(version, '.')) << version;
    EXPECT_EQ(0, WmiNext(&connection, query));
    EXPECT_STREQ("", byQuery);
    EXPECT_EQ(1, WmiCloseQuery(&connection, query));
}

TEST_F(HostWmi, NullFlagAndTextsCutAtTheBufferSize) {
    char whole[256], cut[256];
    std::memset(cut, 'x', sizeof cut);
    std::uint32_t isNull = 7;
    EXPECT_EQ(1, WmiQueryText(&connection, L"Win32_BIOS", L"CurrentLanguage", cut, 8, &isNull));
    EXPECT_EQ(1u, isNull);
    EXPECT_EQ(0, std::memcmp(cut, "\0\0\0\0xxxx", 8));
    ASSERT_EQ(1, WmiQueryText(&connection, L"Win32_OperatingSystem", L"Caption", whole,
                              sizeof whole, nullptr));
    auto length = static_cast<std::uint32_t>(std::strlen(whole));
    ASSERT_GT(length, 1u);
    EXPECT_EQ(
        0, WmiQueryText(&connection, L"Win32_OperatingSystem", L"Caption", cut, length, nullptr));
    EXPECT_EQ(std::string(whole, length - 1), cut);
    EXPECT_EQ('x', cut[length]);
    EXPECT_EQ(1, WmiQueryText(&connection, L"Win32_OperatingSystem", L"Caption", cut, length + 1,
                              nullptr));
    EXPECT_STREQ(whole, cut);
}

#ifdef _WIN32
// StdRegProv.GetStringValue reads back a registry value the test wrote itself.
TEST_F(HostWmi, RegistryProviderMethodReadsAValue) {
    const char* keyName = "Software\\kivupdate-wmi-test";
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, keyName, 0, nullptr, 0,
                                             KEY_ALL_ACCESS, nullptr, &key, nullptr));
    const char stored[] = "written by the test";
    RegSetValueExA(key, "Value", 0, REG_SZ, reinterpret_cast<const BYTE*>(stored), sizeof stored);
    RegCloseKey(key);

    BSTR className = SysAllocString(L"StdRegProv");
    IWbemClassObject* provider = nullptr;
    ASSERT_EQ(S_OK, connection.services->GetObject(className, 0, nullptr, &provider, nullptr));
    SysFreeString(className);
    ::testing::internal::CaptureStdout();
    WmiMethodCall* call = WmiPrepareMethod(&connection, provider, L"GetStringValue");
    std::string lines = ::testing::internal::GetCapturedStdout();
    provider->Release();
    ASSERT_NE(nullptr, call);
    ASSERT_NE(nullptr, call->inParams);
    // Windows declares hDefKey as uint32, Wine as sint32: both are "unknown" types.
    EXPECT_EQ(0u, lines.find("Parameter: hDefKey   Type=unknown (0x")) << lines;
    EXPECT_NE(std::string::npos, lines.find(")\nParameter: sSubKeyName   Type=BSTR (0x8)\n"
                                            "Parameter: sValueName   Type=BSTR (0x8)\n"))
        << lines;

    auto put = [call](const wchar_t* name, VARTYPE vt, const wchar_t* text) {
        VARIANT value;
        value.vt = vt;
        if (vt == VT_BSTR)
            value.bstrVal = SysAllocString(text);
        else
            value.lVal = static_cast<LONG>(0x80000001); // HKEY_CURRENT_USER
        EXPECT_EQ(S_OK, call->inParams->Put(name, 0, &value, 0));
        VariantClear(&value);
    };
    const wchar_t* cases[] = {L"Value", L"Missing"};
    FOR_EACH_CASE(c, cases) {
        put(L"hDefKey", VT_I4, nullptr);
        put(L"sSubKeyName", VT_BSTR, L"Software\\kivupdate-wmi-test");
        put(L"sValueName", VT_BSTR, c);
        bool found = caseIndex == 0;
        EXPECT_EQ(found ? 0u : ERROR_FILE_NOT_FOUND, WmiExecMethod(&connection, call, 0xDEAD));
        ASSERT_NE(nullptr, call->outParams);
        VARIANT value;
        VariantInit(&value);
        EXPECT_EQ(S_OK, call->outParams->Get(L"sValue", 0, &value, nullptr, nullptr));
        if (found) {
            char text[64] = "";
            ASSERT_EQ(VT_BSTR, value.vt);
            EXPECT_STREQ(stored, WideToMultiByte(text, value.bstrVal, sizeof text, CP_ACP));
        }
        VariantClear(&value);
    }
    WmiFreeMethod(&call);
    EXPECT_EQ(nullptr, call);
    RegDeleteKeyA(HKEY_CURRENT_USER, keyName);
}
#endif

} // namespace
