#include "app/SettingsFile.h"
#include "fakes/FakePlatform.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fstream>

namespace parlet {

// Every stored field, as one string that shows where two settings differ.
static std::string stored(const IniSettings &s) {
    return s.iniVersion + '|' + std::to_string(s.midiInDev) + '|' + s.midiInName + '|' +
           std::to_string(s.midiOutDev) + '|' + s.midiOutName + '|' + s.cfgFile + '|' + s.iniDir +
           '|' + s.midDir + '|' + s.cfgDir;
}

static IniSettings parsed(const std::string &text) {
    IniSettings s{"", -1, "", -1, "", "", "/ini0", "/doc0", "/doc0", "/doc0"};
    parseSettingsText(text, s);
    return s;
}

// Names that reading by fields would cut or trim (a comma, a leading blank, an opening quote)
// are quoted; paths are written as they are.
TEST(SettingsFile, WritesV3ByteForByteAndReadsItBack) {
    const IniSettings settings{"V3",      0,         " Synth, Port 1", -1,      "\"B\" 2",
                               "C:\\a,b", "C:\\ini", "C:\\m,n",        "C:\\c", "/doc0"};
    const std::string bytes = "V3\r\n 0 \r\n\" Synth, Port 1\"\r\n-1 \r\n\"\"\"B\"\" 2\"\r\n"
                              "C:\\a,b\r\nC:\\ini\r\nC:\\m,n\r\nC:\\c\r\n";
    EXPECT_EQ(formatSettingsText(settings), bytes);
    EXPECT_EQ(stored(parsed(bytes)), stored(settings));
}

TEST(SettingsFile, ReadsV3AndV2AndIgnoresWhatItCannotRead) {
    const std::string tail = "\r\nIn B\r\n 0 \r\nOut A\r\n/a,b.ocf\r\n/ini\r\n/mid\r\n/cfg";
    const std::string full = "V3|1|In B|0|Out A|/a,b.ocf|/ini|/mid|/cfg";
    const std::string none = "|-1||-1|||/ini0|/doc0|/doc0";
    const std::pair<std::string, std::string> cases[] = {
        {"V3\r\n 1 " + tail + "\r\n", full},
        {"V2\r\n 3 \r\nIn\r\n-1 \r\nOut\r\n/x.ocf\r\n/ini\r\n",
         "V2|3|In|-1|Out|/x.ocf|/ini0|/doc0|/doc0"},
        {"", none},
        {"v3\r\n 1 " + tail, none},
        {"V4\r\n 1 " + tail, none},
        {"V3\r\n 2 \r\nIn", "V3|2|In|-1|||/ini0|/doc0|/doc0"},
        // An empty settings folder line leaves the folder where the file was found.
        {"V3\r\n 1 \r\nIn\r\n 0 \r\nOut\r\n\r\n\r\n/mid\r\n/cfg\r\n",
         "V3|1|In|0|Out||/ini0|/mid|/cfg"},
        {"V3\r\n 1 \r\nA, B\r\n 0 \r\n\"Out, A\r\n", "V3|1|A|0|Out, A||/ini0|/doc0|/doc0"},
        // Device numbers that cannot name a device read as none.
        {"V3\r\n 2147483648 \r\n\r\n 32768 ", "V3" + none},
        {"V3\r\n   5,junk\r\n\r\n\"3\"", "V3|5||3|||/ini0|/doc0|/doc0"},
    };
    for (const auto &[text, expected] : cases)
        EXPECT_EQ(stored(parsed(text)), expected) << text;
}

// A stored folder that does not exist, or an empty line, gives way to the folder current before
// it: the MIDI folder to the settings folder, the configuration folder to the MIDI folder.
TEST(SettingsFile, StoredFoldersThatDoNotExistGiveWay) {
    QTemporaryDir root;
    const std::string appData = root.path().toStdString(), ini = appData + "/Vellmark";
    QDir().mkpath(QString::fromStdString(ini));
    fakes::FakeFolders folders;
    folders.existing = {appData, ini, "/doc", "/mid", "/cfg"};
    folders.specialFolders = {{CSIDL_APPDATA, appData}, {CSIDL_PERSONAL, "/doc"}};
    const std::string cases[][4] = {{"/mid", "/cfg", "/mid", "/cfg"},
                                    {"/gone", "/cfg", ini, "/cfg"},
                                    {"/mid", "/gone", "/mid", "/mid"},
                                    {"", "", ini, ini}};
    for (const auto &[line8, line9, midDir, cfgDir] : cases) {
        std::ofstream(ini + "/parlet.ini", std::ios::binary)
            << "V3\r\n 0 \r\nIn\r\n 1 \r\nOut\r\n/x.ocf\r\n" + ini + "\r\n" + line8 + "\r\n" +
                   line9 + "\r\n";
        const IniSettings read = readSettings(folders);
        EXPECT_EQ(stored(read), "V3|0|In|1|Out|/x.ocf|" + ini + '|' + midDir + '|' + cfgDir);
        EXPECT_EQ(read.regDir, "/doc");
    }
}

} // namespace parlet
