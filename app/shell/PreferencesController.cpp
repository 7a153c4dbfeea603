#include "PreferencesController.h"

#include "AppDelegate.h"
#include "CWEditMemory.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGridLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStandardPaths>
#include <QTabWidget>
#include <QVBoxLayout>

PreferencesController::PreferencesController(AppDelegate* delegate)
    : delegate_(delegate), selectedFolderLabel_(new QLabel), selectFolderButton_(new QPushButton(tr("Choose Folder…"))),
      symlinkCommandField_(new QPlainTextEdit), symlinkCopyButton_(new QPushButton(tr("Copy")))
{
    setObjectName(QStringLiteral("PreferencesController"));
    setWindowTitle(tr("Preferences"));
    selectedFolderLabel_->setObjectName(QStringLiteral("selectedFolderLabel"));
    selectedFolderLabel_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    selectedFolderLabel_->setWordWrap(true);
    selectFolderButton_->setObjectName(QStringLiteral("selectFolderButton"));
    symlinkCommandField_->setObjectName(QStringLiteral("symlinkCommandField"));
    symlinkCommandField_->setReadOnly(true);
    QFont monospace = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    monospace.setPointSize(11);
    monospace.setWeight(QFont::Normal);
    symlinkCommandField_->setFont(monospace);
    symlinkCommandField_->setFixedHeight(symlinkCommandField_->fontMetrics().lineSpacing() * 3 + 12);
    symlinkCopyButton_->setObjectName(QStringLiteral("symlinkCopyButton"));
    connect(selectFolderButton_, &QPushButton::clicked, this, &PreferencesController::selectSandboxFolder);
    connect(symlinkCopyButton_, &QPushButton::clicked, this, &PreferencesController::copySymlinkCommand);

    auto* cliAccess = new QWidget;
    auto* layout = new QVBoxLayout(cliAccess);
    auto* explanation = new QLabel(tr("clipwell_cli may read and write files only inside this folder:"));
    explanation->setWordWrap(true);
    layout->addWidget(explanation);
    layout->addWidget(selectedFolderLabel_);
    layout->addWidget(selectFolderButton_, 0, Qt::AlignLeft);
    layout->addSpacing(12);
    installSection_ = new QWidget;
    installSection_->setObjectName(QStringLiteral("installSection"));
    auto* install = new QVBoxLayout(installSection_);
    install->setContentsMargins(0, 0, 0, 0);
    install->addWidget(new QLabel(tr("To use clipwell_cli from a terminal, run this command:")));
    install->addWidget(symlinkCommandField_);
    install->addWidget(symlinkCopyButton_, 0, Qt::AlignLeft);
    layout->addWidget(installSection_);
    installedLabel_ = new QLabel;
    installedLabel_->setObjectName(QStringLiteral("installedLabel"));
    installedLabel_->setWordWrap(true);
    layout->addWidget(installedLabel_);
    layout->addStretch();
    auto* tabs = new QTabWidget;
    tabs->addTab(cliAccess, tr("CLI Access"));
    auto* updates = new QWidget;
    auto* updatesLayout = new QVBoxLayout(updates);
    automaticUpdatesCheckBox_ = new QCheckBox(tr("Automatically check for updates (once a day)"));
    automaticUpdatesCheckBox_->setObjectName(QStringLiteral("automaticUpdatesCheckBox"));
    automaticUpdatesCheckBox_->setChecked(AppDelegate::automaticallyChecksForUpdates());
    connect(automaticUpdatesCheckBox_, &QCheckBox::toggled, this, [](bool on) { AppDelegate::setAutomaticallyChecksForUpdates(on); });
    updatesLayout->addWidget(automaticUpdatesCheckBox_);
    if (UpdateChecker::feedUrl().isEmpty()) {
        // Without a feed there is nothing to check, so there is no choice to show: the system's packages
        // bring new versions.
        automaticUpdatesCheckBox_->setVisible(false);
        auto* note = new QLabel(tr("This copy of Clipwell does not look for updates itself: your system’s package manager brings its "
                                   "new versions."));
        note->setObjectName(QStringLiteral("updatesByPackagesLabel"));
        note->setWordWrap(true);
        updatesLayout->addWidget(note);
    }
    updatesLayout->addStretch();
    tabs->addTab(updates, tr("Updates"));
    auto* editing = new QWidget;
    auto* editingLayout = new QVBoxLayout(editing);
    rememberEditsCheckBox_ = new QCheckBox(tr("Remember the cuts of each file and restore them when it is opened again"));
    rememberEditsCheckBox_->setObjectName(QStringLiteral("rememberEditsCheckBox"));
    rememberEditsCheckBox_->setChecked(CWEditMemory::isEnabled());
    connect(rememberEditsCheckBox_, &QCheckBox::toggled, this, [](bool on) { CWEditMemory::setEnabled(on); });
    editingLayout->addWidget(rememberEditsCheckBox_);
    auto* where = new QLabel(tr("They are kept in %1, never beside your files, for 90 days.").arg(CWEditMemory::folder()));
    where->setWordWrap(true);
    editingLayout->addWidget(where);
    editingLayout->addStretch();
    tabs->addTab(editing, tr("Editing"));
    auto* outer = new QVBoxLayout(this);
    outer->addWidget(tabs);
    resize(520, 320);

    updateSelectedFolderDisplay();
    updateSymlinkCommand();
}

