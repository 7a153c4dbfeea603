#include "CWPresetChooser.h"

#include "CWBitrateConfigurationItem.h"
#include "CWHighLowQualityPreset.h"
#include "CWPassThroughPreset.h"
#include "CWPreset.h"
#include "CWPresetQualityControlViewController.h"
#include "CWProject.h"
#include "MediaAsset.h"

#include <QApplication>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QToolButton>
#include <QWidgetAction>

#include <algorithm>

Q_DECLARE_METATYPE(const CWPresetClass*)

namespace {
// The preset class a menu item stands for.
const CWPresetClass* presetClassOf(const QAction* action) { return action->data().value<const CWPresetClass*>(); }
} // namespace

CWPresetChooser::CWPresetChooser(QWidget* window, std::function<std::shared_ptr<CWProject>()> project, Filter include)
    : QObject(window), window_(window), project_(std::move(project)), include_(std::move(include)), row_(new QHBoxLayout),
      button_(new QToolButton), configurationButton_(new QToolButton), description_(new QLabel), bitratePopup_(new QComboBox),
      sampleRatePopup_(new QComboBox), qualityPopup_(new QComboBox), passthroughModePopup_(new QComboBox)
{
    button_->setObjectName(QStringLiteral("presetButton"));
    button_->setPopupMode(QToolButton::InstantPopup);
    button_->setToolButtonStyle(Qt::ToolButtonTextOnly);
    button_->setMinimumWidth(180);
    button_->setMenu(new QMenu(button_));
    button_->setAccessibleName(tr("Preset"));
    button_->menu()->setAccessibleName(tr("Presets"));
    configurationButton_->setObjectName(QStringLiteral("presetConfigurationButton"));
    configurationButton_->setText(tr("Configure…"));
    configurationButton_->setToolTip(tr("Preset settings"));
    connect(configurationButton_, &QToolButton::clicked, this, &CWPresetChooser::configure);
    description_->setObjectName(QStringLiteral("presetDescription"));
    description_->setWordWrap(true);
    bitrateContainer_ = labelled(tr("Bitrate:"), bitratePopup_, "bitrate");
    sampleRateContainer_ = labelled(tr("Sample Rate:"), sampleRatePopup_, "sampleRate");
    qualityContainer_ = labelled(tr("Quality:"), qualityPopup_, "quality");
    passthroughModeContainer_ = labelled(tr("Cuts:"), passthroughModePopup_, "passthroughMode");
    // The pass-through modes, each explained in the words of the tool's help.
    for (const PassthroughMode mode : CWPassThroughPreset::modes()) {
        passthroughModePopup_->addItem(CWPassThroughPreset::modeTitle(mode), QVariant::fromValue(int(mode)));
        const QString help = CWPassThroughPreset::modeHelp(mode);
        passthroughModePopup_->setItemData(passthroughModePopup_->count() - 1, help.left(1).toUpper() + help.mid(1) + QLatin1Char('.'),
                                           Qt::ToolTipRole);
    }
    connect(bitratePopup_, &QComboBox::activated, this, &CWPresetChooser::changeBitrate);
    connect(passthroughModePopup_, &QComboBox::activated, this, &CWPresetChooser::changePassthroughMode);

    row_->addWidget(new QLabel(tr("Preset:")));
    row_->addWidget(button_);
    row_->addWidget(configurationButton_);
    row_->addWidget(bitrateContainer_);
    row_->addWidget(sampleRateContainer_);
    row_->addWidget(qualityContainer_);
    row_->addWidget(passthroughModeContainer_);
    row_->addStretch();
}

QWidget* CWPresetChooser::labelled(const QString& label, QComboBox* popup, const char* name)
{
    auto* container = new QWidget;
    container->setObjectName(QString::fromLatin1(name) + QStringLiteral("Container"));
    popup->setObjectName(QString::fromLatin1(name) + QStringLiteral("Popup"));
    auto* layout = new QHBoxLayout(container);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(new QLabel(label));
    layout->addWidget(popup);
    return container;
}

void CWPresetChooser::updateMenu()
{
    const std::shared_ptr<CWProject> p = project_();
    std::vector<const CWPresetClass*> included;
    for (const CWPresetClass* presetClass : CWPreset::allPresetClasses())
        if (presetClass->create && include_(*presetClass))
            included.push_back(presetClass);
    if (included.empty() || !p) {
        button_->menu()->clear();
        return;
    }
    // Each check has its own count and list.
    struct Check {
        size_t remaining;
        std::vector<const CWPresetClass*> compatible;
    };
    auto check = std::make_shared<Check>(Check{included.size(), {}});
    QPointer<CWPresetChooser> self(this);
    const std::shared_ptr<MediaAsset> exported = p->exportAsset();
    for (const CWPresetClass* presetClass : included) {
        presetClass->create()->determineCompatibilityWithAsset(*exported, [self, check, presetClass](bool compatible) {
            QMetaObject::invokeMethod(
                qApp,
                [self, check, presetClass, compatible] {
                    if (compatible)
                        check->compatible.push_back(presetClass);
                    if (--check->remaining == 0 && self)
                        self->buildMenu(check->compatible);
                },
                Qt::QueuedConnection);
        });
    }
}

