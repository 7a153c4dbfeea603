// The preferences window (Ctrl+,) with its "CLI Access" tab: the folder clipwell_cli may read and write
// ("No folder selected" without one), the button that chooses it (a folder dialog on this window), and
// the command that puts clipwell_cli on the command path, with a Copy button that confirms with the
// "Command Copied" alert (shown only while clipwell_cli is not on the PATH; then the label says where it is). The chosen folder goes to
// AppDelegate::saveSandboxFolderBookmark(), the same bookmark manager clipwell --grant-cli-access uses, so the tool accepts it at once.
//
// Main thread. Made once by the AppDelegate and reused; failures to store the folder show only in the
// bookmark manager's log lines, as the tool then says it is not configured.
#pragma once

#include <QDialog>
#include <QPointer>

class AppDelegate;
class QCheckBox;
#include <QFileDialog>
class QLabel;
#include <QMessageBox>
class QPlainTextEdit;
class QPushButton;

class PreferencesController : public QDialog {
    Q_OBJECT
public:
    explicit PreferencesController(AppDelegate* delegate);

    void updateSelectedFolderDisplay();
    void updateSymlinkCommand();
    void selectSandboxFolder();
    void copySymlinkCommand();
    // The install command for the tool at this path.
    static QString symlinkCommandForTool(const QString& toolPath);
    // The clipwell_cli that came with this application (beside it, or in the build tree), else empty.
    static QString toolBesideApplication();

    QLabel* selectedFolderLabel() const { return selectedFolderLabel_; }
    QPushButton* selectFolderButton() const { return selectFolderButton_; }
    QPlainTextEdit* symlinkCommandField() const { return symlinkCommandField_; }
    QPushButton* symlinkCopyButton() const { return symlinkCopyButton_; }
    QWidget* installSection() const { return installSection_; }
    QLabel* installedLabel() const { return installedLabel_; }
    QCheckBox* automaticUpdatesCheckBox() const { return automaticUpdatesCheckBox_; }
    QFileDialog* folderDialog() const { return folderDialog_; }
    QMessageBox* copiedAlert() const { return copiedAlert_; }

private:
    AppDelegate* delegate_;
    QLabel* selectedFolderLabel_;
    QPushButton* selectFolderButton_;
    QPlainTextEdit* symlinkCommandField_;
    QPushButton* symlinkCopyButton_;
    QWidget* installSection_ = nullptr;
    QLabel* installedLabel_ = nullptr;
    QCheckBox* rememberEditsCheckBox_ = nullptr;
    QCheckBox* automaticUpdatesCheckBox_ = nullptr;
    QPointer<QFileDialog> folderDialog_;
    QPointer<QMessageBox> copiedAlert_;
};
