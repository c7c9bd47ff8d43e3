// The imager's event queue: image records become image data events
// (command 1026, as are its error and status events).
#pragma once

#include "CDataQ.h"

class CImagerDataQ : public CDataQ {
public:
    CImagerDataQ(int capacity, ZRIDbgBase* debug) : CDataQ(capacity, debug, kImagerEventCommand) {}
    ~CImagerDataQ() override = default;

    using CDataQ::AddToQ;
    // `record` is an SImageRecord; only kind 1 is accepted.
    int AddToQ(const void* record, int kind, int length) override;
};
