#pragma once
#include "common/ToolOptions.h"
#include "shared/MainState.h"
#include "tool/ToolConsole.h"

#include <QObject>

#include <array>
#include <cstdint>
#include <memory>
#include <string>

class QCheckBox;
class QLabel;
class QLineEdit;

namespace parlet {

class shellWait;
class frmCopyReg;

// The main window's fields that the tool commands read and write.
struct ToolControls {
    std::array<QCheckBox *, 9> chkDebug{};
    QCheckBox *chkModuleOnly = nullptr;
    QLineEdit *txtModule = nullptr;
    QLineEdit *txtOtherOptions = nullptr;
    QCheckBox *chkDispData = nullptr;
    QLineEdit *txtDiagCount = nullptr;
    QLineEdit *txtConfigFile = nullptr;
    QLabel *lblCommand = nullptr;
    QCheckBox *chkBat = nullptr;
    QCheckBox *chkRegOnly = nullptr;
    QLineEdit *txtRegMem = nullptr;
    QLineEdit *txtRegThrough = nullptr;
};

// The main window's settings that the tool commands use: the folder the program started in (the
// tool is looked for there), the configuration file with its folder, and the registration folder.
struct ToolFolders {
    const std::string &startDir;
    std::string &cfgFile;
    std::string &cfgDir;
    std::string &regDir;
};

// The configuration tool front end: composes korrel command lines from the main window's fields
// and runs them one at a time behind the wait window; registration memories and the copy dialog.
class ToolFrontEnd final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ToolFrontEnd)

  public:
    ToolFrontEnd(MainState &state, const ToolControls &controls, const ToolFolders &folders);
    ~ToolFrontEnd() override;

    void sendKorrelCmd(const std::string &s);

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
    void cmdSaveReg_Click();
    void cmdLoadReg_Click();
    void cmdCopyReg_Click();
    void chkRegOnly_Click();
    void txtRegMem_LostFocus();
    void txtRegThrough_LostFocus();
    // The main window's unload: the consoles that this program draws close, which ends the tools
    // still running in them.
    void Form_Unload();

    shellWait &waitWindow();

  private:
    void pollToolProcess(); // the tick's duty while a command runs
    std::array<bool, 9> debugBoxes() const;
    void sendToolCommand(options::ToolCommand command);
    void copyRegistration(const std::string &from, const std::string &to,
                          const std::string &through);

    MainState &m_state;
    ToolControls m_controls;
    ToolFolders m_folders;
    std::string regFile;
    ToolConsoles m_consoles;
    std::unique_ptr<shellWait> m_shellWait; // owns the consoles' windows
    std::unique_ptr<frmCopyReg> m_frmCopyReg;
};

} // namespace parlet
