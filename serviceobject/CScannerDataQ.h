// The scanner's event queue: barcodes from the SDK facade's data callback
// become data events (a NoRead, an empty or an over-long label becomes an
// internal error or only a count), good scans and no-reads are counted in
// the device's registry entry (or handed to the host's statistics callback
// for a program bound to the exported interface), and the fields of the
// menu-command exchange and of the last image are kept here.
//
// The exchange fields (pending request, last response, last image) are
// written by the SDK's processing thread and by COM threads: each is
// handed over whole under one lock.
#pragma once

#include "CDataQ.h"

#include <mutex>
#include <string>
#include <vector>

class CData;

class CScannerDataQ : public CDataQ {
public:
    CScannerDataQ(int capacity, ZRIDbgBase* debug) : CDataQ(capacity, debug) {}
    ~CScannerDataQ() override = default;

    using CDataQ::AddToQ;
    // `record` is an SBarcodeRecord; only kind 0 is a barcode.
    int AddToQ(const void* record, int kind, int length) override;

    // Takes ownership of `record` (any CData), on the SDK's processing
    // thread. Always 0.
    int receiveCallBack(CData* record);
    // Adds one to counter 1 "GOODSCANCOUNT", 2 "NOREADCOUNT" or 3
    // "COMMERRORCOUNT" of the device key; 1 after the write or for any
    // other counter, 0 when the key cannot be opened or written.
    int updateStatistics(int counter);

    // Set during an interactive CheckHealth: data events bypass the list.
    void SetDirectPost(bool direct) { m_directPost = direct; }

    // The device's key below HKEY_LOCAL_MACHINE.
    void SetDeviceKey(const std::string& path);
    std::string GetDeviceKey();

    // The menu-command exchange.
    void SetPendingRequest(const std::string& request);
    std::string GetPendingRequest();
    void SetLastResponse(const std::string& response);
    std::string GetLastResponse();
    // Empties the request and the response together.
    void ClearExchange();
    // Stores `response` as the last response only while `request` is still
    // the pending request; whether it was stored.
    bool StoreResponseFor(const std::string& request, const std::string& response);
    // Adds `part` to the last response, for a reply that comes in parts,
    // only while `request` is still the pending request; whether it was.
    bool AppendResponseFor(const std::string& request, const std::string& part);

    // The last image: a new one replaces (and frees) one nobody took.
    void SetLastImage(std::vector<unsigned char> image);
    // Takes the image out, leaving none.
    std::vector<unsigned char> TakeLastImage();
    std::size_t LastImageLength();

private:
    void CountStatistic(int counter);

    std::atomic<bool> m_directPost{false};
    std::mutex m_exchangeLock;
    std::string m_pendingRequest;
    std::string m_lastResponse;
    std::string m_deviceKey;
    std::vector<unsigned char> m_lastImage;
};
