#include "app/SettingsFile.h"
#include "fakes/FakePlatform.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include <unistd.h>

namespace parlet {
namespace {

namespace fs = std::filesystem;

// The stored part of the settings, for comparing what was read with what is expected.
struct Stored {
    std::string iniVersion;
    std::int32_t midiInDev;
    std::string midiInName;
    std::int16_t midiOutDev;
    std::string midiOutName;
    std::string cfgFile, iniDir, midDir, cfgDir;

    bool operator==(const Stored &) const = default;
};

Stored stored(const IniSettings &s) {
    return {s.iniVersion, s.midiInDev, s.midiInName, s.midiOutDev, s.midiOutName,
            s.cfgFile,    s.iniDir,    s.midDir,     s.cfgDir};
}

std::ostream &operator<<(std::ostream &out, const Stored &s) {
    return out << '[' << s.iniVersion << "|" << s.midiInDev << "|" << s.midiInName << "|"
               << s.midiOutDev << "|" << s.midiOutName << "|" << s.cfgFile << "|" << s.iniDir << "|"
               << s.midDir << "|" << s.cfgDir << ']';
}

IniSettings defaults() {
    IniSettings s;
    s.iniDir = "/computed/ini";
    s.midDir = s.cfgDir = s.regDir = "/computed/docs";
    return s;
}

TEST(SettingsFile, WritesTheNineLinesOfV3ByteForByte) {
    struct Case {
        const char *what;
        IniSettings settings;
        std::string bytes;
    };
    const std::vector<Case> cases = {
        {"devices 0 and 1",
         {"V3", 0, "USB MIDI In", 1, "USB MIDI Out", "C:\\cfg\\loop.ocf", "C:\\ini", "C:\\mid",
          "C:\\cfg", "C:\\reg"},
         "V3\r\n 0 \r\nUSB MIDI In\r\n 1 \r\nUSB MIDI Out\r\nC:\\cfg\\loop.ocf\r\nC:\\ini\r\n"
         "C:\\mid\r\nC:\\cfg\r\n"},
        {"nothing chosen",
         {"", -1, "", -1, "", "", "/home/a/.config", "/home/a", "/home/a", "/home/a"},
         "V3\r\n-1 \r\n\r\n-1 \r\n\r\n\r\n/home/a/.config\r\n/home/a\r\n/home/a\r\n"},
        {"large numbers, commas in paths",
         {"V2", 12, "x", 32767, "y", "/a,b/c.ocf", "/i", "/m,n", "/c", ""},
         "V3\r\n 12 \r\nx\r\n 32767 \r\ny\r\n/a,b/c.ocf\r\n/i\r\n/m,n\r\n/c\r\n"},
        {"names that field reading would cut are quoted",
         {"V3", 2, "Synth, Port 1", 3, "A \"B\" C", "", "/i", "/m", "/c", ""},
         "V3\r\n 2 \r\n\"Synth, Port 1\"\r\n 3 \r\n\"A \"\"B\"\" C\"\r\n\r\n/i\r\n/m\r\n/c\r\n"},
        {"a name with a leading blank is quoted",
         {"V3", 0, " Loop", 0, "\"", "", "/i", "/m", "/c", ""},
         "V3\r\n 0 \r\n\" Loop\"\r\n 0 \r\n\"\"\"\"\r\n\r\n/i\r\n/m\r\n/c\r\n"},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(formatSettingsText(c.settings), c.bytes) << c.what;
        IniSettings back = defaults();
        parseSettingsText(c.bytes, back);
        IniSettings expected = c.settings;
        expected.iniVersion = "V3";
        EXPECT_EQ(stored(back), stored(expected)) << c.what;
    }
}

TEST(SettingsFile, ReadsWhatEachLineHolds) {
    struct Case {
        const char *what;
        std::string text;
        Stored expected;
    };
    const Stored none = stored(defaults());
    const std::string full = "V3\r\n 1 \r\nIn B\r\n 0 \r\nOut A\r\n/c/a,b.ocf\r\n/ini\r\n/mid\r\n"
                             "/cfg\r\n";
    const Stored fullRead = {"V3", 1, "In B", 0, "Out A", "/c/a,b.ocf", "/ini", "/mid", "/cfg"};
    auto with = [](Stored s, auto change) {
        change(s);
        return s;
    };
    const std::vector<Case> cases = {
        {"a full V3 file", full, fullRead},
        {"LF line ends", "V3\n 1 \nIn B\n 0 \nOut A\n/c/a,b.ocf\n/ini\n/mid\n/cfg\n", fullRead},
        {"no line end at the end", full.substr(0, full.size() - 2), fullRead},
        {"V2: six values, folders stay computed",
         "V2\r\n 3 \r\nIn\r\n-1 \r\nOut\r\n/x.ocf\r\n",
         {"V2", 3, "In", -1, "Out", "/x.ocf", none.iniDir, none.midDir, none.cfgDir}},
        {"V2 ignores lines past its sixth",
         "V2\r\n 3 \r\nIn\r\n-1 \r\nOut\r\n/x.ocf\r\n/ini\r\n/mid\r\n/cfg\r\n",
         {"V2", 3, "In", -1, "Out", "/x.ocf", none.iniDir, none.midDir, none.cfgDir}},
        {"tag in lower case", "v3\r\n 1 \r\nIn\r\n 0 \r\nOut\r\n/x\r\n/i\r\n/m\r\n/c\r\n", none},
        {"a later version", "V4\r\n 1 \r\nIn\r\n 0 \r\nOut\r\n/x\r\n/i\r\n/m\r\n/c\r\n", none},
        {"an older version", "V1\r\n 1 \r\nIn\r\n", none},
        {"tag read as a field",
         " V3,old\r\n 1 \r\nIn B\r\n 0 \r\nOut A\r\n/c/a,b.ocf\r\n/ini\r\n"
         "/mid\r\n/cfg\r\n",
         fullRead},
        {"empty file", "", none},
        {"binary garbage", std::string("\0\xff\xfe\r\n\x01", 6), none},
        {"ends after line 3", "V3\r\n 2 \r\nIn",
         with(none,
              [](Stored &s) {
                  s.iniVersion = "V3";
                  s.midiInDev = 2;
                  s.midiInName = "In";
              })},
        {"ends after line 7", full.substr(0, full.find("/mid")),
         with(fullRead,
              [&](Stored &s) {
                  s.midDir = none.midDir;
                  s.cfgDir = none.cfgDir;
              })},
        {"a name written unquoted with a comma keeps its first part",
         "V3\r\n 1 \r\nSynth, Port 1\r\n 0 \r\nOut A\r\n/c/a,b.ocf\r\n/ini\r\n/mid\r\n/cfg\r\n",
         with(fullRead, [](Stored &s) { s.midiInName = "Synth"; })},
        {"a quote that never closes runs to the end of the line",
         "V3\r\n 1 \r\n\"In, B\r\n 0 \r\nOut A\r\n/c/a,b.ocf\r\n/ini\r\n/mid\r\n/cfg\r\n",
         with(fullRead, [](Stored &s) { s.midiInName = "In, B"; })},
        {"an empty folder line keeps the computed folder",
         "V3\r\n 1 \r\nIn B\r\n 0 \r\nOut A\r\n/c/a,b.ocf\r\n\r\n/mid\r\n/cfg\r\n",
         with(fullRead, [&](Stored &s) { s.iniDir = none.iniDir; })},
    };
    for (const Case &c : cases) {
        IniSettings read = defaults();
        parseSettingsText(c.text, read);
        EXPECT_EQ(stored(read), c.expected) << c.what;
    }
}

TEST(SettingsFile, DeviceNumbersThatCannotNameADeviceReadAsNone) {
    struct Case {
        std::string line2, line4;
        std::int32_t in;
        std::int16_t out;
    };
    const std::vector<Case> cases = {
        {" 0 ", " 1 ", 0, 1},
        {"7", "+2", 7, 2},
        {"   5,junk", " 3 , 4", 5, 3},
        {" 2147483647 ", " 32767 ", 2147483647, 32767},
        {" 2147483648 ", " 32768 ", -1, -1},
        {" 99999 ", " 99999 ", 99999, -1},
        {"-1 ", "-1 ", -1, -1},
        {"-2 ", "-32768 ", -1, -1},
        {"abc", "", -1, -1},
        {" 1.5 ", " 1e2 ", -1, -1},
        {"1 2", "0x1", -1, -1},
        {"-", "\"3\"", -1, 3},
    };
    for (const Case &c : cases) {
        IniSettings read = defaults();
        read.midiInDev = 9;
        read.midiOutDev = 9;
        parseSettingsText("V3\r\n" + c.line2 + "\r\nIn\r\n" + c.line4 + "\r\nOut\r\n", read);
        EXPECT_EQ(read.midiInDev, c.in) << '"' << c.line2 << '"';
        EXPECT_EQ(read.midiOutDev, c.out) << '"' << c.line4 << '"';
    }
}

// Folders as the fake platform reports them, backed by real temporary folders so that the file
// itself is read from and written to disk.
class SettingsFolders : public testing::Test {
  public:
    void SetUp() override {
        root = fs::temp_directory_path() /
               ("parlet-settings-" + std::to_string(::getpid()) + "-" +
                testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root);
        folders = fakes::FakeFolders();
        appData = make("appdata");
        vellmark = make("appdata/Vellmark");
        documents = make("documents");
        start = make("start");
        folders.current = start;
        folders.specialFolders[CSIDL_APPDATA] = appData;
        folders.specialFolders[CSIDL_PERSONAL] = documents;
    }
    void TearDown() override { fs::remove_all(root); }

