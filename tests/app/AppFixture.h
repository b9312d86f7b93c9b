#pragma once
// A main window on the fake platform whose folders are real temporary folders, so that
// parlet.ini is read from and written to disk.
#include "app/MainForm.h"
#include "app/SettingsFile.h"
#include "fakes/FakePlatform.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <memory>
#include <string>

namespace parlet::testing_support {

class AppFixture : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(m_root.isValid());
        appData = folder("appdata");
        documents = folder("documents");
        fake.folders.current = folder("start");
        fake.folders.specialFolders[CSIDL_APPDATA] = appData;
        fake.folders.specialFolders[CSIDL_PERSONAL] = documents;
        // Start-up opens the configuration file chooser when none is stored; cancel it.
        fake.fileDialogs.answers.clear();
    }

    std::string folder(const std::string &name) {
        std::string path = (m_root.path() + QLatin1Char('/') + QString::fromStdString(name))
                               .toStdString();
        QDir().mkpath(QString::fromStdString(path));
        fake.folders.existing.insert(path);
        return path;
    }

    std::string iniPath() const { return appData + "/parlet.ini"; }

    // A V3 file as the program writes it, with these device choices.
    void storeDevices(int in, const std::string &inName, int out, const std::string &outName,
                      const std::string &cfgFile = "/cfg/loop.ocf") {
        IniSettings s{"V3", in, inName, static_cast<std::int16_t>(out), outName, cfgFile,
                      appData, documents, documents, documents};
        std::ofstream(iniPath(), std::ios::binary) << formatSettingsText(s);
    }

    std::string iniBytes() const {
        std::ifstream file(iniPath(), std::ios::binary);
        return {std::istreambuf_iterator<char>(file), {}};
    }

    MainForm &makeForm() {
        form = std::make_unique<MainForm>(fake.platform);
        return *form;
    }

    fakes::FakePlatform fake;
    std::string appData, documents;
    std::unique_ptr<MainForm> form;

  private:
    QTemporaryDir m_root;
};

} // namespace parlet::testing_support
