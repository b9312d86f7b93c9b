#pragma once
// A main window on the fake platform whose folders are real temporary folders, so that
// parlet.ini is read from and written to disk, and a driver that answers the device dialog.
#include "app/MainForm.h"
#include "app/SettingsFile.h"
#include "app/dlgDevs.h"
#include "fakes/FakePlatform.h"
#include "ui_MainForm.h"
#include "ui_dlgDevs.h"

#include <QDir>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>

namespace parlet::testing_support {

// "A|B" -> {"A", "B"}; "" -> {}.
inline std::vector<std::string> names(const std::string &list, char separator = '|') {
    std::vector<std::string> out;
    std::stringstream in(list);
    for (std::string name; std::getline(in, name, separator);)
        out.push_back(name);
    return out;
}

class AppFixture : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(m_root.isValid());
        appData = folder("appdata");
        documents = folder("documents");
        fake.folders.current = folder("start");
        fake.folders.specialFolders[CSIDL_APPDATA] = appData;
        fake.folders.specialFolders[CSIDL_PERSONAL] = documents;
        fake.fileDialogs.answers.clear(); // cancel the start-up configuration file chooser
        std::remove(iniPath().c_str());
    }
    std::string folder(const std::string &name) {
        std::string path = m_root.path().toStdString() + '/' + name;
        QDir().mkpath(QString::fromStdString(path));
        fake.folders.existing.insert(path);
        return path;
    }
    std::string iniPath() const { return appData + "/parlet.ini"; }
    void storeDevices(int in, const std::string &inName, int out, const std::string &outName,
                      const std::string &cfgFile = "/cfg/loop.ocf") {
        IniSettings s{"V3",      in,       inName,  static_cast<std::int16_t>(out),
                      outName,   cfgFile,  appData, documents,
                      documents, documents};
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

// Answers the modal device dialog as a user would: "ok" (OK untouched), "pN" (click line N, then
// OK) or "x" (close box). Logs what each dialog offered as "task:line|line@selectedRow ".
class DeviceDialogDriver {
  public:
    DeviceDialogDriver(MainForm &form, const std::string &answers)
        : m_form(form), m_answers(answers) {
        QObject::connect(&m_timer, &QTimer::timeout, [this] { poll(); });
        m_timer.start(0);
    }
    ~DeviceDialogDriver() {
        std::string rest;
        EXPECT_FALSE(m_answers >> rest) << "the device dialog did not come up for " << rest;
    }

    std::string seen;

  private:
    void poll() {
        dlgDevs *dialog = m_form.findChild<dlgDevs *>();
        if (!dialog || !dialog->isVisible())
            return;
        auto &ui = dialog->ui();
        seen += ui.lblTask->text().toStdString() + ':';
        for (int row = 0; row < ui.lstDevs->count(); ++row)
            seen += (row ? "|" : "") + ui.lstDevs->item(row)->text().toStdString();
        seen += '@' + std::to_string(ui.lstDevs->currentRow()) + ' ';
        std::string answer;
        if (!(m_answers >> answer))
            ADD_FAILURE() << "the device dialog came up once more than expected";
        if (answer == "x")
            return (void)dialog->close();
        if (answer.starts_with('p'))
            QTest::mouseClick(
                ui.lstDevs->viewport(), Qt::LeftButton, {},
                ui.lstDevs->visualItemRect(ui.lstDevs->item(std::stoi(answer.substr(1)))).center());
        QTest::mouseClick(ui.OKButton, Qt::LeftButton);
    }

    MainForm &m_form;
    std::istringstream m_answers;
    QTimer m_timer;
};

} // namespace parlet::testing_support
