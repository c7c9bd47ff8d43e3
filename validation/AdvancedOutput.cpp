// The Advanced View's output box, the result-code texts, the DecodeData and
// ScanDataType displays, saving the output, and the image preview.
#include "AdvancedStrings.h"
#include "AdvancedValidation.h"
#include "DeviceRegistry.h"
#include "ProbeStrings.h"

#include "platform/runtime.h"

#include <filesystem>
#include <fstream>

using namespace adv;

void CAdvancedValidation::AppendOutput(const std::string& text)
{
    m_strOutput = m_strOutput.empty() ? text : text + "\r\n\r\n" + m_strOutput;
    m_model.output = m_strOutput;
}

std::string CAdvancedValidation::IniText(const std::string& section, LONG value) const
{
    std::string text;
    m_ini.Read(section, std::to_string(value), text, std::to_string(value));
    return text;
}

std::string CAdvancedValidation::ResultCodeText(LONG code) const
{
    return IniText("ResultCode", code);
}

std::string CAdvancedValidation::GetDecodeData()
{
    try {
        m_bDecodeData = m_scanner.GetDecodeData() ? TRUE : FALSE;
    } catch (const ControlCallError&) {
        log("GetDecodeData", T(probe::kServiceObjectException));
    } catch (...) {
        log("GetDecodeData", T(probe::kApplicationException));
    }
    m_model.at(IDC_COMBO_DECODEDATA).selection = m_bDecodeData ? 0 : 1;
    return m_bDecodeData ? m_strTrue : m_strFalse;
}

void CAdvancedValidation::OnButtonGetDecodedata()
{
    try {
        AppendOutput(T(kGetDecodeDataLine) + "   " + GetDecodeData());
    } catch (...) {
        log("OnButtonGetDecodedata", T(probe::kApplicationException));
    }
}

void CAdvancedValidation::OnBtnScandatatype()
{
    log("OnBtnScandatatype", "Entered");
    try {
        const std::string name = IniText("ScanDataType", m_scanner.GetScanDataType());
        log("OnBtnScandatatype", name);
        m_model.at(IDC_EDIT_SCANDATATYPE).text = name;
        AppendOutput(T(kScanDataTypeName) + "  :  " + name);
    } catch (...) {
        log("OnBtnScandatatype", "Exception");
    }
}

void CAdvancedValidation::OnBtnClearlog()
{
    m_strOutput.clear();
    m_model.output.clear();
}

void CAdvancedValidation::OnBtnSavelog()
{
    log("OnBtnSavelog", "Entered");
    try {
        std::string path;
        if (m_host.ChooseSaveFile(path)) {
            log("OnBtnSavelog", "Save to file", path);
            std::ofstream file(path, std::ios::binary | std::ios::trunc);
            file << m_strOutput;
            if (!file)
                log("OnBtnSavelog", "Exception");
        }
    } catch (...) {
        log("OnBtnSavelog", "Exception");
    }
    // The file dialog may have moved the working folder.
    std::error_code ec;
    if (!m_homeFolder.empty())
        std::filesystem::current_path(m_homeFolder, ec);
}

void CAdvancedValidation::OnBtnViewImage()
{
    try {
        m_host.ShowFullImage(m_model.preview);
    } catch (...) {
        log("OnBtnViewImage", "Exception");
    }
}

void CAdvancedValidation::ShowLastImage()
{
    SetStatus(std::string());
    m_model.preview = m_lastImage;
    m_model.at(IDC_PREVIEW).shown = true;
    m_model.at(IDC_BTN_VIEWIMAGE).shown = true;
    m_model.at(IDC_BTN_VIEWIMAGE).enabled = true;
    m_model.outputX = 286;
    m_model.outputY = 471;
    m_model.outputWidth = 515;
    m_model.outputHeight = 151;
}

void CAdvancedValidation::OnButtonFramedata()
{
    log("OnButtonFramedata", "Entered");
    try {
        SetStatus(T(kProcessingImage));
        const std::string data = m_imageScanner.GetFrameData();
        AdvancedControl& preview = m_model.at(IDC_PREVIEW);
        AdvancedControl& viewImage = m_model.at(IDC_BTN_VIEWIMAGE);
        if (data.empty()) {
            preview.shown = false;
            return;
        }
        if (probe::lower(data) == probe::lower("Given file doesnot exists")) {
            AppendOutput(T(kFrameDataLine) + "   " + data);
            preview.shown = false;
            SetStatus(std::string());
            viewImage.enabled = false;
            return;
        }
        m_model.preview.clear();
        m_model.waitCursor = true;
        // A new file renamed over the old one: a link planted under the
        // name is replaced, never written through.
        if (!platform::replaceFile("Image.jpg", data)) {
            m_model.waitCursor = false;
            SetStatus(T(kImageFailed));
            viewImage.enabled = false;
            return;
        }
        m_model.at(IDC_STATIC_PREVIEWCAPTION).shown = false;
        m_model.preview.assign(data.begin(), data.end());
        preview.shown = true;
        viewImage.enabled = true;
        SetStatus(T(kImageSaved));
        m_model.waitCursor = false;
    } catch (...) {
        m_model.waitCursor = false;
        log("OnButtonFramedata", "Exception");
    }
}