void PreferencesController::updateSelectedFolderDisplay()
{
    const QString folder = delegate_->sandboxFolder();
    selectedFolderLabel_->setText(folder.isEmpty() ? tr("No folder selected") : folder);
}

QString PreferencesController::symlinkCommandForTool(const QString& toolPath)
{
    return QStringLiteral("sudo ln -s \"%1\" /usr/local/bin/clipwell_cli").arg(toolPath);
}

QString PreferencesController::toolBesideApplication()
{
    // Installed, the tool is beside the application; in a build tree it is in cli/, a sibling of the
    // application's folder (or of the test programs' tests/<area>/).
    const QDir folder(QCoreApplication::applicationDirPath());
    for (const char* relative : {"clipwell_cli", "../cli/clipwell_cli", "../../cli/clipwell_cli"}) {
        const QFileInfo candidate(folder.filePath(QString::fromLatin1(relative)));
        if (candidate.isFile() && candidate.isExecutable())
            return candidate.canonicalFilePath();
    }
    return {};
}

void PreferencesController::updateSymlinkCommand()
{
    // Once the tool is on the command path (installed by the package, or linked), there is nothing to run.
    const QString tool = toolBesideApplication();
    symlinkCommandField_->setPlainText(tool.isEmpty() ? QString() : symlinkCommandForTool(tool));
    const QString onPath = QStandardPaths::findExecutable(QStringLiteral("clipwell_cli"));
    installSection_->setVisible(onPath.isEmpty() && !tool.isEmpty());
    installedLabel_->setVisible(!onPath.isEmpty() || tool.isEmpty());
    installedLabel_->setText(
        !onPath.isEmpty() ? tr("clipwell_cli is on your command path: %1").arg(onPath)
                          : tr("clipwell_cli is not installed beside Clipwell (in %1).").arg(QCoreApplication::applicationDirPath()));
}

void PreferencesController::selectSandboxFolder()
{
    auto* dialog = new QFileDialog(this, tr("Select Folder for Command Line Access"));
    dialog->setObjectName(QStringLiteral("cliFolderDialog"));
    dialog->setFileMode(QFileDialog::Directory);
    dialog->setOption(QFileDialog::ShowDirsOnly);
    // A file dialog has no message line of its own; Qt's dialog gets one under its fields.
    if (auto* grid = qobject_cast<QGridLayout*>(dialog->layout())) {
        auto* message = new QLabel(tr("Choose a folder that the command line tool should have access to"));
        message->setObjectName(QStringLiteral("cliFolderMessage"));
        grid->addWidget(message, grid->rowCount(), 0, 1, grid->columnCount());
    }
    if (!delegate_->sandboxFolder().isEmpty())
        dialog->setDirectory(delegate_->sandboxFolder());
    dialog->setWindowModality(Qt::WindowModal);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    folderDialog_ = dialog;
    connect(dialog, &QFileDialog::fileSelected, this, [this](const QString& folder) {
        delegate_->saveSandboxFolderBookmark(folder);
        updateSelectedFolderDisplay();
    });
    dialog->open();
}

void PreferencesController::copySymlinkCommand()
{
    QClipboard* clipboard = QApplication::clipboard();
    clipboard->clear();
    clipboard->setText(symlinkCommandField_->toPlainText());
    auto* alert = new QMessageBox(QMessageBox::Information, tr("Command Copied"), tr("Command Copied"), QMessageBox::NoButton, this);
    alert->setObjectName(QStringLiteral("commandCopiedAlert"));
    alert->setInformativeText(
        tr("The symlink command has been copied to the clipboard. Run this command in a terminal to create the symlink."));
    alert->addButton(tr("OK"), QMessageBox::AcceptRole);
    alert->setWindowModality(Qt::WindowModal);
    alert->setAttribute(Qt::WA_DeleteOnClose);
    copiedAlert_ = alert;
    alert->open();
}
