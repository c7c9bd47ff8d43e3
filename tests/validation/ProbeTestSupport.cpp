#include "ProbeTestSupport.h"

#include "LanguageManager.h"
#include "TestSupport.h"

#include "platform/registry.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace vxtest {

std::string devicePath(const std::string& name, const std::string& category)
{
    return "SOFTWARE\\OLEforRetail\\ServiceOPOS\\" + category + "\\" + name;
}

namespace {

void writeValue(const std::string& path, const std::string& name, DWORD type, const std::string& data)
{
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key, name.empty() ? nullptr : name.c_str(), 0, type,
                             reinterpret_cast<const BYTE*>(data.data()), static_cast<DWORD>(data.size())),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

}  // namespace

void writeText(const std::string& path, const std::string& name, const std::string& text)
{
    writeValue(path, name, REG_SZ, text + std::string(1, '\0'));
}

void writeDword(const std::string& path, const std::string& name, DWORD value)
{
    writeValue(path, name, REG_DWORD, std::string(reinterpret_cast<const char*>(&value), sizeof value));
}

void addEntry(const std::string& name, const std::string& commandTimeout, const std::string& manufacturer)
{
    const std::string path = devicePath(name);
    writeText(path, "", "VX.ScannerSO");
    writeText(path, "PORT", "COM3");
    writeText(path, "AUTODETECT", "False");
    if (!manufacturer.empty())
        writeText(path, "MANUFACTURER", manufacturer);
    writeText(path, "COMMANDTIMEOUT", commandTimeout);
    writeText(path, "MAXIMUMTIMEOUT", "300000");
    writeText(path, "CLAIMTIMEOUT_0", "500");
    writeDword(path, "SCANDATAOPTION_01", 0);
    writeDword(path, "DECODE_GS1_LTD", 0);
}

void modifiedEntry(const std::string& name, const std::string& commandTimeout)
{
    const std::string path = devicePath(name);
    writeText(path, "", "VX.ScannerSO");
    writeText(path, "PORT", "COM3");
    writeText(path, "MANUFACTURER", "Varnex");
    writeText(path, "COMMANDTIMEOUT", commandTimeout);
    writeText(path, "MAXIMUMTIMEOUT", "300000");
    writeText(path, "AUTODETECT", "False");
    writeText(path, "CLAIMTIMEOUT_0", "500");
}

void countdownFrom(int seconds)
{
    std::string ini = readFile(programDirectory() + "/resultsProperty.ini");
    const auto at = ini.find("time=10");
    ASSERT_NE(at, std::string::npos);
    ini.replace(at, 7, "time=" + std::to_string(seconds));
    std::ofstream("resultsProperty.ini", std::ios::binary) << ini;
}

void switchLogOn()
{
    writeText("SOFTWARE\\OLEforRetail\\ServiceInfo\\Varnex\\Debugger", "Application", "1");
}

void clearProbeState()
{
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SOFTWARE\\OLEforRetail");
    // What the program writes and the tests make in the working folder.
    static const char* const names[] = {"Image.jpg", "TillProbe.html", "TillProbeFrench.strings", "configPath.txt",
                                        "elsewhere", "saved"};
    static const char* const prefixes[] = {"ValidationLog", "DIOIMG_", "setup", "started"};
    std::vector<std::filesystem::path> leftovers;
    for (const auto& entry : std::filesystem::directory_iterator(".")) {
        const std::string name = entry.path().filename().string();
        bool left = std::find(std::begin(names), std::end(names), name) != std::end(names);
        for (const char* prefix : prefixes)
            left = left || name.rfind(prefix, 0) == 0;
        if (left)
            leftovers.push_back(entry.path());
    }
    for (const auto& path : leftovers)
        std::filesystem::remove_all(path);
}

std::string logText()
{
    std::string all;
    for (const auto& entry : std::filesystem::directory_iterator("."))
        if (entry.path().filename().string().rfind("ValidationLog", 0) == 0)
            all += readFile(entry.path().string());
    return all;
}

void ProbeTest::SetUp()
{
    unsetenv("LC_ALL");
    unsetenv("LC_MESSAGES");
    setenv("LANG", "en_US.UTF-8", 1);
    CLanguageManager::GetInstance().ResetForTesting();
    clearProbeState();
    std::filesystem::copy_file(programDirectory() + "/resultsProperty.ini", "resultsProperty.ini",
                               std::filesystem::copy_options::overwrite_existing);
    site.Attach(&control);
    scanner.Attach(site.Dispatch());
}

void ProbeTest::TearDown()
{
    m_dlg.reset();
    clearProbeState();
}

void ProbeTest::start()
{
    m_dlg = std::make_unique<CTillProbeDlg>(host, scanner);
    site.onDataEvent = [this](LONG) { m_dlg->OnDataEventScanner(); };
    site.onErrorEvent = [this](LONG rc, LONG rce, LONG locus, LONG* response) {
        m_dlg->OnErrorEventScanner(rc, rce, locus, response);
    };
    site.onStatusUpdateEvent = [this](LONG data) { m_dlg->OnStatusUpdateEventScanner(data); };
    m_dlg->OnInitDialog();
}

void ProbeTest::choose(const std::string& device)
{
    dlg().OnDropdownComboDevice();
    const auto& devices = model().devices;
    const auto found = std::find(devices.begin(), devices.end(), device);
    ASSERT_NE(found, devices.end()) << device;
    model().device = static_cast<int>(found - devices.begin());
    dlg().OnSelchangeComboDevice();
}

void ProbeTest::verify(const std::string& device)
{
    choose(device);
    control.ClearCalls();
    dlg().OnCommand(probe::IDC_BTN_VERIFY);
}

std::string ProbeTest::row() const
{
    using Verify = BasicViewModel::Verify;
    const BasicViewModel& m = m_dlg->Model();
    const LONG open = m_dlg->LastOpenResult();
    if (open == 0 && m.verifyLook == Verify::Running && !m.verifyEnabled && !m.devicesEnabled && host.timerOn)
        return "reading";
    if (open == 104 && m.verifyLook == Verify::Unavailable && !m.verifyEnabled && !host.timerOn)
        return "no device chosen";
    if (open == 104 && m.verifyLook == Verify::Ready && m.verifyEnabled && m.devicesEnabled && !host.timerOn)
        return "device chosen";
    if (open != 0 && m.verifyLook == Verify::Ready && m.verifyEnabled && m.devicesEnabled && !host.timerOn)
        return "open failed";
    return "other";
}

}  // namespace vxtest
