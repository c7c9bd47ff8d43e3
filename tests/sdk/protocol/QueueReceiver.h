// A receiver without a thread, for feeding the stream parser directly: the
// caller queues the chunks itself. The parser's tests and its fuzz target
// share it.
#pragma once

#include "protocol/CDataParser.h"

#include <cstddef>
#include <deque>

class QueueReceiver : public CReceiver {
public:
    ~QueueReceiver() override
    {
        for (CData* record : queue) {
            delete record;
        }
    }
    CData* getQHead() override
    {
        if (queue.empty()) {
            return nullptr;
        }
        CData* head = queue.front();
        queue.pop_front();
        return head;
    }
    CData* getQAt(std::size_t index) override { return index < queue.size() ? queue[index] : nullptr; }
    void pushQTail(CData* record) override { queue.push_back(record); }
    void shutdown() override {}
    void startThread() override {}
    void threadRoutine() override {}

    std::deque<CData*> queue;
};
