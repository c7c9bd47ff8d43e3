// The COM stand-in: BSTR, class identifiers, VARIANT conversions, IDispatch
// tables and the driver, creation through the registry, registration, the
// registration tool, connection points and module counts.

#include "TestSupport.h"

#include "platform/com.h"
#include "platform/dispatch.h"
#include "platform/module.h"
#include "platform/ole.h"
#include "platform/registry.h"
#include "platform/window.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>

namespace {

constexpr CLSID kProbeClass{0x1F2E3D4C, 0x5B6A, 0x4978, {0x86, 0x95, 0xA4, 0xB3, 0xC2, 0xD1, 0xE0, 0xF1}};

std::string probeLibrary()
{
    return vxtest::programDirectory() + "/libvx_com_probe.so";
}

// Runs the registration tool with `arguments`; its exit status.
int runRegistrationTool(const std::string& arguments, const std::string& registry = "")
{
    std::string command;
    if (!registry.empty())
        command = "VX_REGISTRY='" + registry + "' ";
    command += "'" + vxtest::programDirectory() + "/vxregsvr' " + arguments + " >/dev/null 2>&1";
    const int status = std::system(command.c_str());
    return status < 0 ? -1 : (status >> 8) & 0xFF;
}

bool classesKeyExists(const std::string& key)
{
    HKEY handle = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS)
        return false;
    RegCloseKey(handle);
    return true;
}

std::string classesText(const std::string& key, const char* name = nullptr)
{
    HKEY handle = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS)
        return "<no key>";
    char buffer[600] = {};
    DWORD size = sizeof buffer - 1;
    DWORD type = 0;
    const LONG status = RegQueryValueExA(handle, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(handle);
    return status == ERROR_SUCCESS ? std::string(buffer) : "<no value>";
}

// A created probe, released at the end.
struct ProbeObject {
    IDispatch* dispatch = nullptr;
    ProbeObject()
    {
        EXPECT_EQ(runRegistrationTool("'" + probeLibrary() + "'"), 0);
        CLSID clsid{};
        EXPECT_EQ(CLSIDFromProgID(u"VX.ComProbe", &clsid), S_OK);
        EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                   reinterpret_cast<void**>(&dispatch)),
                  S_OK);
    }
    ~ProbeObject()
    {
        if (dispatch != nullptr)
            dispatch->Release();
    }
};

TEST(Bstr, KeepsItsLengthWithEmbeddedNulsAndTreatsNullAsEmpty)
{
    const char16_t text[] = {u'a', u'\0', u'b'};
    BSTR value = SysAllocStringLen(text, 3);
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(SysStringLen(value), 3u);
    EXPECT_EQ(std::u16string(value, 3), std::u16string(text, 3));
    EXPECT_EQ(value[3], u'\0');

    // Re-allocating from a part of itself.
    ASSERT_TRUE(SysReAllocStringLen(&value, value + 2, 1));
    EXPECT_EQ(SysStringLen(value), 1u);
    EXPECT_EQ(value[0], u'b');
    SysFreeString(value);

    EXPECT_EQ(SysStringLen(nullptr), 0u);
    EXPECT_EQ(SysAllocString(nullptr), nullptr);
    SysFreeString(nullptr);
    BSTR zeros = SysAllocStringLen(nullptr, 2);
    EXPECT_EQ(SysStringLen(zeros), 2u);
    EXPECT_EQ(zeros[0], u'\0');
    SysFreeString(zeros);
}

