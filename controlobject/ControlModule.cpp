// The library's exports: the class object of the scanner control, the
// unload answer and registration.
#include "COPOSScannerCtrl.h"

#include "platform/com.h"

#include <string>
#include <vector>

namespace {

constexpr char kDescription[] = "VXOPOS Scanner Control 1.13.0.2";
constexpr char kProgId[] = "VXOPOS.Scanner.1.13";
constexpr char kVersionIndependentProgId[] = "VXOPOS.Scanner";
constexpr char kCurrentVersion[] = "VXOPOS.Scanner.1.13.0.2";
// The key of an interface identifier that older registrations left behind.
constexpr IID kStaleInterface{0xCCB90181, 0xB81E, 0x11D2, {0xAB, 0x74, 0x00, 0x40, 0x05, 0x4C, 0x37, 0x19}};

platform::ClassFactory& Factory()
{
    static platform::ClassFactory factory(CLSID_OPOSScanner, &COPOSScannerCtrl::Create, COPOSScannerCtrl::Module());
    return factory;
}

std::string ClassKey()
{
    return "CLSID\\" + platform::stringFromGuid(CLSID_OPOSScanner);
}

}  // namespace

extern "C" HRESULT DllGetClassObject(REFCLSID clsid, REFIID iid, void** object)
{
    try {
        return platform::getClassObject({&Factory()}, clsid, iid, object);
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

extern "C" HRESULT DllCanUnloadNow()
{
    return COPOSScannerCtrl::Module().canUnloadNow();
}

extern "C" HRESULT DllRegisterServer()
{
    try {
        const std::string library = platform::modulePath(reinterpret_cast<const void*>(&DllRegisterServer));
        if (library.empty())
            return SELFREG_E_CLASS;
        const std::string classKey = ClassKey();
        const std::string clsid = platform::stringFromGuid(CLSID_OPOSScanner);
        const std::vector<platform::ClassesEntry> entries = {
            {kProgId, std::nullopt, kDescription},
            {std::string(kProgId) + "\\CLSID", std::nullopt, clsid},
            {kVersionIndependentProgId, std::nullopt, kDescription},
            {std::string(kVersionIndependentProgId) + "\\CLSID", std::nullopt, clsid},
            {std::string(kVersionIndependentProgId) + "\\CurVer", std::nullopt, kCurrentVersion},
            {classKey, std::nullopt, kDescription},
            {classKey, "BuildInformation", "OPOS 1.13.0.2"},
            {classKey + "\\ProgID", std::nullopt, kProgId},
            {classKey + "\\VersionIndependentProgID", std::nullopt, kVersionIndependentProgId},
            {classKey + "\\Programmable", std::nullopt, std::nullopt},
            {classKey + "\\InprocServer32", std::nullopt, library},
            {classKey + "\\InprocServer32", "ThreadingModel", "Apartment"},
            {classKey + "\\Control", std::nullopt, std::nullopt},
            {classKey + "\\Insertable", std::nullopt, std::nullopt},
            {classKey + "\\MiscStatus", std::nullopt, "0"},
            {classKey + "\\MiscStatus\\1", std::nullopt, "132497"},
            {classKey + "\\ToolboxBitmap32", std::nullopt, library + ", 101"},
            {classKey + "\\TypeLib", std::nullopt, platform::stringFromGuid(LIBID_OposScanner_CCO)},
            {classKey + "\\Version", std::nullopt, "1.0"},
        };
        HRESULT result = platform::registerClassesEntries(entries);
        if (FAILED(platform::deleteClassesKeys({"Interface\\" + platform::stringFromGuid(kStaleInterface)})))
            result = SELFREG_E_CLASS;
        return result;
    } catch (...) {
        return SELFREG_E_CLASS;
    }
}

extern "C" HRESULT DllUnregisterServer()
{
    try {
        return platform::deleteClassesKeys({kProgId, kVersionIndependentProgId, ClassKey()});
    } catch (...) {
        return SELFREG_E_CLASS;
    }
}
