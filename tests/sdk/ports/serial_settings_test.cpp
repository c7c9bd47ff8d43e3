// CSerialPort's line settings, handshaking modes, time-outs, events and
// modem lines, as the driver takes them and as the simulated scanner sees
// them.
#include "SerialSimulatorFixture.h"
#include "TestSupport.h"

#include "ports/CSerialPort.h"

#include "platform/error.h"
#include "platform/serial.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>

namespace {

using vxtest::serialModel;
using vxtest::SimulatedSerialScanner;

constexpr int kInvalidArg = static_cast<int>(0x80070057u);

class SerialSettings : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(port.open(scanner.path()), 0); }

    DCB dcb()
    {
        DCB d{};
        EXPECT_EQ(port.getDCB(&d), 0);
        return d;
    }

    SimulatedSerialScanner scanner{serialModel("rs232")};
    CSerialPort port;
};

struct DpsCase {
    unsigned dps;
    int dataBits;
    int parity;
    int stopBits;
};

TEST_F(SerialSettings, DpsCodesGiveTheirDcbAndReachTheDevice)
{
    const DpsCase cases[] = {
        {0, 7, NOPARITY, ONESTOPBIT},     {1, 7, NOPARITY, TWOSTOPBITS},    {2, 8, NOPARITY, ONESTOPBIT},
        {3, 7, EVENPARITY, ONESTOPBIT},   {4, 7, EVENPARITY, TWOSTOPBITS},  {5, 8, EVENPARITY, ONESTOPBIT},
        {6, 7, ODDPARITY, ONESTOPBIT},    {7, 7, ODDPARITY, TWOSTOPBITS},   {8, 8, ODDPARITY, ONESTOPBIT},
        {9, 7, SPACEPARITY, ONESTOPBIT},  {10, 7, SPACEPARITY, TWOSTOPBITS}, {11, 8, SPACEPARITY, ONESTOPBIT},
        {12, 7, MARKPARITY, ONESTOPBIT},  {13, 7, MARKPARITY, TWOSTOPBITS}, {14, 8, MARKPARITY, ONESTOPBIT},
    };
    for (const DpsCase& c : cases) {
        SCOPED_TRACE("dps " + std::to_string(c.dps));
        const int baud = c.dps % 2 == 0 ? 9600 : 14400;
        ASSERT_EQ(port.setup(baud, c.dps), 0);
        const DCB d = dcb();
        EXPECT_EQ(d.BaudRate, static_cast<DWORD>(baud));
        EXPECT_EQ(d.ByteSize, c.dataBits);
        EXPECT_EQ(d.Parity, c.parity);
        EXPECT_EQ(d.StopBits, c.stopBits);
        EXPECT_EQ(d.fParity, c.parity != NOPARITY ? 1u : 0u);
        EXPECT_EQ(port.getBaudrate(), baud);
        EXPECT_EQ(port.getDataBits(), c.dataBits);
        EXPECT_EQ(port.getParity(), c.parity);
        EXPECT_EQ(port.getStopBits(), c.stopBits);

        const vxsim::HostLine line = scanner->hostLine();
        EXPECT_TRUE(line.known);
        EXPECT_EQ(line.baudRate, static_cast<unsigned>(baud));
        EXPECT_EQ(line.dataBits, c.dataBits);
        EXPECT_EQ(line.parity, c.parity);
        EXPECT_EQ(line.stopBits, c.stopBits);
    }

    // Codes beyond the table change nothing and leave the last error alone.
    const DCB before = dcb();
    EXPECT_EQ(port.setup(9600, 15u), 6);
    EXPECT_EQ(port.getLastError(), 0);
    EXPECT_EQ(port.setup(9600, 0xFFFFFFFFu), 6);
    const DCB after = dcb();
    EXPECT_EQ(std::memcmp(&before, &after, sizeof(DCB)), 0);
}

