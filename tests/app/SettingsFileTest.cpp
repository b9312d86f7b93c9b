#include "app/SettingsFile.h"
#include "fakes/FakePlatform.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace parlet {
namespace {

// Every stored field, as one string that shows where two settings differ.
std::string stored(const IniSettings &s) {
    return s.iniVersion + '|' + std::to_string(s.midiInDev) + '|' + s.midiInName + '|' +
           std::to_string(s.midiOutDev) + '|' + s.midiOutName + '|' + s.cfgFile + '|' + s.iniDir +
           '|' + s.midDir + '|' + s.cfgDir;
}

IniSettings parsed(const std::string &text) {
    IniSettings s;
    s.iniDir = "/ini0";
    s.midDir = s.cfgDir = s.regDir = "/doc0";
    parseSettingsText(text, s);
    return s;
}

TEST(SettingsFile, WritesV3ByteForByteAndReadsItBack) {
    const std::vector<std::pair<IniSettings, std::string>> cases = {
        {{"V2", 0, "USB In", 32767, "USB Out", "C:\\cfg\\a,b.ocf", "C:\\ini", "C:\\m,n", "C:\\cfg",
          "C:\\reg"},
         "V3\r\n 0 \r\nUSB In\r\n 32767 \r\nUSB Out\r\nC:\\cfg\\a,b.ocf\r\nC:\\ini\r\nC:\\m,n\r\n"
         "C:\\cfg\r\n"},
        {{"", -1, "", -1, "", "", "/i", "/m", "/c", "/r"},
         "V3\r\n-1 \r\n\r\n-1 \r\n\r\n\r\n/i\r\n/m\r\n/c\r\n"},
        // Names that reading by fields would cut or trim are quoted.
        {{"V3", 2, "Synth, Port 1", 3, "A \"B\" C", "", "/i", "/m", "/c", ""},
         "V3\r\n 2 \r\n\"Synth, Port 1\"\r\n 3 \r\n\"A \"\"B\"\" C\"\r\n\r\n/i\r\n/m\r\n/c\r\n"},
        {{"V3", 0, " Loop", 0, "\"", "", "/i", "/m", "/c", ""},
         "V3\r\n 0 \r\n\" Loop\"\r\n 0 \r\n\"\"\"\"\r\n\r\n/i\r\n/m\r\n/c\r\n"},
    };
    for (auto [settings, bytes] : cases) {
        EXPECT_EQ(formatSettingsText(settings), bytes);
        settings.iniVersion = "V3";
        EXPECT_EQ(stored(parsed(bytes)), stored(settings));
    }
}

TEST(SettingsFile, ReadsV3AndV2AndIgnoresWhatItCannotRead) {
    const std::string full =
        "V3\r\n 1 \r\nIn B\r\n 0 \r\nOut A\r\n/a,b.ocf\r\n/ini\r\n/mid\r\n/cfg";
    const std::string fullRead = "V3|1|In B|0|Out A|/a,b.ocf|/ini|/mid|/cfg";
    const std::string none = "|-1||-1|||/ini0|/doc0|/doc0";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {full + "\r\n", fullRead},
        {"V3\n 1 \nIn B\n 0 \nOut A\n/a,b.ocf\n/ini\n/mid\n/cfg\n", fullRead},
        {" V3,old" + full.substr(2), fullRead},
        {"V2\r\n 3 \r\nIn\r\n-1 \r\nOut\r\n/x.ocf\r\n/ini\r\n/mid\r\n",
         "V2|3|In|-1|Out|/x.ocf|/ini0|/doc0|/doc0"},
        {"v3" + full.substr(2), none},
        {"V4" + full.substr(2), none},
        {"V1\r\n 1 \r\nIn\r\n", none},
        {"", none},
        {std::string("\0\xff\xfe\r\n\x01", 6), none},
        {"V3\r\n 2 \r\nIn", "V3|2|In|-1|||/ini0|/doc0|/doc0"},
        {full.substr(0, full.find("/mid")), "V3|1|In B|0|Out A|/a,b.ocf|/ini|/doc0|/doc0"},
        {"V3\r\n 1 \r\nA, B\r\n 0 \r\n\"Out, A\r\n\r\n\r\n", "V3|1|A|0|Out, A||/ini0|/doc0|/doc0"},
    };
    for (const auto &[text, expected] : cases)
        EXPECT_EQ(stored(parsed(text)), expected) << text;
}

TEST(SettingsFile, DeviceNumbersThatCannotNameADeviceReadAsNone) {
    const std::vector<std::tuple<std::string, std::string, int, int>> cases = {
        {"7", "+2", 7, 2},
        {"   5,junk", " 3 , 4", 5, 3},
        {" 2147483647 ", " 32767 ", 2147483647, 32767},
        {" 2147483648 ", " 32768 ", -1, -1},
        {"-2 ", "-32768 ", -1, -1},
        {"abc", "", -1, -1},
        {" 1.5 ", "0x1", -1, -1},
        {"1 2", "\"3\"", -1, 3}};
    for (const auto &[line2, line4, in, out] : cases) {
        IniSettings s = parsed("V3\r\n" + line2 + "\r\nIn\r\n" + line4 + "\r\nOut\r\n");
        EXPECT_EQ(s.midiInDev, in) << line2;
        EXPECT_EQ(s.midiOutDev, out) << line4;
    }
}

// Read from disk, in real temporary folders that the fake platform reports.
TEST(SettingsFile, StoredFoldersThatNoLongerExistGiveWay) {
    QTemporaryDir root;
    fakes::FakeFolders folders;
    auto make = [&](const std::string &relative) {
        std::string path = root.path().toStdString() + '/' + relative;
        std::filesystem::create_directories(path);
        folders.existing.insert(path);
        return path;
    };
    folders.specialFolders[CSIDL_APPDATA] = make("appdata");
    const std::string vellmark = make("appdata/Vellmark"), documents = make("documents");
    folders.specialFolders[CSIDL_PERSONAL] = documents;
    const std::string mid = make("mid"), cfg = make("cfg");
    std::ofstream(vellmark + "/parlet.ini", std::ios::binary)
        << "V3\r\n 0 \r\nIn\r\n 1 \r\nOut\r\n/x.ocf\r\n" + vellmark + "\r\n" + mid + "\r\n" + cfg +
               "\r\n";
    const std::vector<std::tuple<std::vector<std::string>, std::string, std::string>> cases = {
        {{}, mid, cfg},
        {{mid}, vellmark, cfg},
        {{cfg}, mid, mid},
        {{mid, cfg}, vellmark, vellmark}};
    for (const auto &[deleted, midDir, cfgDir] : cases) {
        folders.existing.insert({mid, cfg});
        for (const std::string &folder : deleted)
            folders.existing.erase(folder);
        IniSettings read = readSettings(folders);
        EXPECT_EQ(stored(read), "V3|0|In|1|Out|/x.ocf|" + vellmark + '|' + midDir + '|' + cfgDir);
        EXPECT_EQ(read.regDir, documents);
    }
}

} // namespace
} // namespace parlet
