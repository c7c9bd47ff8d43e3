// The whole road from the Basic View to a scanner: the real scanner control
// and service object, loaded through the registry, and a simulated scanner
// on an in-process serial port.
#include "ControlFixtures.h"
#include "DiscoveryFixture.h"
#include "IniFile.h"
#include "ProbeStrings.h"
#include "ProbeTestSupport.h"
#include "QtTestApp.h"
#include "TestSupport.h"
#include "TillProbeWindow.h"

#include "QtMessagePump.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QTest>
#include <QTextEdit>
#include <QTimer>

using namespace vxtest;
using namespace probe;

namespace {

class EndToEndTest : public ProbeTest {
protected:
    void SetUp() override
    {
        ProbeTest::SetUp();
        qtApp();
        pump = std::make_unique<QtMessagePump>();
        ASSERT_EQ(controltest::RegisterLibrary("libVXOPOSScanner.so"), S_OK);
        ASSERT_EQ(controltest::RegisterLibrary("libVXKestrelSO.so"), S_OK);
        ASSERT_EQ(controltest::RegisterLibrary("libVXOPOSImageScanner.so"), S_OK);
        device = std::make_unique<vxsim::VirtualSerialPort>(
            serialScannerModel("rs232-115200", "SIMSERIAL", "SN-PROBE"), "probe-e2e");
        ASSERT_TRUE(device->plug()) << device->lastError();
        // Its command time-out is Verify's claim time-out: generous, as the
        // claim connects to the scanner first, which a busy machine slows.
        addEntry("Lane Scanner", "30000");
        writeText(devicePath("Lane Scanner"), "PORT", comNameOf(*device));
        // Long enough that the real timer never ends a count while the test
        // waits for the scanner; the test ticks the count itself.
        countdownFrom(kStart);
        ASSERT_EQ(scannerSite.Create(kScannerControlClsid), S_OK);
        ASSERT_EQ(imageSite.Create(kImageScannerControlClsid), S_OK);
        window = std::make_unique<TillProbeWindow>(scannerSite.Dispatch(), imageSite.Dispatch());
        window->show();
        QApplication::processEvents();
    }
    void TearDown() override
    {
        window.reset();
        device.reset();
        pump.reset();
        ProbeTest::TearDown();
    }
    QComboBox* devices() { return static_cast<QComboBox*>(window->Control(IDC_COMBO_DEVICE)); }
    QWidget* verifyButton() { return window->Control(IDC_BTN_VERIFY); }
    QString look() { return verifyButton()->property("look").toString(); }
    QString lineText(int id) { return static_cast<QLabel*>(window->Control(id))->text(); }
    QString output() { return static_cast<QTextEdit*>(window->Control(IDC_OUTPUT))->toPlainText(); }
    void pressVerify() { QTest::mouseClick(verifyButton(), Qt::LeftButton); }
    void runOutTheCount()
    {
        for (int i = 0; i <= kStart && window->CountdownTimer()->isActive(); ++i)
            QMetaObject::invokeMethod(window->CountdownTimer(), "timeout");
    }

    static constexpr int kStart = 300;
    std::unique_ptr<QtMessagePump> pump;
    std::unique_ptr<vxsim::VirtualSerialPort> device;
    ControlSite scannerSite;
    ControlSite imageSite;
    std::unique_ptr<TillProbeWindow> window;
};

}  // namespace

TEST_F(EndToEndTest, VerifyReadsALabelClosesOnTheCountAndReportsAnUnpluggedScanner)
{
    ASSERT_EQ(devices()->findText("Lane Scanner"), 1);
    devices()->setCurrentIndex(1);
    emit devices()->activated(1);
    ASSERT_EQ(look(), "ready");

    pressVerify();
    ASSERT_EQ(look(), "running") << lineText(IDC_ERROR_LINE).toStdString();
    EXPECT_EQ(lineText(IDC_PROGRESS_LINE), "Device opened successfully");
    EXPECT_FALSE(devices()->isEnabled());

    device->scan("A\r\nB", 'j', "C0");
    EXPECT_TRUE(waitUntil([&] {
        QApplication::processEvents();
        return output() == "A[CR][LF]\nB";
    })) << output().toStdString();

    runOutTheCount();
    EXPECT_EQ(lineText(IDC_PROGRESS_LINE), "Device closed successfully");
    EXPECT_EQ(look(), "ready");
    EXPECT_TRUE(verifyButton()->isEnabled());

    // A second Verify works as the first.
    pressVerify();
    ASSERT_EQ(look(), "running") << lineText(IDC_ERROR_LINE).toStdString();
    device->scan("SECOND", 'j', "C0");
    EXPECT_TRUE(waitUntil([&] {
        QApplication::processEvents();
        return output() == "SECOND";
    }));
    runOutTheCount();
    EXPECT_EQ(look(), "ready");

    // The scanner gone, Verify reports the Open's result in words.
    device->unplug();
    pressVerify();
    EXPECT_TRUE(window->Control(IDC_ERROR_LINE)->isVisible());
    const std::string shown = lineText(IDC_ERROR_LINE).toStdString();
    const LONG openResult = window->Controller().LastOpenResult();
    EXPECT_NE(openResult, 0);
    std::string word;
    CIniFile("resultsProperty.ini", 1224).Read("ResultCode", std::to_string(openResult), word, "");
    EXPECT_EQ(shown, word);
    EXPECT_EQ(shown.rfind("OPOS_E_", 0), 0u) << shown;
    EXPECT_EQ(look(), "ready");
    EXPECT_TRUE(verifyButton()->isEnabled());
    EXPECT_TRUE(devices()->isEnabled());
    EXPECT_FALSE(window->CountdownTimer()->isActive());
}
