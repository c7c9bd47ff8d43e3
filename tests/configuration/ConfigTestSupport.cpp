#include "ConfigTestSupport.h"

#include <cstdlib>

namespace vxtest {

std::string devicePath(const std::string& name, const std::string& category)
{
    return "SOFTWARE\\OLEforRetail\\ServiceOPOS\\" + category + "\\" + name;
}

bool keyExists(const std::string& path)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

std::vector<StoredValue> storedValues(const std::string& path)
{
    std::vector<StoredValue> values;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return values;
    BYTE data[16384];
    DWORD size = sizeof data;
    DWORD type = 0;
    if (RegQueryValueExA(key, "", nullptr, &type, data, &size) == ERROR_SUCCESS)
        values.push_back({"", type, std::string(reinterpret_cast<char*>(data), size)});
    for (DWORD index = 0;; ++index) {
        char name[16384];
        DWORD nameSize = sizeof name;
        size = sizeof data;
        if (RegEnumValueA(key, index, name, &nameSize, nullptr, &type, data, &size) != ERROR_SUCCESS)
            break;
        if (nameSize == 0)
            continue;  // the default value, taken above
        values.push_back({std::string(name, nameSize), type, std::string(reinterpret_cast<char*>(data), size)});
    }
    RegCloseKey(key);
    return values;
}

void writeValue(const std::string& path, const std::string& name, DWORD type, const std::string& data)
{
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(data.data()),
                             static_cast<DWORD>(data.size())),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

void makeEntry(const std::string& name, const std::string& port, const std::string& autoDetect,
               const std::string& manufacturer, const std::string& category)
{
    const std::string path = devicePath(name, category);
    writeValue(path, "", REG_SZ, sz(category == "Scanner" ? "VX.ScannerSO" : "VX.ImagerSO"));
    writeValue(path, "PORT", REG_SZ, sz(port));
    writeValue(path, "AUTODETECT", REG_SZ, sz(autoDetect));
    if (!manufacturer.empty())
        writeValue(path, "MANUFACTURER", REG_SZ, sz(manufacturer));
    writeValue(path, "COMMANDTIMEOUT", REG_SZ, sz("10000"));
    writeValue(path, "MAXIMUMTIMEOUT", REG_SZ, sz("300000"));
}

void deleteKeyTree(const std::string& path)
{
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, path.c_str());
}

void deleteEntries()
{
    deleteKeyTree("SOFTWARE\\OLEforRetail");
}

void ControllerTest::SetUp()
{
    // Each test starts from no device entries, whatever an earlier test of
    // the same process left.
    deleteKeyTree("SOFTWARE\\OLEforRetail\\ServiceOPOS");
    unsetenv("LC_ALL");
    unsetenv("LC_MESSAGES");
    setenv("LANG", "en_US.UTF-8", 1);
    CLanguageManager::GetInstance().ResetForTesting();
    deleteEntries();
}

void ControllerTest::TearDown()
{
    m_dlg.reset();
    deleteEntries();
}

void ControllerTest::start(RegistryApi& registry)
{
    m_dlg = std::make_unique<CFinal_UIDlg>(host, registry, [this] { return dosDevices; });
    m_dlg->OnInitDialog();
}

void ControllerTest::choose(int id, const std::string& entry)
{
    // A user opens the device list before picking from it, which lists the
    // devices again.
    if (id == ctl::IDC_DEVICENAMECOMBO)
        dlg().OnDropdownDevicenamecombo();
    const int index = form().FindStringExact(id, -1, entry);
    ASSERT_NE(index, FormModel::CB_ERR) << entry << " in " << form().Describe(id);
    form().SetCurSel(id, index);
    switch (id) {
    case ctl::IDC_DEVICENAMECOMBO:
        dlg().OnSelchangeDevicenamecombo();
        break;
    case ctl::IDC_CONNECTIONCOMBO:
        dlg().OnSelchangeConnectioncombo();
        break;
    case ctl::IDC_COMPORTCOMBO:
        dlg().OnSelchangeComportcombo();
        break;
    case ctl::IDC_TIMEOUTCOMBO:
        dlg().OnSelchangeTimeoutcombo();
        break;
    case ctl::IDC_INFINITECOMBO:
        dlg().OnSelchangeInfinitecombo();
        break;
    case ctl::IDC_AIMMODECOMBO:
        dlg().OnSelchangeAimmodecombo();
        break;
    case ctl::IDC_SUBKEYS:
        dlg().OnSelchangeSubkeys();
        break;
    default:
        break;
    }
}

void ControllerTest::showDevice(const std::string& name)
{
    dlg().OnCommand(ctl::IDC_EDITREMOVERADIO);
    choose(ctl::IDC_DEVICENAMECOMBO, name);
}

void ControllerTest::fillAdd(const std::string& name, const std::string& port, const std::string& timeout,
                             const std::string& maxTimeout)
{
    setText(ctl::IDC_ENTERDEVICENAME, name);
    if (!port.empty()) {
        choose(ctl::IDC_CONNECTIONCOMBO, "False");
        setText(ctl::IDC_COMPORTCOMBO, port);
    }
    setText(ctl::IDC_TIMEOUTCOMBO, timeout);
    setText(ctl::IDC_INFINITECOMBO, maxTimeout);
}

}  // namespace vxtest
