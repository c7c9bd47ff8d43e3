// Collects what reaches a data processor's callback, and on which thread.
#pragma once

#include "base/CBarcodeData.h"
#include "base/CData.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct Sink {
    std::mutex mutex;
    std::vector<std::string> labels;  // barcodes: label; other kinds: "<kind>:" + bytes
    std::vector<std::thread::id> threads;
    std::vector<std::string> barcodeIds;  // code identifier and symbology identifier of each barcode
    // While set, the callback waits until `release` is called.
    bool block = false;
    bool blocked = false;
    std::condition_variable cv;

    static void callback(void* user, CData* record)
    {
        std::unique_ptr<CData> owned(record);
        auto* sink = static_cast<Sink*>(user);
        std::unique_lock<std::mutex> lock(sink->mutex);
        if (auto* barcode = dynamic_cast<CBarcodeData*>(record)) {
            sink->labels.push_back(barcode->getLabel());
            sink->barcodeIds.push_back(static_cast<char>(barcode->getCodeId()) + barcode->getSymbologyId());
        } else {
            sink->labels.push_back(std::to_string(record->getType()) + ":"
                                   + std::string(reinterpret_cast<const char*>(record->getData()), record->getLength()));
        }
        sink->threads.push_back(std::this_thread::get_id());
        if (sink->block) {
            sink->blocked = true;
            sink->cv.wait(lock, [sink] { return !sink->block; });
        }
    }
    void release()
    {
        std::lock_guard<std::mutex> lock(mutex);
        block = false;
        cv.notify_all();
    }
    std::size_t count()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return labels.size();
    }
    std::vector<std::string> snapshot()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return labels;
    }
};

