#include "CScannerDataQ.h"

#include "RegistrySettings.h"
#include "SOHost.h"
#include "debug/ZRIDbgBase.h"

#include "base/CBarcodeData.h"
#include "base/CData.h"

#include <cstring>
#include <memory>
#include <utility>

namespace {

constexpr signed char kNoReadCodeId = -100;  // the device's 0x9C

const char* counterName(int counter)
{
    switch (counter) {
    case 1:
        return "GOODSCANCOUNT";
    case 2:
        return "NOREADCOUNT";
    case 3:
        return "COMMERRORCOUNT";
    default:
        return nullptr;
    }
}

}  // namespace

int CScannerDataQ::AddToQ(const void* record, int kind, int)
{
    static const char* const tag = "ScnrDataQ.AddToQ(): ";
    if (kind != 0 || record == nullptr) {
        Debug().LogText(tag, "a non barcode event type has been recieved");
        return 0;
    }
    HWND window = GetEventWindow();
    if (window == nullptr) {
        Debug().LogText(tag, "No Barcode window handler");
        return 0;
    }
    auto* event = new CDataEvent(*static_cast<const SBarcodeRecord*>(record));
    event->m_hWnd = window;
    event->m_nCommand = m_nCommand;
    if (m_directPost.load())
        return PostToWindow(event);
    return AddToTail(event);
}

int CScannerDataQ::receiveCallBack(CData* received)
{
    static const char* const tag = "receiveCallBack(); ";
    std::unique_ptr<CData> owned(received);
    try {
        auto* barcode = dynamic_cast<CBarcodeData*>(received);
        if (barcode == nullptr) {
            AddToQ(2L);
            Debug().LogText(tag, "Barcode event received with no data");
            return 0;
        }
        if (barcode->getCodeId() == kNoReadCodeId) {
            Debug().LogText(tag, "Received NoRead barcode");
            CountStatistic(2);
            return 0;
        }
        const std::string& label = barcode->getLabel();
        if (label.empty()) {
            AddToQ(2L);
            Debug().LogText(tag, "Barcode event received with no data");
            return 0;
        }
        if (label.size() > kBarcodeLabelCapacity) {
            // Refused whole: a cut label would reach the application as if
            // it had been read.
            AddToQ(2L);
            Debug().LogTextNumber(tag, "Barcode label too long, refused", static_cast<long>(label.size()));
            return 0;
        }
        auto record = std::make_unique<SBarcodeRecord>();
        std::memcpy(record->m_label, label.data(), label.size());
        if (label.size() < kBarcodeLabelCapacity)
            record->m_label[label.size()] = '\0';
        record->m_cCodeId = barcode->getCodeId();
        const std::string& aim = barcode->getSymbologyId();
        record->m_aim[0] = aim.size() > 0 ? aim[0] : '\0';
        record->m_aim[1] = aim.size() > 1 ? aim[1] : '\0';
        record->m_nLength = static_cast<std::int32_t>(label.size());
        Debug().LogText2(tag, "Barcode data", label.c_str());
        AddToQ(record.get(), 0, record->m_nLength);
        CountStatistic(1);
    } catch (...) {
        Debug().LogText(tag, "Exception in barcode event processing");
    }
    return 0;
}

void CScannerDataQ::CountStatistic(int counter)
{
    ISOHost& host = SOHost();
    if (host.AppType() == 0)
        updateStatistics(counter);
    else
        host.FireUpdateStatistics(counter);
}

int CScannerDataQ::updateStatistics(int counter)
{
    static const char* const tag = "ScannerQ_updateStatistics(); ";
    const char* name = counterName(counter);
    const std::string key = GetDeviceKey();
    HKEY opened = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_ALL_ACCESS, &opened) != ERROR_SUCCESS) {
        Debug().LogText(tag, "Registry could not be opened");
        return 0;
    }
    RegCloseKey(opened);
    if (name == nullptr)
        return 1;
    DWORD value = 0;
    if (!ReadDeviceDword(key, name, value, &Debug()) || value == 0xFFFFFFFFu)
        value = 0;
    return WriteDeviceCounter(key, name, value + 1) ? 1 : 0;
}

void CScannerDataQ::SetDeviceKey(const std::string& path)
{
    std::lock_guard lock(m_exchangeLock);
    m_deviceKey = path;
}

std::string CScannerDataQ::GetDeviceKey()
{
    std::lock_guard lock(m_exchangeLock);
    return m_deviceKey;
}

void CScannerDataQ::SetPendingRequest(const std::string& request)
{
    std::lock_guard lock(m_exchangeLock);
    m_pendingRequest = request;
}

std::string CScannerDataQ::GetPendingRequest()
{
    std::lock_guard lock(m_exchangeLock);
    return m_pendingRequest;
}

void CScannerDataQ::SetLastResponse(const std::string& response)
{
    std::lock_guard lock(m_exchangeLock);
    m_lastResponse = response;
}

std::string CScannerDataQ::GetLastResponse()
{
    std::lock_guard lock(m_exchangeLock);
    return m_lastResponse;
}

void CScannerDataQ::ClearExchange()
{
    std::lock_guard lock(m_exchangeLock);
    m_pendingRequest.clear();
    m_lastResponse.clear();
}

bool CScannerDataQ::StoreResponseFor(const std::string& request, const std::string& response)
{
    std::lock_guard lock(m_exchangeLock);
    if (m_pendingRequest != request)
        return false;
    m_lastResponse = response;
    return true;
}

bool CScannerDataQ::AppendResponseFor(const std::string& request, const std::string& part)
{
    std::lock_guard lock(m_exchangeLock);
    if (m_pendingRequest != request)
        return false;
    m_lastResponse += part;
    return true;
}

void CScannerDataQ::SetLastImage(std::vector<unsigned char> image)
{
    std::lock_guard lock(m_exchangeLock);
    m_lastImage = std::move(image);
}

std::vector<unsigned char> CScannerDataQ::TakeLastImage()
{
    std::lock_guard lock(m_exchangeLock);
    return std::exchange(m_lastImage, {});
}

std::size_t CScannerDataQ::LastImageLength()
{
    std::lock_guard lock(m_exchangeLock);
    return m_lastImage.size();
}
