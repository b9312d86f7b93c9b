#pragma once
#include "app/SettingsFile.h"
#include "platform/Platform.h"

#include <QWidget>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

class QCheckBox;
class QTimer;

namespace Ui {
class MainForm;
}

namespace parlet {

class dlgDevs;
class shellWait;
class frmCopyReg;
class frmRecording;
class frmPlaying;
class Sequencer;
class SeqTimer;
struct MainState;

// The start-up window. It owns the state that every other window reads: the chosen devices, the
// folders last used and the configuration file. Its handlers live beside the subsystem they
// belong to: start-up, settings and devices in app/, tool commands in tool/, capture and playback
// in player/.
class MainForm final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MainForm)

  public:
    explicit MainForm(Platform &platform, QWidget *parent = nullptr);
    ~MainForm() override;

    // Start-up: settings, devices, configuration file. False when the program must end before
    // the window is shown (no MIDI device present).
    bool Form_Load();

    Platform &platform() { return m_platform; }
    Ui::MainForm &ui() { return *m_ui; }

    // ---- State read and written by other windows.
    std::int32_t midiInDev = -1;
    HMIDIIN midiInHnd = 0;
    std::int16_t midiOutDev = -1;
    std::optional<double> seqoTempo; // empty until an MCI playback has read the tempo
    std::string midDir;
    std::string midFile;
    bool seqRecording = false;

    // ---- Settings (app/).
    void loadSettings();
    void saveSettings();
    bool selectMidiDevices(); // false when the program has ended for lack of devices
    void cmdMidiIn_Click();
    void cmdMidiOut_Click();
    void cmdExit_Click();
    // The settings as they would be saved now, with regDir.
    IniSettings settings() const;
    // Shut-down as by the close box (nothing saved), then the event loops end.
    void closeWithoutSaving();
    bool unloaded() const { return m_unloaded; }

    // ---- Tool commands (tool/).
    void sendKorrelCmd(const std::string &s);
    std::string getDebugSetting(std::int16_t &d) const;
    std::string getModuleSetting() const;
    void cmdDownload_Click();
    void cmdMonitor_Click();
    void cmdReset_Click();
    void cmdVersion_Click();
    void cmdProgram_Click();
    void cmdVerify_Click();
    void cmdHalt_Click();
    void cmdRun_Click();
    void cmdDataDiag_Click();
    void cmdConfigFile_Click();
    void cmdSequencer_Click();
    void cmdSaveReg_Click();
    void cmdLoadReg_Click();
    void cmdCopyReg_Click();
    void chkRegOnly_Click();
    void txtRegMem_LostFocus();
    void txtRegThrough_LostFocus();
    shellWait &waitWindow();
    frmCopyReg &copyDialog();
    std::array<bool, 9> debugBoxes() const; // ticks of chkDebug(0 to 8)

    // ---- Capture and MCI playback (player/).
    void SeqRec_Click();
    void SeqPlay_Click();

    void seqTimer_Timer();
    QTimer &seqTimer() { return *m_seqTimer; }

  protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

  private:
    // Each subsystem connects its own controls and adds its duty to the timer tick.
    void wireAppControls();
    void wireToolControls();
    void wirePlayerControls();
    void captureDisplay();  // first duty of the tick, while seqRecording
    void mciDisplay();      // second duty, while an MCI playback is open
    void pollToolProcess(); // third duty, while a tool command runs
    void Form_Unload();     // shut-down: close the input, close the MCI device
    void endProgram();      // unload and leave the event loop, without saving
    bool chooseDevice(unsigned count, const std::function<std::string(int)> &productName,
                      int &device, std::string &name, const char *noneMessage, const char *task);
    dlgDevs &devicesDialog();
    void closeMciOnUnload();

    Platform &m_platform;
    std::unique_ptr<Ui::MainForm> m_ui;
    QTimer *m_seqTimer = nullptr;
    std::array<QCheckBox *, 9> chkDebug{};

    // Settings and folders.
    std::string iniVersion;
    std::string midiInName;
    std::string midiOutName;
    std::string cfgFile;
    std::string startDir;
    std::string iniDir;
    std::string cfgDir;
    std::string regDir;
    std::string regFile;

    // Windows shown from here, created at first use.
    std::unique_ptr<dlgDevs> m_dlgDevs;
    std::unique_ptr<shellWait> m_shellWait;
    std::unique_ptr<frmCopyReg> m_frmCopyReg;
    std::unique_ptr<frmRecording> m_frmRecording;
    std::unique_ptr<frmPlaying> m_frmPlaying;
    // The sequencer's view of this window's state, until this window keeps its state there.
    std::unique_ptr<SeqTimer> m_sharedTimer;
    std::unique_ptr<MainState> m_sharedState;
    std::unique_ptr<Sequencer> m_sequencer;

    // MCI playback.
    bool seqPlaying = false;
    std::string seqDivType;
    std::string seqLength;
    bool m_unloaded = false;
};

} // namespace parlet
