#pragma once
#include <memory>
#include <string>

namespace parlet {

struct MainState;
class frmPlaying;

// The main window's MCI playback: the two wrappers every MCI string passes through, Play, the
// playback window, the tick's position and end-of-file watch, and the close at unload. The
// device is always the one alias "midio".
class MciPlayer final {
  public:
    // Registers the tick's MCI duty with the state's timer.
    explicit MciPlayer(MainState &state);
    ~MciPlayer();
    MciPlayer(const MciPlayer &) = delete;
    MciPlayer &operator=(const MciPlayer &) = delete;

    // Sends a command without reply. True when it FAILED (and the user has been told).
    bool SeqSendCommand(const std::string &cmd);
    // Sends a query; its reply, or "" when it failed (and the user has been told).
    std::string mciAsk(const std::string &cmd);

    // Chooses a file and plays it; returns when the playback window has gone.
    void SeqPlay_Click();
    // The tick's duty while a playback is open: position, and the end of the file.
    void mciDisplay();
    // The main window's unload: a still-open device is closed, quietly.
    void Form_Unload();

  private:
    void report(const std::string &cmd, unsigned code);
    void playOpened();

    MainState &m_state;
    std::string seqDivType;
    std::string seqLength;
    bool m_seqPlaying = false;
    std::unique_ptr<frmPlaying> m_frmPlaying;
};

} // namespace parlet