void CWPresetChooser::buildMenu(const std::vector<const CWPresetClass*>& compatible)
{
    ++menuBuilds_;
    hasCompatiblePresets_ = !compatible.empty();
    QMenu* menu = button_->menu();
    menu->clear();
    emit menuBuilt();
    if (compatible.empty()) {
        QAction* none = menu->addAction(tr("No compatible export presets for this file"));
        none->setEnabled(false);
        button_->setText(none->text());
        return;
    }
    std::vector<const CWPresetClass*> passthrough, audio, video;
    for (const CWPresetClass* presetClass : compatible) {
        if (presetClass->create()->isPassthrough())
            passthrough.push_back(presetClass);
        else if (presetClass->isValidForAudio)
            audio.push_back(presetClass);
        else
            video.push_back(presetClass);
    }
    const auto byName = [](const CWPresetClass* a, const CWPresetClass* b) { return a->presetName < b->presetName; };
    const auto addPresets = [&](std::vector<const CWPresetClass*>& group, const QString& title) {
        std::sort(group.begin(), group.end(), byName);
        // A section header that every widget style shows: a label in the menu.
        auto* header = new QLabel(title);
        header->setObjectName(QStringLiteral("sectionHeader"));
        header->setContentsMargins(8, 4, 8, 2);
        QFont bold = header->font();
        bold.setBold(true);
        header->setFont(bold);
        header->setEnabled(false);
        auto* headerAction = new QWidgetAction(menu);
        headerAction->setDefaultWidget(header);
        headerAction->setText(title);
        headerAction->setEnabled(false);
        menu->addAction(headerAction);
        for (const CWPresetClass* presetClass : group) {
            QAction* entry = menu->addAction(presetClass->presetName);
            entry->setData(QVariant::fromValue(presetClass));
            entry->setCheckable(true);
            connect(entry, &QAction::triggered, this, [this, presetClass] { changePreset(presetClass); });
        }
    };
    bool added = false;
    if (!passthrough.empty()) {
        addPresets(passthrough, tr("Passthrough"));
        if (!video.empty())
            menu->addSeparator();
        added = true;
    }
    if (!video.empty()) {
        addPresets(video, tr("Video"));
        added = true;
    }
    if (!audio.empty()) {
        if (added)
            menu->addSeparator();
        addPresets(audio, video.empty() ? tr("Audio only") : tr("Audio"));
    }
    const std::shared_ptr<CWPreset> current = project_()->preset();
    for (QAction* action : menu->actions())
        if (const CWPresetClass* presetClass = presetClassOf(action))
            action->setChecked(current && presetClass == &current->presetClass());
}

void CWPresetChooser::updateInformation()
{
    const std::shared_ptr<CWPreset> preset = project_()->preset();
    if (!preset)
        return;
    description_->setText(preset->descriptionForSource(*project_()->exportAsset()));
    configurationButton_->setEnabled(preset->configurationViewKind() != CWConfigurationViewKind::None);
    button_->setText(preset->presetName());
    updateConfigurationUI();
}

void CWPresetChooser::updateConfigurationUI()
{
    const std::shared_ptr<CWProject> project = project_();
    const std::shared_ptr<CWPreset> preset = project->preset();
    const auto refill = [](QComboBox* popup, const CWConfigurationItems& items) {
        popup->clear();
        for (const std::shared_ptr<CWPresetConfigurationItem>& configuration : items)
            popup->addItem(configuration->humanReadableDescription());
        if (popup->count() > 0)
            popup->setCurrentIndex(0);
    };
    bitrateContainer_->setVisible(preset->supportsBitrateConfiguration());
    bitrateItems_.clear();
    if (preset->supportsBitrateConfiguration()) {
        bitrateItems_ = preset->availableBitrateConfigurationItems();
        refill(bitratePopup_, bitrateItems_);
        // The bit rate the export will use: the project's, chosen or its default.
        for (size_t index = 0; index < bitrateItems_.size(); ++index)
            if (const auto item = std::dynamic_pointer_cast<CWBitrateConfigurationItem>(bitrateItems_[index]);
                item && item->bitrate() == project->selectedBitrate())
                bitratePopup_->setCurrentIndex(int(index));
    }
    sampleRateContainer_->setVisible(preset->supportsSampleRateConfiguration());
    if (preset->supportsSampleRateConfiguration())
        refill(sampleRatePopup_, preset->availableSampleRateConfigurationItems());
    qualityContainer_->setVisible(preset->supportsQualityConfiguration());
    if (preset->supportsQualityConfiguration())
        refill(qualityPopup_, preset->availableQualityConfigurationItems());
    const std::optional<PassthroughMode> mode = preset->passthroughMode();
    passthroughModeContainer_->setVisible(mode.has_value());
    if (mode)
        passthroughModePopup_->setCurrentIndex(passthroughModePopup_->findData(QVariant::fromValue(int(*mode))));
}

void CWPresetChooser::changePreset(const CWPresetClass* presetClass)
{
    project_()->changePresetTo(presetClass->create());
    updateMenu();
    updateInformation();
}

void CWPresetChooser::changeBitrate()
{
    const int index = bitratePopup_->currentIndex();
    if (index < 0 || size_t(index) >= bitrateItems_.size())
        return;
    if (const auto bitrate = std::dynamic_pointer_cast<CWBitrateConfigurationItem>(bitrateItems_[size_t(index)]))
        project_()->useSelectedBitrate(bitrate->bitrate());
}

void CWPresetChooser::changePassthroughMode()
{
    const auto preset = std::dynamic_pointer_cast<CWPassThroughPreset>(project_()->preset());
    if (!preset || passthroughModePopup_->currentIndex() < 0)
        return;
    preset->useMode(PassthroughMode(passthroughModePopup_->currentData().toInt()));
    updateInformation();
}

void CWPresetChooser::configure()
{
    const auto preset = std::dynamic_pointer_cast<CWHighLowQualityPreset>(project_()->preset());
    if (!preset || preset->configurationViewKind() != CWConfigurationViewKind::QualityControl)
        return;
    auto* popover = new CWPresetQualityControlViewController(preset, window_);
    configurationPopover_ = popover;
    connect(popover, &CWPresetQualityControlViewController::closed, this, &CWPresetChooser::updateInformation);
    popover->showRelativeTo(configurationButton_);
}