    std::string make(const std::string &relative) {
        fs::path path = root / relative;
        fs::create_directories(path);
        folders.existing.insert(path.string());
        return path.string();
    }
    void remove(const std::string &folder) {
        fs::remove_all(folder);
        folders.existing.erase(folder);
    }
    static void writeFile(const std::string &folder, const std::string &bytes) {
        std::ofstream(folder + "/parlet.ini", std::ios::binary) << bytes;
    }
    static std::string readFile(const std::string &path) {
        std::ifstream file(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(file), {}};
    }

    fakes::FakeFolders folders;
    fs::path root;
    std::string appData, vellmark, documents, start;
};

TEST_F(SettingsFolders, WithoutAFileTheFoldersAreWorkedOut) {
    struct Case {
        const char *what;
        std::function<void(SettingsFolders &)> arrange;
        std::function<std::string(SettingsFolders &)> iniDir, docDir;
    };
    auto vellmarkDir = [](SettingsFolders &f) { return f.vellmark; };
    auto documentsDir = [](SettingsFolders &f) { return f.documents; };
    const std::vector<Case> cases = {
        {"Vellmark present", [](SettingsFolders &) {}, vellmarkDir, documentsDir},
        {"Vellmark missing", [](SettingsFolders &f) { f.remove(f.vellmark); },
         [](SettingsFolders &f) { return f.appData; }, documentsDir},
        {"application-data lookup fails",
         [](SettingsFolders &f) { f.folders.specialFolders.erase(CSIDL_APPDATA); },
         [](SettingsFolders &f) { return f.start; }, documentsDir},
        {"application-data folder missing: Vellmark is looked for where we are",
         [](SettingsFolders &f) {
             f.remove(f.appData);
             f.make("start/Vellmark");
         },
         [](SettingsFolders &f) { return f.start + "/Vellmark"; }, documentsDir},
        {"documents lookup fails",
         [](SettingsFolders &f) { f.folders.specialFolders.erase(CSIDL_PERSONAL); }, vellmarkDir,
         vellmarkDir},
        {"documents folder missing", [](SettingsFolders &f) { f.remove(f.documents); }, vellmarkDir,
         vellmarkDir},
        {"lookup results cut at their first NUL",
         [](SettingsFolders &f) {
             f.folders.specialFolders[CSIDL_PERSONAL] = f.documents + std::string("\0junk", 5);
         },
         vellmarkDir, documentsDir},
    };
    for (const Case &c : cases) {
        SetUp();
        c.arrange(*this);
        IniSettings read = readSettings(folders);
        EXPECT_EQ(read.iniVersion, "") << c.what;
        EXPECT_EQ(read.iniDir, c.iniDir(*this)) << c.what;
        EXPECT_EQ(read.midDir, c.docDir(*this)) << c.what;
        EXPECT_EQ(read.cfgDir, c.docDir(*this)) << c.what;
        EXPECT_EQ(read.regDir, c.docDir(*this)) << c.what;
        EXPECT_EQ(folders.current, read.iniDir) << c.what;
        EXPECT_EQ(read.midiInDev, -1);
        EXPECT_EQ(read.midiOutDev, -1);
        EXPECT_EQ(read.cfgFile, "");
    }
}

TEST_F(SettingsFolders, StoredFoldersThatNoLongerExistGiveWay) {
    const std::string mid = make("mid"), cfg = make("cfg");
    struct Case {
        const char *what;
        std::vector<std::string> deleted;
        std::string midDir, cfgDir;
    };
    const std::vector<Case> cases = {
        {"both present", {}, mid, cfg},
        {"midi folder deleted", {mid}, vellmark, cfg},
        {"configuration folder deleted", {cfg}, mid, mid},
        {"both deleted", {mid, cfg}, vellmark, vellmark},
    };
    for (const Case &c : cases) {
        folders.existing.insert(mid);
        folders.existing.insert(cfg);
        for (const std::string &folder : c.deleted)
            folders.existing.erase(folder);
        folders.current = start;
        writeFile(vellmark, "V3\r\n 0 \r\nIn\r\n 1 \r\nOut\r\n/x.ocf\r\n" + vellmark + "\r\n" +
                                mid + "\r\n" + cfg + "\r\n");
        IniSettings read = readSettings(folders);
        EXPECT_EQ(read.iniVersion, "V3") << c.what;
        EXPECT_EQ(read.midDir, c.midDir) << c.what;
        EXPECT_EQ(read.cfgDir, c.cfgDir) << c.what;
        EXPECT_EQ(read.regDir, documents) << c.what;
        EXPECT_EQ(folders.current, documents) << c.what << ": ends in regDir";
    }
}

TEST_F(SettingsFolders, TheFileIsReadFromTheFolderItWasLookedFor) {
    writeFile(appData, "V2\r\n 1 \r\nIn\r\n 0 \r\nOut\r\n/x.ocf\r\n");
    EXPECT_EQ(readSettings(folders).iniVersion, "") << "Vellmark exists, so appdata is not read";
    remove(vellmark);
    IniSettings read = readSettings(folders);
    EXPECT_EQ(read.iniVersion, "V2");
    EXPECT_EQ(read.cfgFile, "/x.ocf");
    EXPECT_EQ(read.iniDir, appData);
}

TEST_F(SettingsFolders, AnUnknownTagLeavesTheFoldersAlone) {
    writeFile(vellmark, "v3\r\n 1 \r\nIn\r\n 0 \r\nOut\r\n/x.ocf\r\n/elsewhere\r\n/m\r\n/c\r\n");
    IniSettings read = readSettings(folders);
    EXPECT_EQ(read.iniVersion, "");
    EXPECT_EQ(read.iniDir, vellmark);
    EXPECT_EQ(read.midDir, documents);
    EXPECT_EQ(folders.current, vellmark);
}

TEST_F(SettingsFolders, WritesIntoTheRecordedFolderAndReadsBack) {
    IniSettings settings = readSettings(folders);
    settings.midiInDev = 0;
    settings.midiInName = "Loop, In";
    settings.midiOutDev = 1;
    settings.midiOutName = "Loop Out";
    settings.cfgFile = documents + "/a,b.ocf";
    ASSERT_TRUE(writeSettings(settings, '/'));
    EXPECT_EQ(readFile(vellmark + "/parlet.ini"), formatSettingsText(settings));

    IniSettings back = readSettings(folders);
    settings.iniVersion = "V3";
    EXPECT_EQ(stored(back), stored(settings));

    settings.iniDir = (root / "gone").string();
    EXPECT_FALSE(writeSettings(settings, '/'));
}

TEST(SettingsFile, JoinsPathsWithOneSeparator) {
    EXPECT_EQ(joinPath("C:\\data", "parlet.ini", '\\'), "C:\\data\\parlet.ini");
    EXPECT_EQ(joinPath("/", "parlet.ini", '/'), "/parlet.ini");
    EXPECT_EQ(joinPath("/home/a", "Vellmark", '/'), "/home/a/Vellmark");
}

} // namespace
} // namespace parlet
