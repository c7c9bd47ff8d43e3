#include "AdvancedTestSupport.h"

#include "LanguageManager.h"
#include "TestSupport.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>

namespace vxtest {

std::vector<std::string> entries(const std::string& output)
{
    std::vector<std::string> found;
    std::size_t from = 0;
    while (true) {
        const std::size_t at = output.find("\r\n\r\n", from);
        found.push_back(output.substr(from, at == std::string::npos ? std::string::npos : at - from));
        if (at == std::string::npos)
            return found;
        from = at + 4;
    }
}

void addAutoDetectEntry(const std::string& name, const std::string& autoDetect)
{
    const std::string path = devicePath(name);
    writeText(path, "", "VX.ScannerSO");
    writeText(path, "PORT", "COM3");
    writeText(path, "AUTODETECT", autoDetect);
    writeText(path, "MANUFACTURER", "Varnex");
    writeText(path, "COMMANDTIMEOUT", "10000");
}

void prepareProbeFolder()
{
    unsetenv("LC_ALL");
    unsetenv("LC_MESSAGES");
    setenv("LANG", "en_US.UTF-8", 1);
    CLanguageManager::GetInstance().ResetForTesting();
    clearProbeState();
    std::filesystem::copy_file(programDirectory() + "/resultsProperty.ini", "resultsProperty.ini",
                               std::filesystem::copy_options::overwrite_existing);
}

void AdvancedTest::SetUp()
{
    prepareProbeFolder();
    // A closed control answers State 1.
    control.SetNumber("State", 1);
    imageControl.SetNumber("State", 1);
    site.Attach(&control);
    imageSite.Attach(&imageControl);
    scanner.Attach(site.Dispatch());
    imageScanner.Attach(imageSite.Dispatch());
}

void AdvancedTest::TearDown()
{
    m_dlg.reset();
    clearProbeState();
}

void AdvancedTest::start()
{
    m_dlg = std::make_unique<CAdvancedValidation>(host, scanner, imageScanner);
    site.onDataEvent = [this](LONG status) { m_dlg->OnDataEventScanner(status); };
    site.onErrorEvent = [this](LONG rc, LONG rce, LONG locus, LONG* response) {
        m_dlg->OnErrorEventScanner(rc, rce, locus, response);
    };
    site.onStatusUpdateEvent = [this](LONG data) { m_dlg->OnStatusUpdateEventScanner(data); };
    imageSite.onDataEvent = [this](LONG status) { m_dlg->OnDataEventImagescanner(status); };
    imageSite.onErrorEvent = [this](LONG rc, LONG rce, LONG locus, LONG* response) {
        m_dlg->OnErrorEventImagescanner(rc, rce, locus, response);
    };
    imageSite.onStatusUpdateEvent = [this](LONG data) { m_dlg->OnStatusUpdateEventImagescanner(data); };
    m_dlg->OnInitDialog();
}

void AdvancedTest::choose(const std::string& device)
{
    dlg().OnDropdownComboDeviceName();
    const auto& entries = at(adv::IDC_COMBO_DEVICENAME).entries;
    const auto found = std::find(entries.begin(), entries.end(), device);
    ASSERT_NE(found, entries.end()) << device;
    at(adv::IDC_COMBO_DEVICENAME).selection = static_cast<int>(found - entries.begin());
    dlg().OnSelchange(adv::IDC_COMBO_DEVICENAME);
}

void AdvancedTest::openDevice(const std::string& device)
{
    choose(device);
    dlg().OnCommand(adv::IDC_BTN_OPEN);
    ASSERT_EQ(dlg().m_nScannerOpenResult, 0);
}

void AdvancedTest::claimDevice(const std::string& device)
{
    openDevice(device);
    dlg().OnCommand(adv::IDC_BTN_CLAIM);
    ASSERT_EQ(dlg().m_nClaimResult, 0);
}

void AdvancedTest::tick(UINT id)
{
    ASSERT_TRUE(host.TimerOn(id));
    dlg().OnTimer(id);
}

}  // namespace vxtest
