#pragma once
#include "app/SettingsFile.h"
#include "platform/Platform.h"
#include "shared/MainState.h"
#include "shared/SeqTimer.h"

#include <QWidget>

#include <functional>
#include <memory>
#include <string>

namespace Ui {
class MainForm;
}

namespace parlet {

class dlgDevs;
class ToolFrontEnd;
class Player;
class Sequencer;

// The start-up window: settings, device selection, Exit and unload. It composes the subsystems
// (tool commands, player, sequencer), connects its controls to them and shares with them only
// MainState; the settings and folders below stay its own.
class MainForm final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MainForm)

  public:
    explicit MainForm(Platform &platform, QWidget *parent = nullptr);
    ~MainForm() override;

    // Start-up: settings, devices, configuration file. False when the program must end before
    // the window is shown (no MIDI device present).
    bool Form_Load();

    MainState &state() { return m_state; }
    SeqTimer &seqTimer() { return m_seqTimer; }
    ToolFrontEnd &tool() { return *m_tool; }

    void cmdMidiIn_Click();
    void cmdMidiOut_Click();
    void cmdExit_Click();
    // The settings as they would be saved now.
    IniSettings settings() const;
    // Shut-down as by the close box (nothing saved), then the event loops end.
    void closeWithoutSaving();
    bool unloaded() const { return m_unloaded; }

  protected:
    void closeEvent(QCloseEvent *event) override;

  private:
    void wireControls();
    void loadSettings();
    void saveSettings();
    bool selectMidiDevices(); // false when the program has ended for lack of devices
    bool chooseDevice(unsigned count, const std::function<std::string(int)> &productName,
                      int &device, std::string &name, const char *noneMessage, const char *task);
    dlgDevs &devicesDialog();
    void Form_Unload(); // shut-down: close the input, close the MCI device
    void endProgram();  // unload and leave the event loop, without saving

    Platform &m_platform;
    std::unique_ptr<Ui::MainForm> m_ui;
    SeqTimer m_seqTimer;
    MainState m_state;

    // Settings and folders.
    std::string iniVersion;
    std::string midiInName;
    std::string midiOutName;
    std::string cfgFile;
    std::string startDir;
    std::string iniDir;
    std::string cfgDir;
    std::string regDir;

    std::unique_ptr<ToolFrontEnd> m_tool;
    std::unique_ptr<Player> m_player;
    std::unique_ptr<Sequencer> m_sequencer;
    std::unique_ptr<dlgDevs> m_dlgDevs;
    bool m_unloaded = false;
};

} // namespace parlet