TEST(ClassIdentifiers, RoundTripThroughTheirTextAndRefuseMalformedOnes)
{
    OLECHAR text[39];
    ASSERT_EQ(StringFromGUID2(kProbeClass, text, 39), 39);
    EXPECT_EQ(std::u16string(text), u"{1F2E3D4C-5B6A-4978-8695-A4B3C2D1E0F1}");
    EXPECT_EQ(StringFromGUID2(kProbeClass, text, 38), 0);
    CLSID parsed{};
    ASSERT_EQ(CLSIDFromString(u"{1f2e3d4c-5b6a-4978-8695-a4b3c2d1e0f1}", &parsed), S_OK);
    EXPECT_TRUE(parsed == kProbeClass);
    for (const char16_t* bad : {u"", u"1F2E3D4C-5B6A-4978-8695-A4B3C2D1E0F1", u"{1F2E3D4C-5B6A-4978-8695-A4B3C2D1E0F}",
                                u"{1F2E3D4C+5B6A-4978-8695-A4B3C2D1E0F1}", u"{1F2E3D4C-5B6A-4978-8695-A4B3C2D1E0GX}"})
        EXPECT_EQ(CLSIDFromString(bad, &parsed), CO_E_CLASSSTRING) << platform::latin1FromOle(bad);
}

TEST(Variants, ConvertAsTheDispatchTablesNeed)
{
    struct Case {
        VARIANT source;
        VARTYPE type;
        HRESULT status;
        LONG number;
    };
    LONG referenced = 77;
    auto number = [](VARTYPE vt, LONG value) {
        VARIANT v{};
        v.vt = vt;
        if (vt == VT_I2)
            v.iVal = static_cast<short>(value);
        else if (vt == VT_BOOL)
            v.boolVal = static_cast<VARIANT_BOOL>(value);
        else
            v.lVal = value;
        return v;
    };
    VARIANT byReference{};
    byReference.vt = VT_I4 | VT_BYREF;
    byReference.plVal = &referenced;
    const Case cases[] = {
        {number(VT_I2, -5), VT_I4, S_OK, -5},
        {number(VT_BOOL, VARIANT_TRUE), VT_I4, S_OK, -1},
        {number(VT_I4, 9), VT_BOOL, S_OK, VARIANT_TRUE},
        {number(VT_I4, 0), VT_BOOL, S_OK, VARIANT_FALSE},
        {number(VT_I4, 40000), VT_I2, DISP_E_OVERFLOW, 0},
        {byReference, VT_I4, S_OK, 77},
        {number(VT_EMPTY, 0), VT_I4, DISP_E_TYPEMISMATCH, 0},
    };
    for (const Case& c : cases) {
        VARIANT result;
        VariantInit(&result);
        EXPECT_EQ(VariantChangeType(&result, &c.source, 0, c.type), c.status) << c.source.vt << "->" << c.type;
        if (c.status == S_OK) {
            EXPECT_EQ(result.vt, c.type);
            LONG value = 0;
            ASSERT_EQ(platform::variantToI4(result, &value), S_OK);
            EXPECT_EQ(value, c.number);
        }
    }

    VARIANT text{};
    text.vt = VT_BSTR;
    text.bstrVal = platform::bstrFromAnsi(" 123 ");
    LONG value = 0;
    EXPECT_EQ(platform::variantToI4(text, &value), S_OK);
    EXPECT_EQ(value, 123);
    VariantClear(&text);
    text.vt = VT_BSTR;
    text.bstrVal = platform::bstrFromAnsi("12x");
    EXPECT_EQ(platform::variantToI4(text, &value), DISP_E_TYPEMISMATCH);
    VariantClear(&text);
    EXPECT_EQ(text.vt, VT_EMPTY);

    std::string narrow;
    EXPECT_EQ(platform::variantToLatin1(number(VT_I4, -42), &narrow), S_OK);
    EXPECT_EQ(narrow, "-42");
}

TEST(LatinText, EveryByteRoundTripsAndWideCharactersBecomeQuestionMarks)
{
    std::string bytes;
    for (int c = 0; c < 256; ++c)
        bytes += static_cast<char>(c);
    BSTR text = platform::bstrFromAnsi(bytes);
    EXPECT_EQ(SysStringLen(text), 256u);
    EXPECT_EQ(platform::ansiFromBstr(text), bytes);
    SysFreeString(text);
    EXPECT_EQ(platform::latin1FromOle(u"a\u20ACb"), "a?b");
}

