// What the configuration window's Qt tests share: the window as the program
// opens it, and a choice made as a user makes it.
#pragma once

#include "ConfigurationWindow.h"
#include "LanguageManager.h"
#include "QtTestApp.h"
#include "RegistryApi.h"

#include <QApplication>
#include <QComboBox>
#include <QString>

#include <cstdlib>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace vxtest {

// A window test's start: English texts from a fresh strings table, and the
// offscreen Qt application.
inline void startInEnglish()
{
    unsetenv("LC_ALL");
    unsetenv("LC_MESSAGES");
    setenv("LANG", "en_US.UTF-8", 1);
    CLanguageManager::GetInstance().ResetForTesting();
    qtApp();
}

// The main window on the system registry, with COM1 and COM3 as the serial
// ports there are, shown.
inline std::unique_ptr<ConfigurationWindow> openConfigurationWindow()
{
    auto window = std::make_unique<ConfigurationWindow>(RegistryApi::System(), [] {
        return std::vector<std::string>{"COM1", "COM3"};
    });
    window->show();
    QApplication::processEvents();
    return window;
}

// Picks the entry `text` of `box` as a user would.
inline void pickEntry(QComboBox* box, const QString& text)
{
    const int index = box->findText(text);
    ASSERT_GE(index, 0) << text.toStdString();
    box->setCurrentIndex(index);
    emit box->activated(index);
}

}  // namespace vxtest