TEST_F(SerialSettings, UnknownSettingsPassedOnAreRefusedAndChangeNothing)
{
    ASSERT_EQ(port.setup(9600, 2u), 0);
    const DCB before = dcb();
    // A device record that never learnt its settings holds -1 in each.
    EXPECT_EQ(port.setup(-1, -1, -1, -1), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(port.setup(9600, 8, 0, -1), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(port.getLastError(), ERROR_INVALID_PARAMETER);
    const DCB after = dcb();
    EXPECT_EQ(std::memcmp(&before, &after, sizeof(DCB)), 0);
    EXPECT_EQ(scanner->hostLine().baudRate, 9600u);
}

struct HandshakeCase {
    int mode;
    int result;
    bool ctsFlow;
    bool dsrFlow;
    unsigned dtr;
    unsigned rts;
    bool outX;
    bool inX;
    int readsBackAs;
};

TEST_F(SerialSettings, HandshakingModesGiveTheirDcb)
{
    const HandshakeCase cases[] = {
        {0, 0, false, false, DTR_CONTROL_DISABLE, RTS_CONTROL_DISABLE, false, false, 0},
        {1, 0, true, true, DTR_CONTROL_HANDSHAKE, RTS_CONTROL_HANDSHAKE, false, false, 1},
        {2, 0, false, false, DTR_CONTROL_DISABLE, RTS_CONTROL_DISABLE, true, true, 2},
        {3, 0, false, false, DTR_CONTROL_ENABLE, RTS_CONTROL_ENABLE, false, false, 0},
    };
    for (const HandshakeCase& c : cases) {
        SCOPED_TRACE("mode " + std::to_string(c.mode));
        ASSERT_EQ(port.setupHandshaking(c.mode), c.result);
        const DCB d = dcb();
        EXPECT_EQ(d.fOutxCtsFlow != 0, c.ctsFlow);
        EXPECT_EQ(d.fOutxDsrFlow != 0, c.dsrFlow);
        EXPECT_EQ(d.fDtrControl, c.dtr);
        EXPECT_EQ(d.fRtsControl, c.rts);
        EXPECT_EQ(d.fOutX != 0, c.outX);
        EXPECT_EQ(d.fInX != 0, c.inX);
        EXPECT_EQ(port.getHandshaking(), c.readsBackAs);
        const vxsim::HostLine line = scanner->hostLine();
        EXPECT_EQ(line.ctsFlow, c.ctsFlow);
        EXPECT_EQ(line.outX, c.outX);
        EXPECT_EQ(static_cast<unsigned>(line.dtrControl), c.dtr);
    }
    const DCB before = dcb();
    for (int mode : {4, -1}) {
        EXPECT_EQ(port.setupHandshaking(mode), kInvalidArg);
        EXPECT_EQ(port.getLastError(), kInvalidArg);
    }
    const DCB after = dcb();
    EXPECT_EQ(std::memcmp(&before, &after, sizeof(DCB)), 0);
}

TEST_F(SerialSettings, TheDeviceSeesTheOutputLinesAndABreak)
{
    ASSERT_TRUE(vxtest::waitUntil([&] { return scanner->dtr() && scanner->rts(); }));
    ASSERT_EQ(port.setupDTR(DTR_CONTROL_DISABLE), 0);
    EXPECT_FALSE(scanner->dtr());
    EXPECT_TRUE(scanner->rts());
    ASSERT_EQ(port.setupRTS(RTS_CONTROL_DISABLE), 0);
    EXPECT_FALSE(scanner->rts());
    // Only the low two bits count: 5 is "enable".
    ASSERT_EQ(port.setupRTS(5), 0);
    EXPECT_EQ(dcb().fRtsControl, RTS_CONTROL_ENABLE);
    EXPECT_TRUE(scanner->rts());

    EXPECT_EQ(port.Break(), 0);
    EXPECT_EQ(scanner->breaksStarted(), 1);
    EXPECT_FALSE(scanner->inBreak());

    port.close();
    EXPECT_TRUE(vxtest::waitUntil([&] { return !scanner->hostConnected() && !scanner->dtr(); }));
}

TEST_F(SerialSettings, ReadTimeoutsKeepTheWriteTimeouts)
{
    COMMTIMEOUTS t{1, 2, 3, 4, 5};
    ASSERT_EQ(port.setTimeout(t), 0);
    ASSERT_EQ(port.setupReadTimeouts(0xFFFFFFFFu, 5000u, 0u), 0);
    ASSERT_EQ(port.getTimeout(&t), 0);
    EXPECT_EQ(t.ReadIntervalTimeout, MAXDWORD);
    EXPECT_EQ(t.ReadTotalTimeoutConstant, 5000u);
    EXPECT_EQ(t.ReadTotalTimeoutMultiplier, 0u);
    EXPECT_EQ(t.WriteTotalTimeoutMultiplier, 4u);
    EXPECT_EQ(t.WriteTotalTimeoutConstant, 5u);

    ASSERT_EQ(port.setupReadTimeouts(1), 0);
    ASSERT_EQ(port.getTimeout(&t), 0);
    EXPECT_EQ(t.ReadIntervalTimeout, 0u);
    EXPECT_EQ(t.ReadTotalTimeoutConstant, 0u);
    ASSERT_EQ(port.setupReadTimeouts(0), 0);
    ASSERT_EQ(port.getTimeout(&t), 0);
    EXPECT_EQ(t.ReadIntervalTimeout, MAXDWORD);

    EXPECT_EQ(port.setupReadTimeouts(2), kInvalidArg);
    ASSERT_EQ(port.getTimeout(&t), 0);
    EXPECT_EQ(t.ReadIntervalTimeout, MAXDWORD);
}

TEST_F(SerialSettings, QueueSizes)
{
    EXPECT_EQ(port.setupQueueSize(0, 0), 0);
    EXPECT_EQ(port.setupQueueSize(4096, 4096), 0);
    EXPECT_TRUE(port.isOpened());
    // The driver refuses it: the port is closed, and the code stays.
    EXPECT_EQ(port.setupQueueSize(-1, 4096), ERROR_INVALID_PARAMETER);
    EXPECT_FALSE(port.isOpened());
    EXPECT_EQ(port.getLastError(), ERROR_INVALID_PARAMETER);
}

TEST_F(SerialSettings, ParityReadsAsNoneWhileParityCheckingIsOff)
{
    DCB d = dcb();
    d.Parity = EVENPARITY;
    d.ByteSize = 7;
    d.fParity = 0;
    ASSERT_EQ(port.setDCB(&d), 0);
    EXPECT_EQ(port.getParity(), 0);
    EXPECT_EQ(scanner->hostLine().parity, EVENPARITY);  // the line still runs with it
}

TEST_F(SerialSettings, EventCharacterMaskAndEvents)
{
    // open sets EV_RXCHAR, EV_BREAK and EV_ERR.
    EXPECT_EQ(port.getEventMask(), EV_RXCHAR | EV_BREAK | EV_ERR);
    ASSERT_EQ(port.setEventChar('\r', true), 0);
    EXPECT_EQ(port.getEventChar(), '\r');
    EXPECT_EQ(port.getEventMask(), EV_RXCHAR | EV_BREAK | EV_ERR | EV_RXFLAG);
    ASSERT_EQ(port.setEventChar('\n', false), 0);
    EXPECT_EQ(port.getEventMask(), EV_RXCHAR | EV_BREAK | EV_ERR | EV_RXFLAG);

    scanner->send({'d'});
    ASSERT_EQ(port.waitEvent(), 0);
    EXPECT_EQ(port.getEventType(), EV_RXCHAR);
    EXPECT_EQ(port.getEventType(), 0u);  // read once
}

TEST_F(SerialSettings, ModemLinesComeFromTheDevice)
{
    // The scanner keeps CTS, DSR and carrier up while attached.
    EXPECT_TRUE(port.getCTS());
    EXPECT_TRUE(port.getDSR());
    EXPECT_TRUE(port.getRLSD());
    EXPECT_FALSE(port.getRing());
    EXPECT_TRUE(port.isSignalOn(0xF0));

    scanner->setModemLines(vxsim::kLineRing);
    EXPECT_TRUE(vxtest::waitUntil([&] { return port.getRing() && !port.getCTS(); }));
    EXPECT_FALSE(port.isSignalOn(MS_CTS_ON | MS_DSR_ON | MS_RLSD_ON));

    scanner->unplug();
    EXPECT_FALSE(port.isSignalOn(0xF0));
    EXPECT_EQ(port.getLastError(), 1167);
    EXPECT_EQ(port.getError(), 0u);
}

TEST(SerialSettingsClosed, EverySettingAnswersNotOpened)
{
    CSerialPort port;
    EXPECT_EQ(port.setup(9600, 2u), 6);
    EXPECT_EQ(port.setup(9600, 99u), 6);
    EXPECT_EQ(port.setupHandshaking(1), 6);
    EXPECT_EQ(port.setupReadTimeouts(0), 6);
    EXPECT_EQ(port.setupQueueSize(0, 0), 6);
    EXPECT_EQ(port.getBaudrate(), -1);
    EXPECT_EQ(port.getLastError(), 6);
    EXPECT_EQ(port.getParity(), -1);
    EXPECT_EQ(port.getHandshaking(), -1);
    EXPECT_EQ(port.getEventChar(), 0);
    EXPECT_EQ(port.getEventMask(), 0u);
    EXPECT_EQ(port.getEventType(), 0u);
    EXPECT_FALSE(port.getCTS());
    EXPECT_EQ(port.Break(), 6);
    EXPECT_EQ(port.getError(), 0u);
    EXPECT_EQ(port.getLastError(), 6);
}

}  // namespace