TEST(DispatchTables, FindNamesWithoutCaseAndCallWithArgumentsInTheirOrder)
{
    ProbeObject probe;
    ASSERT_NE(probe.dispatch, nullptr);
    platform::DispatchDriver driver(probe.dispatch, false);

    DISPID id = 0;
    EXPECT_EQ(driver.idOf(std::string_view("sUBTRACT"), &id), S_OK);
    EXPECT_EQ(id, 1);
    EXPECT_EQ(driver.idOf(std::string_view("Subtracts"), &id), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(id, DISPID_UNKNOWN);

    LONG difference = 0;
    EXPECT_EQ(driver.callI4(1, {platform::DispatchArg::i4(10), platform::DispatchArg::i4(3)}, &difference), S_OK);
    EXPECT_EQ(difference, 7);
    // By-value arguments convert: a short and a boolean where numbers are due.
    EXPECT_EQ(driver.callI4(1, {platform::DispatchArg::i2(4), platform::DispatchArg::boolean(true)}, &difference), S_OK);
    EXPECT_EQ(difference, 5);

    // Texts carry every byte, NULs included.
    VARIANT result;
    const std::string text("a\0\xE9", 3);
    EXPECT_EQ(driver.invokeByName("Echo", DISPATCH_METHOD, {platform::DispatchArg::latin1(text)}, &result), S_OK);
    ASSERT_EQ(result.vt, VT_BSTR);
    EXPECT_EQ(platform::ansiFromBstr(result.bstrVal), "3:" + text);
    VariantClear(&result);

    // By-reference arguments come back changed.
    LONG number = 21;
    BSTR doubled = platform::bstrFromAnsi("ab");
    EXPECT_EQ(driver.invoke(3, DISPATCH_METHOD,
                            {platform::DispatchArg::i4Ref(&number), platform::DispatchArg::bstrRef(&doubled)}, nullptr),
              S_OK);
    EXPECT_EQ(number, 42);
    EXPECT_EQ(platform::ansiFromBstr(doubled), "abab");
    SysFreeString(doubled);

    // A property: put with DISPID_PROPERTYPUT, get back.
    EXPECT_EQ(driver.invoke(5, DISPATCH_PROPERTYPUT, {platform::DispatchArg::i4(314)}, nullptr), S_OK);
    EXPECT_EQ(driver.invoke(5, DISPATCH_PROPERTYGET, {}, &result), S_OK);
    EXPECT_EQ(result.vt, VT_I4);
    EXPECT_EQ(result.lVal, 314);
    EXPECT_EQ(driver.invoke(6, DISPATCH_METHOD, {platform::DispatchArg::boolean(true), platform::DispatchArg::i2(2)},
                            &result),
              S_OK);
    EXPECT_EQ(result.vt, VT_BOOL);
    EXPECT_EQ(result.boolVal, VARIANT_TRUE);
}

TEST(DispatchTables, RefuseWrongCallsWithTheirDispatchCodes)
{
    ProbeObject probe;
    ASSERT_NE(probe.dispatch, nullptr);
    platform::DispatchDriver driver(probe.dispatch, false);
    LONG number = 1;
    BSTR text = nullptr;
    struct Case {
        const char* what;
        DISPID id;
        WORD flags;
        std::vector<platform::DispatchArg> args;
        HRESULT status;
        UINT argumentError;  // index in DISPPARAMS (last argument first)
    };
    const Case cases[] = {
        {"unknown id", 99, DISPATCH_METHOD, {}, DISP_E_MEMBERNOTFOUND, 0},
        {"method put as a property", 1, DISPATCH_PROPERTYPUT, {platform::DispatchArg::i4(1)}, DISP_E_MEMBERNOTFOUND,
         0},
        {"too few", 1, DISPATCH_METHOD, {platform::DispatchArg::i4(1)}, DISP_E_BADPARAMCOUNT, 0},
        {"too many", 5, DISPATCH_PROPERTYGET, {platform::DispatchArg::i4(1)}, DISP_E_BADPARAMCOUNT, 0},
        {"text for a number, first argument", 1, DISPATCH_METHOD,
         {platform::DispatchArg::latin1("x"), platform::DispatchArg::i4(1)}, DISP_E_TYPEMISMATCH, 1},
        {"number where a by-reference text is due", 3, DISPATCH_METHOD,
         {platform::DispatchArg::i4Ref(&number), platform::DispatchArg::i4(2)}, DISP_E_TYPEMISMATCH, 0},
        {"by-value number for a by-reference one", 3, DISPATCH_METHOD,
         {platform::DispatchArg::i4(2), platform::DispatchArg::bstrRef(&text)}, DISP_E_TYPEMISMATCH, 1},
        {"short overflow", 6, DISPATCH_METHOD,
         {platform::DispatchArg::boolean(true), platform::DispatchArg::i4(70000)}, DISP_E_OVERFLOW, 0},
        {"thrown exception", 4, DISPATCH_METHOD, {}, DISP_E_EXCEPTION, 0},
        {"handler's own answer", 7, DISPATCH_METHOD, {}, E_NOTIMPL, 0},
    };
    for (const Case& c : cases) {
        UINT argumentError = 12345;
        VARIANT result;
        EXPECT_EQ(driver.invoke(c.id, c.flags, c.args, &result, LOCALE_USER_DEFAULT, &argumentError), c.status)
            << c.what;
        if (c.status == DISP_E_TYPEMISMATCH || c.status == DISP_E_OVERFLOW) {
            EXPECT_EQ(argumentError, c.argumentError) << c.what;
        }
        VariantClear(&result);
    }

    // Named arguments other than a put's value.
    VARIANT arg{};
    arg.vt = VT_I4;
    arg.lVal = 1;
    DISPID named = 0;
    DISPPARAMS params{&arg, &named, 1, 1};
    EXPECT_EQ(probe.dispatch->Invoke(5, IID_NULL, 0, DISPATCH_PROPERTYPUT, &params, nullptr, nullptr, nullptr),
              DISP_E_NONAMEDARGS);
    DISPPARAMS unnamed{&arg, nullptr, 1, 0};
    EXPECT_EQ(probe.dispatch->Invoke(5, IID_NULL, 0, DISPATCH_PROPERTYPUT, &unnamed, nullptr, nullptr, nullptr),
              DISP_E_PARAMNOTFOUND);
    EXPECT_EQ(probe.dispatch->Invoke(1, IID_IDispatch, 0, DISPATCH_METHOD, nullptr, nullptr, nullptr, nullptr),
              DISP_E_UNKNOWNINTERFACE);

    // The exception's text comes back in the EXCEPINFO.
    EXCEPINFO exception{};
    DISPPARAMS empty{nullptr, nullptr, 0, 0};
    EXPECT_EQ(probe.dispatch->Invoke(4, IID_NULL, 0, DISPATCH_METHOD, &empty, nullptr, &exception, nullptr),
              DISP_E_EXCEPTION);
    EXPECT_EQ(platform::ansiFromBstr(exception.bstrDescription), "probe failure");
    SysFreeString(exception.bstrDescription);

    platform::DispatchDriver nobody;
    EXPECT_EQ(nobody.invoke(1, DISPATCH_METHOD, {}, nullptr), E_POINTER);
}

TEST(Creation, FindsTheClassThroughTheRegistryAndReportsEachMissingStep)
{
    CLSID clsid{};
    IUnknown* object = nullptr;
    EXPECT_EQ(CLSIDFromProgID(u"VX.ComProbe", &clsid), CO_E_CLASSSTRING);
    EXPECT_EQ(CoCreateInstance(kProbeClass, nullptr, CLSCTX_ALL, IID_IUnknown, reinterpret_cast<void**>(&object)),
              REGDB_E_CLASSNOTREG);

    const std::string classKey = "CLSID\\" + platform::stringFromGuid(kProbeClass);
    auto registerPath = [&](const std::string& path) {
        ASSERT_EQ(platform::registerClassesEntries({{classKey + "\\InprocServer32", std::nullopt, path}}), S_OK);
    };
    registerPath(vxtest::programDirectory() + "/libvx_no_such_library.so");
    EXPECT_EQ(CoCreateInstance(kProbeClass, nullptr, CLSCTX_ALL, IID_IUnknown, reinterpret_cast<void**>(&object)),
              HRESULT_FROM_WIN32(126));
    registerPath(vxtest::programDirectory() + "/libvx_module_probe.so");  // no DllGetClassObject
    EXPECT_EQ(CoCreateInstance(kProbeClass, nullptr, CLSCTX_ALL, IID_IUnknown, reinterpret_cast<void**>(&object)),
              CO_E_ERRORINDLL);
    registerPath(probeLibrary());
    EXPECT_EQ(CoCreateInstance(kProbeClass, nullptr, CLSCTX_LOCAL_SERVER, IID_IUnknown,
                               reinterpret_cast<void**>(&object)),
              REGDB_E_CLASSNOTREG);
    IClassFactory* notAnObject = nullptr;
    EXPECT_EQ(CoCreateInstance(kProbeClass, nullptr, CLSCTX_ALL, IID_IClassFactory,
                               reinterpret_cast<void**>(&notAnObject)),
              E_NOINTERFACE);
    EXPECT_EQ(notAnObject, nullptr);
    ASSERT_EQ(CoCreateInstance(kProbeClass, nullptr, CLSCTX_ALL, IID_IUnknown, reinterpret_cast<void**>(&object)),
              S_OK);
    object->Release();
}

TEST(Creation, TheLibraryCountsObjectsAndLocksForItsUnloadAnswer)
{
    ProbeObject probe;
    ASSERT_NE(probe.dispatch, nullptr);
    HMODULE library = LoadLibraryA(probeLibrary().c_str());
    ASSERT_NE(library, nullptr);
    const auto canUnload = reinterpret_cast<DllCanUnloadNowFunction>(GetProcAddress(library, "DllCanUnloadNow"));
    const auto getClass = reinterpret_cast<DllGetClassObjectFunction>(GetProcAddress(library, "DllGetClassObject"));
    ASSERT_NE(canUnload, nullptr);
    ASSERT_NE(getClass, nullptr);
    EXPECT_EQ(canUnload(), S_FALSE);  // the probe lives
    probe.dispatch->Release();
    probe.dispatch = nullptr;
    EXPECT_EQ(canUnload(), S_OK);

    IClassFactory* factory = nullptr;
    ASSERT_EQ(getClass(kProbeClass, IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    EXPECT_EQ(canUnload(), S_FALSE);
    IUnknown* aggregated = nullptr;
    EXPECT_EQ(factory->CreateInstance(reinterpret_cast<IUnknown*>(factory), IID_IUnknown,
                                      reinterpret_cast<void**>(&aggregated)),
              CLASS_E_NOAGGREGATION);
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    EXPECT_EQ(canUnload(), S_OK);
    factory->Release();
    EXPECT_EQ(getClass(IID_IDispatch, IID_IClassFactory, reinterpret_cast<void**>(&factory)), CLASS_E_CLASSNOTAVAILABLE);
    FreeLibrary(library);
}

TEST(RegistrationTool, RegistersAndUnregistersByPathAndFailsOnAFailedAnswer)
{
    const std::string classKey = "CLSID\\" + platform::stringFromGuid(kProbeClass);
    ASSERT_EQ(runRegistrationTool("'" + probeLibrary() + "'"), 0);
    EXPECT_EQ(classesText("VX.ComProbe\\CLSID"), platform::stringFromGuid(kProbeClass));
    EXPECT_EQ(classesText(classKey + "\\InprocServer32"), probeLibrary());

    EXPECT_EQ(runRegistrationTool("/u '" + probeLibrary() + "'"), 0);
    EXPECT_FALSE(classesKeyExists("VX.ComProbe"));
    EXPECT_FALSE(classesKeyExists(classKey));

    EXPECT_EQ(runRegistrationTool(""), 1);
    EXPECT_EQ(runRegistrationTool("'" + vxtest::programDirectory() + "/libvx_no_such_library.so'"), 2);
    EXPECT_EQ(runRegistrationTool("'" + vxtest::programDirectory() + "/libvx_module_probe.so'"), 2);

    // A registry that cannot be written: the library answers a failure.
    vxtest::TempDir dir;
    std::ofstream(dir.file("plain-file")) << "not a folder";
    EXPECT_EQ(runRegistrationTool("'" + probeLibrary() + "'", dir.file("plain-file") + "/registry.db"), 3);
}

// A sink that counts its references and what it was asked.
class Sink final : public IDispatch {
public:
    explicit Sink(bool dispatch = true) : m_dispatch(dispatch) {}
    HRESULT QueryInterface(REFIID iid, void** object) override
    {
        if (iid == IID_IUnknown || (m_dispatch && iid == IID_IDispatch)) {
            *object = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++references; }
    ULONG Release() override { return --references; }
    HRESULT GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override { return S_OK; }
    int references = 1;

private:
    bool m_dispatch;
};

class Container final : public IConnectionPointContainer {
public:
    HRESULT QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    ULONG AddRef() override { return ++references; }
    ULONG Release() override { return --references; }
    HRESULT EnumConnectionPoints(IEnumConnectionPoints**) override { return E_NOTIMPL; }
    HRESULT FindConnectionPoint(REFIID, IConnectionPoint**) override { return E_NOTIMPL; }
    int references = 1;
};

TEST(ConnectionPoints, HandOutSinksInAdviseOrderAndHoldThemUntilUnadvised)
{
    constexpr IID events{0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};
    Container container;
    Sink first;
    Sink second;
    Sink notDispatch(false);
    {
        platform::ConnectionPoint point(&container, events);
        DWORD cookie1 = 0;
        DWORD cookie2 = 0;
        DWORD cookie3 = 7;
        ASSERT_EQ(point.Advise(&first, &cookie1), S_OK);
        ASSERT_EQ(point.Advise(&second, &cookie2), S_OK);
        EXPECT_EQ(point.Advise(&notDispatch, &cookie3), CONNECT_E_CANNOTCONNECT);
        EXPECT_EQ(cookie3, 0u);
        EXPECT_NE(cookie1, cookie2);
        EXPECT_EQ(first.references, 2);

        std::vector<IDispatch*> sinks = point.snapshot();
        ASSERT_EQ(sinks.size(), 2u);
        EXPECT_EQ(sinks[0], &first);
        EXPECT_EQ(sinks[1], &second);
        EXPECT_EQ(first.references, 3);
        // Unadvised while a snapshot is held: the snapshot keeps it alive.
        EXPECT_EQ(point.Unadvise(cookie1), S_OK);
        EXPECT_EQ(point.Unadvise(cookie1), CONNECT_E_NOCONNECTION);
        EXPECT_EQ(first.references, 2);
        for (IDispatch* sink : sinks)
            sink->Release();
        EXPECT_EQ(first.references, 1);
        EXPECT_EQ(point.snapshot().size(), 1u);
        second.Release();  // the snapshot's reference just taken

        // The point's references are its container's.
        point.AddRef();
        EXPECT_EQ(container.references, 2);
        point.Release();
    }
    EXPECT_EQ(second.references, 1);  // let go with the point
}

TEST(WindowMessages, RangeRemovalAlsoTakesAPendingQuit)
{
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.lpszClassName = L"rangeClass";
    ASSERT_NE(RegisterClassExW(&windowClass), 0);
    HWND window = CreateWindowExW(0, L"rangeClass", L"", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    PostMessageW(window, 1100, 0, 0);
    PostQuitMessage(5);
    PostMessageW(window, 40000, 0, 0);
    std::vector<UINT> taken;
    MSG message{};
    while (PeekMessageW(&message, window, 1024, 32767, PM_REMOVE))
        taken.push_back(message.message);
    EXPECT_EQ(taken, (std::vector<UINT>{1100, WM_QUIT}));
    ASSERT_TRUE(PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(message.message, 40000u);
    EXPECT_TRUE(DestroyWindow(window));
    EXPECT_TRUE(UnregisterClassW(L"rangeClass", nullptr));
}

}  // namespace
